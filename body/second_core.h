#pragma once
// A persistent helper thread that runs one job at a time beside the caller:
// the caller offers it a job, does its own share, then finishes the job: if
// the helper has not taken it yet (its core busy with something else), the
// caller runs it itself, otherwise it waits for the helper. So a busy second
// core costs little more than the job itself.
// Made once (when a body is large enough to gain from it), never per step;
// handing over a job allocates nothing. Between jobs the helper spins for up
// to 20 ms (the next job follows within microseconds while a body is being
// stepped), then sleeps on the job counter.
#include <atomic>
#include <cstdint>
#include <thread>

class SecondCore {
public:
    using Job = void (*)(void* argument);

    SecondCore();
    ~SecondCore();
    SecondCore(const SecondCore&) = delete;
    SecondCore& operator=(const SecondCore&) = delete;

    // Offers job(argument) to the helper. The previous job must have been
    // finished.
    void offer(Job job, void* argument);
    // Returns once the job offered last has run, on the helper or here.
    void finish();
    // With true, finish() always waits for the helper to run the job (the
    // tests use it so that the helper's path is the one checked).
    void leaveEveryJobToHelper(bool leave) { leaveToHelper_ = leave; }

private:
    void loop();

    // Each thread spins on a counter the other one writes, so every counter
    // has a cache line of its own: a line it shared with anything the other
    // thread writes often (a neighbour on the heap included) would bounce
    // between the cores on every write, slowing both threads several times.
    // What the caller writes to hand over a job, and the count of jobs handed over.
    struct alignas(64) Offer {
        Job job = nullptr;
        void* argument = nullptr;
        std::atomic<uint32_t> posted{0};
        std::atomic<bool> stop{false};
    } offer_;
    alignas(64) std::atomic<uint32_t> claimed_{0};   // jobs claimed, by the helper or the caller
    alignas(64) std::atomic<uint32_t> finished_{0};  // jobs done
    alignas(64) bool leaveToHelper_ = false;
    std::thread thread_;
};
