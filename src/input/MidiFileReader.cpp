#include "input/MidiFileReader.h"

#include <algorithm>

namespace norvane
{

namespace
{

/** Reads big-endian numbers and variable-length quantities from a span of bytes; reading past
    its end marks it failed and yields zeros. */
class ByteReader
{
public:
    ByteReader(const std::uint8_t* from, const std::uint8_t* to) : at(from), end(to) {}

    bool failed() const { return broken; }
    bool atEnd() const { return at >= end; }
    const std::uint8_t* position() const { return at; }
    size_t remaining() const { return (size_t)(end - at); }

    std::uint32_t byte()
    {
        if (at >= end)
        {
            broken = true;
            return 0;
        }
        return *at++;
    }

    std::uint32_t number(int bytes)
    {
        std::uint32_t value = 0;
        for (int i = 0; i < bytes; ++i)
            value = (value << 8) | byte();
        return value;
    }

    /** At most four bytes of seven bits, as the file format allows. */
    std::uint32_t quantity()
    {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i)
        {
            const auto b = byte();
            value = (value << 7) | (b & 0x7F);
            if ((b & 0x80) == 0)
                return value;
        }
        broken = true;
        return value;
    }

    bool skip(size_t count)
    {
        if (count > remaining())
        {
            at = end;
            broken = true;
            return false;
        }
        at += count;
        return true;
    }

private:
    const std::uint8_t* at;
    const std::uint8_t* end;
    bool broken = false;
};

struct TrackEvent
{
    std::uint64_t tick = 0;
    std::vector<std::uint8_t> bytes;
};

struct TempoChange
{
    std::uint64_t tick = 0;
    double secondsPerQuarter = 0.5;
};

/** One track's events in the file's own order. A damaged track keeps what came before the
    damage. Running status survives meta and system-exclusive events, as many files expect. */
void readTrack(ByteReader track, std::vector<TrackEvent>& events,
               std::vector<TempoChange>& tempos)
{
    std::uint64_t tick = 0;
    std::uint8_t running = 0;
    while (!track.atEnd())
    {
        tick += track.quantity();
        std::uint32_t status = track.byte();
        if (track.failed())
            return;

        if (status == 0xFF)
        {
            const auto type = track.byte();
            const auto length = track.quantity();
            const auto* data = track.position();
            if (track.failed() || !track.skip(length))
                return;
            if (type == 0x2F)
                return; // the end of the track
            if (type == 0x51 && length == 3)
            {
                const auto micros = ((std::uint32_t)data[0] << 16) | ((std::uint32_t)data[1] << 8) |
                                    (std::uint32_t)data[2];
                if (micros > 0)
                    tempos.push_back({tick, micros / 1.0e6});
            }
            continue;
        }
        if (status == 0xF0 || status == 0xF7)
        {
            const auto length = track.quantity();
            const auto* data = track.position();
            if (track.failed() || !track.skip(length))
                return;
            // A system-exclusive message as it travels, starting with F0; an escape (F7) sends
            // its bytes as they are.
            TrackEvent event{tick, {}};
            if (status == 0xF0)
                event.bytes.push_back(0xF0);
            event.bytes.insert(event.bytes.end(), data, data + length);
            if (!event.bytes.empty())
                events.push_back(std::move(event));
            continue;
        }

        std::uint32_t first = 0;
        if (status < 0x80)
        {
            if (running == 0)
                return; // data with no status before it
            first = status;
            status = running;
        }
        else if (status >= 0xF0)
        {
            return; // not an event a file holds
        }
        else
        {
            running = (std::uint8_t)status;
            first = track.byte();
        }

        const bool oneDataByte = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0;
        TrackEvent event{tick, {(std::uint8_t)status, (std::uint8_t)(first & 0x7F)}};
        if (!oneDataByte)
            event.bytes.push_back((std::uint8_t)(track.byte() & 0x7F));
        if (track.failed())
            return;
        events.push_back(std::move(event));
    }
}

} // namespace

std::optional<std::vector<TimedMessage>> readMidiFile(const juce::File& file, std::string& error)
{
    juce::MemoryBlock data;
    if (!file.existsAsFile() || !file.loadFileAsData(data))
    {
        error = "cannot open " + file.getFullPathName().toStdString();
        return std::nullopt;
    }

    const auto* bytes = static_cast<const std::uint8_t*>(data.getData());
    ByteReader reader(bytes, bytes + data.getSize());
    const auto notMidi = [&]
    {
        error = "not a Standard MIDI File: " + file.getFullPathName().toStdString();
        return std::nullopt;
    };
    if (reader.number(4) != 0x4D546864) // "MThd"
        return notMidi();
    const auto headerLength = reader.number(4);
    if (reader.failed() || headerLength < 6)
        return notMidi();
    reader.number(2); // the format: every track is merged, whichever it is
    const auto trackCount = reader.number(2);
    const auto division = reader.number(2);
    if (!reader.skip(headerLength - 6) || reader.failed() || division == 0)
        return notMidi();

    // Each track in its own order: at one instant a note's on and off, or a repeated note's
    // off and on, stay as they were written.
    std::vector<std::vector<TrackEvent>> tracks;
    std::vector<TempoChange> tempos;
    while (tracks.size() < trackCount && reader.remaining() >= 8)
    {
        const auto id = reader.number(4);
        const auto length = reader.number(4);
        const auto* start = reader.position();
        const auto* stop = start + std::min<size_t>(length, reader.remaining());
        if (id == 0x4D54726B) // "MTrk"
        {
            tracks.emplace_back();
            readTrack(ByteReader(start, stop), tracks.back(), tempos);
        }
        reader.skip((size_t)(stop - start));
    }

    // Ticks to seconds: beats under the tempo map (120 bpm until the first change), or SMPTE
    // frames.
    std::stable_sort(tempos.begin(), tempos.end(),
                     [](const auto& a, const auto& b) { return a.tick < b.tick; });
    const bool smpte = (division & 0x8000) != 0;
    const double ticksPerQuarter = (double)division;
    std::vector<double> changeSeconds; // when each tempo change comes
    {
        double at = 0.0, perQuarter = 0.5;
        std::uint64_t from = 0;
        for (const auto& change : tempos)
        {
            at += (double)(change.tick - from) / ticksPerQuarter * perQuarter;
            changeSeconds.push_back(at);
            from = change.tick;
            perQuarter = change.secondsPerQuarter;
        }
    }
    const auto seconds = [&](std::uint64_t tick)
    {
        if (smpte)
        {
            const int frames = -(int)(std::int8_t)(division >> 8);
            const double rate = frames == 29 ? 30000.0 / 1001.0 : (double)std::max(frames, 1);
            return (double)tick / (rate * std::max<std::uint32_t>(division & 0xFF, 1));
        }
        // The last change before the tick sets the pace from there on.
        const auto next = std::lower_bound(tempos.begin(), tempos.end(), tick,
                                           [](const TempoChange& c, std::uint64_t t)
                                           { return c.tick < t; });
        if (next == tempos.begin())
            return (double)tick / ticksPerQuarter * 0.5;
        const auto k = (size_t)(next - tempos.begin()) - 1;
        return changeSeconds[k] +
               (double)(tick - tempos[k].tick) / ticksPerQuarter * tempos[k].secondsPerQuarter;
    };

    std::vector<TimedMessage> messages;
    for (auto& track : tracks)
        for (auto& event : track)
            messages.push_back({seconds(event.tick), std::move(event.bytes)});
    // Merged by time, stably: the tracks in their order, each in its own.
    std::stable_sort(messages.begin(), messages.end(),
                     [](const auto& a, const auto& b) { return a.seconds < b.seconds; });
    return messages;
}

} // namespace norvane
