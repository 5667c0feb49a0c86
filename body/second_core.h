#pragma once
// A persistent helper thread that runs one job at a time beside the caller:
// the caller offers it a job, does its own share, then finishes the job: if
// the helper has not taken it yet (its core busy with something else), the
// caller runs it itself, otherwise it waits for the helper. So a busy second
// core costs little more than the job itself.
// Made once (when a body is large enough to gain from it), never per step;
// handing over a job allocates nothing. Between jobs the helper spins briefly
// (the next job of a step follows within microseconds), then sleeps on the
// job counter.
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

    Job job_ = nullptr;
    void* argument_ = nullptr;
    std::atomic<bool> stop_{false};
    bool leaveToHelper_ = false;
    std::atomic<uint32_t> claimed_{0};   // jobs claimed, by the helper or the caller
    std::atomic<uint32_t> posted_{0};    // jobs handed over
    std::atomic<uint32_t> finished_{0};  // jobs done
    std::thread thread_;
};
