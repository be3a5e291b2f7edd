// Writes the seed corpus of every fuzz target: qem_fuzz_seeds <folder>
// creates <folder>/<target>/ with one file per seed.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "functions/NetworkPacket.h"
#include "scene/VRObj.h"
#include "support/DebugInfoWriter.h"
#include "support/ImageFiles.h"
#include "support/PackageMaker.h"
#include "support/SamplePrograms.h"
#include "support/SoundFiles.h"
#include "support/TestObjects.h"
#include "support/VrpnStream.h"
#include "support/ZipWriter.h"
#include "vm/VirtualMachine.h"
#include "vm/VmDeclaredClass.h"
#include "vm/VmValue.h"

namespace fs = std::filesystem;

namespace {

void WriteSeed(const fs::path& dir, int n, const std::vector<uint8_t>& bytes) {
    fs::create_directories(dir);
    std::ofstream(dir / ("seed" + std::to_string(n)), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void WriteSeed(const fs::path& dir, int n, const std::string& text) {
    WriteSeed(dir, n, std::vector<uint8_t>(text.begin(), text.end()));
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

void ZipSeeds(const fs::path& dir) {
    fs::create_directories(dir);
    qemtest::WriteZip((dir / "seed0").string(), {{"a.txt", "alpha"}, {"sub/", ""}, {"sub/b.txt", "bravo bravo bravo"}});
    qemtest::WriteZip((dir / "seed1").string(), {{"stored.bin", std::string(300, 'x')}}, true);
    qemtest::WriteZip((dir / "seed2").string(), {{"../up.txt", "up"}, {"ok.txt", "ok"}});
}

void DebugInfoSeeds(const fs::path& dir) {
    int n = 0;
    qemtest::DebugInfoWriter w;
    const int32_t main = w.AddFile("main.qsx");
    const int32_t lib = w.AddFile("lib.qsx");
    w.AddRange(main, 0, 40);
    w.AddRange(lib, 41, 60);
    for (int32_t line = 1; line <= 8; ++line) w.AddLine(main, line, (line - 1) * 5);
    w.AddLine(lib, 1, 41);
    w.AddLine(lib, 3, 50);
    const int32_t base = w.AddClass("Base", {}, {"x"});
    w.AddClass("Box", {base}, {"w", "h"});
    qemtest::DebugScopeWriter& global = w.FileScope(main).Lines(1, 8);
    global.Variable("Count", 1, 1, qemtest::kDebugGlobal);
    global.Function("f", 1, 2, 4).Variable("a", -1, 2).Variable("s", 2, 3, qemtest::kDebugStatic).Block(3, 3);
    global.Method("Box", "$$Init", 2, 5, 8).Variable("w", -2, 5).Variable("h", -1, 5).Variable("t", 1, 6,
                                                                                           qemtest::kDebugOpt);
    w.FileScope(lib).Lines(1, 3).Variable("g", 2, 1, qemtest::kDebugGlobal);
    WriteSeed(dir, n++, w.ToText());
    WriteSeed(dir, n++, std::string(R"({"classdeclarations": [{"name": "A", "parents": [1, 0, 9]},
        {"name": "B", "parents": [0]}, {"name": "A"}]})"));
    WriteSeed(dir, n++, std::string(R"(/* wrong kinds */ {"filenames": [1, "caf\u00e9"], "filetables": [3,
        {"offsets": [{"startoffset": "0"}], "code": [{"line": 1.5, "offset": -1}]}],
        "filescopes": [{"scopes": [{"type": "method", "methodname": "$$"}, 7]}]})"));
    WriteSeed(dir, n++, w.ToText().substr(0, 200));
}

// Objects of the declared classes of qemtest::DeclaredClassProgram.
void DeclaredSeeds(const fs::path& dir) {
    CVirtualMachine vm;
    vm.SetOutputStream(nullptr, true);
    vm.StartProgram(qemtest::DeclaredClassProgram());
    int n = 0;
    for (const char* cls : {"T", "S", "U"}) {
        CVmValue* made = vm.CallNativeFunction(cls);
        if (!made || made->type != VmValueType::Object) continue;
        CVmValue object = *made;
        auto* declared = static_cast<CVmClassDeclared*>(object.asObject);
        for (int32_t i = 0; i < declared->MemberCount(); ++i) declared->Member(i)->SetInteger(i + 1);
        if (CVmClassDeclared* part = declared->Part(0)) part->Member(0)->SetString("part");
        WriteSeed(dir, n++, Encode(object));
    }
}

}  // namespace

void HtmlSeeds(const fs::path& dir) {
    WriteSeed(dir, 0, std::string("<html><!-- x --> <OBJECT classid=\"CLSID:3A41C7E0-9B2D-4F6A-8C15-2E7D90B4A6F3\" "
                                  "width=640 height=\"100%\" ID=e><PARAM NAME=\"ScriptName\" VALUE=\"a.bin\">"
                                  "<PARAM NAME=BackgroundColor VALUE=\"#FF8000\"></OBJECT>"));
    WriteSeed(dir, 1, std::string("<OBJECT classid=x><PARAM VALUE=1 NAME=UserParam VALUE=\"u\"></object>"));
}

void DebugCommandSeeds(const fs::path& dir) {
    int n = 0;
    for (const char* line : {"p b + z * 2", "print {1, \"a\", [1, 2.5]}[1]", "p arr[0] ? g : -g ^ 2",
                             "print sin(z)^2 and true", "b main.qsx:3", "d main.qsx:3", "frame 1", "bt",
                             "p far", "p bad.x", "stepx", "c"})
        WriteSeed(dir, n++, std::string(line) + "\r");
}

void VRConfigSeeds(const fs::path& dir) {
    int n = 0;
    for (const char* datagram : {"VR_SCREEN_SIZE, 2.5, 1.8", "VR_EYE_SEPARATION, 0.1, 0, 0", "VR_FOCAL_LENGHT,3",
                                 "VR_TRACKER_POSITION, 1, 2, 3", "vr_tracker_orientation, 4, 5, 6",
                                 "VR_TRACKER_SENSOR_0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 1, 0, 0, 0, 14",
                                 "VR_TRACKER_SENSOR_7, 0, 0, 0, 0, 0, 0, 0, 0, 1e10"})
        WriteSeed(dir, n++, std::string(datagram));
}

void DdsSeeds(const fs::path& dir) {
    int n = 0;
    qemtest::DdsHeader h;
    h.width = h.height = 8;
    h.mipMapCount = 4;
    WriteSeed(dir, n++, qemtest::DdsHeaderBytes(h) + std::string(4 * 8 + 8 + 8 + 8, '\x5A'));
    h.width = h.height = 4;
    h.mipMapCount = 3;
    h.caps2 = qemtest::kDdsCubemap;
    for (const char* fourCC : {"DXT1", "DXT3", "DXT5"}) {
        h.fourCC = fourCC;
        const size_t block = h.fourCC == "DXT1" ? 8 : 16;
        WriteSeed(dir, n++, qemtest::DdsHeaderBytes(h) + std::string(6 * 3 * block, '\x33'));
    }
    qemtest::DdsHeader rgb;
    rgb.width = 5;
    rgb.height = 3;
    rgb.pixelFlags = qemtest::kDdsRgb;
    rgb.bitCount = 24;
    WriteSeed(dir, n++, qemtest::DdsHeaderBytes(rgb) + std::string(45, '\x11'));
    rgb.width = rgb.height = 2;
    rgb.depth = 2;
    rgb.mipMapCount = 2;
    rgb.pixelFlags = qemtest::kDdsRgba;
    rgb.bitCount = 32;
    rgb.caps2 = qemtest::kDdsVolume;
    WriteSeed(dir, n++, qemtest::DdsHeaderBytes(rgb) + std::string(36, '\x22'));
}

void WaveSeeds(const fs::path& dir) {
    using namespace qemtest;
    int n = 0;
    const PcmFormat mono{1, 22050, 16};
    WriteSeed(dir, n++, WaveBytes(mono, ToneData(mono, 0.01, 440, 0.5)));
    const std::string fmt = RiffChunkBytes("fmt ", PcmFormatData(PcmFormat{2, 8000, 8}));
    WriteSeed(dir, n++, RiffBytes("WAVE", RiffChunkBytes("data", "abcde") + RiffChunkBytes("LIST", "INFOx") + fmt));
    WriteSeed(dir, n++, RiffBytes("WAVE", RiffChunkBytes("fmt ", PcmFormatData(mono) + "\x02\x00xy") +
                                              RiffChunkBytes("data", "12")));
}

void AudioSettingsSeeds(const fs::path& dir) {
    WriteSeed(dir, 0, "DS_FREQ_FACTOR 1.5 MINRPM 900\nMAXRPM 7000 SAMPLERPM 6000 UseImmediateMode 0\n");
    WriteSeed(dir, 1, "AllowRpmVolumeShift x DS_DOPPLER_FACTOR 1e40 DS_ROLLOFF_FACTOR -0 MAXRPM 99999999999");
}

void RgbeSeeds(const fs::path& dir) {
    int n = 0;
    std::string flat = "#?RADIANCE\nGAMMA=2.2\nEXPOSURE=1.5\nFORMAT=32-bit_rle_rgbe\n\n-Y 2 +X 3\n";
    for (int i = 0; i < 6; ++i) flat += std::string("\x80\x40\x20\x81", 4);
    WriteSeed(dir, n++, flat);
    std::vector<uint8_t> texels;
    for (int i = 0; i < 40; ++i) texels.insert(texels.end(), {uint8_t(i), uint8_t(i < 20 ? 7 : 9), 1, 136});
    std::string rle = qemtest::RgbeHeaderBytes(20, 2);
    rle += qemtest::RgbeRleScanline({texels.begin(), texels.begin() + 80});
    rle += qemtest::RgbeRleScanline({texels.begin() + 80, texels.end()});
    WriteSeed(dir, n++, rle);
}

// Cookie files of the key "k": an Integer, a String, and a lying length.
void CookieSeeds(const fs::path& dir) {
    WriteSeed(dir, 0, std::string("\0\0\0\x01k\x02\0\0\0\x05", 9));
    WriteSeed(dir, 1, std::string("\0\0\0\x01k\x05\0\0\0\x03" "abc", 12));
    WriteSeed(dir, 2, std::string("\x7F\xFF\xFF\xFFk", 5));
}

void PpmSeeds(const fs::path& dir) {
    WriteSeed(dir, 0, qemtest::PpmBytes(3, 2, std::vector<uint8_t>(18, 0x40)));
    WriteSeed(dir, 1, std::string("P3\n# made by hand\n2 2\n255\n255 0 0  0 255 0\n0 0 255  1 2 3\n"));
}

// Height grids: the ESRI header with corner keywords, negative and
// missing values, a bump and a hole for the mesh, and no NODATA_value.
void TerrainSeeds(const fs::path& dir) {
    WriteSeed(dir, 0, std::string("ncols 3\nnrows 2\nxllcorner 0.0\nyllcorner 0.0\ncellsize 30\n"
                                  "NODATA_value -9999\n1 2 3\n4 5 6\n\xE0"));
    std::string bump = "ncols 9\nnrows 9\ncellsize 10\nNODATA_value -9999\n";
    for (int i = 0; i < 81; ++i) bump += i == 40 ? "900 " : i == 70 ? "-9999 " : i == 12 ? "0 " : "100 ";
    WriteSeed(dir, 1, bump + "\xE5");
    WriteSeed(dir, 2, std::string("ncols 2 nrows 2 cellsize 5 NODATA_value 0 -1 4294967295 7.5 3"));
    WriteSeed(dir, 3, std::string("ncols 4 nrows 4 cellsize 30\n1 2 3 4\n"));
}

// Mesh geometry in the target's byte order: counts V, K, T, the texture-
// index and normal selectors, G; then each array after its "short" byte
// (reals as (b - 100) / 8, indexes as bytes), the names, the smoothing
// selector and groups, and the transform steps.
void MeshGeometrySeeds(const fs::path& dir) {
    const char o = 100, l = 108;  // 0 and 1
    std::string quad = {4, 4, 2, 1, 1, 1};
    quad += std::string{0, o, o, o, l, o, o, l, l, o, o, l, o};  // positions
    quad += std::string{0, o, o, l, o, l, l, o, l};              // texture coordinates
    quad += std::string{0, 0, 1, 2, 0, 2, 3};                    // triangles
    quad += std::string{0, 0, 1, 2, 0, 2, 3};                    // texture indexes
    quad += std::string{0, o, o, l, o, o, l, o, o, l, o, o, l};  // normals
    quad += std::string{0, 0, 2};                                // group (0, 2)
    quad += std::string{0, 4} + "Quad";
    quad += std::string{0, 0};                                   // no smoothing groups
    // Rotate, Normalize, Mirror, Append, Finalize.
    quad += std::string{0, o + 16, o, l, o, 2, o + 16, 3, 2, 9, 0, 1, 6, 0x20};
    WriteSeed(dir, 0, quad);

    // Four triangles round vertex 0 with the smoothing groups 1, 2, 4, 6,
    // no normals.
    std::string fan = {5, 0, 4, 0, 0, 0, 0, 1};
    fan += std::string{0, o, o, o, l, o, o, o, l, o, o - 8, o, o, o, o - 8, o};
    fan += std::string{0};
    fan += std::string{0, 0, 1, 2, 0, 2, 3, 0, 3, 4, 0, 4, 1};
    fan += std::string{0};
    fan += std::string{0};
    fan += std::string{0, 0, 4};
    fan += std::string{0, 3} + "Fan";
    fan += std::string{1, 0, 1, 2, 4, 6};
    fan += std::string{11, o + 12, 1, o - 16, o, o, 5, 1};  // crease smoothing, Scale, FlipNormals
    WriteSeed(dir, 1, fan);
}

void AviSeeds(const fs::path& dir) {
    using qemtest::SolidFrame;
    WriteSeed(dir, 0, qemtest::AviBytes(8, 8, 25, {SolidFrame(8, 8, 255, 0, 0), SolidFrame(8, 8, 0, 255, 0),
                                                   SolidFrame(8, 8, 0, 0, 255)}));
    WriteSeed(dir, 1, qemtest::AviBytes(5, 3, 10, {SolidFrame(5, 3, 1, 2, 3), SolidFrame(5, 3, 4, 5, 6)}, false));
}

// The first byte chooses the kind: even EMF, odd placeable WMF.
void MetafileSeeds(const fs::path& dir) {
    const std::string emf =
        qemtest::EmfBytes(0, 0, 400, 100, qemtest::EmfFilledRectangle(0xFF0000, 100, 25, 300, 75) +
                                              qemtest::EmfFilledRectangle(0x00FF00, 0, 0, 50, 50));
    const std::string wmf =
        qemtest::WmfBytes(0, 0, 400, 100, 96, qemtest::WmfFilledRectangle(0x0000FF, 100, 25, 300, 75) +
                                                  qemtest::WmfFilledRectangle(0x00FF00, 0, 0, 50, 50));
    WriteSeed(dir, 0, std::string(1, '\0') + emf);
    WriteSeed(dir, 1, std::string(1, '\1') + wmf);
}

// Image headers, the first byte choosing the type: a PNG, a JPEG, a TIFF
// of two pages.
void ImageHeaderSeeds(const fs::path& dir) {
    WriteSeed(dir, 0, std::string(1, '\0') + qemtest::PngBytes(3, 2, 3, std::vector<uint8_t>(18, 9)));
    std::string jpeg = "\x01\xFF\xD8\xFF\xE0";
    jpeg += std::string("\x00\x10JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00", 16);
    jpeg += std::string("\xFF\xC2\x00\x11\x08\x01\xE0\x02\x80\x03\x01\x22\x00\x02\x11\x01\x03\x11\x01", 19);
    WriteSeed(dir, 1, jpeg);
    std::string tiff("\x02MM\x00\x2A\x00\x00\x00\x08", 9);
    auto be16 = [&tiff](uint16_t v) {
        tiff += static_cast<char>(v >> 8);
        tiff += static_cast<char>(v);
    };
    auto be32 = [&tiff](uint32_t v) {
        for (int i = 3; i >= 0; --i) tiff += static_cast<char>(v >> (8 * i));
    };
    for (int page = 0; page < 2; ++page) {
        be16(3);
        for (const uint16_t tag : {256, 257, 258}) {
            be16(tag);
            be16(3);  // SHORT
            be32(1);
            be16(static_cast<uint16_t>(tag == 258 ? 8 : 64 << page));
            be16(0);
        }
        be32(page == 0 ? static_cast<uint32_t>(tiff.size() - 1 + 4) : 0);
    }
    WriteSeed(dir, 2, tiff);
}

void PackageSeeds(const fs::path& dir) {
    int n = 0;
    std::vector<uint8_t> text;
    for (int i = 0; i < 200; ++i) {
        const std::string line = "line " + std::to_string(i % 17) + "\n";
        text.insert(text.end(), line.begin(), line.end());
    }
    std::vector<uint8_t> runs(3000, 0);
    for (size_t i = 0; i < runs.size(); i += 97) runs[i] = static_cast<uint8_t>(i);
    for (const std::vector<uint8_t>* data : {&text, &runs}) {
        const size_t capacity = data->size();
        std::vector<uint8_t> seed = {static_cast<uint8_t>(capacity), static_cast<uint8_t>(capacity >> 8)};
        const std::vector<uint8_t> stream = qemtest::PackageCompress(*data);
        seed.insert(seed.end(), stream.begin(), stream.end());
        WriteSeed(dir, n++, seed);
    }
    qemtest::PackageStreamWriter w;
    w.First('a').Literal('b').Match(3, 2, 3).Literal('x').Repeat(2).Short(5).Nibble(0).Nibble(3).End();
    std::vector<uint8_t> seed = {64, 0};
    seed.insert(seed.end(), w.Stream().begin(), w.Stream().end());
    WriteSeed(dir, n++, seed);
}

// Containers as the maker writes them; the target signs them again itself.
void ContainerSeeds(const fs::path& dir) {
    const qemtest::TestSigningKey key;
    const fs::path zip = dir / "made.zip";
    fs::create_directories(dir);
    qemtest::WriteZip(zip.string(), {{"inner.txt", "inner"}, {"sub/deep.txt", "deep"}});
    const qemtest::Bytes zipBytes = qemtest::ReadBytes(zip.string());
    fs::remove(zip);
    const qemtest::Bytes lib(300, 0x7F);
    int n = 0;
    WriteSeed(dir, n++, qemtest::MakeContainer({{"lib.dll", lib}}, key, key));
    WriteSeed(dir, n++, qemtest::MakeContainer({{"a.txt", {'a'}}, {"pack.zip", zipBytes}, {"lib.dll", lib}}, key, key));
    WriteSeed(dir, n++, qemtest::MakeContainer({{"a.txt", {'a'}}, {"b.dll", {'b'}}}, key, key, {1084 + 1, 0}));
}

void XmlSeeds(const fs::path& dir) {
    int n = 0;
    for (const char* xml :
         {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<a x=\"1\">t<b/>u</a>\n",
          "<!DOCTYPE r [<!ENTITY e \"x\">]><!-- c --><r a='&amp;&lt;&gt;&apos;&quot;&x;' b=\"&#65;\">"
          "<![CDATA[<raw>]]><c >1&lt;2</c><d/><?pi k='v'?></r><r2/>",
          "<a><b><c>unclosed", "<a>1</b>", "<a x y='1'/>", "<!-x><!y><?t?>< n>v</ n>"})
        WriteSeed(dir, n++, std::string(xml));
}

void PackSeeds(const fs::path& dir) {
    int n = 0;
    auto seed = [&](const std::string& format, const std::string& data) {
        WriteSeed(dir, n++, std::string(1, static_cast<char>(format.size())) + format + data);
    };
    seed(">hxxs", std::string("\x00\x05\xAA\xBB\x41", 5));
    seed("<2h3sabc2Sab", std::string("\x66\x66\xF2\x3F\x66\x66\xF2\xBF", 8));
    seed("!bBchiIlLPqQfdx", std::string(64, '\x41'));
    seed("=4f2d", std::string(32, '\x3F'));
    seed("@10q5s", std::string(90, '\x7F'));
}

// Script formats (a length byte, the format) followed by a source text.
void ScriptFormatSeeds(const fs::path& dir) {
    int n = 0;
    auto seed = [&](const std::string& format, const std::string& source) {
        WriteSeed(dir, n++, std::string(1, static_cast<char>(format.size())) + format + source);
    };
    seed("%d %s", "12 abcdefgh");
    seed("a%%b%5.2f|%hd%c%C", "a%b 1.5|70000xy");
    seed("%I64d,%lf,%Lf,%[a-z]%*d%S", "-9000000000,0.25,1e300,abc 7 word");
    seed("%*%%d %8c%[^,]", "%*%5 abcdefghij,k");
}

// Encoded buffers: alone, inside an array, and with lying lengths.
void ByteBufferSeeds(const fs::path& dir) {
    int n = 0;
    const std::string name = std::string("\x00\x00\x00\x0A", 4) + "BYTEBUFFER";
    const std::string hello = name + std::string("\x00\x00\x00\x05", 4) + "hello";
    WriteSeed(dir, n++, "\x09" + hello);
    WriteSeed(dir, n++, std::string("\x07\x00\x00\x00\x02\x02\x00\x00\x00\x05\x09", 11) + hello);
    WriteSeed(dir, n++, "\x09" + name + std::string("\x7F\xFF\xFF\xFF" "ab", 6));
    WriteSeed(dir, n++, std::string("\x00\x00\x00\x03" "abc", 7));
}

void SharedBlockSeeds(const fs::path& dir) {
    int n = 0;
    WriteSeed(dir, n++, std::string("\x00\x00\x00\x01\x02\x00\x00\x01\x02", 9));
    WriteSeed(dir, n++, std::string("\x00\x00\x00\x03\x02\x00\x00\x00\x01\x05\x00\x00\x00\x02" "ab\x04\x01", 18));
    WriteSeed(dir, n++, std::string("\x00\x00\x00\x01\x08\x00\x00\x00\x01\x00\x00\xC0\x3F", 13));
    WriteSeed(dir, n++, std::string("\x00\x00\x00\x02\x05\x7F\xFF\xFF\xFF" "a", 10));
}

void NodeRecordSeeds(const fs::path& dir) {
    VRObj node;
    node.SetPosition(1, 2, 3);
    node.lodCount = 2;
    node.hidden = 1;
    std::ostringstream out(std::ios::binary);
    node.Dump(out);
    WriteSeed(dir, 0, out.str());
}

void CameraFileSeeds(const fs::path& dir) {
    WriteSeed(dir, 0, std::string("CAMERA\n{ 2 {\nType: Free PosCam: 1 2 3 RotCam: 1 0 0 0.5\nFOV: 1 45\n"
                                  "Animation: { 0 1 3\nAnimCam: { Anim_Ctrl: Y\nPsSam: 2\n0 1 2 3\n1 4 5 6\n"
                                  "RtSam: 1\n0 0 1 0 0.3\n}\n}\n"
                                  "Type: Target PosCam: 1 2 3 PosTarget: 4 5 6\nAnimation: { 0 1 9\n"
                                  "AnimCam: { Anim_Ctrl: Y\nPsBez: 2\n0 1 2 3 4 5 6 7 8 9 1\n"
                                  "10 1 2 3 4 5 6 7 8 9 1\n}\nAnimTarget: { Anim_Ctrl: Y\nRtIPA: 1\n0 10 20 30\n}\n"
                                  "AnimFOV: { 1 2 }\n}\nENDCAMERA\n"));
    WriteSeed(dir, 1, std::string("IDASF 1.0\nCAMERA { 1 {\nType: Free PosCam: 1 2 3 RotCam: 1 0 0\n"
                                  "Anim_Ctrl: N\n"));
}

// The first byte sets how the rest arrives on a stream (the piece size).
void NetworkPacketSeeds(const fs::path& dir) {
    std::vector<uint8_t> packet;
    CVmValue v;
    v.SetInteger(42);
    const std::string name = "nm";
    WriteNetworkPacket(v, &name, packet);
    const std::string p(packet.begin(), packet.end());
    const float xyz[3] = {1, 2, 3};
    v.SetVector(xyz, 3);
    WriteNetworkPacket(v, nullptr, packet);
    const std::string vector(packet.begin(), packet.end());
    std::string huge = p;
    huge.replace(8, 4, "\x7F\xFF\xFF\xFF");
    int n = 0;
    WriteSeed(dir, n++, "\x07" + p);
    WriteSeed(dir, n++, "\x02xxxxx" + p + vector);
    WriteSeed(dir, n++, "\x3F" + huge + p);
    WriteSeed(dir, n++, "\x00" + p.substr(0, 20));
}

void AamKindSeeds(const fs::path& dir) {
    WriteSeed(dir, 0, std::string("AAM_AVATAR\n{\n}\n"));
    WriteSeed(dir, 1, std::string("MODEL \"quoted name\" { 1, 2 }\nAnimation_mode: Keyframe\n"));
    WriteSeed(dir, 2, std::string("MODEL\nFrame: 3\n"));
}

void TextPageSeeds(const fs::path& dir) {
    WriteSeed(dir, 0, std::string("BEGIN_IMAGE VR_IMAGEFFECT_3D a.png 1 2 4 6 b.png 0 0 2 2 END_IMAGE\n"
                                  "BEGIN_TEXT VR_TEXTEFFECT_KITCH lines.txt 1 2 more.txt 3 4 END_TEXT\r\n"
                                  "BEGIN_BACK VR_BACKGROUNDEFFECT_SWAP_DX back.png 0 0 10 6 END_BACK\n"));
    WriteSeed(dir, 1, std::string("a\r\nb\nc\rd\r\n\xFF" "e"));
    // A 16 x 2 glyph picture of four channels, after its three size bytes.
    WriteSeed(dir, 2, std::string("\x10\x02\x03") + std::string(16 * 2 * 4, '\x7F'));
}

// A VRPN server's stream after a byte that sets the pieces' size.
void VrpnSeeds(const fs::path& dir) {
    qemtest::VrpnStream s;
    s.Raw("\x07").Cookie().Sender(0, "Tracker0").Sender(1, "Button0").Sender(2, "Analog0");
    s.Type(0, "vrpn_Tracker Pos_Quat").Type(1, "vrpn_Button Change").Type(2, "vrpn_Analog Channel");
    s.PosQuat(0, 0, 1, {1, 2, 3}, {0, 0, 0.5, 0.5}).Button(1, 1, 3, 1).Analog(2, 2, {0.5, 1, 2});
    WriteSeed(dir, 0, s.Take());
    WriteSeed(dir, 1, s.Raw("\x3F").Cookie("vrpn: ver. 06.00  0").Take());
    s.Raw("\x01").Cookie().Sender(3, "Tracker0").Type(9, "vrpn_Tracker Pos_Quat");
    WriteSeed(dir, 2, s.PosQuat(3, 9, -1, {0, 0, 0}, {0, 0, 0, 1}).Raw(std::string("\0\0\0\x08", 4)).Take());
}

void VrpnCallBackSeeds(const fs::path& dir) {
    WriteSeed(dir, 0, std::string("127.0.0.1 3883\0", 15));
    WriteSeed(dir, 1, std::string("10.1.200.255 65535"));
    WriteSeed(dir, 2, std::string("1.2.3 4"));
}

// Messages behind 16-bit lengths, after the queue-size byte.
void StreamMessageSeeds(const fs::path& dir) {
    auto message = [](const std::string& m) {
        return std::string(1, static_cast<char>(m.size() >> 8)) + static_cast<char>(m.size() & 0xFF) + m;
    };
    const std::string data = message(std::string("\x70\x00\x03", 3) + "chunk-of-data");
    const std::string pop = message(std::string("\xFF\x03", 2));
    WriteSeed(dir, 0, "\x04" + message(std::string("\x71\x01\x02", 3)) + message(std::string("\x72\x2A\0\0\0", 5)));
    WriteSeed(dir, 1, "\x08" + data + data + pop + data + data + pop + data + message("\x16"));
    WriteSeed(dir, 2, std::string(1, '\0') + message(std::string("\x70\x00", 2)) + message(std::string("\x71", 1)) + data);
}

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: qem_fuzz_seeds <folder>\n");
        return 2;
    }
    const fs::path root = argv[1];
    ValueSeeds(root / "fuzz_value_read");
    ValueSeeds(root / "fuzz_value_file");
    LoaderSeeds(root / "fuzz_load");
    ZipSeeds(root / "fuzz_zip_unpack");
    DebugInfoSeeds(root / "fuzz_debug_info");
    DeclaredSeeds(root / "fuzz_declared_read");
    HtmlSeeds(root / "fuzz_html_page");
    DebugCommandSeeds(root / "fuzz_debug_command");
    DdsSeeds(root / "fuzz_dds_image");
    RgbeSeeds(root / "fuzz_rgbe_read");
    WaveSeeds(root / "fuzz_wave_reader");
    AudioSettingsSeeds(root / "fuzz_audio_settings");
    PpmSeeds(root / "fuzz_ppm_read");
    TerrainSeeds(root / "fuzz_terrain_grid");
    AviSeeds(root / "fuzz_avi_decode");
    CookieSeeds(root / "fuzz_cookie_file");
    MetafileSeeds(root / "fuzz_metafile");
    ImageHeaderSeeds(root / "fuzz_image_header");
    PackageSeeds(root / "fuzz_package_decompress");
    ContainerSeeds(root / "fuzz_signed_container");
    XmlSeeds(root / "fuzz_xml_read");
    PackSeeds(root / "fuzz_pack_unpack");
    ByteBufferSeeds(root / "fuzz_byte_buffer_restore");
    SharedBlockSeeds(root / "fuzz_shared_block");
    VRConfigSeeds(root / "fuzz_vr_config");
    ScriptFormatSeeds(root / "fuzz_script_format");
    NodeRecordSeeds(root / "fuzz_node_record");
    CameraFileSeeds(root / "fuzz_camera_file");
    NetworkPacketSeeds(root / "fuzz_network_packet");
    StreamMessageSeeds(root / "fuzz_stream_message");
    AamKindSeeds(root / "fuzz_aam_kind");
    TextPageSeeds(root / "fuzz_text_page");
    MeshGeometrySeeds(root / "fuzz_mesh_set_geometry");
    VrpnSeeds(root / "fuzz_vrpn_stream");
    VrpnCallBackSeeds(root / "fuzz_vrpn_call_back");
    return 0;
}
