// plumfold-bench-prepare: how long `plumfold-mesh prepare` takes on a model of
// about 100,000 triangles, and how long `plumfold-mesh check` takes on a body of
// about 3,000 points (the structure checks and the scene probe, which is nearly
// all of it). The model is a torus of 100,000 triangles made here, or any model
// file named by PLUMFOLD_BENCH_MODEL (e.g. the horse of the real-world set).
// Counters: points (of the prepared body), steps (of the probe).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "body/probe.h"
#include "mesh/import.h"
#include "mesh/mesh_checks.h"
#include "mesh/mesh_file.h"
#include "mesh/prepare.h"
#include "tools/mesh_generators.h"

using namespace plumfold;

namespace {

plumfold::PolygonSoup benchModel() {
    if (const char* path = std::getenv("PLUMFOLD_BENCH_MODEL")) {
        plumfold::ImportResult imported = plumfold::importMesh(path);
        if (imported.ok) return imported.soup;
        std::fprintf(stderr, "%s\n", imported.error.c_str());
        std::exit(1);
    }
    MeshData torus = makeTorus(3.0f, 1.2f, 250, 200);  // 100,000 triangles
    plumfold::PolygonSoup soup;
    soup.points.assign(torus.vertices.begin(), torus.vertices.end());
    for (size_t i = 0; i < torus.faceIndices.size(); i += 3)
        soup.polygons.push_back({torus.faceIndices[i], torus.faceIndices[i + 1], torus.faceIndices[i + 2]});
    return soup;
}

void prepareModel(benchmark::State& state) {
    plumfold::PolygonSoup soup = benchModel();
    plumfold::PrepareOptions options;
    size_t points = 0;
    for (auto _ : state) {
        plumfold::PrepareResult prepared = plumfold::prepareBody(soup, options);
        if (!prepared.ok) state.SkipWithError(prepared.error.c_str());
        points = prepared.mesh.vertices.size() / 3;
    }
    state.counters["triangles"] = static_cast<double>(soup.polygons.size());
    state.counters["points"] = static_cast<double>(points);
}

void checkBody(benchmark::State& state) {
    plumfold::PrepareOptions options;
    options.points = 3000;
    plumfold::PrepareResult prepared = plumfold::prepareBody(benchModel(), options);
    MeshFile file;
    file.vertexCount = prepared.mesh.vertexCount();
    file.faceCount = prepared.mesh.faceCount();
    file.vertices = prepared.mesh.vertices;
    file.faceIndices = prepared.mesh.faceIndices;
    plumfold::ProbeVerdict verdict;
    for (auto _ : state) {
        benchmark::DoNotOptimize(judgeMesh(checkMesh(prepared.mesh), 0.9f, boxLimit));
        benchmark::DoNotOptimize(plumfold::measureShape(prepared.mesh));
        verdict = plumfold::probeBody(PressureBody(file, BodyParams{}));
    }
    state.counters["points"] = file.vertexCount;
    state.counters["steps"] = static_cast<double>(verdict.steps);
    state.counters["survived"] = verdict.survived;
}

}  // namespace

BENCHMARK(prepareModel)->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(3)->ReportAggregatesOnly(true);
BENCHMARK(checkBody)->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(3)->ReportAggregatesOnly(true);
BENCHMARK_MAIN();
