// Terrains from grid texts: the reading of the header and values, smoothing
// and normals, the adaptive mesh, shadows and the shade map, the texels of
// both textures, calls out of order, and (under a GL window) the file load,
// the state a draw leaves and the pixels it draws.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "scene/EngineServices.h"
#include "scene/SharedTextureManager.h"
#include "scene/VRTerrain.h"
#include "scene/VRTextureManager.h"
#include "support/GlWindowFixture.h"
#include "support/ImageFiles.h"
#include "support/ScratchFolder.h"
#include "support/ZipWriter.h"

using namespace qemtest;

namespace {

std::vector<std::string> errors, warnings;
int CaptureError(const char* text) {
    errors.emplace_back(text);
    return 0;
}
int CaptureWarning(const char* text) {
    warnings.emplace_back(text);
    return 0;
}

// Messages go to the lists for the test's time.
class TerrainTest : public ::testing::Test {
protected:
    void SetUp() override {
        errors.clear();
        warnings.clear();
        SetEngineErrorHandler(CaptureError);
        SetEngineWarningHandler(CaptureWarning);
    }
    void TearDown() override {
        SetEngineErrorHandler(nullptr);
        SetEngineWarningHandler(nullptr);
    }
};

// The header of a cols x rows grid and the values, row by row.
std::string Grid(int cols, int rows, const std::vector<long>& values, int cellSize = 30) {
    std::string text = "ncols " + std::to_string(cols) + "\nnrows " + std::to_string(rows) +
                       "\nxllcorner 0.0\nyllcorner 0.0\ncellsize " + std::to_string(cellSize) +
                       "\nNODATA_value -9999\n";
    for (size_t i = 0; i < values.size(); ++i) text += std::to_string(values[i]) + (i % cols == size_t(cols) - 1 ? "\n" : " ");
    return text;
}

std::string Flat(int cols, int rows, long value) {
    return Grid(cols, rows, std::vector<long>(size_t(cols) * rows, value));
}

bool Read(VRTerrain& t, const std::string& text) { return t.ReadAsc(text.data(), text.size(), "grid.asc"); }

}  // namespace

TEST_F(TerrainTest, ReadsTheHeaderAndValuesRowByRow) {
    VRTerrain t;
    ASSERT_TRUE(Read(t, Grid(3, 2, {1, 2, 3, 4, 5, 6})));
    EXPECT_EQ(t.Cols(), 3);
    EXPECT_EQ(t.Rows(), 2);
    EXPECT_EQ(t.CellSize(), 30);
    EXPECT_EQ(t.VertexCount(), 6);
    EXPECT_EQ(t.RawHeight(0, 0), 1);
    EXPECT_EQ(t.RawHeight(2, 0), 3);
    EXPECT_EQ(t.RawHeight(0, 1), 4);
    const std::vector<float>& p = VRTerrain::PointCloud();
    ASSERT_EQ(p.size(), 18u);
    EXPECT_EQ(std::vector<float>(p.begin() + 6, p.begin() + 9), (std::vector<float>{60, 3, 0}));
    EXPECT_EQ(std::vector<float>(p.begin() + 15, p.end()), (std::vector<float>{60, 6, 30}));
    EXPECT_TRUE(errors.empty());

    // Values are unsigned: -1 is 2^32 - 1, which a float rounds to 2^32,
    // and the mesh code takes for not positive.
    ASSERT_TRUE(Read(t, Grid(2, 1, {-1, -9999})));
    EXPECT_EQ(t.RawHeight(0, 0), 4294967296.0f);
    EXPECT_EQ(TerrainHeightInt(t.RawHeight(0, 0)), INT32_MIN);
    EXPECT_EQ(TerrainHeightInt(-1.0f), -1);
    EXPECT_EQ(TerrainHeightInt(111.9f), 111);

    // Keywords are whole and case-sensitive; a short file leaves zeros.
    ASSERT_TRUE(Read(t, "NCOLS 9 ncols 2 nrows 2 cellsize 10 ncolsx 5 NODATA_value 0\n7 8 9"));
    EXPECT_EQ(t.Cols(), 2);
    EXPECT_EQ(t.VertexCount(), 3);
    EXPECT_EQ(t.RawHeight(1, 1), 0);
    // A value with other characters after it is the last one read.
    ASSERT_TRUE(Read(t, "ncols 3 nrows 1 cellsize 5 NODATA_value 0 4 5.5 6"));
    EXPECT_EQ(t.VertexCount(), 2);
    EXPECT_EQ(t.RawHeight(1, 0), 5);
    EXPECT_EQ(t.RawHeight(2, 0), 0);
}

// A bad size is refused and changes nothing; no NODATA_value leaves the
// terrain empty.
TEST_F(TerrainTest, BadHeadersLoadNothing) {
    const char* const bad[] = {
        "ncols -5 nrows 2 cellsize 30 NODATA_value 0 1 2",
        "ncols 2 nrows 0 cellsize 30 NODATA_value 0 1 2",
        "ncols 2050 nrows 2 cellsize 30 NODATA_value 0 1 2",
        "ncols 2 nrows 2 cellsize 0 NODATA_value 0 1 2",
        "ncols 2 nrows 2 cellsize -30 NODATA_value 0 1 2",
        "ncols 99999999999 nrows 2 cellsize 30 NODATA_value 0 1 2",
        "ncols 4294967298 nrows 2 cellsize 30 NODATA_value 0 1 2",
        "ncols nrows 2 cellsize 30 NODATA_value 0 1 2",
        "nrows 2 cellsize 30 NODATA_value 0 1 2",
    };
    for (const char* text : bad) {
        VRTerrain t;
        ASSERT_TRUE(Read(t, Grid(2, 2, {1, 2, 3, 4})));
        errors.clear();
        EXPECT_FALSE(Read(t, text)) << text;
        EXPECT_EQ(errors, std::vector<std::string>{"VRTerrain: Invalid grid file: grid.asc"}) << text;
        EXPECT_EQ(t.Cols(), 2);
        EXPECT_EQ(t.VertexCount(), 4);
        EXPECT_EQ(VRTerrain::PointCloud().size(), 12u);
    }
    VRTerrain t;
    ASSERT_TRUE(Read(t, Grid(2, 2, {1, 2, 3, 4})));
    errors.clear();
    EXPECT_TRUE(Read(t, "ncols 2 nrows 2 cellsize 30\n1 2 3 4\n"));
    EXPECT_TRUE(errors.empty());
    EXPECT_TRUE(t.Empty());
    EXPECT_EQ(t.Cols(), 0);
    EXPECT_EQ(t.VertexCount(), 0);
    EXPECT_TRUE(VRTerrain::PointCloud().empty());
}

TEST_F(TerrainTest, SmoothingAndNormals) {
    VRTerrain t;
    // Interior: (own + sum of positive 3 x 3) / count; the border stays.
    ASSERT_TRUE(Read(t, Flat(5, 5, 100)));
    EXPECT_NEAR(t.Height(2, 2), 1000.0f / 9, 1e-3);
    EXPECT_EQ(t.Height(0, 2), 100);
    EXPECT_EQ(t.RawHeight(2, 2), 100);
    // Zeros around count for nothing; none positive keeps the height.
    ASSERT_TRUE(Read(t, Grid(3, 3, {0, 0, 0, 0, 0, 0, 0, 0, 9})));
    EXPECT_EQ(t.Height(1, 1), 9);
    ASSERT_TRUE(Read(t, Flat(3, 3, 0)));
    EXPECT_EQ(t.Height(1, 1), 0);

    // Normals point toward negative height; row 0 and column 0 copy their
    // neighbours'. Two rows have no interior: nothing is smoothed.
    ASSERT_TRUE(Read(t, Flat(4, 2, 10)));
    for (int x = 0; x < 4; ++x)
        for (int y = 0; y < 2; ++y) EXPECT_EQ(std::vector<float>(t.Normal(x, y), t.Normal(x, y) + 3),
                                              (std::vector<float>{0, 0, -1})) << x << "," << y;
    // A slope rising along x by one cell size per column.
    ASSERT_TRUE(Read(t, Grid(3, 2, {0, 30, 60, 0, 30, 60})));
    for (const auto& v : {std::make_pair(2, 1), std::make_pair(1, 1), std::make_pair(0, 1), std::make_pair(0, 0)}) {
        const float* n = t.Normal(v.first, v.second);
        EXPECT_NEAR(n[0], 0.70710677f, 1e-5);
        EXPECT_NEAR(n[1], 0, 1e-5);
        EXPECT_NEAR(n[2], -0.70710677f, 1e-5);
    }
}

// Without tolerance every cell with four positive corners is a quad of two
// triangles, split along its flatter diagonal.
TEST_F(TerrainTest, NoToleranceKeepsEveryPositiveCell) {
    VRTerrain t;
    ASSERT_TRUE(Read(t, Grid(4, 3, {0, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 9})));
    t.SetRes(0);
    EXPECT_EQ(t.VertexCount(), 12);
    EXPECT_EQ(t.Quads().size(), 5u);
    EXPECT_EQ(t.Triangles().size(), 10u);
    for (const VRTerrainQuad& q : t.Quads()) {
        EXPECT_EQ(q.x1 - q.x0, 1);
        EXPECT_EQ(q.y1 - q.y0, 1);
        EXPECT_FALSE(q.x0 == 0 && q.y0 == 0);
    }
    // The cell (2, 1)-(3, 2): the corner 9 makes the diagonal (2, 1)-(3, 2)
    // the steep one, so it is split along (2, 2)-(3, 1).
    bool found = false;
    for (size_t i = 0; i + 1 < t.Triangles().size(); i += 2) {
        const VRTerrainTriangle& a = t.Triangles()[i];
        if (a.x1 != 2 || a.y1 != 1) continue;
        found = true;
        const VRTerrainTriangle& b = t.Triangles()[i + 1];
        EXPECT_EQ((std::vector<int32_t>{a.x1, a.y1, a.x2, a.y2, a.x3, a.y3}), (std::vector<int32_t>{2, 1, 2, 2, 3, 1}));
        EXPECT_EQ((std::vector<int32_t>{b.x1, b.y1, b.x2, b.y2, b.x3, b.y3}), (std::vector<int32_t>{2, 2, 3, 2, 3, 1}));
    }
    EXPECT_TRUE(found);
}

TEST_F(TerrainTest, FlatGridDecimatesToOneQuad) {
    VRTerrain t;
    ASSERT_TRUE(Read(t, Flat(5, 5, 100)));
    t.SetRes(1);
    EXPECT_EQ(t.VertexCount(), 4);
    ASSERT_EQ(t.Quads().size(), 1u);
    const VRTerrainQuad& q = t.Quads()[0];
    EXPECT_EQ((std::vector<int32_t>{q.x0, q.y0, q.x1, q.y1}), (std::vector<int32_t>{0, 0, 4, 4}));
    EXPECT_EQ(t.Triangles().size(), 2u);
    EXPECT_EQ(t.Height(2, 2), -1);
    EXPECT_EQ(t.Height(4, 4), 100);
    // A later call decimates what is left: the corners stay.
    t.SetRes(1);
    EXPECT_EQ(t.VertexCount(), 4);
    EXPECT_EQ(t.Quads().size(), 1u);
}

// The margin drops triangles next to holes (non-positive raw heights).
TEST_F(TerrainTest, HolesKeepAMargin) {
    VRTerrain t;
    // A zero in the grid: with margin 7, no triangle has a vertex whose
    // diagonal neighbours within 6 cells reach it.
    std::vector<long> holed(81, 100);
    holed[8 * 9 + 8] = 0;
    ASSERT_TRUE(Read(t, Grid(9, 9, holed)));
    t.SetRes(0);
    EXPECT_EQ(t.Triangles().size(), 2u * 63);  // 64 cells, one has the zero corner
    ASSERT_TRUE(Read(t, Grid(9, 9, holed)));
    t.SetRes(0.15f);  // margin (int)1.05 = 1: no test
    const size_t noMargin = t.Triangles().size();
    ASSERT_TRUE(Read(t, Grid(9, 9, holed)));
    t.SetRes(0.3f);  // margin 2: neighbours at +-1
    for (const VRTerrainTriangle& tr : t.Triangles())
        for (const auto& p : {std::make_pair(tr.x1, tr.y1), std::make_pair(tr.x2, tr.y2), std::make_pair(tr.x3, tr.y3)})
            EXPECT_FALSE(p.first == 7 && p.second == 7);
    EXPECT_LT(t.Triangles().size(), noMargin);
}

// A wall at column 15 of a flat grid shadows the cells behind it, seen from
// the light; the blur averages 5 x 5 cells and leaves a 2-cell border at 0.
TEST_F(TerrainTest, ShadowsFallBehindAWall) {
    std::vector<long> v(20 * 20, 10);
    for (int y = 0; y < 20; ++y) v[size_t(y) * 20 + 15] = 1000;
    const struct {
        float light[3];
        float behind, after;  // lit fraction at (5, 10) and (17, 10)
    } cases[] = {
        {{1, 0, 1}, 0, 1},    // from +x: the wall's shadow covers x < 15
        {{-1, 0, 1}, 1, 0},   // from -x: x = 16 ... 18 lie in it
        {{0, 1, 1}, 1, 1},    // along the wall: no shadow
        {{0, 0, 1}, 1, 1},    // from above: no walk
        {{1, 0, 0}, 1, 1},    // on the horizon: every cell lit
    };
    for (const auto& c : cases) {
        VRTerrain t;
        ASSERT_TRUE(Read(t, Grid(20, 20, v)));
        t.SetRes(0);
        float l[3] = {c.light[0], c.light[1], c.light[2]};
        t.ComputeLighting(l);
        EXPECT_FLOAT_EQ(std::hypot(l[0], l[1], l[2]), 1.0f);
        EXPECT_FLOAT_EQ(t.LitFraction(5, 10), c.behind) << c.light[0] << " " << c.light[1] << " " << c.light[2];
        // x = 17 blurs with the wall's x = 15 (lit) and the unmarked x = 19.
        if (c.after == 0) EXPECT_FLOAT_EQ(t.LitFraction(17, 10), 2.0f / 5) << c.light[0];
        else EXPECT_FLOAT_EQ(t.LitFraction(17, 10), 1.0f) << c.light[0];
        EXPECT_EQ(t.LitFraction(1, 10), 0);
        EXPECT_EQ(t.LitFraction(10, 18), 0);
    }
    // The shade map: flat normals (0, 0, -1) against V = -L give L.z; a lit
    // texel has 0.6 of it, a shadowed one all of it.
    VRTerrain t;
    ASSERT_TRUE(Read(t, Grid(20, 20, v)));
    t.SetRes(0);
    float l[3] = {1, 0, 1};
    t.ComputeLighting(l);
    const int row = 10 * 1024 / 20 + 25;
    EXPECT_NEAR(t.Shade(5 * 1024 / 20 + 25, row), 0.70710677f, 1e-5);  // shadowed
    float above[3] = {0, 0, 2};
    t.ComputeLighting(above);
    EXPECT_EQ(std::vector<float>(above, above + 3), (std::vector<float>{0, 0, 1}));
    EXPECT_NEAR(t.Shade(5 * 1024 / 20 + 25, row), 0.6f, 1e-5);
    // Texels on the last column and row are never computed.
    EXPECT_EQ(t.Shade(1023, row), 0);
    EXPECT_EQ(t.Shade(500, 1023), 0);
}

TEST(TerrainColours, RampFromGreenToWhite) {
    const struct {
        float height, r, g, b;
    } ramp[] = {
        {-1, 1, 0, 0},     {0, 0, 1, 0},         {100, 0, 0.75f, 0}, {200, 0, 0.5f, 0},
        {300, 0.3f, 0.5f, 0}, {400, 0.6f, 0.5f, 0}, {500, 0.8f, 0.75f, 0.5f}, {600, 1, 1, 1},
        {4294957296.0f, 1, 1, 1},
    };
    for (const auto& r : ramp) {
        float c[3];
        TerrainHeightColour(r.height, c);
        EXPECT_NEAR(c[0], r.r, 1e-6) << r.height;
        EXPECT_NEAR(c[1], r.g, 1e-6) << r.height;
        EXPECT_NEAR(c[2], r.b, 1e-6) << r.height;
    }
}

TEST_F(TerrainTest, TextureTexels) {
    VRTerrain t;
    ASSERT_TRUE(Read(t, Flat(2, 2, 300)));
    std::vector<uint8_t> height = t.HeightPixels();
    ASSERT_EQ(height.size(), 3u * 1024 * 1024);
    EXPECT_EQ(std::vector<uint8_t>(height.begin(), height.begin() + 3), (std::vector<uint8_t>{76, 127, 0}));
    // A 2 x 2 grid computes only the texels of its first half.
    EXPECT_EQ(height[3 * 511 + 1], 127);
    EXPECT_EQ(height[3 * 512 + 1], 0);
    EXPECT_EQ(height[3 * (512u * 1024) + 1], 0);

    // The shadow alone: black with alpha 0.5 + 179 x shade, truncated. A
    // flat grid lit from above: 0.6 inside, 1.0 on the blurred border.
    ASSERT_TRUE(Read(t, Flat(20, 20, 10)));
    t.SetRes(0);
    float l[3] = {0, 0, 1};
    t.ComputeLighting(l);
    const size_t inside = 500u * 1024 + 500, border = 10u * 1024 + 500;
    std::vector<uint8_t> shadow = t.ShadowPixels();
    ASSERT_EQ(shadow.size(), 4u * 1024 * 1024);
    EXPECT_EQ(std::vector<uint8_t>(shadow.begin() + 4 * inside, shadow.begin() + 4 * inside + 4),
              (std::vector<uint8_t>{0, 0, 0, uint8_t(0.5f + 179 * t.Shade(500, 500))}));
    EXPECT_EQ(shadow[4 * inside + 3], 107);
    EXPECT_EQ(shadow[4 * border + 3], 179);
    EXPECT_EQ(shadow[4 * (1023u * 1024) + 3], 0);

    // Over an image: clear texels (alpha < 17) become the shadow at
    // 255 x 0.7 x shade; others keep alpha and are darkened by it.
    std::vector<uint8_t> image(4u * 1024 * 1024);
    for (size_t i = 0; i < image.size(); i += 4) {
        const bool clear = (i / 4) % 2 == 0;
        image[i] = 200, image[i + 1] = 100, image[i + 2] = 10, image[i + 3] = clear ? 16 : 17;
    }
    t.ShadeImage(image.data());
    const float m = 0.7f * t.Shade(500, 500);
    EXPECT_EQ(std::vector<uint8_t>(image.begin() + 4 * inside, image.begin() + 4 * inside + 4),
              (std::vector<uint8_t>{0, 0, 0, uint8_t(255 * m)}));
    const size_t next = 4 * (inside + 1);
    EXPECT_EQ(std::vector<uint8_t>(image.begin() + next, image.begin() + next + 4),
              (std::vector<uint8_t>{uint8_t(200 * (1 - m)), uint8_t(100 * (1 - m)), uint8_t(10 * (1 - m)), 17}));
}

// Every operation on a terrain that has nothing yet, or out of order.
TEST_F(TerrainTest, CallsOutOfOrderActOnAnEmptyTerrain) {
    VRTerrain t("a", std::string(1000, 'n'), "");
    EXPECT_EQ(t.Name(1).size(), 1000u);
    float l[3] = {3, 0, 4};
    t.ComputeLighting(l);
    EXPECT_FLOAT_EQ(l[0], 0.6f);
    t.SetRes(2);
    EXPECT_TRUE(t.Quads().empty());
    t.ComputeLighting(l);
    EXPECT_EQ(t.HeightPixels(), std::vector<uint8_t>(3u * 1024 * 1024, 0));
    EXPECT_EQ(t.Shade(0, 0), 0);

    // Lighting before SetRes: the direction is normalised, nothing else.
    ASSERT_TRUE(Read(t, Flat(6, 6, 50)));
    float zero[3] = {0, 0, 0};
    t.ComputeLighting(zero);
    EXPECT_EQ(std::vector<float>(zero, zero + 3), (std::vector<float>{0, 0, 0}));
    float up[3] = {0, 0, 5};
    t.ComputeLighting(up);
    EXPECT_FALSE(t.HasLitFraction());
    EXPECT_EQ(t.Shade(100, 100), 0);
    // A new load drops the old mesh.
    t.SetRes(0);
    EXPECT_FALSE(t.Triangles().empty());
    ASSERT_TRUE(Read(t, Flat(2, 2, 50)));
    EXPECT_TRUE(t.Triangles().empty());
    EXPECT_FALSE(t.HasLitFraction());
}

TEST(TerrainCount, LiveObjects) {
    const int32_t before = LiveObjectCount;
    {
        VRTerrain t;
        EXPECT_EQ(LiveObjectCount, before + 1);
    }
    EXPECT_EQ(LiveObjectCount, before);
}

// --- GL ---------------------------------------------------------------------

namespace {

class TerrainGl : public GlWindowFixture {
protected:
    void SetUp() override {
        GlWindowFixture::SetUp();
        if (IsSkipped()) return;
        errors.clear();
        warnings.clear();
        SetEngineErrorHandler(CaptureError);
        SetEngineWarningHandler(CaptureWarning);
        SetBaseDirectory(scratch.Path().c_str());
        glPushAttrib(GL_ALL_ATTRIB_BITS);
        glPushClientAttrib(GL_CLIENT_ALL_ATTRIB_BITS);
        glMatrixMode(GL_PROJECTION);
        glPushMatrix();
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glLoadIdentity();
    }
    void TearDown() override {
        if (!IsSkipped()) {
            EndSharedTextureManager();
            glMatrixMode(GL_PROJECTION);
            glPopMatrix();
            glMatrixMode(GL_MODELVIEW);
            glPopMatrix();
            glPopClientAttrib();
            glPopAttrib();
        }
        SetBaseDirectory("");
        SetEngineErrorHandler(nullptr);
        SetEngineWarningHandler(nullptr);
        GlWindowFixture::TearDown();
    }
    void Write(const std::string& name, const std::string& text) { WriteFile(scratch.Make(name), text); }
    ScratchFolder scratch;
};

}  // namespace

TEST_F(TerrainGl, LoadsFilesFromTheBaseDirectory) {
    VRTerrain t;
    t.LoadAsc("none.asc");
    EXPECT_EQ(errors, std::vector<std::string>{"VRTerrain: File not foud: none.asc"});
    EXPECT_TRUE(t.Empty());
    t.LoadAsc("");  // the base directory itself
    EXPECT_EQ(errors.back(), "VRTerrain: File not foud: ");
    errors.clear();
    Write("bad.asc", "ncols -5\nnrows 2\ncellsize 30\nNODATA_value -9999\n1 2\n");
    t.LoadAsc("bad.asc");
    EXPECT_EQ(errors.back(), "VRTerrain: Invalid grid file: bad.asc");
    Write("six.asc", Grid(3, 2, {1, 2, 3, 4, 5, 6}));
    t.LoadAsc("six.asc");
    EXPECT_EQ(errors.size(), 1u);
    EXPECT_EQ(t.VertexCount(), 6);
    const GLuint list = VRTerrain::PointCloudList();
    EXPECT_TRUE(glIsList(list));
    // The load leaves the colour of the cloud.
    float colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_EQ(std::vector<float>(colour, colour + 3), (std::vector<float>{0, 1, 0}));
    t.LoadAsc("six.asc");
    EXPECT_FALSE(glIsList(list));
    EXPECT_TRUE(glIsList(VRTerrain::PointCloudList()));
}

// The mesh of a flat grid seen from above fills the window with the height
// texture's colour; the draw leaves lighting and culling off and the unpack
// alignment at 1.
TEST_F(TerrainGl, DrawsTheMeshWithItsTexture) {
    Write("flat.asc", Flat(11, 11, 100));
    VRTerrain t;
    t.LoadAsc("flat.asc");
    t.SetRes(0);
    VRTexture* height = t.GetTextureHeight();
    ASSERT_NE(height, nullptr);
    EXPECT_EQ(height->width, 1024);
    EXPECT_EQ(height->channels, 3);
    // Mesh x runs over -5 ... -4.9, z the same; look down the height axis.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-4.99, -4.91, -4.99, -4.91, -10, 10);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glRotatef(90, 1, 0, 0);
    glScalef(1, 1, -1);
    glEnable(GL_LIGHTING);
    glEnable(GL_CULL_FACE);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    ClearWindow(0, 0, 1);
    glColor3f(1, 1, 1);
    // The first draw records the mesh as it draws it, untextured, then draws
    // it textured at the same depth: the scene's depth test lets it through.
    glDepthFunc(GL_LEQUAL);
    t.Draw(height, nullptr, 0, 0);
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
    GLint alignment = 0;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    EXPECT_EQ(alignment, 1);
    EXPECT_NE(t.MeshList(), 0xFFFFFFFFu);
    EXPECT_EQ(ReadPixel(kWidth / 2, kHeight / 2), (RgbPixel{0, 191, 0}));
    EXPECT_EQ(ReadPixel(5, 5), (RgbPixel{0, 191, 0}));

    // The shadow texture blended over it: from above a flat grid has shade
    // 0.6 inside, alpha 107 of black.
    float l[3] = {0, 0, 1};
    t.ComputeLighting(l);
    VRTexture* shadow = t.GetTextureShadow(nullptr);
    ASSERT_NE(shadow, nullptr);
    EXPECT_EQ(shadow->channels, 4);
    glColor3f(1, 1, 1);
    ClearWindow(0, 0, 1);
    t.Draw(height, shadow, 0, 0);
    const RgbPixel p = ReadPixel(kWidth / 2, kHeight / 2);
    EXPECT_EQ(p.r, 0);
    EXPECT_NEAR(p.g, 191 * (255 - 107) / 255, 2);
    EXPECT_EQ(p.b, 0);

    // The points: depth test and texturing off, the model-view scaled.
    glLoadIdentity();
    glEnable(GL_DEPTH_TEST);
    t.DrawPoints(0);
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    float m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    EXPECT_FLOAT_EQ(m[0], 0.0003f);
    EXPECT_FLOAT_EQ(m[5], 0.001f);
    EXPECT_FLOAT_EQ(m[10], 0.0003f);
}

// An overlay image is darkened by the shade map; a grey one (one channel)
// is made RGBA first. A missing one gives only the warning.
TEST_F(TerrainGl, ShadowOverAnImage) {
    Write("flat.asc", Flat(20, 20, 10));
    Write("grey.png", PngBytes(2, 2, 1, std::vector<uint8_t>(4, 200)));
    VRTerrain t;
    t.LoadAsc("flat.asc");
    t.SetRes(0);
    float l[3] = {0, 0, 1};
    t.ComputeLighting(l);
    EXPECT_EQ(t.GetTextureShadow("none.png"), nullptr);
    EXPECT_EQ(warnings, std::vector<std::string>{"VRTextureManager : Texture not found: none.png"});
    VRTexture* texture = t.GetTextureShadow("grey.png");
    ASSERT_NE(texture, nullptr);
    EXPECT_STREQ(texture->name, "__VRTerrain_shadow__grey.png");
    ASSERT_NE(texture->pixels, nullptr);
    const size_t inside = 500u * 1024 + 500;
    const float m = 0.7f * t.Shade(500, 500);
    const uint8_t* p = texture->pixels + 4 * inside;
    EXPECT_EQ((std::vector<uint8_t>{p[0], p[1], p[2], p[3]}),
              (std::vector<uint8_t>{uint8_t(200 * (1 - m)), uint8_t(200 * (1 - m)), uint8_t(200 * (1 - m)), 255}));
}
