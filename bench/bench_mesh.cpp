// The normal pipeline of a loaded mesh (Finalize: boxes, face and vertex
// normals, crease-angle smoothing at 1.532 radians) on a 100,000-triangle
// bumpy sphere, side by side with Open Asset Import generating smooth
// normals with the same crease angle. Both start each run from a fresh copy
// of the mesh as read; only the normal work is timed.
//
// The crease smoothing gives every corner off a vertex's first face a vertex
// of its own (here 171,146 vertices from 50,451), so it writes several times
// the fresh memory that Open Asset Import does; where page faults are dear,
// first-touch dominates. MALLOC_TRIM_THRESHOLD_=2000000000
// MALLOC_MMAP_THRESHOLD_=1000000000 in the environment keeps freed memory in
// the allocator between runs and measures the computation alone.
#include <benchmark/benchmark.h>

#include <assimp/config.h>
#include <assimp/postprocess.h>

#include "BenchMeshes.h"

namespace {

const benchmesh::Shape& Bumpy() {
    static const benchmesh::Shape shape = benchmesh::Sphere(250, 200);
    return shape;
}

void EngineFinalize(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        auto mesh = std::make_unique<VRNewMesh>();
        benchmesh::Load(Bumpy(), *mesh);
        state.ResumeTiming();
        mesh->Finalize(0);
        benchmark::DoNotOptimize(mesh->vertexNormals.data());
        state.PauseTiming();
        state.counters["vertices"] = double(mesh->vertexCount);
        mesh.reset();
        state.ResumeTiming();
    }
    state.counters["triangles"] = double(Bumpy().Triangles());
}

void AssimpSmoothNormals(benchmark::State& state) {
    benchmesh::AssimpSide side(Bumpy());
    side.Importer().SetPropertyFloat(AI_CONFIG_PP_GSN_MAX_SMOOTHING_ANGLE, kDefaultCreaseAngle * 57.29577951f);
    for (auto _ : state) {
        state.PauseTiming();
        if (!side.Read()) state.SkipWithError("the prepared mesh was not read");
        state.ResumeTiming();
        side.Importer().ApplyPostProcessing(aiProcess_GenSmoothNormals);
        benchmark::DoNotOptimize(side.Result()->mNormals);
    }
    state.counters["triangles"] = double(Bumpy().Triangles());
}

}  // namespace

BENCHMARK(EngineFinalize)->Unit(benchmark::kMillisecond);
BENCHMARK(AssimpSmoothNormals)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
