#include "support/AllocationCounter.h"

#include <array>
#include <atomic>
#include <cstdlib>
#include <new>

#include <dlfcn.h>
#include <pthread.h>

namespace
{

thread_local bool armed = false;
thread_local std::size_t allocationCount = 0;
thread_local std::size_t deallocationCount = 0;
thread_local std::size_t lockCount = 0;

// Mutexes whose locking the armed thread may take (at most a few, set before arming).
std::array<std::atomic<const void*>, 64> allowedLocks{};

[[maybe_unused]] bool isAllowed(const void* mutex) noexcept
{
    for (auto& a : allowedLocks)
    {
        const void* p = a.load(std::memory_order_relaxed);
        if (p == nullptr)
            return false;
        if (p == mutex)
            return true;
    }
    return false;
}

void* allocate(std::size_t size)
{
    if (armed)
        ++allocationCount;
    if (size == 0)
        size = 1;
    if (void* p = std::malloc(size))
        return p;
    throw std::bad_alloc();
}

void* allocateAligned(std::size_t size, std::align_val_t alignment)
{
    if (armed)
        ++allocationCount;
    const auto a = static_cast<std::size_t>(alignment);
    size = (size + a - 1) / a * a;
    if (void* p = std::aligned_alloc(a, size == 0 ? a : size))
        return p;
    throw std::bad_alloc();
}

void release(void* p) noexcept
{
    if (p != nullptr && armed)
        ++deallocationCount;
    std::free(p);
}

} // namespace

namespace norvane::test
{
void AllocationCounter::arm() noexcept
{
    armed = true;
}
void AllocationCounter::disarm() noexcept
{
    armed = false;
}
std::size_t AllocationCounter::allocations() noexcept
{
    return allocationCount;
}
std::size_t AllocationCounter::deallocations() noexcept
{
    return deallocationCount;
}
std::size_t AllocationCounter::locks() noexcept
{
    return lockCount;
}
bool AllocationCounter::countsLocks() noexcept
{
#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    return true;
#else
    return false;
#endif
}
void AllocationCounter::allowLock(const void* mutex) noexcept
{
    for (auto& a : allowedLocks)
    {
        const void* expected = nullptr;
        if (a.load() == mutex || a.compare_exchange_strong(expected, mutex))
            return;
    }
}
void AllocationCounter::reset() noexcept
{
    allocationCount = 0;
    deallocationCount = 0;
    lockCount = 0;
}
} // namespace norvane::test

void* operator new(std::size_t size)
{
    return allocate(size);
}
void* operator new[](std::size_t size)
{
    return allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    try
    {
        return allocate(size);
    }
    catch (...)
    {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    try
    {
        return allocate(size);
    }
    catch (...)
    {
        return nullptr;
    }
}
void* operator new(std::size_t size, std::align_val_t a)
{
    return allocateAligned(size, a);
}
void* operator new[](std::size_t size, std::align_val_t a)
{
    return allocateAligned(size, a);
}
void operator delete(void* p) noexcept
{
    release(p);
}
void operator delete[](void* p) noexcept
{
    release(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    release(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    release(p);
}
void operator delete(void* p, std::align_val_t) noexcept
{
    release(p);
}
void operator delete[](void* p, std::align_val_t) noexcept
{
    release(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept
{
    release(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept
{
    release(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept
{
    release(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    release(p);
}

// C code (FluidSynth above all) allocates with malloc, not operator new: count that too, by
// standing in front of glibc's allocator. The sanitizers bring their own allocator, so the
// sanitizer builds count operator new and delete only.
#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
namespace
{
template <typename Function> Function* next(std::atomic<Function*>& cache, const char* name)
{
    auto* f = cache.load(std::memory_order_relaxed);
    if (f == nullptr)
    {
        f = reinterpret_cast<Function*>(dlsym(RTLD_NEXT, name));
        cache.store(f, std::memory_order_relaxed);
    }
    return f;
}

std::atomic<int (*)(pthread_mutex_t*)> realMutexLock{nullptr};
std::atomic<int (*)(pthread_rwlock_t*)> realReadLock{nullptr}, realWriteLock{nullptr};

} // namespace

extern "C"
{
    void* __libc_malloc(std::size_t);
    void* __libc_calloc(std::size_t, std::size_t);
    void* __libc_realloc(void*, std::size_t);
    void* __libc_memalign(std::size_t, std::size_t);
    void __libc_free(void*);

    void* malloc(std::size_t size)
    {
        if (armed)
            ++allocationCount;
        if (armed && std::getenv("NORVANE_TRAP_ALLOCATION") != nullptr)
            __builtin_trap();
        return __libc_malloc(size);
    }

    void* calloc(std::size_t count, std::size_t size)
    {
        if (armed)
            ++allocationCount;
        return __libc_calloc(count, size);
    }

    void* realloc(void* p, std::size_t size)
    {
        if (armed)
            ++allocationCount;
        return __libc_realloc(p, size);
    }

    void* memalign(std::size_t alignment, std::size_t size)
    {
        if (armed)
            ++allocationCount;
        return __libc_memalign(alignment, size);
    }

    void* aligned_alloc(std::size_t alignment, std::size_t size)
    {
        return memalign(alignment, size);
    }

    int posix_memalign(void** out, std::size_t alignment, std::size_t size)
    {
        void* p = memalign(alignment, size);
        if (p == nullptr)
            return 12; // ENOMEM
        *out = p;
        return 0;
    }

    void free(void* p)
    {
        if (p != nullptr && armed)
            ++deallocationCount;
        __libc_free(p);
    }

    // Locks: every way a thread can be made to wait for another through glibc's mutexes
    // (std::mutex and juce::CriticalSection lock through here). Trying a lock is fine.
    int pthread_mutex_lock(pthread_mutex_t* m)
    {
        if (armed && !isAllowed(m))
        {
            ++lockCount;
            if (std::getenv("NORVANE_TRAP_LOCK") != nullptr)
                __builtin_trap();
        }
        return next(realMutexLock, "pthread_mutex_lock")(m);
    }

    int pthread_rwlock_rdlock(pthread_rwlock_t* l)
    {
        if (armed)
            ++lockCount;
        return next(realReadLock, "pthread_rwlock_rdlock")(l);
    }

    int pthread_rwlock_wrlock(pthread_rwlock_t* l)
    {
        if (armed)
            ++lockCount;
        return next(realWriteLock, "pthread_rwlock_wrlock")(l);
    }
}
#endif
