// Load + build and one simulation step (computeForces + integrate(Heun, 0.001))
// of icospheres of level 3 to 7 and of the shipped body: referenceStep runs the
// records' own methods (the plain reference, PressureBody::computeForcesReference
// and integrateReference), engineStep/TARGET the engine with the wide loops of
// one SIMD target (every target this processor runs, best first, the portable
// one last). Each repetition starts from a freshly built body and runs a fixed
// number of steps, so all variants follow the same trajectory.
// Counters:
//   median_us     median wall time of one step (or one load + build)
//   ns_per_vertex median_us per mass point, in nanoseconds
//   body_MiB      heap held by the built body (records and working arrays)
//   step_peak_B   heap growth at the peak of the timed steps (0: no allocation)
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
#include <utility>
#include <vector>

#include "body/engine/engine.h"
#include "body/scene.h"
#include "mesh/mesh_data.h"
#include "tools/mesh_generators.h"

using namespace plumfold;

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
        path = (std::filesystem::temp_directory_path() / ("plumfold-bench-sphere-" + std::to_string(level) + ".asc"))
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
        case 7: return 100;
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

void step(benchmark::State& state, const plumfold::WideLoops* loops) {
    PressureBody body = loadBody(meshPath(static_cast<int>(state.range(0))));
    if (loops != nullptr) body.engine.get().useLoops(*loops);
    std::vector<double> times;
    times.reserve(static_cast<size_t>(state.max_iterations));
    resetPeak();
    long long before = heapNow.load();
    for (auto _ : state) {
        auto start = Clock::now();
        if (loops != nullptr) {
            simulationStep(body);
        } else {
            body.computeForcesReference();
            body.integrateReference(Heun, timeStep);
        }
        times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    state.counters["step_peak_B"] = static_cast<double>(heapPeak.load() - before);
    state.counters["median_us"] = median(times);
    state.counters["ns_per_vertex"] = median(times) * 1000.0 / static_cast<double>(body.points.size());
    state.counters["body_MiB"] = static_cast<double>(before) / (1024.0 * 1024.0);
    benchmark::DoNotOptimize(body.points.data());
}

}  // namespace

// Arguments: 0 = Objects/Objekt3.asc (642 vertices); 3..7 = icosphere level
// (642, 2,562, 10,242, 40,962, 163,842 vertices).
int main(int argc, char** argv) {
    const int arguments[] = {shippedBody, 3, 4, 5, 6, 7};
    for (int a : arguments)
        benchmark::RegisterBenchmark("loadAndBuild", loadAndBuild)
            ->Arg(a)
            ->Iterations(5)
            ->Unit(benchmark::kMillisecond);
    std::vector<std::pair<std::string, const plumfold::WideLoops*>> variants{{"referenceStep", nullptr}};
    for (const plumfold::WideLoops* loops : plumfold::availableLoops())
        variants.emplace_back(std::string("engineStep/") + loops->target, loops);
    for (int a : arguments)
        for (const auto& [name, loops] : variants)
            benchmark::RegisterBenchmark(name.c_str(), step, loops)
                ->Arg(a)
                ->Iterations(stepsFor(a))
                ->Unit(benchmark::kMicrosecond)
                ->UseRealTime();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
