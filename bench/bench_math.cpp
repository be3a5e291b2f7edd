// The math that runs every frame for every mesh and bone, side by side with
// the same operations of GLM and with the standard library's sort.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numeric>
#include <random>
#include <vector>

#include <glm/glm.hpp>
#include <glm/gtc/quaternion.hpp>
#include <glm/gtc/type_ptr.hpp>

#include "scene/EngineMath.h"

namespace {

constexpr int kBatch = 256;  // operations per iteration, on distinct data

struct Matrices {
    std::vector<glm::mat4> a, b, out;
    Matrices() : a(kBatch), b(kBatch), out(kBatch) {
        std::mt19937 random(1);
        std::uniform_real_distribution<float> value(-2.0f, 2.0f);
        for (int i = 0; i < kBatch; ++i) {
            float* pa = glm::value_ptr(a[i]);
            float* pb = glm::value_ptr(b[i]);
            for (int k = 0; k < 16; ++k) {
                pa[k] = value(random);
                pb[k] = value(random);
            }
            pa[15] = pb[15] = 1.0f;
            for (int d = 0; d < 3; ++d) pa[d * 5] += 4.0f;  // well away from singular
        }
    }
};

struct Quaternions {
    std::vector<glm::quat> a, b, out;
    Quaternions() : a(kBatch), b(kBatch), out(kBatch) {
        std::mt19937 random(2);
        std::uniform_real_distribution<float> value(-1.0f, 1.0f);
        for (int i = 0; i < kBatch; ++i) {
            a[i] = glm::normalize(glm::quat(value(random), value(random), value(random), value(random)));
            b[i] = glm::normalize(glm::quat(value(random), value(random), value(random), value(random)));
            if (glm::dot(a[i], b[i]) < 0.0f) b[i] = -b[i];  // same arc for both libraries
        }
    }
};

// glm::quat stores x, y, z, w in memory by default, as the engine does.
float* Floats(glm::quat& q) { return &q.x; }

std::vector<float> DepthKeys(int n) {
    std::mt19937 random(3);
    std::uniform_real_distribution<float> depth(1.0f, 500.0f);
    std::vector<float> keys(n);
    for (float& k : keys) k = depth(random);
    return keys;
}

void MathBatch(benchmark::State& state) { state.SetItemsProcessed(state.iterations() * kBatch); }

}  // namespace

static void BM_MatrixMultiply4(benchmark::State& state) {
    Matrices m;
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i)
            MatrixMultiply4(glm::value_ptr(m.a[i]), glm::value_ptr(m.b[i]), glm::value_ptr(m.out[i]));
        benchmark::ClobberMemory();
    }
    MathBatch(state);
}
BENCHMARK(BM_MatrixMultiply4);

static void BM_GlmMatrixMultiply(benchmark::State& state) {
    Matrices m;
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i) m.out[i] = m.a[i] * m.b[i];
        benchmark::ClobberMemory();
    }
    MathBatch(state);
}
BENCHMARK(BM_GlmMatrixMultiply);

static void BM_MatrixInverse4(benchmark::State& state) {
    Matrices m;
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i) MatrixInverse4(glm::value_ptr(m.a[i]), glm::value_ptr(m.out[i]));
        benchmark::ClobberMemory();
    }
    MathBatch(state);
}
BENCHMARK(BM_MatrixInverse4);

static void BM_GlmInverse(benchmark::State& state) {
    Matrices m;
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i) m.out[i] = glm::inverse(m.a[i]);
        benchmark::ClobberMemory();
    }
    MathBatch(state);
}
BENCHMARK(BM_GlmInverse);

static void BM_QuaternionSlerp(benchmark::State& state) {
    Quaternions q;
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i) QuaternionSlerp(Floats(q.a[i]), Floats(q.b[i]), 0.37, Floats(q.out[i]));
        benchmark::ClobberMemory();
    }
    MathBatch(state);
}
BENCHMARK(BM_QuaternionSlerp);

static void BM_GlmSlerp(benchmark::State& state) {
    Quaternions q;
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i) q.out[i] = glm::slerp(q.a[i], q.b[i], 0.37f);
        benchmark::ClobberMemory();
    }
    MathBatch(state);
}
BENCHMARK(BM_GlmSlerp);

static void BM_SortIndicesByDepth(benchmark::State& state) {
    const std::vector<float> keys = DepthKeys(1000);
    std::vector<int> indices(keys.size());
    for (auto _ : state) {
        SortIndicesByDepth(0, int(keys.size()), keys.data(), indices.data());
        benchmark::DoNotOptimize(indices.data());
    }
}
BENCHMARK(BM_SortIndicesByDepth);

// The same indirect sort written inline with std::sort: the floor for
// sorting indices by their keys.
static void BM_StdSortIndices(benchmark::State& state) {
    const std::vector<float> keys = DepthKeys(1000);
    std::vector<int> indices(keys.size());
    for (auto _ : state) {
        std::iota(indices.begin(), indices.end(), 0);
        std::sort(indices.begin(), indices.end(), [&keys](int i, int j) { return keys[i] > keys[j]; });
        benchmark::DoNotOptimize(indices.data());
    }
}
BENCHMARK(BM_StdSortIndices);

// std::sort of the keys themselves, without indirection.
static void BM_StdSortKeys(benchmark::State& state) {
    const std::vector<float> keys = DepthKeys(1000);
    std::vector<float> copy(keys.size());
    for (auto _ : state) {
        std::copy(keys.begin(), keys.end(), copy.begin());
        std::sort(copy.begin(), copy.end(), std::greater<float>());
        benchmark::DoNotOptimize(copy.data());
    }
}
BENCHMARK(BM_StdSortKeys);

BENCHMARK_MAIN();
