// The offline renderer's picture helpers and its command line.
#include <gtest/gtest.h>

#include "renderer.h"
#include "support/process.h"

namespace {

const std::string renderTool = SHOW_BINARY_DIR "/tools/render/render";

Picture solidPicture(int width, int height, uint8_t value)
{
    return Picture{width, height, std::vector<uint8_t>(size_t(width) * height * 4, value)};
}

uint8_t redAt(const Picture &p, int x, int y)
{
    return p.rgba[(size_t(y) * p.width + x) * 4];
}

TEST(RenderPictures, ShrinkLabelAndContactSheet)
{
    Picture p = solidPicture(8, 4, 0);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            p.rgba[(size_t(y) * 8 + x) * 4] = (x + y) % 2 ? 255 : 0; // checker in the left block
    Picture small = shrinkPicture(p, 4);
    ASSERT_TRUE(small.width == 2 && small.height == 1);
    EXPECT_EQ(redAt(small, 0, 0), 128);
    EXPECT_EQ(redAt(small, 1, 0), 0);

    // "10" at scale 2 on a black box 2 x 8 + 2 wide and 14 high; "0" hollow in the middle.
    Picture label = solidPicture(40, 20, 100);
    drawLabel(&label, 0, 0, "10", 2);
    EXPECT_TRUE(redAt(label, 0, 0) == 0 && redAt(label, 17, 13) == 0 && redAt(label, 18, 0) == 100 &&
                redAt(label, 0, 14) == 100);
    EXPECT_TRUE(redAt(label, 4, 2) == 255 && redAt(label, 4, 10) == 255 && redAt(label, 10, 6) == 255 &&
                redAt(label, 12, 6) == 0);

    std::vector<Picture> frames(51);
    frames[0] = solidPicture(frameWidth, frameHeight, 200);
    frames[50] = solidPicture(frameWidth, frameHeight, 90);
    Picture sheet = composeContactSheet(frames);
    ASSERT_TRUE(sheet.width == 8 * 204 + 4 && sheet.height == 7 * 154 + 4);
    EXPECT_EQ(redAt(sheet, 4 + 100, 4 + 100), 200);                   // part 0's picture
    EXPECT_EQ(redAt(sheet, 4, 4), 0);                                 // its label box
    EXPECT_EQ(redAt(sheet, 4 + 204 + 100, 4 + 100), 16);              // part 1: no frame
    EXPECT_EQ(redAt(sheet, 4 + 2 * 204 + 100, 4 + 6 * 154 + 100), 90); // part 50, row 6
    EXPECT_EQ(redAt(sheet, 1, 1), 48);                                // the gaps
}

TEST(RenderCommandLine, BadUsageOrRootGivesOneLineAndItsStatus)
{
    const std::vector<std::vector<std::string>> usage = {
        {}, {"paint"}, {"frame", "--out", "x.png"}, {"frame", "--part", "51", "--out", "x.png"},
        {"frame", "--part", "3", "--row", "abc", "--out", "x.png"}, {"frame", "--part", "3", "--out"},
        {"frame", "--part", "3", "--fast", "--out", "x.png"}, {"play", "--out-dir", "/tmp"},
        {"play", "--every", "0", "--out-dir", "/tmp"}, {"sheet", "--fps", "25"}, {"sheet", "--every", "2", "--out", "x.png"},
        {"video"}, {"video", "--fps", "241", "--out", "x.mp4"}, {"video", "--fast", "--out", "x.mp4"},
        {"play", "--lossless", "--every", "2", "--out-dir", "/tmp"},
    };
    for (std::vector<std::string> argv : usage) {
        argv.insert(argv.begin(), renderTool);
        ProcessResult r = runProcess(argv, ProcessOptions{});
        EXPECT_EQ(r.status, 2) << argv.back();
        EXPECT_EQ(r.err.rfind("render: ", 0), 0u) << r.err;
        EXPECT_TRUE(r.out.empty());
    }
    ProcessResult r = runProcess(
        {renderTool, "frame", "--part", "0", "--root", "/nonexistent/show", "--out", "/tmp/x.png"}, ProcessOptions{});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot enter /nonexistent/show"), std::string::npos) << r.err;
}

} // namespace
