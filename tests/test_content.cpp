// The content generators against the show's own loaders, and the committed content against what
// the scenes rely on. The byte-for-byte regeneration check is tests/content.cmake.
#include "ascmesh.h"
#include "glyphsource.h"
#include "models.h"
#include "shapes.h"
#include "vuefile.h"

#include "assets/camerapaths.h"
#include "assets/meshes.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string scratchPath(const std::string &name)
{
    return std::string(SHOW_BINARY_DIR) + "/content-test-" + name;
}

std::string dataPath(const std::string &name)
{
    return std::string(SHOW_SOURCE_DIR) + "/data/" + name;
}

// Loads a file into a spare group slot and returns the group.
MeshGroup loadIntoSlot(const std::string &path, int slot)
{
    loadAscFile(path.c_str(), slot);
    return meshGroups[slot];
}

double dot3(float ax, float ay, float az, double bx, double by, double bz)
{
    return ax * bx + ay * by + az * bz;
}

} // namespace

TEST(AscWriter, BoxesLoadBackWithOutwardNormalsAndTheirMapping)
{
    AscMesh plain{"Plain", "STONE", false, {}, {}};
    addBox(plain, {-10, -20, 0}, {10, 20, 30}, {}, 1);
    AscMesh mapped{"Mapped", "TIMBER", false, {}, {}};
    addBox(mapped, {0, 0, 0}, {4, 4, 4}, {{100, 50, 0}, 0.5, 2.0}, 0);
    mapBoxFaces(mapped, 8.0);
    std::string path = scratchPath("boxes.asc");
    // The light and camera objects after the meshes are no meshes to the loader.
    ASSERT_TRUE(writeAscFile(path, {plain, mapped}, {{"Light01", {1, 2, 3}}}, {{"Camera01", {4, 5, 6}, {0, 0, 0}, 35}}));

    MeshGroup group = loadIntoSlot(path, 1);
    ASSERT_EQ(group.last - group.first, 2);
    const Mesh &first = meshTable[group.first + 1];
    ASSERT_EQ(first.vertexCount, 24);
    ASSERT_EQ(first.faceCount, 12);
    EXPECT_EQ(first.mapped, 0);
    for (int i = 0; i < first.vertexCount; ++i) {
        EXPECT_NEAR(first.x[i], plain.vertices[i].position.x, 1e-4);
        EXPECT_NEAR(first.y[i], plain.vertices[i].position.y, 1e-4);
        EXPECT_NEAR(first.z[i], plain.vertices[i].position.z, 1e-4);
        // Every corner's normal leans away from the box's centre.
        EXPECT_GT(dot3(first.nx[i], first.ny[i], first.nz[i], first.x[i], first.y[i], first.z[i] - 15.0), 0.0) << i;
    }
    for (int f = 0; f < first.faceCount; ++f)
        EXPECT_EQ(first.faceC[f], plain.faces[f].c);

    const Mesh &second = meshTable[group.first + 2];
    ASSERT_EQ(second.mapped, 1);
    ASSERT_EQ(second.vertexCount, 24);
    for (int i = 0; i < second.vertexCount; ++i) {
        EXPECT_NEAR(second.u[i], mapped.vertices[i].u, 1e-5);
        EXPECT_NEAR(second.v[i], mapped.vertices[i].v, 1e-5);
    }
}

TEST(ModelShapes, EveryPartFacesOutwards)
{
    Random random{99u};
    std::vector<AscMesh> parts(10);
    PineStyle pine;
    addPineFoliage(parts[0], pine, {});
    addPineTrunk(parts[1], pine, {});
    addHill(parts[2], 300, 120, random, {{500, 0, 0}, 0.3, 1.0});
    addRock(parts[3], 40, 35, random, {{0, 300, 0}, 0, 1.0});
    addStandingStone(parts[4], 30, 100, random, {{-200, 0, 0}, 1.0, 1.0});
    addRoseBloom(parts[5], {0, 0, 200}, 95);
    addRoseStem(parts[6], {0, 0, 0}, 170);
    addRoseLeaves(parts[7], {0, 0, 0}, 170, 95);
    addGableRoof(parts[8], -70, 70, 55, 60, 110, {{30, 40, 0}, 2.0, 1.0}, 0);
    addBox(parts[9], {-1, -2, -3}, {4, 5, 6}, {{7, 8, 9}, -0.7, 3.0}, 0);
    for (size_t i = 0; i < parts.size(); ++i) {
        ASSERT_FALSE(parts[i].faces.empty()) << i;
        EXPECT_GT(signedVolume(parts[i]), 0.0) << "part " << i;
    }
    // The check itself tells inward from outward.
    AscMesh inward = parts[9];
    for (AscFace &f : inward.faces)
        std::swap(f.b, f.c);
    EXPECT_LT(signedVolume(inward), 0.0);
}

TEST(VueWriter, FramesLoadBackWithTheExtraFinalFrame)
{
    std::vector<CameraFrame> frames = {
        {{1, 2, 3}, {4, 5, 6}, 0},
        {{-100.5, 200.25, 300}, {0, 0, 50}, 0},
        {{7, 8, 9}, {10, 11, 12}, 0},
    };
    std::string path = scratchPath("track.vue");
    ASSERT_TRUE(writeVueFile(path, "TEST", frames));
    int32_t count = loadVueFile(1, path.c_str());
    // The file ends with the last camera line and a line break: the loader repeats that line.
    ASSERT_EQ(count, 4);
    const CameraPath &p = cameraPaths[1];
    EXPECT_FLOAT_EQ(p.eyeX[1], -100.5f);
    EXPECT_FLOAT_EQ(p.eyeY[1], 200.25f);
    EXPECT_FLOAT_EQ(p.targetZ[1], 50.0f);
    EXPECT_FLOAT_EQ(p.eyeZ[3], 9.0f);
    EXPECT_FLOAT_EQ(p.targetX[0], 4.0f);
}

TEST(GlyphSource, ParsesGlyphsAndNamesTheFirstBadLine)
{
    std::string rows = "#.......\n.#......\n..#.....\n...#....\n....#...\n.....#..\n......#.\n.......#\n"
                       "########\n........\n........\n........\n........\n........\n........\n#......#\n";
    GlyphFont font;
    std::string error;
    ASSERT_TRUE(parseGlyphText("# comment\n\nglyph 65 A\n" + rows + "glyph 0x62\n" + rows, font, error)) << error;
    EXPECT_EQ(font.rows[65 * 16 + 0], 0x80);
    EXPECT_EQ(font.rows[65 * 16 + 7], 0x01);
    EXPECT_EQ(font.rows[65 * 16 + 8], 0xff);
    EXPECT_EQ(font.rows[65 * 16 + 15], 0x81);
    EXPECT_EQ(font.rows[0x62 * 16 + 15], 0x81);
    EXPECT_EQ(font.rows[66 * 16], 0);
    EXPECT_TRUE(isGlyphPixelSet(font, 65, 0, 0));
    EXPECT_FALSE(isGlyphPixelSet(font, 65, 1, 0));
    EXPECT_FALSE(isGlyphPixelSet(font, 65, 8, 0));

    EXPECT_FALSE(parseGlyphText("glyph 65\n#.......\nxx......\n", font, error));
    EXPECT_EQ(error, "glyph source line 3: expected a row of 8 '#' or '.'");
    EXPECT_FALSE(parseGlyphText("glyph 256\n" + rows, font, error));
    EXPECT_EQ(error, "glyph source line 1: glyph code must be 0 to 255");
    EXPECT_FALSE(parseGlyphText("glyph 7\n" + rows + "glyph 7\n" + rows, font, error));
    EXPECT_EQ(error, "glyph source line 18: glyph 7 given twice");
    EXPECT_FALSE(parseGlyphText("glyph 9\n........\n", font, error));
    EXPECT_EQ(error, "glyph source ends inside glyph 9");
    // A pixel row is never mistaken for a comment, though both may start with '#'.
    EXPECT_FALSE(parseGlyphText("glyph 1\n" + rows + "########\n", font, error));
    EXPECT_EQ(error, "glyph source line 18: pixel row outside a glyph (a glyph has 16 rows)");
    EXPECT_FALSE(parseGlyphText("char 65\n", font, error));
    EXPECT_EQ(error, "glyph source line 1: expected \"glyph N\"");
}

TEST(CommittedContent, MeshFilesHoldWhatTheScenesDraw)
{
    MeshGroup tree = loadIntoSlot(dataPath("meshes/TREE.ASC"), 2);
    ASSERT_GE(tree.last - tree.first, 2);
    // Foliage then trunk: based on the ground, about 150 to 200 tall, foliage about 60 wide.
    const Mesh &foliage = meshTable[tree.first + 1];
    const Mesh &trunk = meshTable[tree.first + 2];
    float top = 0, reach = 0, low = 1e9f;
    for (int i = 0; i < foliage.vertexCount; ++i) {
        top = std::fmax(top, foliage.z[i]);
        reach = std::fmax(reach, std::hypot(foliage.x[i], foliage.y[i]));
    }
    for (int i = 0; i < trunk.vertexCount; ++i)
        low = std::fmin(low, trunk.z[i]);
    EXPECT_GE(top, 150.0f);
    EXPECT_LT(top, 200.0f);
    EXPECT_NEAR(reach, 60.0f, 15.0f);
    EXPECT_EQ(low, 0.0f);
    EXPECT_LE(foliage.faceCount + trunk.faceCount, 300);

    MeshGroup credits = loadIntoSlot(dataPath("meshes/CREDITS1.ASC"), 3);
    EXPECT_GE(credits.last - credits.first, 1);
    MeshGroup forest = loadIntoSlot(dataPath("meshes/LUMIR3D2.ASC"), 5);
    ASSERT_GE(forest.last - forest.first, 7);
    // The rose, seventh from the end, stands in the middle of the clearing.
    const Mesh &rose = meshTable[forest.last - 6];
    ASSERT_GT(rose.vertexCount, 0);
    for (int i = 0; i < rose.vertexCount; ++i)
        ASSERT_LT(std::hypot(rose.x[i], rose.y[i]), 200.0f);
}

TEST(CommittedContent, CameraTracksKeepTheirDistanceAndHeight)
{
    struct Track {
        const char *file;
        int minimumFrames;
    };
    const Track tracks[] = {{"meshes/CREDITS1.VUE", 1100}, {"meshes/LUMIR3D2.VUE", 2}};
    int slot = 2;
    for (const Track &track : tracks) {
        int32_t count = loadVueFile(slot, dataPath(track.file).c_str());
        ASSERT_GE(count, track.minimumFrames) << track.file;
        const CameraPath &p = cameraPaths[slot];
        for (int i = 0; i < count; ++i) {
            double dx = p.eyeX[i] - p.targetX[i], dy = p.eyeY[i] - p.targetY[i], dz = p.eyeZ[i] - p.targetZ[i];
            double reach = std::sqrt(dx * dx + dy * dy + dz * dz);
            ASSERT_GE(reach, 30.0) << track.file << " frame " << i;
            ASSERT_LE(reach, 600.0) << track.file << " frame " << i;
            ASSERT_GT(p.eyeZ[i], 30.0f) << track.file << " frame " << i;
        }
        // A closed loop: the last frame leads smoothly into the first.
        double jump = std::hypot(p.eyeX[count - 1] - p.eyeX[0], p.eyeY[count - 1] - p.eyeY[0]);
        EXPECT_LT(jump, 20.0) << track.file;
        ++slot;
    }
}

namespace {

struct PngPicture {
    unsigned width = 0, height = 0;
    bool alpha = false;
    std::vector<png_byte> rgba;  // always read as RGBA
};

bool readPicture(const std::string &path, PngPicture &picture)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return false;
    picture.width = image.width;
    picture.height = image.height;
    picture.alpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
    image.format = PNG_FORMAT_RGBA;
    picture.rgba.resize(PNG_IMAGE_SIZE(image));
    return png_image_finish_read(&image, nullptr, picture.rgba.data(), 0, nullptr) != 0;
}

const png_byte *pixel(const PngPicture &p, unsigned x, unsigned y)
{
    return &p.rgba[(size_t(y) * p.width + x) * 4];
}

bool isPowerOfTwo(unsigned n)
{
    return n && !(n & (n - 1));
}

} // namespace

TEST(CommittedContent, PineSilhouettesSpanTheirPictureOnTransparentGround)
{
    for (const char *name : {"images/pine-silhuette.png", "images/pine-silhuette-2.png", "images/pine-silhuette-3.png"}) {
        PngPicture p;
        ASSERT_TRUE(readPicture(dataPath(name), p)) << name;
        EXPECT_TRUE(p.alpha) << name;
        EXPECT_TRUE(isPowerOfTwo(p.width) && isPowerOfTwo(p.height)) << name;
        int topCover = 0, footCover = 0, soft = 0;
        for (unsigned x = 0; x < p.width; ++x) {
            topCover += pixel(p, x, 0)[3] > 0;
            footCover += pixel(p, x, p.height - 1)[3] > 0;
        }
        for (unsigned y = 0; y < p.height; ++y)
            for (unsigned x = 0; x < p.width; ++x) {
                const png_byte *c = pixel(p, x, y);
                soft += c[3] > 0 && c[3] < 255;
                if (c[3] > 0) {
                    ASSERT_LT(c[0] + c[1] + c[2], 90) << name << " is not near-black at " << x << "," << y;
                }
            }
        EXPECT_GT(topCover, 0) << name << ": the top row holds no tree";
        EXPECT_GT(footCover, 0) << name << ": the bottom row holds no tree";
        EXPECT_GT(soft, 100) << name << ": edges are not anti-aliased";
        EXPECT_EQ(pixel(p, 0, 0)[3], 0) << name;
        EXPECT_EQ(pixel(p, p.width - 1, p.height / 2)[3], 0) << name;
    }
}

TEST(CommittedContent, BackdropIsOpaqueNightBlueAndCreditsMostlyClear)
{
    PngPicture sky;
    ASSERT_TRUE(readPicture(dataPath("images/bg-blue.png"), sky));
    EXPECT_FALSE(sky.alpha);
    const png_byte *top = pixel(sky, sky.width / 4, 2), *bottom = pixel(sky, sky.width / 4, sky.height - 3);
    EXPECT_GT(top[2], top[0]);
    EXPECT_GT(bottom[2], top[2]) << "the horizon is not lighter than the zenith";

    PngPicture credits;
    ASSERT_TRUE(readPicture(dataPath("images/credits.png"), credits));
    EXPECT_TRUE(credits.alpha);
    size_t clear = 0, solid = 0;
    for (size_t i = 3; i < credits.rgba.size(); i += 4) {
        clear += credits.rgba[i] == 0;
        solid += credits.rgba[i] == 255;
    }
    size_t total = credits.rgba.size() / 4;
    EXPECT_GT(clear, total * 6 / 10);
    EXPECT_GT(solid, total / 50);
}

TEST(CommittedContent, FontHoldsEveryPrintableCharacter)
{
    FILE *file = std::fopen(dataPath("images/f1.fnt").c_str(), "rb");
    ASSERT_NE(file, nullptr);
    std::vector<unsigned char> bytes(5000);
    size_t size = std::fread(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    ASSERT_EQ(size, 4096u);
    for (int c = 33; c < 127; ++c) {
        int set = 0;
        for (int row = 0; row < 16; ++row)
            set += bytes[c * 16 + row] != 0;
        EXPECT_GT(set, 0) << "glyph " << c << " is blank";
    }
    for (int row = 0; row < 16; ++row)
        EXPECT_EQ(bytes[32 * 16 + row], 0) << "the space is not blank";
}
