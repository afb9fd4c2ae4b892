#pragma once

#include "input/MidiSystem.h"

namespace norvane::cli
{

/** One MIDI source, "Feeder", whose bytes a thread of the tool's own delivers. */
class FeederMidi final : public MidiSystem
{
public:
    int createClient() override { return 0; }
    int openVirtualPort(const std::string&, BytesCallback) override { return 0; }
    std::vector<MidiEndpoint> sources() override { return {{"feeder", "Feeder"}}; }
    int connect(const std::string&, BytesCallback c) override
    {
        callback = std::move(c);
        return 0;
    }
    void disconnect() override {}

    BytesCallback callback; // set on the message thread before the feeder starts
};

} // namespace norvane::cli
