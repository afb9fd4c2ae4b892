// The JSON form of the session.

#include "store/Json.h"
#include "store/SessionStore.h"

#include <climits>
#include <cmath>

namespace norvane
{

namespace
{

std::optional<double> number(const juce::var& v, bool& ok)
{
    if (v.isVoid() || v.isUndefined())
        return std::nullopt;
    if (!(v.isInt() || v.isInt64() || v.isDouble()) || !std::isfinite((double)v))
    {
        ok = false;
        return std::nullopt;
    }
    return (double)v;
}

std::optional<int> integer(const juce::var& v, bool& ok)
{
    const auto d = number(v, ok);
    if (!d)
        return std::nullopt;
    if (*d != std::floor(*d) || *d < INT_MIN || *d > INT_MAX)
    {
        ok = false;
        return std::nullopt;
    }
    return (int)*d;
}

std::optional<std::string> text(const juce::var& v, bool& ok)
{
    if (v.isVoid() || v.isUndefined())
        return std::nullopt;
    if (!v.isString())
    {
        ok = false;
        return std::nullopt;
    }
    return v.toString().toStdString();
}

} // namespace

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
    putText("expressionTarget", expressionTarget);
    putText("modulationTarget", modulationTarget);
    putText("volumeTarget", volumeTarget);
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
    bool ok = true;
    SessionState s;
    s.patch = std::move(*patch);
    const auto transpose = integer(o->getProperty("transposeSemitones"), ok);
    if (!transpose)
        return std::nullopt;
    s.transposeSemitones = *transpose;
    s.audioOutputName = text(o->getProperty("audioOutputName"), ok);
    s.midiSourceName = text(o->getProperty("midiSourceName"), ok);
    s.expressionTarget = text(o->getProperty("expressionTarget"), ok);
    s.modulationTarget = text(o->getProperty("modulationTarget"), ok);
    s.volumeTarget = text(o->getProperty("volumeTarget"), ok);
    s.metronomeBPM = number(o->getProperty("metronomeBPM"), ok);
    s.metronomeBeatsPerBar = integer(o->getProperty("metronomeBeatsPerBar"), ok);
    s.metronomeUnit = integer(o->getProperty("metronomeUnit"), ok);
    s.metronomeVolume = number(o->getProperty("metronomeVolume"), ok);
    return ok ? std::optional(s) : std::nullopt;
}

} // namespace norvane
