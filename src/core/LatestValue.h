#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <type_traits>

namespace norvane
{

/** The latest value one thread has published, for one other thread to read: a triple buffer.

    The writer never waits and never sees the reader; the reader gets the newest complete value
    written since its last read, or nothing when there is none. Values written in between are
    skipped: this carries a state, not a history.
*/
template <typename T> class LatestValue
{
    static_assert(std::is_trivially_copyable_v<T>);

public:
    /** Writer thread only. */
    void write(const T& value) noexcept
    {
        slots[(size_t)back] = value;
        const auto previous = middle.exchange(back | freshBit, std::memory_order_acq_rel);
        back = previous & indexMask;
    }

    /** Reader thread only: true and the value when something new was written. */
    bool read(T& value) noexcept
    {
        if ((middle.load(std::memory_order_relaxed) & freshBit) == 0)
            return false;
        const auto previous = middle.exchange(front, std::memory_order_acq_rel);
        front = previous & indexMask;
        value = slots[(size_t)front];
        return true;
    }

private:
    static constexpr std::uint32_t freshBit = 4, indexMask = 3;

    std::array<T, 3> slots{};
    std::uint32_t back = 0;  // writer's
    std::uint32_t front = 1; // reader's
    std::atomic<std::uint32_t> middle{2};
};

} // namespace norvane
