#pragma once
// Whether the helper thread (body/second_core.h) is worth using right now.
//
// It pays only while the two processors pass data quickly: on the virtual
// machines we measure on, the host sometimes runs them far apart for seconds
// to minutes, a cache line then takes four times as long to cross, and
// stepping with the helper is twice as slow as without it. So calls
// (computeForces, integrate) are timed: a short trial runs blocks of calls
// with and without the helper, the faster way is kept for a few thousand
// calls, then the next trial runs. Both ways give the same bits, so switching
// changes nothing else. The first two calls of each block are not timed:
// after a switch the data one thread wrote still sits in the other's cache,
// which says nothing of how either way runs for good.
class HelperTrial {
public:
    static constexpr int warmUpCalls = 8;    // first calls of a new helper, with it, not timed
    static constexpr int blockCalls = 16;    // calls in one block of the trial
    static constexpr int trialCalls = 64;    // four blocks: with, without, without, with
    static constexpr int keptCalls = 4096;   // calls the choice is kept for

    // Whether the next call uses the helper. The trial's blocks run with,
    // without, without, with, so that a cost that grows or shrinks steadily
    // (a body settling or speeding up) weighs on both ways alike.
    bool useHelper() const {
        if (call_ < 0) return true;
        if (call_ >= trialCalls) return chosen_;
        const int block = call_ / blockCalls;
        return block == 0 || block == 3;
    }

    // Records how long the call just made took.
    void record(double seconds) {
        if (call_ >= 0 && call_ < trialCalls && call_ % blockCalls >= 2)
            (useHelper() ? withHelper_ : withoutHelper_) += seconds;
        ++call_;
        if (call_ == trialCalls) chosen_ = withHelper_ <= withoutHelper_;
        if (call_ == trialCalls + keptCalls) {
            call_ = 0;
            withHelper_ = withoutHelper_ = 0.0;
        }
    }

private:
    // A thread that has just started takes a while to run its first jobs, so
    // the first trial waits for it.
    int call_ = -warmUpCalls;
    double withHelper_ = 0.0;
    double withoutHelper_ = 0.0;
    bool chosen_ = true;
};
