// The committed content against what the scenes rely on, and the glyph source's errors. The
// generators' output is pinned byte for byte by tests/content.cmake; genmeshes itself insists on
// outward faces and on the camera's distance from target, ground and faces.
#include "glyphsource.h"

#include "assets/camerapaths.h"
#include "assets/meshes.h"
#include "effects/meshscenes.h"
#include "support/glimages.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <numeric>
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

TEST(GlyphSource, NamesTheFirstBadLine)
{
    const std::string rows = "#.......\n.#......\n..#.....\n...#....\n....#...\n.....#..\n......#.\n.......#\n"
                             "########\n........\n........\n........\n........\n........\n........\n#......#\n";
    GlyphFont font;
    std::string error;
    ASSERT_TRUE(parseGlyphText("# comment\n\nglyph 65 A\n" + rows + "glyph 0x62\n" + rows, font, error)) << error;
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
    EXPECT_TRUE(top >= 150.0f && top < 200.0f && std::fabs(reach - 60.0f) <= 15.0f && low == 0.0f)
        << top << " " << reach << " " << low;

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
        const double mean = std::accumulate(steps.begin(), steps.end(), 0.0) / count;
        for (int32_t i = 0; i < count; ++i)
            EXPECT_TRUE(steps[i] > 0.25 * mean && steps[i] < 4.0 * mean) << file << " step " << i << ": " << steps[i];
    }
}

TEST(CommittedContent, PicturesHaveTheirCoverage)
{
    for (const std::string name :
         {"pine-silhuette.png", "pine-silhuette-2.png", "pine-silhuette-3.png", "credits.png"}) {
        SCOPED_TRACE(name);
        int w = 0, h = 0;
        std::vector<uint8_t> rgba;
        ASSERT_TRUE(readPng(dataPath("images/" + name), &w, &h, &rgba));
        if (name == "credits.png") {
            // The credits lie over the scene: mostly clear, partly solid.
            size_t clear = 0, solid = 0;
            for (size_t i = 3; i < rgba.size(); i += 4) {
                clear += rgba[i] == 0;
                solid += rgba[i] == 255;
            }
            EXPECT_GT(clear, size_t(w) * h * 6 / 10);
            EXPECT_GT(solid, size_t(w) * h / 50);
            continue;
        }
        // Billboards of power-of-two size; the tree spans the picture from tip to foot on a transparent
        // ground.
        auto alphaAt = [&](int x, int y) { return rgba[(size_t(y) * w + x) * 4 + 3]; };
        EXPECT_TRUE((w & (w - 1)) == 0 && (h & (h - 1)) == 0) << w << "x" << h;
        int top = 0, foot = 0;
        for (int x = 0; x < w; ++x) {
            top += alphaAt(x, 0) > 0;
            foot += alphaAt(x, h - 1) > 0;
        }
        EXPECT_TRUE(top > 0 && foot > 0 && alphaAt(0, 0) == 0 && alphaAt(w - 1, h / 2) == 0);
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
