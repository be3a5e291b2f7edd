// Builds a mesh from arbitrary counts, coordinates, indexes, group ranges,
// names and smoothing groups through SetGeometry, then runs the normal
// pipeline and the transforms on it as the input's tail asks. The same
// arrays also go into a second mesh unchecked, as a model reader would
// leave them, and through Finalize with crease smoothing: what the normal
// code must survive whatever the readers let through.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "meshes/MeshLoader.h"
#include "meshes/VRNewMesh.h"
#include "scene/EngineServices.h"

namespace {

int Quiet(const char*) { return 0; }

struct Bytes {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    uint8_t Next() { return at < size ? data[at++] : 0; }
    bool Done() const { return at >= size; }
    // A count from -2 up to about 600, rarely large.
    int32_t Count() {
        const uint8_t b = Next();
        return b >= 0xFE ? b - 0x100 : (b & 0x80 ? (b & 0x7F) * 5 : b & 0x1F);
    }
    float Real() {
        const uint8_t b = Next();
        switch (b) {
        case 0xFF: return std::numeric_limits<float>::quiet_NaN();
        case 0xFE: return std::numeric_limits<float>::infinity();
        case 0xFD: return 3e38f;
        case 0xFC: return 1e-38f;
        default: return (static_cast<float>(b) - 100.0f) / 8.0f;
        }
    }
    // Mostly in 0..limit-1, sometimes just outside.
    int32_t Index(int32_t limit) {
        const uint8_t b = Next();
        if (b == 0xFF) return -1;
        if (b == 0xFE) return limit;
        return limit > 0 ? b % limit : b;
    }
};

// n values (count x width), or fewer when the input says the data is short.
template <class T, class Make>
std::vector<T> Values(Bytes& in, int32_t count, size_t width, Make make) {
    size_t n = count > 0 ? static_cast<size_t>(count) * width : 0;
    if (in.Next() == 0x55 && n > 0) --n;  // short by one
    std::vector<T> out(n);
    for (T& v : out) v = make();
    return out;
}

void Transform(VRNewMesh& m, VRNewMesh& spare, Bytes& in) {
    for (int step = 0; step < 8 && !in.Done(); ++step) {
        switch (in.Next() % 12) {
        case 0: m.Rotate(in.Real() * 20, in.Real(), in.Real(), in.Real()); break;
        case 1: m.Scale(in.Real(), in.Real(), in.Real()); break;
        case 2: m.Normalize(in.Real()); break;
        case 3: m.Mirror(static_cast<int32_t>(in.Next() % 5) - 1); break;
        case 4: m.Translate(in.Real(), in.Real(), in.Real()); break;
        case 5: m.FlipNormals(in.Next() & 1); break;
        case 6: m.Finalize(in.Next() & 0x24); break;
        case 7: m.CenterBoundingBox(); break;
        case 8: {
            m.shaderFlag = 1;
            MeshLoader::ComputeTangents(m);
            break;
        }
        case 9: {
            // Appending (to itself, too) doubles the mesh: only while it is
            // small.
            if (m.vertexCount < 2000 && m.triangleCount < 2000 && m.SubsetCount() < 200 && m.MaterialCount() < 200)
                m.Append(in.Next() & 1 ? m : spare, in.Next() & 1, in.Next() & 1);
            break;
        }
        case 10: {
            float radius, centre[3];
            m.SubsetGetBoundingSphere(static_cast<int32_t>(in.Next() % 6) - 1, &radius, centre);
            break;
        }
        default: {
            m.creaseAngle = in.Real();
            m.SmoothNormals();
            break;
        }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool quiet = [] {
        SetEngineErrorHandler(Quiet);
        SetEngineWarningHandler(Quiet);
        return true;
    }();
    (void)quiet;
    Bytes in{data, size};

    VRMeshGeometry g;
    g.vertexCount = in.Count();
    g.texCoordCount = in.Count();
    g.triangleCount = in.Count();
    g.textureIndexCount = in.Next() & 1 ? g.triangleCount : in.Count();
    g.normalCount = in.Next() & 1 ? g.vertexCount : in.Count();
    g.groupCount = in.Count();
    const int32_t v = g.vertexCount, k = g.texCoordCount;
    const auto positions = Values<float>(in, v, 3, [&] { return in.Real(); });
    const auto texCoords = Values<float>(in, k, 2, [&] { return in.Real(); });
    const auto triangles = Values<int32_t>(in, g.triangleCount, 3, [&] { return in.Index(v); });
    const auto textureIndexes = Values<int32_t>(in, g.textureIndexCount, 3, [&] { return in.Index(k); });
    const auto normals = Values<float>(in, g.normalCount, 3, [&] { return in.Real(); });
    const auto ranges = Values<int32_t>(in, g.groupCount, 2, [&] { return in.Index(g.triangleCount + 1); });
    std::vector<std::string> names;
    for (int32_t i = 0; i < g.groupCount && i < 600; ++i) {
        const size_t length = in.Next() == 0x77 ? 300 : in.Next() % 8;
        std::string name(length, '\0');
        for (char& c : name) c = static_cast<char>(in.Next());
        names.push_back(name);
    }
    const auto smoothing = Values<int32_t>(in, in.Next() & 1 ? g.triangleCount : 0, 1, [&] {
        const uint8_t b = in.Next();
        return static_cast<int32_t>(b == 0xFF ? 0xFFFFFFFFu : b == 0xFE ? 0x80000000u : b);
    });
    g.positions = positions;
    g.texCoords = texCoords;
    g.triangles = triangles;
    g.textureIndexes = textureIndexes;
    g.normals = normals;
    g.groupRanges = ranges;
    g.groupNames = names;
    g.smoothingGroups = smoothing;

    VRNewMesh mesh, spare;
    const size_t tail = in.at;
    if (mesh.SetGeometry(g) == 0) Transform(mesh, spare, in);

    // The same arrays unchecked, counts as given, as a reader leaves a mesh.
    VRNewMesh loaded;
    loaded.positions = positions;
    loaded.vertexCount = g.vertexCount;
    loaded.triangles = triangles;
    loaded.triangleCount = g.triangleCount;
    loaded.texCoords = texCoords;
    loaded.texCoordCount = g.texCoordCount;
    loaded.textureIndexes = textureIndexes;
    loaded.textureIndexCount = g.textureIndexCount;
    loaded.smoothingGroups = smoothing;
    loaded.quads = triangles;
    loaded.quadCount = g.triangleCount * 3 / 4;
    loaded.vertexNormals = normals;
    loaded.vertexNormalCount = g.normalCount;
    loaded.normalIndexes = triangles;
    loaded.separateNormalIndexes = (size & 1) != 0;
    loaded.colours = normals;
    loaded.subsets.resize(static_cast<size_t>(g.groupCount > 0 ? g.groupCount % 8 : 0));
    for (size_t i = 0; i < loaded.subsets.size() && 2 * i + 1 < ranges.size(); ++i) {
        loaded.subsets[i].triangleCount = ranges[2 * i + 1];
        loaded.subsets[i].quadCount = ranges[2 * i];
    }
    loaded.shaderFlag = 1;
    in.at = tail;
    loaded.creaseAngle = in.Real();
    loaded.Finalize(in.Next() & 0x24);
    Transform(loaded, mesh, in);
    return 0;
}
