/* An LV2 effect whose binary needs a window toolkit, as the Qt-based synthesizers' do: made
   where there is no display, the toolkit aborts the program. The toolkit here is a stand-in
   library of the tests' own under the name of Qt's widgets library. */

#include <lv2/core/lv2.h>

#include <stdlib.h>

int norvane_test_toolkit_has_display(void);

typedef struct
{
    const float* in[2];
    float* out[2];
} Plugin;

static LV2_Handle instantiate(const LV2_Descriptor* descriptor, double rate, const char* bundle,
                              const LV2_Feature* const* features)
{
    (void)descriptor;
    (void)rate;
    (void)bundle;
    (void)features;
    if (!norvane_test_toolkit_has_display())
        abort();
    return (LV2_Handle)calloc(1, sizeof(Plugin));
}

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
    for (uint32_t i = 0; i < frames; ++i)
    {
        self->out[0][i] = self->in[0][i];
        self->out[1][i] = self->in[1][i];
    }
}

static void cleanup(LV2_Handle instance)
{
    free(instance);
}

static const LV2_Descriptor descriptor = {"urn:norvane:test:6-needs-a-display", instantiate,
                                          connect, NULL, run, NULL, cleanup, NULL};

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index)
{
    return index == 0 ? &descriptor : NULL;
}
