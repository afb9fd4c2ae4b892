#pragma once

#include <cstddef>

namespace norvane::test
{

/** Counts calls of the global operator new and delete made on the current thread while armed,
    and (in builds without sanitizers) malloc, free and the locking of mutexes. The counting
    replaces the global operators and those C functions for the whole test program. */
struct AllocationCounter
{
    static void arm() noexcept;
    static void disarm() noexcept;
    static std::size_t allocations() noexcept;
    static std::size_t deallocations() noexcept;
    /** Mutexes and read-write locks locked (waited for, if another thread held them). */
    static std::size_t locks() noexcept;
    /** Whether this build counts locks at all (the sanitizers bring their own). */
    static bool countsLocks() noexcept;
    /** Locking `mutex` is not counted: for a lock another library takes on every block that
        nothing else takes while playing. Any thread, before arming. */
    static void allowLock(const void* mutex) noexcept;
    static void reset() noexcept;
};

} // namespace norvane::test
