#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace norvane
{

/** A MIDI source as the system lists it. */
struct MidiEndpoint
{
    std::string identifier; ///< the system's own identifier (may change on re-plug)
    std::string name;       ///< display name; may be empty when it cannot be read

    bool operator==(const MidiEndpoint&) const = default;
};

/** The machine's MIDI input, as the input manager needs it: a client, a source list, one
    connected source at a time, and a virtual input port of the program's own. Bytes arrive on
    the system's MIDI thread, in order.

    Message thread only, except for the byte callbacks.
*/
class MidiSystem
{
public:
    /** Called on a MIDI thread with each incoming message's raw bytes. */
    using BytesCallback = std::function<void(const std::uint8_t* bytes, std::size_t count)>;

    virtual ~MidiSystem() = default;

    /** 0 when the MIDI system is usable, otherwise a negative status. */
    virtual int createClient() = 0;

    /** 0 when the virtual input port `name` was opened, otherwise a negative status. */
    virtual int openVirtualPort(const std::string& name, BytesCallback callback) = 0;

    virtual std::vector<MidiEndpoint> sources() = 0;

    /** Connects one source, replacing any earlier one. 0 on success, else a negative status. */
    virtual int connect(const std::string& identifier, BytesCallback callback) = 0;

    virtual void disconnect() = 0;
};

/** The real one: the ALSA sequencer through juce::MidiInput, and, while the program plays
    through JACK, the JACK MIDI outputs of other clients, connected to its "midi_in". */
std::unique_ptr<MidiSystem> makeSystemMidi();

/** A MIDI system with no sources, for offline rendering. */
std::unique_ptr<MidiSystem> makeDetachedMidi();

} // namespace norvane
