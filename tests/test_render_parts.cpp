// Parts 0-3 and 16-17 as the offline renderer draws them from the show's own content, and its
// play and sheet modes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "support/glimages.h"
#include "support/process.h"

namespace fs = std::filesystem;

namespace {

// RGBA, top row first.
struct Frame {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;
    const uint8_t *at(size_t k) const { return &rgba[k * 4]; }
    size_t pixels() const { return size_t(width) * height; }
};

Frame readFrame(const std::string &path)
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
        std::vector<std::string> argv = {SHOW_BINARY_DIR "/tools/render/render", mode, "--quiet", "--root", contentRoot};
        argv.insert(argv.end(), rest.begin(), rest.end());
        ProcessOptions options;
        options.setEnv = {"SDL_AUDIODRIVER=dummy"};
        options.timeoutSeconds = 300;
        ProcessResult r = runProcess(argv, options);
        // A shared Xvfb now and then refuses a connection; that says nothing about the frame.
        if (r.status != 0 && r.err.find("Couldn't open X11 display") != std::string::npos)
            r = runProcess(argv, options);
        return r;
    }

    // One part with frame delta 0, so every run sees the forests as start-up laid them out.
    static Frame render(int part, const std::string &demoTime, int row)
    {
        std::string out = outDir + "/part" + std::to_string(part) + "-" + demoTime + "-" + std::to_string(row) + ".png";
        ProcessResult r = runTool("frame", {"--part", std::to_string(part), "--demo-time", demoTime, "--frame-delta",
                                   "0", "--row", std::to_string(row), "--out", out});
        EXPECT_EQ(r.status, 0) << r.err;
        Frame f = readFrame(out);
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

TEST_F(RenderParts, RushFlashesByRowOnSixteenOnly)
{
    Frame white = render(16, "20", 0);
    for (size_t k = 0; k < white.pixels(); k += 97)
        ASSERT_EQ(white.at(k)[0] + white.at(k)[1] + white.at(k)[2], 3 * 255) << k;
    Frame flash = render(16, "20", 8), plain = render(17, "20", 8), backdrop = render(0, "0.01", 8);
    double added = 0;
    size_t counted = 0, forest = 0;
    for (size_t k = 0; k < plain.pixels(); ++k) {
        forest += channelDistance(plain.at(k), backdrop.at(k)) > 12;
        for (int c = 0; c < 3; ++c)
            if (plain.at(k)[c] < 190) {
                added += flash.at(k)[c] - plain.at(k)[c];
                ++counted;
            }
    }
    ASSERT_GT(counted, 0u);
    EXPECT_NEAR(added / counted, 255 * 0.19753, 1.0) << "row 8 adds the flash curve";
    EXPECT_GT(forest / double(plain.pixels()), 0.05) << "the rushing trees stand over the backdrop";
}

TEST_F(RenderParts, PlayAndSheetStepTheShowFromOrderZero)
{
    ProcessResult r = runTool("play", {"--fps", "25", "--frames", "1,40,80", "--out-dir", outDir});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("render: frame 1 enters part 0\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("render: 80 frames played, 3 written\n"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::exists(outDir + "/frame-000001.png") && !fs::exists(outDir + "/frame-000002.png"));
    // Between 1.6 and 3.2 s the forest rises by about 0.37: the frames differ.
    Frame f40 = readFrame(outDir + "/frame-000040.png"), f80 = readFrame(outDir + "/frame-000080.png");
    ASSERT_EQ(f40.pixels(), f80.pixels());
    size_t differing = 0;
    for (size_t k = 0; k < f40.pixels(); ++k)
        differing += channelDistance(f40.at(k), f80.at(k)) > 12;
    EXPECT_GT(differing, f40.pixels() / 20);

    // At 25 frames a second, 100 frames (4 s) reach row 40 of part 0 (2.4 s) but not of part 1 (6.24 s).
    r = runTool("sheet", {"--fps", "25", "--max-frames", "100", "--out", outDir + "/sheet.png"});
    ASSERT_EQ(r.status, 0) << r.err;
    Frame sheet = readFrame(outDir + "/sheet.png");
    ASSERT_EQ(sheet.width, 8 * 204 + 4);
    EXPECT_GT(luminance(sheet.at(size_t(4 + 20) * sheet.width + 4 + 100)), 5); // part 0: the night sky
    EXPECT_EQ(sheet.at(size_t(4 + 100) * sheet.width + 4 + 204 + 100)[0], 16); // part 1: not reached
}

} // namespace
