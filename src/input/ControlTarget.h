#pragma once

#include "core/AppLanguage.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace norvane
{

/** Something on the console a controller of the player's keyboard can be bound to: a fader or
    knob it moves, a switch it flips or an action it fires. Stored by name ("layerA.volume"). */
struct ControlTarget
{
    enum class Kind : std::uint8_t
    {
        masterVolume,
        layerVolume, // the layer kinds, up to layerEqHighGain, have a layer 0–3 (A–D)
        layerEnabled,
        layerReverbAmount,
        layerCompressionAmount,
        layerEqLowGain,
        layerEqMidGain,
        layerEqHighGain,
        droneEnabled,
        droneVolume,
        metronomeRunning,
        metronomeTap,
        patchNext,
        patchPrevious,
        transposeUp,
        transposeDown,
        panic,
    };
    static constexpr int kindCount = (int)Kind::panic + 1;

    /** How a controller acts on the target. */
    enum class Behaviour : std::uint8_t
    {
        continuous, ///< follows the controller's value, after pickup
        toggle,     ///< flips on each press
        action,     ///< fires on each press
    };

    Kind kind = Kind::masterVolume;
    std::int8_t layer = -1; ///< 0–3 for a layer's target, −1 otherwise

    static ControlTarget master() { return {Kind::masterVolume}; }
    static ControlTarget ofLayer(Kind kind, int layer) { return {kind, (std::int8_t)layer}; }
    static ControlTarget of(Kind kind) { return {kind}; }
    /** A layer's control by the layer's slot ("A"–"D"; the drone's "Drone" has its volume
        and its switch only). */
    static std::optional<ControlTarget> ofSlot(std::string_view slot, Kind kind);

    bool isLayerTarget() const { return kind >= Kind::layerVolume && kind <= Kind::layerEqHighGain; }
    Behaviour behaviour() const noexcept;

    /** "layerA.volume", "patch.next" … */
    std::string name() const;
    static std::optional<ControlTarget> fromName(std::string_view name);

    /** What the window calls it: "Capa A · Volumen" / "Layer A · Volume". */
    std::string displayName(AppLanguage language) const;

    /** A small number for the audio side's tables, below indexCount. */
    std::uint8_t index() const noexcept;
    /** Nothing for a number that names no target (the audio side's tables use it). */
    static std::optional<ControlTarget> fromIndex(int index) noexcept;
    static constexpr int indexCount = kindCount * 4;

    /** Every target, in the console's order. */
    static const std::vector<ControlTarget>& all();

    bool operator==(const ControlTarget&) const = default;
};

/** What moves a target: a controller (CC) or a key of the player's keyboard, on one channel
    or any. */
struct ControllerBinding
{
    enum class Source : std::uint8_t
    {
        controller,
        note
    };

    ControlTarget target;
    Source source = Source::controller;
    int number = 0;  ///< 0–127
    int channel = 0; ///< 1–16, or 0 for any channel

    /** True when a message from `other`'s source would also reach this binding. */
    bool sharesSourceWith(const ControllerBinding& other) const;

    /** "CC 20 · canal 1", "Nota C2 · cualquier canal" / "CC 20 · channel 1", "Note C2 · any channel". */
    std::string sourceText(AppLanguage language) const;

    bool operator==(const ControllerBinding&) const = default;
};

} // namespace norvane
