#pragma once

#include <cstddef>

namespace norvane::test
{

/** Counts calls of the global operator new and delete made on the current thread while armed.
    The counting replaces the global operators for the whole test program. */
struct AllocationCounter
{
    static void arm() noexcept;
    static void disarm() noexcept;
    static std::size_t allocations() noexcept;
    static std::size_t deallocations() noexcept;
    static void reset() noexcept;
};

} // namespace norvane::test
