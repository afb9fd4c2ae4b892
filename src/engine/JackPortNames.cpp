#include "engine/JackPortNames.h"

#include <jack/jack.h>

namespace norvane
{

int nameJackOutputs(const juce::StringArray& names)
{
    // A short-lived client of our own does the renaming: the toolkit keeps its client to itself.
    jack_status_t status{};
    auto* client = jack_client_open("Norvane-names", JackNoStartServer, &status);
    if (client == nullptr)
        return 0;

    int renamed = 0;
    // Our client is "Norvane", or "Norvane-01"… when another copy of the program runs. The
    // server does not say which process owns a client; another copy's ports get the same
    // names it gives them itself.
    if (const char** ports = jack_get_ports(client, "^Norvane(-[0-9]+)?:out_[0-9]+$",
                                            JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput))
    {
        for (int i = 0; ports[i] != nullptr; ++i)
        {
            const juce::String full(ports[i]);
            const int channel = full.fromLastOccurrenceOf("_", false, false).getIntValue() - 1;
            if (!juce::isPositiveAndBelow(channel, names.size()))
                continue;
            if (auto* port = jack_port_by_name(client, ports[i]);
                port != nullptr && jack_port_rename(client, port, names[channel].toRawUTF8()) == 0)
                ++renamed;
        }
        jack_free(ports);
    }
    jack_client_close(client);
    return renamed;
}

} // namespace norvane
