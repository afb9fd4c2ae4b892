// The JSON form of the session.

#include "store/Json.h"
#include "store/SessionStore.h"

namespace norvane
{

std::string SessionState::encode() const
{
    auto* o = new juce::DynamicObject();
    o->setProperty("patch", patch.toJson());
    o->setProperty("transposeSemitones", transposeSemitones);
    const auto putText = [o](const char* key, const std::optional<std::string>& v)
    {
        if (v)
            o->setProperty(key, juce::String::fromUTF8(v->c_str()));
    };
    putText("audioOutputName", audioOutputName);
    putText("midiSourceName", midiSourceName);
    if (audioBufferSize)
        o->setProperty("audioBufferSize", *audioBufferSize);
    if (audioSampleRate)
        o->setProperty("audioSampleRate", *audioSampleRate);
    putText("expressionTarget", expressionTarget);
    putText("modulationTarget", modulationTarget);
    putText("volumeTarget", volumeTarget);
    if (sustainPedalInverted)
        o->setProperty("sustainPedalInverted", *sustainPedalInverted);
    if (echoToOutput)
        o->setProperty("midiEchoToOutput", *echoToOutput);
    if (metronomeBPM)
        o->setProperty("metronomeBPM", *metronomeBPM);
    if (metronomeBeatsPerBar)
        o->setProperty("metronomeBeatsPerBar", *metronomeBeatsPerBar);
    if (metronomeUnit)
        o->setProperty("metronomeUnit", *metronomeUnit);
    if (metronomeVolume)
        o->setProperty("metronomeVolume", *metronomeVolume);
    return toCompactJson(juce::var(o));
}

std::optional<SessionState> SessionState::decode(const std::string& document)
{
    const auto json = parseJson(document);
    auto* o = json ? json->getDynamicObject() : nullptr;
    if (o == nullptr)
        return std::nullopt;
    auto patch = LivePatch::fromJson(o->getProperty("patch"));
    if (!patch)
        return std::nullopt;
    JsonReader r{*o};
    SessionState s;
    s.patch = std::move(*patch);
    s.transposeSemitones = r.required("transposeSemitones", asInt);
    s.audioOutputName = r.optional("audioOutputName", asString);
    s.midiSourceName = r.optional("midiSourceName", asString);
    s.audioBufferSize = r.optional("audioBufferSize", asInt);
    s.audioSampleRate = r.optional("audioSampleRate", asDouble);
    s.expressionTarget = r.optional("expressionTarget", asString);
    s.modulationTarget = r.optional("modulationTarget", asString);
    s.volumeTarget = r.optional("volumeTarget", asString);
    s.sustainPedalInverted = r.optional("sustainPedalInverted", asBool);
    s.echoToOutput = r.optional("midiEchoToOutput", asBool);
    s.metronomeBPM = r.optional("metronomeBPM", asDouble);
    s.metronomeBeatsPerBar = r.optional("metronomeBeatsPerBar", asInt);
    s.metronomeUnit = r.optional("metronomeUnit", asInt);
    s.metronomeVolume = r.optional("metronomeVolume", asDouble);
    return r.ok ? std::optional(s) : std::nullopt;
}

} // namespace norvane
