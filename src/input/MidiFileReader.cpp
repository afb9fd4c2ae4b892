#include "input/MidiFileReader.h"

#include <juce_audio_basics/juce_audio_basics.h>

#include <algorithm>

namespace norvane
{

std::optional<std::vector<TimedMessage>> readMidiFile(const juce::File& file, std::string& error)
{
    juce::FileInputStream stream(file);
    if (!stream.openedOk())
    {
        error = "cannot open " + file.getFullPathName().toStdString();
        return std::nullopt;
    }

    juce::MidiFile midiFile;
    if (!midiFile.readFrom(stream, true))
    {
        error = "not a Standard MIDI File: " + file.getFullPathName().toStdString();
        return std::nullopt;
    }
    if (midiFile.getTimeFormat() <= 0)
    {
        // SMPTE time: JUCE converts these itself.
    }
    midiFile.convertTimestampTicksToSeconds();

    std::vector<TimedMessage> messages;
    for (int t = 0; t < midiFile.getNumTracks(); ++t)
    {
        const auto* track = midiFile.getTrack(t);
        for (const auto* holder : *track)
        {
            const auto& m = holder->message;
            if (m.isMetaEvent())
                continue;
            const auto* raw = m.getRawData();
            messages.push_back(
                {m.getTimeStamp(), std::vector<std::uint8_t>(raw, raw + m.getRawDataSize())});
        }
    }

    std::stable_sort(messages.begin(), messages.end(),
                     [](const auto& a, const auto& b) { return a.seconds < b.seconds; });
    return messages;
}

} // namespace norvane
