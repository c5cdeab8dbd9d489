// The content generators against the show's own loaders, and the committed content against what
// the scenes rely on. Byte-for-byte regeneration is tests/content.cmake; genmeshes itself insists on
// outward faces and on the camera's distance from target, ground and faces.
#include "ascmesh.h"
#include "glyphsource.h"
#include "models.h"
#include "shapes.h"

#include "assets/camerapaths.h"
#include "assets/meshes.h"
#include "effects/meshscenes.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string dataPath(const std::string &name)
{
    return std::string(SHOW_SOURCE_DIR) + "/data/" + name;
}

MeshGroup loadIntoSlot(const std::string &path, int slot)
{
    loadAscFile(path.c_str(), slot);
    return meshGroups[slot];
}

TEST(AscWriter, MeshesLoadBackAsWrittenAndLightsAndCamerasAreNoMeshes)
{
    AscMesh plain{"Plain", "STONE", false, {}, {}};
    addBox(plain, {-10, -20, 0}, {10, 20, 30}, {}, 1);
    AscMesh mapped{"Mapped", "TIMBER", false, {}, {}};
    addBox(mapped, {0, 0, 0}, {4, 4, 4}, {{100, 50, 0}, 0.5, 2.0}, 0);
    mapBoxFaces(mapped, 8.0);
    const std::string path = std::string(SHOW_BINARY_DIR) + "/content-test-boxes.asc";
    ASSERT_TRUE(writeAscFile(path, {plain, mapped}, {{"Light01", {1, 2, 3}}},
                             {{"Camera01", {4, 5, 6}, {0, 0, 0}, 35}}));
    const MeshGroup group = loadIntoSlot(path, 1);
    ASSERT_EQ(group.last - group.first, 2);
    const AscMesh *written[2] = {&plain, &mapped};
    for (int m = 0; m < 2; ++m) {
        const Mesh &read = meshTable[group.first + 1 + m];
        const AscMesh &mesh = *written[m];
        ASSERT_EQ(read.vertexCount, int(mesh.vertices.size()));
        ASSERT_EQ(read.faceCount, int(mesh.faces.size()));
        EXPECT_EQ(read.mapped, m);
        for (int i = 0; i < read.vertexCount; ++i) {
            const AscVertex &v = mesh.vertices[i];
            EXPECT_NEAR(read.x[i], v.position.x, 1e-4);
            EXPECT_NEAR(read.z[i], v.position.z, 1e-4);
            if (m == 1) {
                EXPECT_NEAR(read.u[i], v.u, 1e-5);
            }
        }
        for (int f = 0; f < read.faceCount; ++f)
            EXPECT_EQ(read.faceC[f], mesh.faces[f].c);
    }
}

TEST(ModelShapes, EveryPartFacesOutwardsAndTheCheckTellsInwardFromOutward)
{
    Random random{99u};
    std::vector<AscMesh> parts(10);
    addPineFoliage(parts[0], PineStyle{}, {});
    addPineTrunk(parts[1], PineStyle{}, {});
    addHill(parts[2], 300, 120, random, {{500, 0, 0}, 0.3, 1.0});
    addRock(parts[3], 40, 35, random, {{0, 300, 0}, 0, 1.0});
    addStandingStone(parts[4], 30, 100, random, {{-200, 0, 0}, 1.0, 1.0});
    addRoseBloom(parts[5], {0, 0, 200}, 95);
    addRoseStem(parts[6], {0, 0, 0}, 170);
    addRoseLeaves(parts[7], {0, 0, 0}, 170, 95);
    addGableRoof(parts[8], -70, 70, 55, 60, 110, {{30, 40, 0}, 2.0, 1.0}, 0);
    addBox(parts[9], {-1, -2, -3}, {4, 5, 6}, {{7, 8, 9}, -0.7, 3.0}, 0);
    for (size_t i = 0; i < parts.size(); ++i)
        EXPECT_GT(signedVolume(parts[i]), 0.0) << "part " << i;
    for (AscFace &f : parts[9].faces)
        std::swap(f.b, f.c);
    EXPECT_LT(signedVolume(parts[9]), 0.0);
}

TEST(GlyphSource, ParsesGlyphsAndNamesTheFirstBadLine)
{
    const std::string rows = "#.......\n.#......\n..#.....\n...#....\n....#...\n.....#..\n......#.\n.......#\n"
                             "########\n........\n........\n........\n........\n........\n........\n#......#\n";
    GlyphFont font;
    std::string error;
    ASSERT_TRUE(parseGlyphText("# comment\n\nglyph 65 A\n" + rows + "glyph 0x62\n" + rows, font, error)) << error;
    const int expected[][2] = {{65 * 16, 0x80}, {65 * 16 + 7, 0x01}, {65 * 16 + 8, 0xff},
                               {0x62 * 16 + 15, 0x81}, {66 * 16, 0}};
    for (const auto &e : expected)
        EXPECT_EQ(font.rows[e[0]], e[1]) << e[0];
    EXPECT_TRUE(isGlyphPixelSet(font, 65, 0, 0));
    EXPECT_FALSE(isGlyphPixelSet(font, 65, 1, 0));

    const std::string bad[][2] = {
        {"glyph 65\n#.......\nxx......\n", "glyph source line 3: expected a row of 8 '#' or '.'"},
        {"glyph 256\n" + rows, "glyph source line 1: glyph code must be 0 to 255"},
        {"glyph 7\n" + rows + "glyph 7\n" + rows, "glyph source line 18: glyph 7 given twice"},
        {"glyph 9\n........\n", "glyph source ends inside glyph 9"},
        // A pixel row is never taken for a comment, though both may start with '#'.
        {"glyph 1\n" + rows + "########\n", "glyph source line 18: pixel row outside a glyph (a glyph has 16 rows)"},
    };
    for (const auto &b : bad) {
        EXPECT_FALSE(parseGlyphText(b[0], font, error)) << b[1];
        EXPECT_EQ(error, b[1]);
    }
}

TEST(CommittedContent, MeshesAndTracksHoldWhatTheScenesDraw)
{
    // Foliage then trunk: standing on the ground, 150 to 200 tall, foliage about 60 wide.
    const MeshGroup tree = loadIntoSlot(dataPath("meshes/TREE.ASC"), 2);
    ASSERT_GE(tree.last - tree.first, 2);
    const Mesh &foliage = meshTable[tree.first + 1], &trunk = meshTable[tree.first + 2];
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

    // The rose, seventh from the end, stands in the middle of the clearing.
    const MeshGroup forest = loadIntoSlot(dataPath("meshes/LUMIR3D2.ASC"), 5);
    ASSERT_GE(forest.last - forest.first, 7);
    const Mesh &rose = meshTable[forest.last - 6];
    ASSERT_GT(rose.vertexCount, 0);
    for (int i = 0; i < rose.vertexCount; ++i)
        ASSERT_LT(std::hypot(rose.x[i], rose.y[i]), 200.0f) << i;

    // Both tracks, as the show loads and cycles them, are closed loops that never stall or jump:
    // every step, the one from the last frame back to the first included, is near the average.
    const std::pair<const char *, int32_t> tracks[] = {{"meshes/CREDITS1.VUE", creditsPathCount},
                                                       {"meshes/LUMIR3D2.VUE", 0}};
    for (const auto &[file, sampledCount] : tracks) {
        const int32_t loaded = loadVueFile(2, dataPath(file).c_str());
        const int32_t count = sampledCount > 0 ? sampledCount : loaded;
        ASSERT_GE(loaded, count) << file;
        ASSERT_GE(count, 3) << file;
        const CameraPath &p = cameraPaths[2];
        std::vector<double> steps;
        for (int32_t i = 0; i < count; ++i) {
            const int32_t j = (i + 1) % count;
            steps.push_back(std::hypot(std::hypot(p.eyeX[j] - p.eyeX[i], p.eyeY[j] - p.eyeY[i]), p.eyeZ[j] - p.eyeZ[i]));
        }
        double mean = 0.0;
        for (double step : steps)
            mean += step / count;
        for (int32_t i = 0; i < count; ++i)
            EXPECT_TRUE(steps[i] > 0.25 * mean && steps[i] < 4.0 * mean) << file << " step " << i << ": " << steps[i];
    }
}

TEST(CommittedContent, PicturesHaveTheirFormatAndCoverage)
{
    const struct {
        const char *name;
        bool alpha, pine;
    } pictures[] = {{"pine-silhuette.png", true, true}, {"pine-silhuette-2.png", true, true},
                    {"pine-silhuette-3.png", true, true}, {"bg-blue.png", false, false},
                    {"credits.png", true, false}};
    for (const auto &picture : pictures) {
        SCOPED_TRACE(picture.name);
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        ASSERT_TRUE(png_image_begin_read_from_file(&image, dataPath(std::string("images/") + picture.name).c_str()));
        EXPECT_EQ((image.format & PNG_FORMAT_FLAG_ALPHA) != 0, picture.alpha);
        const unsigned w = image.width, h = image.height;
        image.format = PNG_FORMAT_RGBA;
        std::vector<png_byte> rgba(PNG_IMAGE_SIZE(image));
        ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr));
        auto alphaAt = [&](unsigned x, unsigned y) { return rgba[(size_t(y) * w + x) * 4 + 3]; };
        if (picture.pine) {
            // Billboards of power-of-two size; the tree spans the picture from tip to foot on a
            // transparent ground.
            EXPECT_TRUE((w & (w - 1)) == 0 && (h & (h - 1)) == 0) << w << "x" << h;
            int top = 0, foot = 0;
            for (unsigned x = 0; x < w; ++x) {
                top += alphaAt(x, 0) > 0;
                foot += alphaAt(x, h - 1) > 0;
            }
            EXPECT_GT(top, 0);
            EXPECT_GT(foot, 0);
            EXPECT_EQ(alphaAt(0, 0), 0);
            EXPECT_EQ(alphaAt(w - 1, h / 2), 0);
        } else if (picture.alpha) {
            // The credits lie over the scene: mostly clear, partly solid.
            size_t clear = 0, solid = 0;
            for (size_t i = 3; i < rgba.size(); i += 4) {
                clear += rgba[i] == 0;
                solid += rgba[i] == 255;
            }
            EXPECT_GT(clear, size_t(w) * h * 6 / 10);
            EXPECT_GT(solid, size_t(w) * h / 50);
        }
    }
}

TEST(CommittedContent, FontHoldsEveryPrintableCharacter)
{
    FILE *file = std::fopen(dataPath("images/f1.fnt").c_str(), "rb");
    ASSERT_NE(file, nullptr);
    std::vector<unsigned char> bytes(5000);
    const size_t size = std::fread(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    ASSERT_EQ(size, 4096u);
    for (int c = 32; c < 127; ++c) {
        int set = 0;
        for (int row = 0; row < 16; ++row)
            set += bytes[c * 16 + row] != 0;
        EXPECT_EQ(set > 0, c != ' ') << "glyph " << c;
    }
}

} // namespace
