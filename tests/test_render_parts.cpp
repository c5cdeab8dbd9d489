// The offline renderer: parts 0-3 and the contact sheet from the show's own content, its picture
// helpers and its command line. Its play and video modes are test_video's.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "renderer.h"
#include "support/glimages.h"
#include "support/process.h"

namespace fs = std::filesystem;

namespace {

const std::string renderTool = SHOW_BINARY_DIR "/tools/render/render";

// RGBA, top row first.
struct Frame {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;
    const uint8_t *at(size_t k) const { return &rgba[k * 4]; }
    size_t pixels() const { return size_t(width) * height; }
};

Frame readPngFrame(const std::string &path)
{
    Frame f;
    EXPECT_TRUE(readPng(path, &f.width, &f.height, &f.rgba)) << path;
    return f;
}

int channelDistance(const uint8_t *a, const uint8_t *b)
{
    return std::abs(a[0] - b[0]) + std::abs(a[1] - b[1]) + std::abs(a[2] - b[2]);
}

double luminance(const uint8_t *p)
{
    return 0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2];
}

class RenderParts : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        char scratch[] = "/tmp/render-parts-XXXXXX";
        outDir = mkdtemp(scratch);
        const char *root = std::getenv("RENDER_ROOT"); // another content tree, a fresh generation
        contentRoot = root && *root ? root : SHOW_SOURCE_DIR;
    }
    static void TearDownTestSuite() { fs::remove_all(outDir); }
    static ProcessResult runTool(const std::string &mode, const std::vector<std::string> &rest)
    {
        std::vector<std::string> argv = {renderTool, mode, "--quiet", "--root", contentRoot};
        argv.insert(argv.end(), rest.begin(), rest.end());
        ProcessOptions options;
        options.setEnv = {"SDL_AUDIODRIVER=dummy"};
        options.timeoutSeconds = 300;
        return runDisplayProcess(argv, options);
    }

    // One part with frame delta 0, so every run sees the forests as start-up laid them out.
    static Frame render(int part, const std::string &demoTime, int row)
    {
        std::string out = outDir + "/part" + std::to_string(part) + "-" + demoTime + "-" + std::to_string(row) + ".png";
        ProcessResult r = runTool("frame", {"--part", std::to_string(part), "--demo-time", demoTime, "--frame-delta",
                                   "0", "--row", std::to_string(row), "--out", out});
        EXPECT_EQ(r.status, 0) << r.err;
        Frame f = readPngFrame(out);
        EXPECT_TRUE(f.width == 800 && f.height == 600);
        return f;
    }

    static std::string outDir, contentRoot;
};

std::string RenderParts::outDir, RenderParts::contentRoot;

TEST_F(RenderParts, IntroShowsTheForestOverTheBackdropInPartsZeroToThree)
{
    Frame backdrop = render(0, "0.01", 8); // the lift far below the view: the backdrop alone
    Frame forest = render(0, "20", 8);
    size_t same = 0, darker = 0, partly = 0;
    double mean = 0;
    for (size_t k = 0; k < forest.pixels(); ++k) {
        const uint8_t *b = backdrop.at(k), *f = forest.at(k);
        mean += luminance(b) / forest.pixels();
        const bool covered = channelDistance(b, f) > 3 && luminance(f) < luminance(b) - 4;
        same += channelDistance(b, f) <= 3;
        darker += covered;
        partly += covered && luminance(f) > 0.25 * luminance(b) + 4; // a soft edge
    }
    const double n = double(forest.pixels());
    EXPECT_GT(mean, 15) << "the backdrop image is there";
    EXPECT_GT(same / n, 0.10) << "the backdrop shows between the trees";
    EXPECT_GT(darker / n, 0.10) << "the silhouettes cover part of it";
    EXPECT_GT(partly / n, 0.002) << "soft edges blend into the sky";
    Frame zero = render(0, "20", 0);
    for (int part : {1, 2, 3})
        EXPECT_EQ(zero.rgba, render(part, "20", 40).rgba) << "part " << part;
}

// At 25 frames a second, 100 frames (4 s) reach row 40 of part 0 (2.4 s) but not of part 1 (6.24 s):
// part 1's cell is its last frame, at row 2, and the parts after it are named as never played.
TEST_F(RenderParts, SheetStepsTheShowFromOrderZero)
{
    ProcessResult r = runTool("sheet", {"--fps", "25", "--max-frames", "100", "--out", outDir + "/sheet.png"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("render: parts never played (cells NOT PLAYED): 2-50\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("render: parts that end before row 40 (cells show their last frame): 1\n"),
              std::string::npos) << r.err;
    Frame sheet = readPngFrame(outDir + "/sheet.png");
    ASSERT_EQ(sheet.width, 8 * 204 + 4);
    EXPECT_GT(luminance(sheet.at(size_t(4 + 20) * sheet.width + 4 + 100)), 5);       // part 0: the night sky
    EXPECT_GT(luminance(sheet.at(size_t(4 + 20) * sheet.width + 4 + 204 + 100)), 5); // part 1: its last frame
    EXPECT_EQ(sheet.at(size_t(4 + 100) * sheet.width + 4 + 2 * 204 + 100)[0], 16);   // part 2: not played
}

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

    // "10" at scale 2 on a black box 2 x 8 + 2 wide and 14 high; "0" hollow in the middle. Letters
    // of the captions draw too; other characters leave their place blank.
    Picture label = solidPicture(40, 20, 100);
    drawLabel(&label, 0, 0, "10", 2);
    EXPECT_TRUE(redAt(label, 0, 0) == 0 && redAt(label, 17, 13) == 0 && redAt(label, 18, 0) == 100 &&
                redAt(label, 0, 14) == 100);
    EXPECT_TRUE(redAt(label, 4, 2) == 255 && redAt(label, 4, 10) == 255 && redAt(label, 10, 6) == 255 &&
                redAt(label, 12, 6) == 0);
    drawLabel(&label, 0, 0, "T?", 2);
    EXPECT_TRUE(redAt(label, 2, 2) == 255 && redAt(label, 6, 2) == 255 && redAt(label, 2, 4) == 0 &&
                redAt(label, 4, 10) == 255);
    for (int y = 2; y < 12; ++y)
        EXPECT_EQ(redAt(label, 10, y), 0) << y;

    // Thumbnails, the dark cell of a part without a frame, and a caption after the part's number.
    std::vector<Picture> frames(51);
    frames[0] = solidPicture(frameWidth, frameHeight, 200);
    frames[50] = solidPicture(frameWidth, frameHeight, 90);
    std::vector<std::string> captions(51);
    captions[1] = "NOT PLAYED";
    Picture sheet = composeContactSheet(frames, captions);
    ASSERT_TRUE(sheet.width == 8 * 204 + 4 && sheet.height == 7 * 154 + 4);
    EXPECT_EQ(redAt(sheet, 4 + 100, 4 + 100), 200);                   // part 0's picture
    EXPECT_EQ(redAt(sheet, 4, 4), 0);                                 // its label box
    EXPECT_EQ(redAt(sheet, 4 + 12, 4 + 2), 200);                      // which ends after the "0"
    EXPECT_EQ(redAt(sheet, 4 + 204 + 100, 4 + 100), 16);              // part 1: no frame
    EXPECT_EQ(redAt(sheet, 4 + 204 + 2 + 2 * 8, 4 + 2), 255);         // its caption's N
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
