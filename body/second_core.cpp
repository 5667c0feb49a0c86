#include "body/second_core.h"

#include <chrono>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define PLUMFOLD_PAUSE() _mm_pause()
#else
#define PLUMFOLD_PAUSE() ((void)0)
#endif

namespace {

// Spins for this long before sleeping: long enough to bridge the gaps between
// the jobs of a step and between steps that follow one another (waking a
// sleeping thread takes tens of microseconds, longer than a job is worth; with
// 300 µs the helper often slept between steps). A spinning helper holds its
// core, so small bodies get no helper (body/step_solver.h).
constexpr auto spinTime = std::chrono::milliseconds(20);

// Waits until `counter` differs from `seen`: first spinning, then sleeping.
void awaitChange(const std::atomic<uint32_t>& counter, uint32_t seen) {
    const auto until = std::chrono::steady_clock::now() + spinTime;
    do {
        for (int i = 0; i < 64; ++i) {
            if (counter.load(std::memory_order_acquire) != seen) return;
            PLUMFOLD_PAUSE();
        }
    } while (std::chrono::steady_clock::now() < until);
    while (counter.load(std::memory_order_acquire) == seen) counter.wait(seen, std::memory_order_acquire);
}

}  // namespace

SecondCore::SecondCore() : thread_([this] { loop(); }) {}

SecondCore::~SecondCore() {
    offer_.stop.store(true, std::memory_order_relaxed);
    offer_.posted.fetch_add(1, std::memory_order_release);
    offer_.posted.notify_one();
    thread_.join();
}

// Job g (the g-th offered) is claimed by moving claimed_ from g − 1 to g; only
// one of the two threads can, and a helper that wakes late for a job the
// caller already ran fails to claim it.
void SecondCore::offer(Job job, void* argument) {
    offer_.job = job;
    offer_.argument = argument;
    offer_.posted.fetch_add(1, std::memory_order_release);
    offer_.posted.notify_one();
}

void SecondCore::finish() {
    const uint32_t job = offer_.posted.load(std::memory_order_relaxed);
    uint32_t expected = job - 1;
    if (!leaveToHelper_ && claimed_.compare_exchange_strong(expected, job, std::memory_order_acq_rel)) {
        offer_.job(offer_.argument);  // the helper has not got to it: do it here
        return;
    }
    uint32_t done = finished_.load(std::memory_order_acquire);
    while (done != job) {
        awaitChange(finished_, done);
        done = finished_.load(std::memory_order_acquire);
    }
}

void SecondCore::loop() {
    uint32_t seen = 0;
    for (;;) {
        awaitChange(offer_.posted, seen);
        seen = offer_.posted.load(std::memory_order_acquire);
        if (offer_.stop.load(std::memory_order_relaxed)) return;
        uint32_t expected = seen - 1;
        if (!claimed_.compare_exchange_strong(expected, seen, std::memory_order_acq_rel)) continue;
        offer_.job(offer_.argument);
        finished_.store(seen, std::memory_order_release);
        finished_.notify_one();
    }
}
