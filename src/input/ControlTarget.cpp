#include "input/ControlTarget.h"

#include "aids/NoteNames.h"

#include <array>

namespace norvane
{

namespace
{

using Kind = ControlTarget::Kind;

struct KindInfo
{
    Kind kind;
    std::string_view name; // after "layerX." for the layer kinds
    std::string_view spanish, english;
    ControlTarget::Behaviour behaviour;
};

using B = ControlTarget::Behaviour;

constexpr std::array<KindInfo, ControlTarget::kindCount> kinds{{
    {Kind::masterVolume, "master.volume", "Master · Volumen", "Master · Volume", B::continuous},
    {Kind::layerVolume, "volume", "Volumen", "Volume", B::continuous},
    {Kind::layerEnabled, "enabled", "Encendida", "On", B::toggle},
    {Kind::layerReverbAmount, "reverbAmount", "Reverb", "Reverb", B::continuous},
    {Kind::layerCompressionAmount, "compressionAmount", "Compresión", "Compression",
     B::continuous},
    {Kind::layerEqLowGain, "eqLowGain", "EQ graves", "EQ low", B::continuous},
    {Kind::layerEqMidGain, "eqMidGain", "EQ medios", "EQ mid", B::continuous},
    {Kind::layerEqHighGain, "eqHighGain", "EQ agudos", "EQ high", B::continuous},
    {Kind::droneEnabled, "drone.enabled", "Drone Pad · Encendido", "Drone Pad · On", B::toggle},
    {Kind::droneVolume, "drone.volume", "Drone Pad · Volumen", "Drone Pad · Volume",
     B::continuous},
    {Kind::metronomeRunning, "metronome.running", "Metrónomo · Marcha", "Metronome · Run",
     B::toggle},
    {Kind::metronomeTap, "metronome.tap", "Metrónomo · Tap", "Metronome · Tap", B::action},
    {Kind::patchNext, "patch.next", "Patch siguiente", "Next patch", B::action},
    {Kind::patchPrevious, "patch.previous", "Patch anterior", "Previous patch", B::action},
    {Kind::transposeUp, "transpose.up", "Transposición +1", "Transpose +1", B::action},
    {Kind::transposeDown, "transpose.down", "Transposición −1", "Transpose −1", B::action},
    {Kind::panic, "panic", "Pánico", "Panic", B::action},
}};

const KindInfo& info(Kind kind) noexcept
{
    return kinds[(size_t)kind];
}

constexpr std::string_view layerLetters = "ABCD";

} // namespace

std::optional<ControlTarget> ControlTarget::ofSlot(std::string_view slot, Kind kind)
{
    if (slot == "Drone")
    {
        if (kind == Kind::layerVolume)
            return of(Kind::droneVolume);
        if (kind == Kind::layerEnabled)
            return of(Kind::droneEnabled);
        return std::nullopt;
    }
    const auto letter = slot.size() == 1 ? layerLetters.find(slot[0]) : std::string_view::npos;
    if (letter == std::string_view::npos || kind < Kind::layerVolume || kind > Kind::layerEqHighGain)
        return std::nullopt;
    return ofLayer(kind, (int)letter);
}

ControlTarget::Behaviour ControlTarget::behaviour() const noexcept
{
    return info(kind).behaviour;
}

std::string ControlTarget::name() const
{
    if (!isLayerTarget())
        return std::string(info(kind).name);
    return "layer" + std::string(1, layerLetters[(size_t)layer]) + "." +
           std::string(info(kind).name);
}

std::optional<ControlTarget> ControlTarget::fromName(std::string_view name)
{
    for (auto& target : all())
        if (target.name() == name)
            return target;
    return std::nullopt;
}

std::string ControlTarget::displayName(AppLanguage language) const
{
    const auto& i = info(kind);
    const auto text = localized(language, i.spanish, i.english);
    if (!isLayerTarget())
        return text;
    return localized(language, "Capa ", "Layer ") + layerLetters[(size_t)layer] + " · " + text;
}

std::uint8_t ControlTarget::index() const noexcept
{
    return (std::uint8_t)((int)kind * 4 + (isLayerTarget() ? layer : 0));
}

std::optional<ControlTarget> ControlTarget::fromIndex(int index) noexcept
{
    if (index < 0 || index >= indexCount)
        return std::nullopt;
    ControlTarget t{(Kind)(index / 4), (std::int8_t)(index % 4)};
    if (!t.isLayerTarget())
    {
        if (t.layer != 0)
            return std::nullopt;
        t.layer = -1;
    }
    return t;
}

const std::vector<ControlTarget>& ControlTarget::all()
{
    static const std::vector<ControlTarget> targets = []
    {
        std::vector<ControlTarget> list{master()};
        for (int l = 0; l < 4; ++l)
            for (int k = (int)Kind::layerVolume; k <= (int)Kind::layerEqHighGain; ++k)
                list.push_back(ofLayer((Kind)k, l));
        for (int k = (int)Kind::droneEnabled; k < kindCount; ++k)
            list.push_back(of((Kind)k));
        return list;
    }();
    return targets;
}

bool ControllerBinding::sharesSourceWith(const ControllerBinding& other) const
{
    return source == other.source && number == other.number &&
           (channel == 0 || other.channel == 0 || channel == other.channel);
}

std::string ControllerBinding::sourceText(AppLanguage language) const
{
    const auto what = source == Source::controller
                          ? "CC " + std::to_string(number)
                          : localized(language, "Nota ", "Note ") + NoteNames::fullName(number);
    const auto where = channel == 0 ? localized(language, "cualquier canal", "any channel")
                                    : localized(language, "canal ", "channel ") +
                                          std::to_string(channel);
    return what + " · " + where;
}

} // namespace norvane
