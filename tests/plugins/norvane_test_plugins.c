/* Small LV2 plug-ins of the tests' own, each doing one thing that real plug-ins do now and then:
   crash in their run, abort while they are made, write NaN, have no audio output, declare an
   instrument while taking audio in, give their worker a slow job (as a drum machine loading
   its kit does), or take two stereo inputs whose ports say left and right but belong to no
   group (as a DJ cross-fader does). Their data is in norvane-test.ttl. */

#include <lv2/core/lv2.h>
#include <lv2/worker/worker.h>

#include <math.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#define URI_BASE "urn:norvane:test:"

enum Kind
{
    crashInRun,
    notANumber,
    noOutput,
    instrumentWithInputs,
    abortWhenMade,
    slowWorker,
    /* 6 is the plug-in that needs a display, in a binary of its own */
    twoStereoInputs = 7
};

typedef struct
{
    enum Kind kind;
    double rate;
    double phase;
    const float* in[4];
    float* out[2];
    LV2_Worker_Schedule* schedule;
    int jobAsked;
    int working; /* read and written atomically: the worker thread sets it */
} Plugin;

static LV2_Handle instantiate(const LV2_Descriptor* descriptor, double rate, const char* bundle,
                              const LV2_Feature* const* features)
{
    (void)bundle;
    Plugin* self = (Plugin*)calloc(1, sizeof(Plugin));
    if (self == NULL)
        return NULL;
    self->kind = (enum Kind)(descriptor->URI[sizeof(URI_BASE) - 1] - '0');
    self->rate = rate;
    if (self->kind == abortWhenMade)
        abort();
    for (int i = 0; features != NULL && features[i] != NULL; ++i)
        if (strcmp(features[i]->URI, LV2_WORKER__schedule) == 0)
            self->schedule = (LV2_Worker_Schedule*)features[i]->data;
    if (self->kind == slowWorker && self->schedule == NULL)
    {
        free(self);
        return NULL;
    }
    return (LV2_Handle)self;
}

/* Ports: 0, 1 the audio inputs; 2, 3 the audio outputs (the plug-in with no output has only
   the inputs); the one with two stereo inputs has its second pair at 4, 5. */
static void connect(LV2_Handle instance, uint32_t port, void* data)
{
    Plugin* self = (Plugin*)instance;
    if (port < 2)
        self->in[port] = (const float*)data;
    else if (port < 4)
        self->out[port - 2] = (float*)data;
    else if (port < 6)
        self->in[port - 2] = (const float*)data;
}

static void run(LV2_Handle instance, uint32_t frames)
{
    Plugin* self = (Plugin*)instance;
    switch (self->kind)
    {
    case crashInRun:
        raise(SIGSEGV);
        break;
    case notANumber:
        for (uint32_t i = 0; i < frames; ++i)
            self->out[0][i] = self->out[1][i] = (float)NAN;
        break;
    case noOutput:
        break;
    case twoStereoInputs:
        /* A mix of its two inputs, read without a check, as a DJ cross-fader does. */
        for (uint32_t i = 0; i < frames; ++i)
        {
            self->out[0][i] = 0.5f * (self->in[0][i] + self->in[2][i]);
            self->out[1][i] = 0.5f * (self->in[1][i] + self->in[3][i]);
        }
        break;
    case slowWorker:
        for (uint32_t i = 0; i < frames; ++i)
        {
            self->out[0][i] = self->in[0][i];
            self->out[1][i] = self->in[1][i];
        }
        if (!self->jobAsked)
        {
            /* Set here, before the worker thread can start on it. */
            __atomic_store_n(&self->working, 1, __ATOMIC_SEQ_CST);
            self->jobAsked = 1;
            self->schedule->schedule_work(self->schedule->handle, sizeof self->jobAsked,
                                          &self->jobAsked);
        }
        break;
    case instrumentWithInputs:
        for (uint32_t i = 0; i < frames; ++i)
        {
            const float tone = 0.2f * (float)sin(self->phase);
            self->phase += 2.0 * M_PI * 220.0 / self->rate;
            self->out[0][i] = self->in[0][i] + tone;
            self->out[1][i] = self->in[1][i] + tone;
        }
        break;
    default:
        break;
    }
}

/* The slow job: a third of a second on the worker thread, on the instance's own memory. */
static LV2_Worker_Status work(LV2_Handle instance, LV2_Worker_Respond_Function respond,
                              LV2_Worker_Respond_Handle handle, uint32_t size, const void* data)
{
    Plugin* self = (Plugin*)instance;
    usleep(300 * 1000);
    __atomic_store_n(&self->working, 0, __ATOMIC_SEQ_CST);
    return respond(handle, size, data);
}

static LV2_Worker_Status workResponse(LV2_Handle instance, uint32_t size, const void* data)
{
    (void)instance;
    (void)size;
    (void)data;
    return LV2_WORKER_SUCCESS;
}

static const void* extensionData(const char* uri)
{
    static const LV2_Worker_Interface worker = {work, workResponse, NULL};
    return strcmp(uri, LV2_WORKER__interface) == 0 ? &worker : NULL;
}

static void cleanup(LV2_Handle instance)
{
    Plugin* self = (Plugin*)instance;
    /* Freed while its job runs: the job would go on writing into freed memory. */
    if (__atomic_load_n(&self->working, __ATOMIC_SEQ_CST))
        abort();
    free(instance);
}

static const LV2_Descriptor descriptors[] = {
    {URI_BASE "0-crash-in-run", instantiate, connect, NULL, run, NULL, cleanup, NULL},
    {URI_BASE "1-not-a-number", instantiate, connect, NULL, run, NULL, cleanup, NULL},
    {URI_BASE "2-no-output", instantiate, connect, NULL, run, NULL, cleanup, NULL},
    {URI_BASE "3-instrument-with-inputs", instantiate, connect, NULL, run, NULL, cleanup, NULL},
    {URI_BASE "4-abort-when-made", instantiate, connect, NULL, run, NULL, cleanup, NULL},
    {URI_BASE "5-slow-worker", instantiate, connect, NULL, run, NULL, cleanup, extensionData},
    {URI_BASE "7-two-stereo-inputs", instantiate, connect, NULL, run, NULL, cleanup, NULL},
};

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index)
{
    return index < sizeof descriptors / sizeof descriptors[0] ? &descriptors[index] : NULL;
}
