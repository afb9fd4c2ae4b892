// The JSON form of live patches: compact, absent values left out, all or nothing on reading.

#include "store/Json.h"
#include "store/LivePatch.h"

#include <climits>
#include <cmath>

namespace norvane
{

namespace
{

std::optional<PluginRef> asPluginRef(const juce::var& v)
{
    return PluginRef::fromJson(v);
}

std::optional<juce::MemoryBlock> asBytes(const juce::var& v)
{
    if (!v.isString())
        return std::nullopt;
    juce::MemoryOutputStream out;
    if (!juce::Base64::convertFromBase64(out, v.toString()))
        return std::nullopt;
    return out.getMemoryBlock();
}

bool isUuidText(const juce::String& text)
{
    if (text.length() != 36)
        return false;
    for (int i = 0; i < 36; ++i)
    {
        const auto c = text[i];
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? c != '-' : juce::CharacterFunctions::getHexDigitValue(c) < 0)
            return false;
    }
    return true;
}

// ---- Writing.

juce::var bytesJson(const juce::MemoryBlock& bytes)
{
    return juce::Base64::toBase64(bytes.getData(), bytes.getSize());
}

template <typename T> void put(juce::DynamicObject& o, const char* key, const std::optional<T>& v)
{
    if (v)
        o.setProperty(key, juce::var(*v));
}

void put(juce::DynamicObject& o, const char* key, const std::optional<std::string>& v)
{
    if (v)
        o.setProperty(key, juce::String::fromUTF8(v->c_str()));
}

} // namespace

juce::var LivePatch::LayerSnapshot::toJson() const
{
    auto* o = new juce::DynamicObject();
    o->setProperty("isEnabled", isEnabled);
    o->setProperty("categoryRawValue", categoryRawValue);
    o->setProperty("variantIndex", variantIndex);
    o->setProperty("volume", volume);
    o->setProperty("eqLowGain", eqLowGain);
    o->setProperty("eqMidGain", eqMidGain);
    o->setProperty("eqHighGain", eqHighGain);
    o->setProperty("compressionAmount", compressionAmount);
    o->setProperty("reverbAmount", reverbAmount);
    o->setProperty("reverbDecay", reverbDecay);
    o->setProperty("attackTime", attackTime);
    o->setProperty("releaseTime", releaseTime);
    put(*o, "lowKey", lowKey);
    put(*o, "highKey", highKey);
    put(*o, "damperAmount", damperAmount);
    put(*o, "transposeSemitones", transposeSemitones);
    put(*o, "octaveShift", octaveShift);
    put(*o, "velocityCurve", velocityCurve);
    put(*o, "crossfadeSemitones", crossfadeSemitones);
    if (instrumentPlugin)
        o->setProperty("instrumentPlugin", instrumentPlugin->toJson());
    if (effectPlugin)
        o->setProperty("effectPlugin", effectPlugin->toJson());
    if (instrumentPluginState)
        o->setProperty("instrumentPluginState", bytesJson(*instrumentPluginState));
    if (effectPluginState)
        o->setProperty("effectPluginState", bytesJson(*effectPluginState));
    return juce::var(o);
}

std::optional<LivePatch::LayerSnapshot> LivePatch::LayerSnapshot::fromJson(const juce::var& json)
{
    auto* object = json.getDynamicObject();
    if (object == nullptr)
        return std::nullopt;
    JsonReader r{*object};
    LayerSnapshot s;
    s.isEnabled = r.required("isEnabled", asBool);
    s.categoryRawValue = r.required("categoryRawValue", asInt);
    s.variantIndex = r.required("variantIndex", asInt);
    s.volume = r.required("volume", asDouble);
    s.eqLowGain = r.required("eqLowGain", asDouble);
    s.eqMidGain = r.required("eqMidGain", asDouble);
    s.eqHighGain = r.required("eqHighGain", asDouble);
    s.compressionAmount = r.required("compressionAmount", asDouble);
    s.reverbAmount = r.required("reverbAmount", asDouble);
    s.reverbDecay = r.required("reverbDecay", asDouble);
    s.attackTime = r.required("attackTime", asDouble);
    s.releaseTime = r.required("releaseTime", asDouble);
    s.lowKey = r.optional("lowKey", asInt);
    s.highKey = r.optional("highKey", asInt);
    s.damperAmount = r.optional("damperAmount", asDouble);
    s.transposeSemitones = r.optional("transposeSemitones", asInt);
    s.octaveShift = r.optional("octaveShift", asInt);
    s.velocityCurve = r.optional("velocityCurve", asString);
    s.crossfadeSemitones = r.optional("crossfadeSemitones", asInt);
    s.instrumentPlugin = r.optional("instrumentPlugin", asPluginRef);
    s.effectPlugin = r.optional("effectPlugin", asPluginRef);
    s.instrumentPluginState = r.optional("instrumentPluginState", asBytes);
    s.effectPluginState = r.optional("effectPluginState", asBytes);
    return r.ok ? std::optional(s) : std::nullopt;
}

juce::var LivePatch::DroneSnapshot::toJson() const
{
    auto* o = new juce::DynamicObject();
    o->setProperty("isEnabled", isEnabled);
    o->setProperty("rootPitchClass", rootPitchClass);
    o->setProperty("octave", octave);
    o->setProperty("variantIndex", variantIndex);
    o->setProperty("volume", volume);
    o->setProperty("reverbAmount", reverbAmount);
    o->setProperty("reverbDecay", reverbDecay);
    put(*o, "shimmer", shimmer);
    put(*o, "brightness", brightness);
    return juce::var(o);
}

std::optional<LivePatch::DroneSnapshot> LivePatch::DroneSnapshot::fromJson(const juce::var& json)
{
    auto* object = json.getDynamicObject();
    if (object == nullptr)
        return std::nullopt;
    JsonReader r{*object};
    DroneSnapshot s;
    s.isEnabled = r.required("isEnabled", asBool);
    s.rootPitchClass = r.required("rootPitchClass", asInt);
    s.octave = r.required("octave", asInt);
    s.variantIndex = r.required("variantIndex", asInt);
    s.volume = r.required("volume", asDouble);
    s.reverbAmount = r.required("reverbAmount", asDouble);
    s.reverbDecay = r.required("reverbDecay", asDouble);
    s.shimmer = r.optional("shimmer", asDouble);
    s.brightness = r.optional("brightness", asDouble);
    return r.ok ? std::optional(s) : std::nullopt;
}

std::string LivePatch::idText(const juce::Uuid& id)
{
    return id.toDashedString().toUpperCase().toStdString();
}

juce::var LivePatch::toJson() const
{
    auto* o = new juce::DynamicObject();
    o->setProperty("id", juce::String(idText(id)));
    o->setProperty("name", juce::String::fromUTF8(name.c_str()));
    o->setProperty("masterVolume", masterVolume);
    juce::Array<juce::var> list;
    for (const auto& l : layers)
        list.add(l.toJson());
    o->setProperty("layers", list);
    o->setProperty("drone", drone.toJson());
    return juce::var(o);
}

std::optional<LivePatch> LivePatch::fromJson(const juce::var& json)
{
    auto* object = json.getDynamicObject();
    if (object == nullptr)
        return std::nullopt;
    JsonReader r{*object};
    LivePatch p;
    const auto idString = r.required("id", asString);
    if (!isUuidText(idString))
        return std::nullopt;
    p.id = juce::Uuid(juce::String(idString));
    p.name = r.required("name", asString);
    p.masterVolume = r.required("masterVolume", asDouble);

    const auto& list = object->getProperty("layers");
    if (!list.isArray())
        return std::nullopt;
    for (const auto& entry : *list.getArray())
    {
        auto layer = LayerSnapshot::fromJson(entry);
        if (!layer)
            return std::nullopt;
        p.layers.push_back(std::move(*layer));
    }
    auto drone = DroneSnapshot::fromJson(object->getProperty("drone"));
    if (!drone || !r.ok)
        return std::nullopt;
    p.drone = *drone;
    return p;
}

std::string LivePatch::encode() const
{
    return toCompactJson(toJson());
}

std::optional<LivePatch> LivePatch::decode(const std::string& text)
{
    const auto json = parseJson(text);
    return json ? fromJson(*json) : std::nullopt;
}

std::string LivePatch::encodeList(const std::vector<LivePatch>& patches)
{
    juce::Array<juce::var> list;
    for (const auto& p : patches)
        list.add(p.toJson());
    return toCompactJson(list);
}

std::optional<std::vector<LivePatch>> LivePatch::decodeList(const std::string& text)
{
    const auto json = parseJson(text);
    if (!json || !json->isArray())
        return std::nullopt;
    std::vector<LivePatch> patches;
    for (const auto& entry : *json->getArray())
    {
        auto patch = fromJson(entry);
        if (!patch)
            return std::nullopt;
        patches.push_back(std::move(*patch));
    }
    return patches;
}

} // namespace norvane
