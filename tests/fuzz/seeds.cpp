// Writes the seed corpus of every fuzz target: qem_fuzz_seeds <folder>
// creates <folder>/<target>/ with one file per seed.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/SamplePrograms.h"
#include "support/TestObjects.h"
#include "vm/VmValue.h"

namespace fs = std::filesystem;

namespace {

void WriteSeed(const fs::path& dir, int n, const std::vector<uint8_t>& bytes) {
    fs::create_directories(dir);
    std::ofstream(dir / ("seed" + std::to_string(n)), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> Encode(const CVmValue& v) {
    std::vector<uint8_t> out;
    ByteWriter w(out);
    v.WriteTo(w);
    return out;
}

void ValueSeeds(const fs::path& dir) {
    int n = 0;
    CVmValue v;
    WriteSeed(dir, n++, Encode(v));
    v.SetInteger(-5);
    WriteSeed(dir, n++, Encode(v));
    v.SetReal(1.5f);
    WriteSeed(dir, n++, Encode(v));
    v.SetBool(true);
    WriteSeed(dir, n++, Encode(v));
    v.SetString("seed");
    WriteSeed(dir, n++, Encode(v));
    const float f[3] = {1, 2, 3};
    v.SetVector(f, 3);
    WriteSeed(dir, n++, Encode(v));
    CVmValue a;
    a.SetArray(new CVmArray());
    a.asArray->Append(v);
    CVmValue s;
    s.SetString("x");
    a.asArray->Append(s);
    CVmValue o;
    o.SetObject(new qemtest::CountingObject(9));
    a.asArray->Append(o);
    CVmValue outer;
    outer.SetArray(new CVmArray());
    outer.asArray->Append(a);
    WriteSeed(dir, n++, Encode(outer));
}

void LoaderSeeds(const fs::path& dir) {
    int n = 0;
    WriteSeed(dir, n++, qemtest::SampleProgramFile());
    WriteSeed(dir, n++, qemtest::SampleOldFormatFile());
    WriteSeed(dir, n++, qemtest::SampleModuleFile());
    WriteSeed(dir, n++, qemtest::WorkedExampleFile());
    WriteSeed(dir, n++, qemtest::LargeProgramFile(2048));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: qem_fuzz_seeds <folder>\n");
        return 2;
    }
    const fs::path root = argv[1];
    ValueSeeds(root / "fuzz_value_read");
    LoaderSeeds(root / "fuzz_load");
    return 0;
}
