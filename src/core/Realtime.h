#pragma once

#include <sched.h>

namespace norvane
{

/** Real-time priorities (SCHED_FIFO, 1…99) of the program's own threads. The audio thread
    stays above the MIDI input, which stays above everything at normal priority (the window):
    a burst of MIDI can then never hold a block up, and a busy window never holds up a key.
    A JACK server gives its clients' audio threads its own priority less five (5 by default),
    so the MIDI input sits below that too. */
namespace Realtime
{
constexpr int audioPriority = 8;
constexpr int midiPriority = 3;

/** Puts the calling thread on FIFO scheduling at `priority`. A system call on this thread
    alone, without the lock pthread_setschedparam takes, so the audio thread may make it.
    False when the system refuses (no rights); the thread carries on as it was. */
inline bool raiseThisThread(int priority) noexcept
{
    sched_param param{};
    param.sched_priority = priority;
    return sched_setscheduler(0, SCHED_FIFO, &param) == 0;
}

/** Whether the calling thread runs with real-time scheduling. */
inline bool thisThreadIsRealtime() noexcept
{
    const int policy = sched_getscheduler(0) & ~SCHED_RESET_ON_FORK;
    return policy == SCHED_FIFO || policy == SCHED_RR;
}
} // namespace Realtime

} // namespace norvane
