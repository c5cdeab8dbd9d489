// The offline renderer's picture helpers and its command line.
#include <gtest/gtest.h>

#include "renderer.h"
#include "support/process.h"

namespace {

const std::string renderTool = SHOW_BINARY_DIR "/tools/render/render";

Picture solidPicture(int width, int height, uint8_t value)
{
    Picture p;
    p.width = width;
    p.height = height;
    p.rgba.assign(size_t(width) * height * 4, value);
    return p;
}

const uint8_t *pixelAt(const Picture &p, int x, int y)
{
    return &p.rgba[(size_t(y) * p.width + x) * 4];
}

TEST(RenderPictures, ShrinkAveragesEachBlock)
{
    Picture p = solidPicture(8, 4, 0);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            p.rgba[(size_t(y) * 8 + x) * 4] = (x + y) % 2 ? 255 : 0; // checker in the left block
    Picture small = shrinkPicture(p, 4);
    ASSERT_EQ(small.width, 2);
    ASSERT_EQ(small.height, 1);
    EXPECT_EQ(pixelAt(small, 0, 0)[0], 128);
    EXPECT_EQ(pixelAt(small, 1, 0)[0], 0);
}

TEST(RenderPictures, LabelDrawsDigitsOnABlackBox)
{
    Picture p = solidPicture(40, 20, 100);
    drawLabel(&p, 0, 0, "10", 2);
    // Box: 2 digits x 8 + 2 wide, 14 high.
    EXPECT_EQ(pixelAt(p, 0, 0)[0], 0);
    EXPECT_EQ(pixelAt(p, 17, 13)[0], 0);
    EXPECT_EQ(pixelAt(p, 18, 0)[0], 100);
    EXPECT_EQ(pixelAt(p, 0, 14)[0], 100);
    // "1": middle column set on every row, left column only on the second row.
    for (int row = 0; row < 5; ++row)
        EXPECT_EQ(pixelAt(p, 2 + 2 * 1, 2 + 2 * row)[0], 255) << row;
    EXPECT_EQ(pixelAt(p, 2, 2 + 2 * 1)[0], 255);
    EXPECT_EQ(pixelAt(p, 2, 2)[0], 0);
    // "0": hollow middle.
    EXPECT_EQ(pixelAt(p, 10 + 2, 2 + 2 * 2)[0], 0);
    EXPECT_EQ(pixelAt(p, 10, 2 + 2 * 2)[0], 255);
}

TEST(RenderPictures, ContactSheetHasACellPerPartInRowsOfEight)
{
    std::vector<Picture> frames(51);
    frames[0] = solidPicture(frameWidth, frameHeight, 200);
    frames[50] = solidPicture(frameWidth, frameHeight, 90);
    Picture sheet = composeContactSheet(frames);
    EXPECT_EQ(sheet.width, 8 * 204 + 4);
    EXPECT_EQ(sheet.height, 7 * 154 + 4);
    EXPECT_EQ(pixelAt(sheet, 4 + 100, 4 + 100)[0], 200);       // part 0's picture
    EXPECT_EQ(pixelAt(sheet, 4, 4)[0], 0);                     // its label box
    EXPECT_EQ(pixelAt(sheet, 4 + 204 + 100, 4 + 100)[0], 16);  // part 1: no frame
    EXPECT_EQ(pixelAt(sheet, 4 + 2 * 204 + 100, 4 + 6 * 154 + 100)[0], 90); // part 50
    EXPECT_EQ(pixelAt(sheet, 1, 1)[0], 48);                    // the gaps
}

TEST(RenderCommandLine, BadUsageGivesOneLineAndStatusTwo)
{
    const std::vector<std::vector<std::string>> cases = {
        {renderTool},
        {renderTool, "paint"},
        {renderTool, "frame", "--out", "x.png"},
        {renderTool, "frame", "--part", "51", "--out", "x.png"},
        {renderTool, "frame", "--part", "3", "--row", "abc", "--out", "x.png"},
        {renderTool, "frame", "--part", "3"},
        {renderTool, "play", "--out-dir", "/tmp"},
        {renderTool, "play", "--every", "0", "--out-dir", "/tmp"},
        {renderTool, "sheet", "--fps", "25"},
        {renderTool, "sheet", "--every", "2", "--out", "x.png"},
        {renderTool, "frame", "--part", "3", "--out"},
        {renderTool, "frame", "--part", "3", "--fast", "--out", "x.png"},
    };
    for (const auto &argv : cases) {
        ProcessResult r = runProcess(argv, ProcessOptions{});
        EXPECT_EQ(r.status, 2) << argv.back();
        EXPECT_EQ(r.err.rfind("render: ", 0), 0u) << r.err;
        EXPECT_TRUE(r.out.empty());
    }
}

TEST(RenderCommandLine, MissingRootFailsWithStatusOne)
{
    ProcessResult r = runProcess({renderTool, "frame", "--part", "0", "--root", "/nonexistent/show",
                                  "--out", "/tmp/x.png"},
                                 ProcessOptions{});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot enter /nonexistent/show"), std::string::npos) << r.err;
}

} // namespace
