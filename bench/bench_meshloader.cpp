// Face normals, vertex normals and tangent frames of the mesh loader over a
// 1,000,000-triangle indexed grid and a 200,000-triangle sphere, side by
// side with Open Asset Import generating smooth normals and then the tangent
// space of the same mesh (each run on a fresh copy read without steps; only
// the post-processing is timed).
#include <benchmark/benchmark.h>

#include <assimp/postprocess.h>

#include "BenchMeshes.h"
#include "meshes/MeshLoader.h"

namespace {

benchmesh::Shape Named(int which) { return which == 0 ? benchmesh::Grid(1000, 500) : benchmesh::Sphere(500, 200); }

void EngineFrames(benchmark::State& state) {
    const benchmesh::Shape shape = Named(int(state.range(0)));
    VRNewMesh mesh;
    benchmesh::Load(shape, mesh);
    for (auto _ : state) {
        // Each call replaces the arrays it makes: the mesh is fresh input
        // every time.
        MeshLoader::ComputeFaceNormals(mesh);
        MeshLoader::ComputeVertexNormals(mesh);
        MeshLoader::ComputeTangents(mesh);
        benchmark::DoNotOptimize(mesh.bitangents.data());
    }
    state.counters["triangles"] = double(shape.Triangles());
}

void AssimpFrames(benchmark::State& state) {
    const benchmesh::Shape shape = Named(int(state.range(0)));
    benchmesh::AssimpSide side(shape);
    for (auto _ : state) {
        state.PauseTiming();
        if (!side.Read()) state.SkipWithError("the prepared mesh was not read");
        state.ResumeTiming();
        side.Importer().ApplyPostProcessing(aiProcess_GenSmoothNormals | aiProcess_CalcTangentSpace);
        benchmark::DoNotOptimize(side.Result()->mBitangents);
    }
    state.counters["triangles"] = double(shape.Triangles());
}

}  // namespace

// Argument 0: the grid; 1: the sphere.
BENCHMARK(EngineFrames)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(AssimpFrames)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
