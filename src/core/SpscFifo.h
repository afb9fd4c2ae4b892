#pragma once

#include <juce_core/juce_core.h>

#include <array>
#include <type_traits>

namespace norvane
{

/** A fixed-size single-producer / single-consumer queue of trivially copyable items.

    One thread pushes, one other thread pops; neither ever allocates, locks or waits. A push
    into a full queue fails and returns false, leaving the queue as it was.
*/
template <typename T, int Capacity> class SpscFifo
{
    static_assert(std::is_trivially_copyable_v<T>);

public:
    /** Producer thread only. */
    bool push(const T& item) noexcept
    {
        const auto scope = fifo.write(1);
        if (scope.blockSize1 + scope.blockSize2 != 1)
            return false;
        slots[(size_t)(scope.blockSize1 == 1 ? scope.startIndex1 : scope.startIndex2)] = item;
        return true;
    }

    /** Consumer thread only. */
    bool pop(T& item) noexcept
    {
        const auto scope = fifo.read(1);
        if (scope.blockSize1 + scope.blockSize2 != 1)
            return false;
        item = slots[(size_t)(scope.blockSize1 == 1 ? scope.startIndex1 : scope.startIndex2)];
        return true;
    }

    /** Consumer thread only: the next item, left in the queue. */
    bool peek(T& item) const noexcept
    {
        int start1 = 0, size1 = 0, start2 = 0, size2 = 0;
        fifo.prepareToRead(1, start1, size1, start2, size2);
        if (size1 + size2 != 1)
            return false;
        item = slots[(size_t)(size1 == 1 ? start1 : start2)];
        return true;
    }

    /** Either thread; a snapshot that may be out of date at once. */
    int size() const noexcept { return fifo.getNumReady(); }
    int freeSpace() const noexcept { return fifo.getFreeSpace(); }

private:
    // AbstractFifo keeps one slot free to tell full from empty.
    juce::AbstractFifo fifo{Capacity + 1};
    std::array<T, Capacity + 1> slots{};
};

} // namespace norvane
