// Load + build and one simulation step (computeForces + integrate(Heun, 0.001))
// of icospheres of level 3 to 7 and of the shipped body: plainStep runs the
// plain loops the engine replaced (baseline_step.cpp), bulkStep the engine as
// shipped (the widest loops the processor runs: AVX-512, AVX2 or portable),
// twoCoreStep that with its helper thread switched on, avx2Step and
// portableStep the engine with its four-wide and its portable loops. Each
// repetition starts from a freshly built body and runs a fixed number of
// steps, so all variants follow the same trajectory. crossCoreRoundTrip, run
// first and last, times a cache line's round trip between two threads.
// Counters:
//   median_us     median wall time of one step (or one load + build)
//   ns_per_vertex median_us per mass point, in nanoseconds
//   body_MiB      heap held by the built body (records and working arrays)
//   step_peak_B   heap growth at the peak of the timed steps (0: no allocation)
//   round_trip_ns that round trip, in nanoseconds
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "bench/baseline_step.h"
#include "body/scene.h"
#include "body/step_solver.h"
#include "mesh/mesh_data.h"
#include "tools/mesh_generators.h"

// ------------------------------------------------ heap accounting ---
// The replaced operator new takes its memory from malloc, so free is the right
// release; GCC cannot see through the replacement and warns.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

namespace {
std::atomic<long long> heapNow{0};
std::atomic<long long> heapPeak{0};

void noteAllocation(void* p) {
    long long now = heapNow.fetch_add(static_cast<long long>(malloc_usable_size(p))) +
                    static_cast<long long>(malloc_usable_size(p));
    long long peak = heapPeak.load();
    while (now > peak && !heapPeak.compare_exchange_weak(peak, now)) {
    }
}
}  // namespace

void* operator new(std::size_t size) {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) throw std::bad_alloc();
    noteAllocation(p);
    return p;
}
namespace {
void release(void* p) {
    if (p == nullptr) return;
    heapNow.fetch_sub(static_cast<long long>(malloc_usable_size(p)));
    std::free(p);
}
}  // namespace
void operator delete(void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }

namespace {

void resetPeak() { heapPeak.store(heapNow.load()); }

// ------------------------------------------------ bodies ---

const int lastLevel = 7;
const int shippedBody = 0;  // benchmark argument for Objects/Objekt3.asc

// Icosphere of the given level (radius 2, inside the box after the 0.9 scale),
// written once per run to a temporary mesh file.
std::string meshPath(int level) {
    if (level == shippedBody) return PLUMFOLD_SOURCE_DIR "/Objects/Objekt3.asc";
    static std::vector<std::string> paths(lastLevel + 1);
    std::string& path = paths[level];
    if (path.empty()) {
        path = (std::filesystem::temp_directory_path() /
                ("plumfold-bench-sphere-" + std::to_string(level) + ".asc"))
                   .string();
        std::FILE* out = std::fopen(path.c_str(), "w");
        if (out == nullptr || !writeMesh(out, makeIcosphere(level, 2.0f), "icosphere") || std::fclose(out) != 0) {
            std::fprintf(stderr, "plumfold-bench: cannot write %s\n", path.c_str());
            std::exit(1);
        }
    }
    return path;
}

PressureBody loadBody(const std::string& path) {
    BodyParams params;
    params.fileName = path.c_str();
    PressureBody body(params);
    body.gravity = sceneGravity;
    return body;
}

// Steps per repetition: the same for both variants, so they follow the same
// trajectory (falling, hitting the floor, settling).
int stepsFor(int level) {
    switch (level) {
        case 3: return 2000;
        case 4: return 1000;
        case 5: return 300;
        case 6: return 100;
        case 7: return 100;  // enough for the helper's first trial (36 steps) to end
        default: return 2000;
    }
}

double median(std::vector<double>& values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

using Clock = std::chrono::steady_clock;

// ------------------------------------------------ benchmarks ---

void loadAndBuild(benchmark::State& state) {
    const std::string path = meshPath(static_cast<int>(state.range(0)));
    std::vector<double> times;
    size_t vertices = 0;
    long long bodyBytes = 0;
    for (auto _ : state) {
        long long before = heapNow.load();
        auto start = Clock::now();
        PressureBody body = loadBody(path);
        times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        vertices = body.points.size();
        bodyBytes = heapNow.load() - before;
        benchmark::DoNotOptimize(body.springs.data());
    }
    state.counters["median_us"] = median(times);
    state.counters["ns_per_vertex"] = median(times) * 1000.0 / static_cast<double>(vertices);
    state.counters["body_MiB"] = static_cast<double>(bodyBytes) / (1024.0 * 1024.0);
}

void oneCore(PressureBody& body) { body.solver.get().useSecondCoreFrom(SIZE_MAX); }
void twoCores(PressureBody& body) { body.solver.get().useSecondCoreFrom(0); }

template <void (*stepFunction)(PressureBody&), void (*setUp)(PressureBody&) = oneCore>
void step(benchmark::State& state) {
    PressureBody body = loadBody(meshPath(static_cast<int>(state.range(0))));
    setUp(body);
    std::vector<double> times;
    times.reserve(static_cast<size_t>(state.max_iterations));
    resetPeak();
    long long before = heapNow.load();
    for (auto _ : state) {
        auto start = Clock::now();
        stepFunction(body);
        times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    state.counters["step_peak_B"] = static_cast<double>(heapPeak.load() - before);
    state.counters["median_us"] = median(times);
    state.counters["ns_per_vertex"] = median(times) * 1000.0 / static_cast<double>(body.points.size());
    state.counters["body_MiB"] = static_cast<double>(before) / (1024.0 * 1024.0);
    benchmark::DoNotOptimize(body.points.data());
}

void bulkStep(PressureBody& body) { simulationStep(body); }
void portableLoops(PressureBody& body) {
    oneCore(body);
    body.solver.get().useKernels(portableKernels());
}
// The four-wide loops, on a processor that also has the eight-wide ones.
void avx2Loops(PressureBody& body) {
    oneCore(body);
    if (avx2Kernels() != nullptr) body.solver.get().useKernels(*avx2Kernels());
}
void plainStep(PressureBody& body) { baselineStep(body, timeStep); }

// How long a cache line takes to go from this thread to another and back: two
// threads pass a counter to and fro. The helper thread pays only while this is
// short (see docs/performance.md, "Two cores"), and on a virtual machine it
// changes as the host moves the processors; the table runs it first and last.
void crossCoreRoundTrip(benchmark::State& state) {
    alignas(64) static std::atomic<int> turn{0};
    const int passes = 100000;
    double nanoseconds = 0.0;
    for (auto _ : state) {
        turn.store(0);
        std::thread other([] {
            for (int i = 0; i < passes; ++i) {
                while (turn.load(std::memory_order_acquire) != 2 * i + 1) {
                }
                turn.store(2 * i + 2, std::memory_order_release);
            }
        });
        const auto start = Clock::now();
        for (int i = 0; i < passes; ++i) {
            turn.store(2 * i + 1, std::memory_order_release);
            while (turn.load(std::memory_order_acquire) != 2 * i + 2) {
            }
        }
        nanoseconds = std::chrono::duration<double, std::nano>(Clock::now() - start).count() / passes;
        other.join();
    }
    state.counters["round_trip_ns"] = nanoseconds;
}

}  // namespace

// Arguments: 0 = Objects/Objekt3.asc (162 vertices); 3..7 = icosphere level
// (642, 2,562, 10,242, 40,962, 163,842 vertices).
int main(int argc, char** argv) {
    const int arguments[] = {shippedBody, 3, 4, 5, 6, 7};
    benchmark::RegisterBenchmark("crossCoreRoundTrip", crossCoreRoundTrip)->Arg(0)->Iterations(1);
    for (int a : arguments)
        benchmark::RegisterBenchmark("loadAndBuild", loadAndBuild)
            ->Arg(a)
            ->Iterations(5)
            ->Unit(benchmark::kMillisecond);
    for (int a : arguments) {
        benchmark::RegisterBenchmark("plainStep", step<plainStep>)->Arg(a)->Iterations(stepsFor(a))
            ->Unit(benchmark::kMicrosecond)->UseRealTime();
        benchmark::RegisterBenchmark("bulkStep", step<bulkStep>)->Arg(a)->Iterations(stepsFor(a))
            ->Unit(benchmark::kMicrosecond)->UseRealTime();
        benchmark::RegisterBenchmark("twoCoreStep", step<bulkStep, twoCores>)->Arg(a)->Iterations(stepsFor(a))
            ->Unit(benchmark::kMicrosecond)->UseRealTime();
        benchmark::RegisterBenchmark("avx2Step", step<bulkStep, avx2Loops>)->Arg(a)->Iterations(stepsFor(a))
            ->Unit(benchmark::kMicrosecond)->UseRealTime();
        benchmark::RegisterBenchmark("portableStep", step<bulkStep, portableLoops>)->Arg(a)->Iterations(stepsFor(a))
            ->Unit(benchmark::kMicrosecond)->UseRealTime();
    }
    benchmark::RegisterBenchmark("crossCoreRoundTrip", crossCoreRoundTrip)->Arg(1)->Iterations(1);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
