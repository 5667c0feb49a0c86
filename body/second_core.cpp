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
// the jobs of a step (waking a sleeping thread takes tens of microseconds,
// longer than the job is worth), short enough not to hold a core between
// frames.
constexpr auto spinTime = std::chrono::microseconds(300);

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
    stop_.store(true, std::memory_order_relaxed);
    posted_.fetch_add(1, std::memory_order_release);
    posted_.notify_one();
    thread_.join();
}

// Job g (the g-th offered) is claimed by moving claimed_ from g − 1 to g; only
// one of the two threads can, and a helper that wakes late for a job the
// caller already ran fails to claim it.
void SecondCore::offer(Job job, void* argument) {
    job_ = job;
    argument_ = argument;
    posted_.fetch_add(1, std::memory_order_release);
    posted_.notify_one();
}

void SecondCore::finish() {
    const uint32_t job = posted_.load(std::memory_order_relaxed);
    uint32_t expected = job - 1;
    if (!leaveToHelper_ && claimed_.compare_exchange_strong(expected, job, std::memory_order_acq_rel)) {
        job_(argument_);  // the helper has not got to it: do it here
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
        awaitChange(posted_, seen);
        seen = posted_.load(std::memory_order_acquire);
        if (stop_.load(std::memory_order_relaxed)) return;
        uint32_t expected = seen - 1;
        if (!claimed_.compare_exchange_strong(expected, seen, std::memory_order_acq_rel)) continue;
        job_(argument_);
        finished_.store(seen, std::memory_order_release);
        finished_.notify_one();
    }
}
