// A terrain made from a height grid in the ESRI ASCII grid format: the
// heights are smoothed and given vertex normals, decimated into an adaptive
// triangle mesh for a tolerance, lit from a direction with cast shadows into
// a 1024 x 1024 shade map, turned into a shadow and a height-colour texture,
// and drawn with one or two textures. The points of the last grid loaded in
// the process are kept as one point cloud that a scene node can show.
//
// Grid axes: x is the column (0 ... cols - 1), y the row (0 ... rows - 1),
// and the height the third coordinate. Every operation is defined on an
// empty terrain (nothing loaded yet): it does nothing, or gives empty
// textures. The GL parts (the point cloud's display list, the mesh list,
// textures, drawing) need a current context; the rest does not.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "scene/VRObjLinks.h"

struct VRTexture;

// Side of the shade map and of both textures, whatever the grid size.
constexpr int32_t kTerrainMapSize = 1024;
// The mesh's quadtree covers (1024, 1024) +- 1024: at most this many samples
// per side.
constexpr int32_t kTerrainMaxSamples = 2049;

// A height as the mesh code compares it: truncated toward zero; a value no
// int32 holds (the unsigned reading puts negative file values at 2^31 and
// above) gives INT32_MIN, which is not positive.
int32_t TerrainHeightInt(float height);

// The colour of a height: green lowlands, brown at 400, white from 600, red
// below 0; each component 0 ... 1.
void TerrainHeightColour(float height, float* rgb);

struct VRTerrainQuad {
    int32_t x0, y0, x1, y1;
};

struct VRTerrainTriangle {
    int32_t x1, y1, x2, y2, x3, y3;
};

class VRTerrain {
public:
    // The names are kept and used by nothing.
    VRTerrain(std::string name1 = "", std::string name2 = "", std::string name3 = "");
    ~VRTerrain();
    VRTerrain(const VRTerrain&) = delete;
    VRTerrain& operator=(const VRTerrain&) = delete;

    // Reads the grid file (the base directory followed by `name`), makes the
    // process's point-cloud list of it, smooths and computes normals. A
    // missing file reports "VRTerrain: File not foud:"; a header with a bad
    // size reports "VRTerrain: Invalid grid file:". Both leave everything
    // as it was.
    void LoadAsc(const std::string& name);
    // LoadAsc's reading of the file's bytes, without the GL: grids, smoothing,
    // normals and the process's point list. False after the header error
    // (nothing changed). `name` is for the message.
    bool ReadAsc(const char* data, size_t size, const std::string& name);
    // Decimates the heights further for tolerance x, then builds the quads
    // and triangles and a fresh lit-fraction grid.
    void SetRes(float x);
    // Normalises the direction toward the light (3 floats) in place; after
    // SetRes also traces the shadows, blurs them and fills the shade map.
    void ComputeLighting(float* direction);
    // Draws the mesh textured with `texture` and, blended over it, `second`
    // (may be null). Leaves lighting and culling off and the unpack alignment
    // at 1; restores nothing.
    void Draw(VRTexture* texture, VRTexture* second, int32_t flags1, int32_t flags2);
    // Draws the process's point cloud, scaled; `flags` is not used.
    void DrawPoints(int32_t flags);
    // A new 1024 x 1024 RGBA texture of the shade map, alone or darkening the
    // image file `file` (null or empty: none). Null when the image is missing
    // (after the texture manager's warning) or cannot be read.
    VRTexture* GetTextureShadow(const char* file);
    // A new 1024 x 1024 RGB texture of the raw heights' colours.
    VRTexture* GetTextureHeight();

    // The texels of the two textures, row j of the map first.
    std::vector<uint8_t> ShadowPixels() const;
    // Darkens a 1024 x 1024 RGBA picture by the shade map.
    void ShadeImage(uint8_t* rgba) const;
    std::vector<uint8_t> HeightPixels() const;

    // What a scene node draws of a linked terrain: the point cloud.
    VRObjTerrain* NodeLink() { return &m_link; }

    int32_t Cols() const { return m_cols; }
    int32_t Rows() const { return m_rows; }
    int32_t CellSize() const { return m_cellSize; }
    int32_t VertexCount() const { return m_vertexCount; }
    bool Empty() const { return m_heights.empty(); }
    float Height(int32_t x, int32_t y) const { return m_heights[Index(x, y)]; }
    float RawHeight(int32_t x, int32_t y) const { return m_raw[Index(x, y)]; }
    // Empty before SetRes.
    bool HasLitFraction() const { return !m_lit.empty(); }
    float LitFraction(int32_t x, int32_t y) const { return m_lit[Index(x, y)]; }
    const float* Normal(int32_t x, int32_t y) const { return &m_normals[3 * Index(x, y)]; }
    const std::vector<VRTerrainQuad>& Quads() const { return m_quads; }
    const std::vector<VRTerrainTriangle>& Triangles() const { return m_triangles; }
    // Texel (column i, row j) of the shade map.
    float Shade(int32_t i, int32_t j) const { return m_shade[static_cast<size_t>(j) * kTerrainMapSize + i]; }
    uint32_t MeshList() const { return m_meshList; }
    const std::string& Name(int i) const { return m_names[i]; }

    // The points of the last grid loaded in the process, (x, y, z) each.
    static const std::vector<float>& PointCloud();
    // Its display list (0 before the first load with a GL context).
    static uint32_t PointCloudList();

private:
    class PointCloudLink final : public VRObjTerrain {
    public:
        explicit PointCloudLink(VRTerrain* owner) : m_owner(owner) {}
        void Draw(int32_t flags) override { m_owner->DrawPoints(flags); }

    private:
        VRTerrain* m_owner;
    };

    size_t Index(int32_t x, int32_t y) const { return static_cast<size_t>(x) * m_rows + y; }
    bool Inside(int32_t x, int32_t y) const { return x >= 0 && y >= 0 && x < m_cols && y < m_rows; }
    void Smooth();
    void ComputeNormals();
    // One decimation step of size a; the vertices removed.
    int32_t Decimate(int32_t a, float x);
    void Subdivide(float cx, float cy, float half);
    void Triangulate(float x);
    void AddTriangle(int32_t margin, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3);
    void SplitQuad(int32_t margin, int32_t x0, int32_t y0, int32_t x1, int32_t y1);
    void TraceShadows(const float* light);
    void BlurShadows();
    void FillShadeMap(const float* light);
    // The blend of the four grid values around a map texel; false when the
    // texel's grid position falls on the last column or row.
    struct Blend {
        int32_t x, y;
        float fx, fy;
    };
    bool TexelBlend(int32_t i, int32_t j, Blend& b) const;
    float Blended(const std::vector<float>& q, const Blend& b, int stride = 1, int component = 0) const;
    void BuildMeshList();

    std::vector<float> m_shade;  // kTerrainMapSize^2, row-major
    int32_t m_cols = 0;
    int32_t m_rows = 0;
    int32_t m_cellSize = 0;
    std::vector<float> m_heights;
    std::vector<float> m_raw;
    std::vector<float> m_lit;
    std::vector<float> m_normals;
    int32_t m_vertexCount = 0;
    std::vector<VRTerrainQuad> m_quads;
    std::vector<VRTerrainTriangle> m_triangles;
    uint32_t m_meshList = 0xFFFFFFFFu;
    std::string m_names[3];
    int32_t m_serial;  // identifies the terrain in its height texture's name
    PointCloudLink m_link{this};
};
