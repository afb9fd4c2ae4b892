#pragma once

#include "input/ControlTarget.h"

#include <array>
#include <cstdint>
#include <optional>

namespace norvane
{

/** The audio side's view of the player's controller bindings: which target a controller or
    key on a channel moves, and, per target, where its controller stands.

    A continuous target is picked up: once bound, and whenever its control has been moved by
    anything else (the screen, a recalled patch), the controller takes over only when its value
    comes to the control's own or passes it, so that nothing jumps. A press is a controller
    rising through 64, or a key going down.

    Plain data, no allocation: audio thread (or any one thread while nothing renders).
*/
class BoundControls
{
public:
    using Source = ControllerBinding::Source;
    static constexpr std::uint8_t none = 0xFF;

    BoundControls() noexcept;

    /** Unbinds everything; binding the same sources to the same targets again keeps their
        pickup. */
    void clear() noexcept;
    /** Binds the source to the target, taking it from whatever it moved and taking the
        target's earlier source away; the target waits for pickup. Out-of-range numbers are
        ignored. */
    void bind(Source source, int number, int channel, std::uint8_t target) noexcept;
    /** The target a message from `source` on `channel` (1–16) moves, or `none`. */
    std::uint8_t find(Source source, int number, int channel) const noexcept;

    /** A controller value for a continuous target whose control stands at `current` (0…1):
        the value to give the control, or nothing while it waits for pickup. */
    std::optional<float> follow(std::uint8_t target, int value, float current) noexcept;
    /** A controller value for a toggle or action: true when it is a press. */
    bool pressed(std::uint8_t target, int value) noexcept;

    /** How far a control may stand from the controller and still be taken over at once. */
    static constexpr float pickupTolerance = 1.5f / 127.0f;

private:
    struct State
    {
        int lastValue = -1;   // the controller's last value, −1 before any
        float written = -1.f; // what it last gave the control
        bool engaged = false; // picked up
        bool high = false;    // at 64 or above
    };

    static int slot(Source source, int number) noexcept { return (int)source * 128 + number; }

    using Table = std::array<std::array<std::uint8_t, 17>, 256>; // [source × 128 + number][channel]
    Table targets{}, before{}; // before: the bindings up to the last clear()
    std::array<State, ControlTarget::indexCount> states{};
};

} // namespace norvane
