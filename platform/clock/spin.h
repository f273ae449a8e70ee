// A short bounded spin before blocking, for the handoffs of virtual time.
//
// In virtual time the advancing thread and a card's interrupt thread hand
// each cycle to each other: one raises the interrupt and waits until it is
// served, the other serves it and waits for the next. Blocking on a condition
// variable each time costs a scheduler wake-up per handoff, and on an idle
// core of a virtual machine that takes tens of microseconds, more than the
// work between handoffs. A waiter that is about to block first watches the
// condition for some tens of microseconds; the other thread usually answers
// within that time, and the waiter goes on without sleeping. Real time never
// spins.
#pragma once

#include <chrono>
#include <thread>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace platform {

// Long enough to see the longest usual answer end without sleeping: the
// motion cycle on twelve cards takes 40 to 50 us here. The spinning thread
// yields its processor meanwhile, so a busy machine loses little to it.
inline constexpr std::chrono::nanoseconds kHandoffSpin{60'000};

// Calls busy() until it returns false (true) or `limit` has passed (false).
// After the first microsecond the spinning thread yields its processor at
// each turn, so that on a busy machine it does not keep out the very thread
// it waits for.
template <typename Busy>
bool spinWhile(Busy&& busy, std::chrono::nanoseconds limit = kHandoffSpin) {
  constexpr std::chrono::nanoseconds kPauseOnly{1'000};
  const auto start = std::chrono::steady_clock::now();
  for (unsigned i = 1;; ++i) {
    if (!busy()) return true;
#if defined(__x86_64__) || defined(__i386__)
    _mm_pause();
#endif
    if (i % 16 != 0) continue;
    const auto spent = std::chrono::steady_clock::now() - start;
    if (spent >= limit) return false;
    if (spent >= kPauseOnly) std::this_thread::yield();
  }
}

}  // namespace platform
