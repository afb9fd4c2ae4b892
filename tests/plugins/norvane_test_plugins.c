/* Small LV2 plug-ins of the tests' own, each doing one thing that real plug-ins do now and then:
   crash in their run, abort while they are made, write NaN, have no audio output, or declare
   an instrument while taking audio in. Their data is in norvane-test.ttl. */

#include <lv2/core/lv2.h>

#include <math.h>
#include <signal.h>
#include <stdlib.h>

#define URI_BASE "urn:norvane:test:"

enum Kind
{
    crashInRun,
    notANumber,
    noOutput,
    instrumentWithInputs,
    abortWhenMade,
    kinds
};

typedef struct
{
    enum Kind kind;
    double rate;
    double phase;
    const float* in[2];
    float* out[2];
} Plugin;

static LV2_Handle instantiate(const LV2_Descriptor* descriptor, double rate, const char* bundle,
                              const LV2_Feature* const* features)
{
    (void)bundle;
    (void)features;
    Plugin* self = (Plugin*)calloc(1, sizeof(Plugin));
    if (self == NULL)
        return NULL;
    self->kind = (enum Kind)(descriptor->URI[sizeof(URI_BASE) - 1] - '0');
    self->rate = rate;
    if (self->kind == abortWhenMade)
        abort();
    return (LV2_Handle)self;
}

/* Ports: 0, 1 the audio inputs; 2, 3 the audio outputs (the plug-in with no output has only
   the inputs). */
static void connect(LV2_Handle instance, uint32_t port, void* data)
{
    Plugin* self = (Plugin*)instance;
    if (port < 2)
        self->in[port] = (const float*)data;
    else if (port < 4)
        self->out[port - 2] = (float*)data;
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

static void cleanup(LV2_Handle instance)
{
    free(instance);
}

static const LV2_Descriptor descriptors[kinds] = {
    {URI_BASE "0-crash-in-run", instantiate, connect, NULL, run, NULL, cleanup, NULL},
    {URI_BASE "1-not-a-number", instantiate, connect, NULL, run, NULL, cleanup, NULL},
    {URI_BASE "2-no-output", instantiate, connect, NULL, run, NULL, cleanup, NULL},
    {URI_BASE "3-instrument-with-inputs", instantiate, connect, NULL, run, NULL, cleanup, NULL},
    {URI_BASE "4-abort-when-made", instantiate, connect, NULL, run, NULL, cleanup, NULL},
};

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index)
{
    return index < kinds ? &descriptors[index] : NULL;
}
