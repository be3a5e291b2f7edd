#include "VRTerrain.h"

#include <GL/gl.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/PathResolver.h"
#include "platform/ScriptFile.h"
#include "scene/ImageLimits.h"
#include "scene/EngineMath.h"
#include "scene/EngineServices.h"
#include "scene/SharedTextureManager.h"
#include "scene/VRTextureManager.h"

namespace {

constexpr size_t kMapTexels = static_cast<size_t>(kTerrainMapSize) * kTerrainMapSize;
// Scale of the point cloud when drawn, and spacing of its points.
constexpr float kPointScale[3] = {0.0003f, 0.001f, 0.0003f};
constexpr float kPointSpacing = 30.0f;
// The largest grid file read: every cell costs three floats, and a cell
// takes two bytes of the file at least.
constexpr uint64_t kMaxGridFileBytes = uint64_t{32} << 20;
// The shadow texture's alpha for a shade of 1, the overlay's darkening and
// the alpha below which an overlay texel is replaced by the shadow.
constexpr float kShadowAlpha = 179.0f;
constexpr float kOverlayShade = 0.7f;
constexpr uint8_t kOverlayClearAlpha = 17;

// The points and display list of the last grid loaded in the process.
std::vector<float>& Points() {
    static std::vector<float> points;
    return points;
}
GLuint g_pointList = 0;

std::atomic<int32_t> g_terrainSerial{0};
std::atomic<int32_t> g_shadowTextureCount{0};

// A whitespace-separated word of the grid text.
struct Words {
    const char* p;
    const char* end;
    bool Next(const char*& word, size_t& length) {
        while (p < end && std::isspace(static_cast<unsigned char>(*p))) ++p;
        if (p == end) return false;
        word = p;
        while (p < end && !std::isspace(static_cast<unsigned char>(*p))) ++p;
        length = static_cast<size_t>(p - word);
        return true;
    }
};

// The integer a word starts with, as a formatted integer read takes it:
// optional sign, then digits, modulo 2^32. `whole` tells whether the word
// holds nothing else (a read after one that stopped early fails).
bool LeadingInteger(const char* word, size_t length, uint32_t& value, bool& whole) {
    size_t i = 0;
    bool negative = false;
    if (i < length && (word[i] == '-' || word[i] == '+')) negative = word[i++] == '-';
    const size_t digits = i;
    uint32_t v = 0;
    for (; i < length && word[i] >= '0' && word[i] <= '9'; ++i) v = v * 10u + static_cast<uint32_t>(word[i] - '0');
    if (i == digits) return false;
    value = negative ? 0u - v : v;
    whole = i == length;
    return true;
}

bool Matches(const char* word, size_t length, const char* keyword) {
    return length == std::strlen(keyword) && std::memcmp(word, keyword, length) == 0;
}

// A header number: the integer its word starts with; 0 (which no valid
// header has) when there is none or it is beyond an int32.
int32_t HeaderInteger(Words& words) {
    const char* w;
    size_t n;
    if (!words.Next(w, n)) return 0;
    size_t i = 0;
    const bool negative = n > 0 && w[0] == '-';
    if (n > 0 && (w[0] == '-' || w[0] == '+')) ++i;
    int64_t v = 0;
    for (; i < n && w[i] >= '0' && w[i] <= '9'; ++i) {
        v = v * 10 + (w[i] - '0');
        if (v > INT32_MAX) return 0;
    }
    return static_cast<int32_t>(negative ? -v : v);
}

// A texel byte of a value 0 ... 255, truncated; NaN (from a degenerate
// light or normal) gives 0.
uint8_t ToByte(float v) {
    if (!(v > 0)) return 0;
    return v >= 255.0f ? 255 : static_cast<uint8_t>(v);
}

}  // namespace

int32_t TerrainHeightInt(float height) {
    if (!(height > -2147483648.0f && height < 2147483648.0f)) return INT32_MIN;
    return static_cast<int32_t>(height);
}

void TerrainHeightColour(float e, float* rgb) {
    if (e < 0) {
        rgb[0] = 1, rgb[1] = 0, rgb[2] = 0;
    } else if (e < 200) {
        rgb[0] = 0, rgb[1] = 1 - e / 400, rgb[2] = 0;
    } else if (e < 400) {
        const float t = (e - 200) / 200;
        rgb[0] = 0.6f * t, rgb[1] = 0.5f, rgb[2] = 0;
    } else {
        const float c = (e - 400) / 200, b = (600 - e) / 200;
        rgb[0] = c + 0.6f * b, rgb[1] = c + 0.5f * b, rgb[2] = c;
    }
    for (int k = 0; k < 3; ++k) rgb[k] = std::min(rgb[k], 1.0f);
}

VRTerrain::VRTerrain(std::string name1, std::string name2, std::string name3)
    : m_shade(kMapTexels, 0.0f), m_names{std::move(name1), std::move(name2), std::move(name3)},
      m_serial(++g_terrainSerial) {
    IncrementLiveObjects();
}

VRTerrain::~VRTerrain() {
    if (m_meshList != 0xFFFFFFFFu) glDeleteLists(m_meshList, 1);
    DecrementLiveObjects();
}

const std::vector<float>& VRTerrain::PointCloud() { return Points(); }
uint32_t VRTerrain::PointCloudList() { return g_pointList; }

// ---------------------------------------------------------------------------
// Reading

void VRTerrain::LoadAsc(const std::string& name) {
    const std::string path = PathResolver::Shared().Resolve(std::string(BaseDirectory()) + name);
    ScriptFile file = ScriptFile::Open(path, kMaxGridFileBytes);
    std::string text;
    if (!file.IsOpen() && file.GetStatus() != ScriptFile::NotFound) {
        ReportError("VRTerrain: File refused:", file.Reason().c_str());
        return;
    }
    if (!file.IsOpen() || !file.ReadAll(text)) {
        ReportError("VRTerrain: File not foud:", name.c_str());
        return;
    }
    if (!ReadAsc(text.data(), text.size(), name)) return;

    // A new list for the new cloud, drawn once as it is recorded.
    if (g_pointList) glDeleteLists(g_pointList, 1);
    g_pointList = glGenLists(1);
    if (!g_pointList) return;
    glNewList(g_pointList, GL_COMPILE_AND_EXECUTE);
    glPointSize(1.5f);
    glColor3f(0, 1, 0);
    glBegin(GL_POINTS);
    const std::vector<float>& p = Points();
    for (size_t i = 0; i + 2 < p.size(); i += 3) glVertex3f(p[i], p[i + 1], p[i + 2]);
    glEnd();
    glEndList();
}

bool VRTerrain::ReadAsc(const char* data, size_t size, const std::string& name) {
    Words words{data, data + size};
    int32_t cols = 0, rows = 0, cellSize = 0;
    bool hasData = false;
    const char* w;
    size_t n;
    while (words.Next(w, n)) {
        if (Matches(w, n, "ncols")) {
            cols = HeaderInteger(words);
        } else if (Matches(w, n, "nrows")) {
            rows = HeaderInteger(words);
        } else if (Matches(w, n, "cellsize")) {
            cellSize = HeaderInteger(words);
        } else if (Matches(w, n, "NODATA_value")) {
            HeaderInteger(words);
            hasData = true;
            break;
        }
    }
    if (hasData && (cols < 1 || cols > kTerrainMaxSamples || rows < 1 || rows > kTerrainMaxSamples || cellSize <= 0)) {
        ReportError("VRTerrain: Invalid grid file:", name.c_str());
        return false;
    }

    // What an earlier grid made goes: lists and lighting refer to its shape.
    m_lit.clear();
    m_quads.clear();
    m_triangles.clear();
    std::fill(m_shade.begin(), m_shade.end(), 0.0f);
    m_vertexCount = 0;
    std::vector<float>& points = Points();
    points.clear();
    if (!hasData) {
        m_cols = m_rows = m_cellSize = 0;
        m_heights.clear();
        m_raw.clear();
        m_normals.clear();
        return true;
    }
    m_cols = cols;
    m_rows = rows;
    m_cellSize = cellSize;
    const size_t cells = static_cast<size_t>(cols) * rows;
    m_heights.assign(cells, 0.0f);
    m_raw.assign(cells, 0.0f);
    m_normals.assign(3 * cells, 0.0f);
    points.reserve(3 * std::min(cells, size / 2 + 1));

    bool more = true;
    for (int32_t y = 0; y < rows && more; ++y) {
        for (int32_t x = 0; x < cols && more; ++x) {
            uint32_t v;
            bool whole;
            if (!words.Next(w, n) || !LeadingInteger(w, n, v, whole)) break;
            // A value followed by other characters is the last one read.
            more = whole;
            const float h = static_cast<float>(v);
            m_heights[Index(x, y)] = m_raw[Index(x, y)] = h;
            ++m_vertexCount;
            points.insert(points.end(), {static_cast<float>(x) * kPointSpacing, h, static_cast<float>(y) * kPointSpacing});
        }
    }
    Smooth();
    ComputeNormals();
    return true;
}

// Each interior vertex becomes (its height + the positive heights of its
// 3 x 3 neighbourhood, itself included) / their count; one with no positive
// neighbour keeps its height.
void VRTerrain::Smooth() {
    std::vector<float> smoothed = m_heights;
    for (int32_t x = 1; x < m_cols - 1; ++x) {
        for (int32_t y = 1; y < m_rows - 1; ++y) {
            float sum = m_heights[Index(x, y)];
            int32_t count = 0;
            for (int32_t dx = -1; dx <= 1; ++dx) {
                for (int32_t dy = -1; dy <= 1; ++dy) {
                    const float h = m_heights[Index(x + dx, y + dy)];
                    if (h > 0) {
                        sum += h;
                        ++count;
                    }
                }
            }
            if (count > 0) smoothed[Index(x, y)] = sum / static_cast<float>(count);
        }
    }
    m_heights.swap(smoothed);
}

// The normal of (x, y) averages the unit normals of the four triangles of
// the cell behind it; row 0 and column 0 copy their neighbours'.
void VRTerrain::ComputeNormals() {
    const float cs = static_cast<float>(m_cellSize);
    auto point = [&](int32_t x, int32_t y, float* p) {
        p[0] = static_cast<float>(x) * cs;
        p[1] = static_cast<float>(y) * cs;
        p[2] = m_heights[Index(x, y)];
    };
    for (int32_t x = 1; x < m_cols; ++x) {
        for (int32_t y = 1; y < m_rows; ++y) {
            float k00[3], k01[3], k11[3], k10[3];
            point(x - 1, y - 1, k00);
            point(x - 1, y, k01);
            point(x, y, k11);
            point(x, y - 1, k10);
            const float* triangles[4][3] = {{k00, k01, k11}, {k00, k11, k10}, {k00, k01, k10}, {k01, k11, k10}};
            float* n = &m_normals[3 * Index(x, y)];
            n[0] = n[1] = n[2] = 0;
            for (const auto& t : triangles) {
                float tn[3];
                TriangleNormal(t[0], t[1], t[2], tn);
                for (int k = 0; k < 3; ++k) n[k] += tn[k] / 4;
            }
        }
    }
    if (m_cols < 2 || m_rows < 2) return;
    for (int32_t y = 1; y < m_rows; ++y) std::copy_n(Normal(1, y), 3, &m_normals[3 * Index(0, y)]);
    for (int32_t x = 0; x < m_cols; ++x) std::copy_n(Normal(x, 1), 3, &m_normals[3 * Index(x, 0)]);
}

// ---------------------------------------------------------------------------
// Mesh

void VRTerrain::SetRes(float x) {
    m_quads.clear();
    m_triangles.clear();
    m_lit.assign(m_heights.size(), 0.0f);
    if (m_heights.empty()) return;
    for (int32_t a = 2; a <= 64; a *= 2) m_vertexCount -= Decimate(a, x);
    Subdivide(1024.0f, 1024.0f, 1024.0f);
    Triangulate(x);
}

int32_t VRTerrain::Decimate(int32_t a, float x) {
    const int32_t h = a / 2, q = a / 4;
    std::vector<float> copy = m_heights;
    int32_t removed = 0;
    auto at = [&](const std::vector<float>& g, int32_t px, int32_t py) {
        return Inside(px, py) ? int64_t{TerrainHeightInt(g[Index(px, py)])} : int64_t{0};
    };
    auto remove = [&](int32_t px, int32_t py) {
        copy[Index(px, py)] = -1.0f;
        ++removed;
    };
    static const int32_t kRing[16][2] = {{1, 0},  {-1, 0}, {0, 1},  {0, -1}, {1, 1},  {1, -1}, {-1, 1}, {-1, -1},
                                         {2, 1},  {2, -1}, {-2, 1}, {-2, -1}, {1, 2}, {-1, 2}, {1, -2}, {-1, -2}};
    const float flatness = 3.0f * static_cast<float>(a) * x, coarse = 12.0f * x;
    for (int32_t X = h; X < m_cols; X += a) {
        for (int32_t Y = h; Y < m_rows; Y += a) {
            const int64_t H = TerrainHeightInt(m_heights[Index(X, Y)]);
            if (H <= 0) continue;
            bool ringRemoved = true;
            // Offsets in quarter steps: (+-q, 0), ..., (+-h, +-q), (+-q, +-h).
            for (int k = 0; a > 2 && k < 16 && ringRemoved; ++k) {
                const int32_t px = X + kRing[k][0] * q, py = Y + kRing[k][1] * q;
                if (Inside(px, py) && m_heights[Index(px, py)] != -1.0f) ringRemoved = false;
            }
            if (!ringRemoved) continue;
            const int64_t d1 = std::llabs(H - (at(m_heights, X, Y + h) + at(m_heights, X, Y - h)) / 2);
            const int64_t d2 = std::llabs(H - (at(m_heights, X + h, Y) + at(m_heights, X - h, Y)) / 2);
            const float f1 = static_cast<float>(d1), f2 = static_cast<float>(d2);
            if (f1 < flatness || f2 < flatness || f1 < coarse || f2 < coarse) remove(X, Y);
        }
    }
    // Edge vertices between two removed ones (or the grid's end) go too.
    auto edgePass = [&](int32_t x0, int32_t xStep, int32_t y0, int32_t yStep, int32_t dx, int32_t dy) {
        for (int32_t X = x0; X < m_cols; X += xStep) {
            for (int32_t Y = y0; Y < m_rows; Y += yStep) {
                if (TerrainHeightInt(copy[Index(X, Y)]) <= 0) continue;
                const bool plusGone = !Inside(X + dx, Y + dy) || copy[Index(X + dx, Y + dy)] == -1.0f;
                const bool minusGone = !Inside(X - dx, Y - dy) || copy[Index(X - dx, Y - dy)] == -1.0f;
                if (plusGone && minusGone) remove(X, Y);
            }
        }
    };
    edgePass(h, a, 0, a, 0, h);
    edgePass(0, a, h, a, h, 0);
    m_heights.swap(copy);
    return removed;
}

// A leaf is a square of half-size 0.5, or one whose centre vertex was
// removed; it is kept when its corners are grid vertices with positive
// heights.
void VRTerrain::Subdivide(float cx, float cy, float half) {
    // No leaf of a square past the grid's last column or row can keep both
    // corners inside it.
    if (cx - half > static_cast<float>(m_cols - 1) || cy - half > static_cast<float>(m_rows - 1)) return;
    const int32_t icx = static_cast<int32_t>(cx), icy = static_cast<int32_t>(cy);
    const bool leaf = half <= 0.5f || (Inside(icx, icy) && m_heights[Index(icx, icy)] == -1.0f);
    if (!leaf) {
        const float d = half / 2;
        Subdivide(cx - d, cy - d, d);
        Subdivide(cx + d, cy - d, d);
        Subdivide(cx - d, cy + d, d);
        Subdivide(cx + d, cy + d, d);
        return;
    }
    const VRTerrainQuad quad{static_cast<int32_t>(cx - half), static_cast<int32_t>(cy - half),
                             static_cast<int32_t>(cx + half), static_cast<int32_t>(cy + half)};
    if (!Inside(quad.x0, quad.y0) || !Inside(quad.x1, quad.y1)) return;
    for (const int32_t px : {quad.x0, quad.x1})
        for (const int32_t py : {quad.y0, quad.y1})
            if (!(m_heights[Index(px, py)] > 0)) return;
    m_quads.push_back(quad);
}

// Outside the grid a margin neighbour does not count; inside it must have a
// positive raw height.
void VRTerrain::AddTriangle(int32_t margin, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3) {
    if (margin > 1) {
        for (const auto& v : {std::make_pair(x1, y1), std::make_pair(x2, y2), std::make_pair(x3, y3)}) {
            for (int32_t f = 1; f < margin; ++f) {
                for (const int32_t sx : {-f, f}) {
                    for (const int32_t sy : {-f, f}) {
                        const int32_t px = v.first + sx, py = v.second + sy;
                        if (Inside(px, py) && !(m_raw[Index(px, py)] > 0)) return;
                    }
                }
            }
        }
    }
    m_triangles.push_back({x1, y1, x2, y2, x3, y3});
}

// Two triangles along the diagonal whose end heights differ less.
void VRTerrain::SplitQuad(int32_t margin, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    auto h = [&](int32_t px, int32_t py) { return int64_t{TerrainHeightInt(m_heights[Index(px, py)])}; };
    if (std::llabs(h(x0, y1) - h(x1, y0)) > std::llabs(h(x0, y0) - h(x1, y1))) {
        AddTriangle(margin, x0, y0, x0, y1, x1, y1);
        AddTriangle(margin, x0, y0, x1, y1, x1, y0);
    } else {
        AddTriangle(margin, x0, y0, x0, y1, x1, y0);
        AddTriangle(margin, x0, y1, x1, y1, x1, y0);
    }
}

void VRTerrain::Triangulate(float x) {
    const float m = 7.0f * x;
    const int32_t margin = m > 0 && m < 2147483648.0f ? static_cast<int32_t>(m) : (m > 0 ? INT32_MAX : 0);
    // Beyond the grid's diagonal no neighbour lies inside: larger margins
    // add nothing to the test.
    const int32_t cappedMargin = std::min(margin, std::max(m_cols, m_rows) + 1);
    for (const VRTerrainQuad& quad : m_quads) {
        const int32_t x0 = quad.x0, y0 = quad.y0, x1 = quad.x1, y1 = quad.y1;
        const int32_t d = (x1 - x0) / 2;
        // The sides in fan order: corner, midpoint, next corner.
        const int32_t sides[4][6] = {{x0, y0, x0, y0 + d, x0, y1},
                                     {x0, y1, x0 + d, y1, x1, y1},
                                     {x1, y1, x1, y1 - d, x1, y0},
                                     {x1, y0, x1 - d, y0, x0, y0}};
        int present = 0;
        for (const auto& s : sides) present += m_heights[Index(s[2], s[3])] > 0;
        if (d == 0 || present == 0) {
            SplitQuad(cappedMargin, x0, y0, x1, y1);
            continue;
        }
        const int32_t cx = x0 + d, cy = y0 + d;
        m_heights[Index(cx, cy)] = m_raw[Index(cx, cy)];
        if (present == 4) {
            SplitQuad(cappedMargin, x0, y0, cx, cy);
            SplitQuad(cappedMargin, cx, y0, x1, cy);
            SplitQuad(cappedMargin, x0, cy, cx, y1);
            SplitQuad(cappedMargin, cx, cy, x1, y1);
            continue;
        }
        for (const auto& s : sides) {
            if (m_heights[Index(s[2], s[3])] >= 0) {
                AddTriangle(cappedMargin, s[0], s[1], s[2], s[3], cx, cy);
                AddTriangle(cappedMargin, s[2], s[3], s[4], s[5], cx, cy);
            } else {
                AddTriangle(cappedMargin, s[0], s[1], s[4], s[5], cx, cy);
            }
        }
    }
}

// ---------------------------------------------------------------------------
// Lighting

void VRTerrain::ComputeLighting(float* direction) {
    // A zero direction stays zero (and lights everything) instead of NaN.
    VectorNormalize(direction, 3);
    if (m_lit.empty() || m_heights.empty()) return;
    TraceShadows(direction);
    BlurShadows();
    FillShadeMap(direction);
}

// Rays walk the raw heights away from the light; a cell whose shadow reach
// falls short of the longest reach met before it on the ray is shadowed.
void VRTerrain::TraceShadows(const float* L) {
    std::fill(m_lit.begin(), m_lit.end(), 1.0f);
    if (L[2] == 0 || (L[0] == 0 && L[1] == 0) || m_cols < 2 || m_rows < 2) return;
    const float cs = static_cast<float>(m_cellSize);
    const float inf = std::numeric_limits<float>::infinity();
    const float tx0 = L[0] == 0 ? inf : 0.5f * cs / std::fabs(L[0]);
    const float ty0 = L[1] == 0 ? inf : 0.5f * cs / std::fabs(L[1]);
    const float dtx = L[0] == 0 ? inf : cs / std::fabs(L[0]);
    const float dty = L[1] == 0 ? inf : cs / std::fabs(L[1]);
    const int32_t sx = L[0] > 0 ? -1 : 1, sy = L[1] > 0 ? -1 : 1;
    const int32_t lastX = m_cols - 2, lastY = m_rows - 2;
    const float kx = L[0] / L[2], ky = L[1] / L[2];

    auto walk = [&](int32_t x, int32_t y) {
        float tx = tx0, ty = ty0, reach = 0;
        int32_t u = 0, v = 0;
        for (;;) {
            if (ty <= tx) {
                if (y + sy < 0 || y + sy > lastY) return;
                y += sy;
                ty += dty;
                ++u;
            } else {
                if (x + sx < 0 || x + sx > lastX) return;
                x += sx;
                tx += dtx;
                ++v;
            }
            const float F = m_raw[Index(x, y)];
            const float J = std::sqrt(static_cast<float>(u) * u + static_cast<float>(v) * v);
            const float M = std::sqrt((kx * F) * (kx * F) + (ky * F) * (ky * F));
            const float N = (M + J) * cs;
            if (N < reach) {
                m_lit[Index(x, y)] = 0.0f;
            } else {
                m_lit[Index(x, y)] = 1.0f;
                if (F > 0) reach = N;
            }
        }
    };
    for (int32_t x = 0; x <= lastX; ++x) walk(x, L[1] > 0 ? lastY : 0);
    for (int32_t y = 0; y <= lastY; ++y) walk(L[0] > 0 ? lastX : 0, y);
}

void VRTerrain::BlurShadows() {
    std::vector<float> blurred(m_lit.size(), 0.0f);
    for (int32_t x = 2; x <= m_cols - 3; ++x) {
        for (int32_t y = 2; y <= m_rows - 3; ++y) {
            float sum = 0;
            for (int32_t dx = -2; dx <= 2; ++dx)
                for (int32_t dy = -2; dy <= 2; ++dy) sum += m_lit[Index(x + dx, y + dy)];
            blurred[Index(x, y)] = sum / 25;
        }
    }
    m_lit.swap(blurred);
}

bool VRTerrain::TexelBlend(int32_t i, int32_t j, Blend& b) const {
    const float gx = static_cast<float>(m_cols) * (static_cast<float>(i) + 0.5f) / kTerrainMapSize;
    const float gy = static_cast<float>(m_rows) * (static_cast<float>(j) + 0.5f) / kTerrainMapSize;
    b.x = static_cast<int32_t>(std::floor(gx));
    b.y = static_cast<int32_t>(std::floor(gy));
    b.fx = gx - static_cast<float>(b.x);
    b.fy = gy - static_cast<float>(b.y);
    return b.x < m_cols - 1 && b.y < m_rows - 1;
}

float VRTerrain::Blended(const std::vector<float>& q, const Blend& b, int stride, int component) const {
    auto at = [&](int32_t x, int32_t y) { return q[static_cast<size_t>(stride) * Index(x, y) + component]; };
    const float q00 = at(b.x, b.y), q10 = at(b.x + 1, b.y), q01 = at(b.x, b.y + 1), q11 = at(b.x + 1, b.y + 1);
    return 0.5f * ((1 - b.fy) * 0.5f * (q00 + q10) + b.fy * 0.5f * (q01 + q11) + (1 - b.fx) * 0.5f * (q00 + q01) +
                   b.fx * 0.5f * (q10 + q11));
}

void VRTerrain::FillShadeMap(const float* L) {
    const float V[3] = {-L[0], -L[1], -L[2]};
    for (int32_t j = 0; j < kTerrainMapSize; ++j) {
        for (int32_t i = 0; i < kTerrainMapSize; ++i) {
            Blend b;
            if (!TexelBlend(i, j, b)) continue;
            float G = 0;
            for (int k = 0; k < 3; ++k) G += Blended(m_normals, b, 3, k) * V[k];
            G = std::max(G, 0.0f);
            const float S = Blended(m_lit, b);
            m_shade[static_cast<size_t>(j) * kTerrainMapSize + i] = G * ((1 - S) * 0.4f + 0.6f);
        }
    }
}

// ---------------------------------------------------------------------------
// Textures

std::vector<uint8_t> VRTerrain::ShadowPixels() const {
    std::vector<uint8_t> rgba(4 * kMapTexels, 0);
    for (size_t t = 0; t < kMapTexels; ++t) {
        rgba[4 * t + 3] = ToByte(0.5f + kShadowAlpha * m_shade[t]);
    }
    return rgba;
}

void VRTerrain::ShadeImage(uint8_t* rgba) const {
    for (size_t t = 0; t < kMapTexels; ++t) {
        const float m = kOverlayShade * m_shade[t];
        uint8_t* p = rgba + 4 * t;
        if (p[3] < kOverlayClearAlpha) {
            p[0] = p[1] = p[2] = 0;
            p[3] = ToByte(255.0f * m);
        } else {
            for (int k = 0; k < 3; ++k) p[k] = ToByte(static_cast<float>(p[k]) * (1 - m));
        }
    }
}

std::vector<uint8_t> VRTerrain::HeightPixels() const {
    std::vector<uint8_t> rgb(3 * kMapTexels, 0);
    if (m_raw.empty()) return rgb;
    for (int32_t j = 0; j < kTerrainMapSize; ++j) {
        for (int32_t i = 0; i < kTerrainMapSize; ++i) {
            Blend b;
            if (!TexelBlend(i, j, b)) continue;
            float colour[3];
            TerrainHeightColour(Blended(m_raw, b), colour);
            uint8_t* p = &rgb[3 * (static_cast<size_t>(j) * kTerrainMapSize + i)];
            for (int k = 0; k < 3; ++k) p[k] = ToByte(colour[k] * 255.0f);
        }
    }
    return rgb;
}

namespace {

// A malloc'ed copy of the texels, which the texture manager takes over.
uint8_t* HandOver(const std::vector<uint8_t>& texels) {
    auto* bytes = static_cast<uint8_t*>(std::malloc(texels.size()));
    if (bytes) std::memcpy(bytes, texels.data(), texels.size());
    return bytes;
}

// The picture as RGBA of kTerrainMapSize on a side (malloc), or null.
uint8_t* OverlayPicture(uint8_t* pixels, int32_t w, int32_t h, int32_t channels) {
    if (!pixels || w <= 0 || h <= 0 || channels < 1 || channels > 4) {
        std::free(pixels);
        return nullptr;
    }
    if (channels < 4) {
        const size_t n = static_cast<size_t>(w) * h;
        auto* rgba = static_cast<uint8_t*>(std::malloc(4 * n));
        if (!rgba) {
            std::free(pixels);
            return nullptr;
        }
        for (size_t t = 0; t < n; ++t) {
            const uint8_t* s = pixels + t * channels;
            uint8_t* d = rgba + 4 * t;
            d[0] = s[0];
            d[1] = channels >= 3 ? s[1] : s[0];
            d[2] = channels >= 3 ? s[2] : s[0];
            d[3] = channels == 2 ? s[1] : 255;
        }
        std::free(pixels);
        pixels = rgba;
    }
    if (w == kTerrainMapSize && h == kTerrainMapSize) return pixels;
    return ResizeImageNearest(pixels, w, h, kTerrainMapSize, kTerrainMapSize, 4, false);
}

}  // namespace

VRTexture* VRTerrain::GetTextureShadow(const char* file) {
    VRTextureManager* manager = SharedTextureManager();
    if (!manager) return nullptr;
    std::string name;
    uint8_t* pixels = nullptr;
    if (!file || !*file) {
        name = "__VRTerrain_shadow__" + std::to_string(++g_shadowTextureCount);
        pixels = HandOver(ShadowPixels());
    } else {
        const std::string path = PathResolver::Shared().Resolve(std::string(BaseDirectory()) + file);
        const ScriptFile probe = ScriptFile::Open(path, kMaxImageFileBytes);
        if (probe.GetStatus() == ScriptFile::NotFound) {
            ReportWarning("VRTextureManager : Texture not found:", file);
            return nullptr;
        }
        if (!probe.IsOpen()) {
            ReportWarning("VRTextureManager : Texture refused:", probe.Reason().c_str());
            return nullptr;
        }
        int32_t w = 0, h = 0, channels = 0;
        uint8_t* picture = manager->LoadImageFile(path.c_str(), &w, &h, &channels);
        pixels = OverlayPicture(picture, w, h, channels);
        if (!pixels) {
            ReportWarning("VRTextureManager : Unsupported format:", file);
            return nullptr;
        }
        ShadeImage(pixels);
        name = std::string("__VRTerrain_shadow__") + file;
    }
    if (!pixels) return nullptr;
    return manager->CreateTextureFromBuffer(name.c_str(), pixels, kTerrainMapSize, kTerrainMapSize, 4, 0, 0, 0);
}

VRTexture* VRTerrain::GetTextureHeight() {
    VRTextureManager* manager = SharedTextureManager();
    if (!manager) return nullptr;
    uint8_t* pixels = HandOver(HeightPixels());
    if (!pixels) return nullptr;
    const std::string name = "__VRTerrain_height__" + std::to_string(m_serial);
    return manager->CreateTextureFromBuffer(name.c_str(), pixels, kTerrainMapSize, kTerrainMapSize, 3, 0, 0, 0);
}

// ---------------------------------------------------------------------------
// Drawing

void VRTerrain::BuildMeshList() {
    glEnable(GL_DEPTH_TEST);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    const GLuint list = glGenLists(1);
    if (!list) return;
    m_meshList = list;
    glNewList(list, GL_COMPILE_AND_EXECUTE);
    glBegin(GL_TRIANGLES);
    const float cols = static_cast<float>(m_cols), rows = static_cast<float>(m_rows);
    auto vertex = [&](int32_t X, int32_t Y) {
        const float x = static_cast<float>(X), y = static_cast<float>(Y);
        glTexCoord2f((x + 0.5f) / cols, (y + 0.5f) / rows);
        glVertex3f(0.01f * x - 5, 0.001f * m_heights[Index(X, Y)] + 1, 0.01f * y - 5);
    };
    for (const VRTerrainTriangle& t : m_triangles) {
        vertex(t.x1, t.y1);
        vertex(t.x2, t.y2);
        vertex(t.x3, t.y3);
    }
    glEnd();
    glEndList();
}

void VRTerrain::Draw(VRTexture* texture, VRTexture* second, int32_t flags1, int32_t flags2) {
    glDisable(GL_LIGHTING);
    glDisable(GL_CULL_FACE);
    // The list is made once, from the first mesh there is to draw (an empty
    // terrain draws nothing and keeps waiting for its mesh).
    if (m_meshList == 0xFFFFFFFFu) {
        if (m_triangles.empty()) {
            glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
            return;
        }
        BuildMeshList();
    }
    VRTextureManager* manager = SharedTextureManager();
    if (!manager || m_meshList == 0xFFFFFFFFu) return;
    manager->BindTexture(texture, flags1, 0);
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glCallList(m_meshList);
    if (second) {
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        manager->BindTexture(second, flags2, 0);
        glCallList(m_meshList);
    }
}

void VRTerrain::DrawPoints(int32_t) {
    glDisable(GL_LIGHTING);
    glDisable(GL_CULL_FACE);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_2D);
    glScalef(kPointScale[0], kPointScale[1], kPointScale[2]);
    if (g_pointList) glCallList(g_pointList);
}
