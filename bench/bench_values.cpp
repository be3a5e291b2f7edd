// Costs of the value operations that every instruction leans on.
#include <benchmark/benchmark.h>

#include "vm/VmValue.h"

static void BM_StringAppend(benchmark::State& state) {
    for (auto _ : state) {
        CVmValue v;
        v.SetString("");
        for (int i = 0; i < 1000; ++i) v.asString->Append("abcdefgh", 8);
        benchmark::DoNotOptimize(v.asString->data);
    }
}
BENCHMARK(BM_StringAppend);

static void BM_ArrayFillAndRelease(benchmark::State& state) {
    CVmValue one;
    one.SetInteger(1);
    for (auto _ : state) {
        CVmValue a;
        a.SetArray(new CVmArray());
        for (int i = 0; i < 1000; ++i) a.asArray->Append(one);
        benchmark::DoNotOptimize(a.asArray);
    }
}
BENCHMARK(BM_ArrayFillAndRelease);

static void BM_EncodeDecode(benchmark::State& state) {
    CVmValue a;
    a.SetArray(new CVmArray());
    CVmValue s;
    s.SetString("payload");
    for (int i = 0; i < 100; ++i) a.asArray->Append(s);
    std::vector<uint8_t> bytes;
    for (auto _ : state) {
        bytes.clear();
        ByteWriter w(bytes);
        a.WriteTo(w);
        ByteReader r(bytes);
        CVmValue back;
        back.ReadFrom(r, nullptr);
        benchmark::DoNotOptimize(back.asArray);
    }
}
BENCHMARK(BM_EncodeDecode);

BENCHMARK_MAIN();
