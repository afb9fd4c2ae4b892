#pragma once

#include "input/MidiSystem.h"

#include <memory>
#include <string>
#include <vector>

namespace norvane::test
{

/** A MIDI system the test controls: its sources, its failures, and the bytes it delivers. */
class FakeMidi final : public MidiSystem
{
public:
    struct State
    {
        int clientStatus = 0;
        int virtualPortStatus = 0;
        int connectStatus = 0;
        std::vector<MidiEndpoint> sources;
        std::string connectedIdentifier;
        int connectCalls = 0;
        int disconnectCalls = 0;
        BytesCallback deliver;        ///< the connected source's bytes
        BytesCallback deliverVirtual; ///< the virtual port's bytes
    };

    explicit FakeMidi(std::shared_ptr<State> s) : state(std::move(s)) {}

    int createClient() override { return state->clientStatus; }

    int openVirtualPort(const std::string&, BytesCallback callback) override
    {
        if (state->virtualPortStatus == 0)
            state->deliverVirtual = std::move(callback);
        return state->virtualPortStatus;
    }

    std::vector<MidiEndpoint> sources() override { return state->sources; }

    int connect(const std::string& identifier, BytesCallback callback) override
    {
        ++state->connectCalls;
        if (state->connectStatus != 0)
            return state->connectStatus;
        state->connectedIdentifier = identifier;
        state->deliver = std::move(callback);
        return 0;
    }

    void disconnect() override
    {
        ++state->disconnectCalls;
        state->connectedIdentifier.clear();
        state->deliver = nullptr;
    }

private:
    std::shared_ptr<State> state;
};

} // namespace norvane::test
