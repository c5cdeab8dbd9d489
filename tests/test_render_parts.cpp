// Parts 0-3 and 16-17 as the offline renderer draws them from the show's own content.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <filesystem>

#include "support/glimages.h"
#include "support/process.h"

namespace fs = std::filesystem;

namespace {

const std::string renderTool = SHOW_BINARY_DIR "/tools/render/render";

struct Frame {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;
    const uint8_t *at(size_t k) const { return &rgba[k * 4]; }
    size_t pixels() const { return size_t(width) * height; }
};

// The content tree: the repository's, or another one (a fresh generation) named by RENDER_ROOT.
std::string contentRoot()
{
    const char *root = std::getenv("RENDER_ROOT");
    return root && *root ? root : SHOW_SOURCE_DIR;
}

bool contentPresent()
{
    const fs::path root = contentRoot();
    for (const char *file : {"data/images/bg-blue.png", "data/images/pine-silhuette.png",
                             "data/images/pine-silhuette-2.png", "data/images/pine-silhuette-3.png",
                             "data/images/credits.png", "data/images/f1.fnt", "data/meshes/TREE.ASC",
                             "data/meshes/CREDITS1.ASC", "data/meshes/LUMIR3D2.ASC", "data/meshes/CREDITS1.VUE",
                             "data/meshes/LUMIR3D2.VUE", "data/music/vrimla2.xm"})
        if (!fs::exists(root / file))
            return false;
    return true;
}

class RenderParts : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        char scratch[] = "/tmp/render-parts-XXXXXX";
        outDir = mkdtemp(scratch);
    }
    static void TearDownTestSuite() { fs::remove_all(outDir); }
    void SetUp() override
    {
        if (!contentPresent())
            GTEST_SKIP() << "the content files are not generated yet";
    }

    // Renders one part with frame delta 0, so every run sees the forests as start-up laid them out.
    static Frame render(int part, const std::string &demoTime, int row)
    {
        std::string out = outDir + "/part" + std::to_string(part) + "-" + demoTime + "-" + std::to_string(row) + ".png";
        ProcessOptions options;
        options.setEnv = {"SDL_AUDIODRIVER=dummy"};
        options.timeoutSeconds = 120;
        const std::vector<std::string> argv = {renderTool, "frame", "--quiet", "--root", contentRoot(), "--part",
                                               std::to_string(part), "--demo-time", demoTime, "--frame-delta",
                                               "0", "--row", std::to_string(row), "--out", out};
        ProcessResult r = runProcess(argv, options);
        // A shared Xvfb now and then refuses a connection; that says nothing about the frame.
        if (r.status != 0 && r.err.find("Couldn't open X11 display") != std::string::npos)
            r = runProcess(argv, options);
        EXPECT_EQ(r.status, 0) << r.err;
        Frame f;
        EXPECT_TRUE(readPng(out, &f.width, &f.height, &f.rgba)) << out;
        EXPECT_EQ(f.width, 800);
        EXPECT_EQ(f.height, 600);
        return f;
    }

    static std::string outDir;
};

std::string RenderParts::outDir;

int channelDistance(const uint8_t *a, const uint8_t *b)
{
    return std::abs(a[0] - b[0]) + std::abs(a[1] - b[1]) + std::abs(a[2] - b[2]);
}

double luminance(const uint8_t *p)
{
    return 0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2];
}

TEST_F(RenderParts, IntroShowsTheForestOverTheBackdrop)
{
    // A tiny show time puts the lift far below the view: the backdrop alone.
    Frame backdrop = render(0, "0.01", 8);
    Frame forest = render(0, "20", 8);
    size_t same = 0, darker = 0, partly = 0;
    for (size_t k = 0; k < forest.pixels(); ++k) {
        const uint8_t *b = backdrop.at(k), *f = forest.at(k);
        int d = channelDistance(b, f);
        if (d <= 3)
            ++same;
        else if (luminance(f) < luminance(b) - 4) {
            ++darker;
            if (luminance(f) > 0.25 * luminance(b) + 4)
                ++partly; // edge pixels: silhouette blended with the sky
        }
    }
    const double n = double(forest.pixels());
    EXPECT_GT(same / n, 0.10) << "the backdrop shows between the trees";
    EXPECT_GT(darker / n, 0.10) << "the silhouettes cover part of it";
    EXPECT_GT(partly / n, 0.002) << "soft edges blend into the sky";
    // The backdrop frame is not black: the image is there.
    double mean = 0;
    for (size_t k = 0; k < backdrop.pixels(); ++k)
        mean += luminance(backdrop.at(k));
    EXPECT_GT(mean / n, 15);
}

TEST_F(RenderParts, PartsZeroToThreeAreTheSameComposition)
{
    Frame zero = render(0, "20", 0);
    for (int part : {1, 2, 3}) {
        Frame other = render(part, "20", 40);
        EXPECT_EQ(zero.rgba, other.rgba) << "part " << part;
    }
}

TEST_F(RenderParts, RushFlashesByRowOnSixteenOnly)
{
    Frame white = render(16, "20", 0);
    for (size_t k = 0; k < white.pixels(); k += 97)
        ASSERT_EQ(channelDistance(white.at(k), std::array<uint8_t, 3>{255, 255, 255}.data()), 0) << k;

    Frame flash = render(16, "20", 8), plain = render(17, "20", 8);
    Frame backdrop = render(0, "0.01", 8);
    double added = 0;
    size_t counted = 0, forest = 0;
    for (size_t k = 0; k < plain.pixels(); ++k) {
        const uint8_t *p = plain.at(k), *f = flash.at(k);
        if (channelDistance(p, backdrop.at(k)) > 12)
            ++forest;
        for (int c = 0; c < 3; ++c)
            if (p[c] < 190) {
                added += f[c] - p[c];
                ++counted;
            }
    }
    ASSERT_GT(counted, 0u);
    EXPECT_NEAR(added / counted, 255 * 0.19753, 1.0) << "row 8 adds the flash curve";
    EXPECT_GT(forest / double(plain.pixels()), 0.05) << "the rushing trees stand over the backdrop";
}

ProcessResult runTool(std::vector<std::string> argv)
{
    ProcessOptions options;
    options.setEnv = {"SDL_AUDIODRIVER=dummy"};
    options.timeoutSeconds = 300;
    ProcessResult r = runProcess(argv, options);
    if (r.status != 0 && r.err.find("Couldn't open X11 display") != std::string::npos)
        r = runProcess(argv, options);
    return r;
}

TEST_F(RenderParts, PlayStepsTheShowFromOrderZeroWithTheForestMoving)
{
    std::string dir = outDir + "/play";
    fs::create_directories(dir);
    ProcessResult r = runTool({renderTool, "play", "--quiet", "--root", contentRoot(), "--fps", "25", "--frames",
                               "1,40,80", "--out-dir", dir});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("render: frame 1 enters part 0\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("render: 80 frames played, 3 written\n"), std::string::npos) << r.err;
    Frame f40, f80;
    ASSERT_TRUE(readPng(dir + "/frame-000040.png", &f40.width, &f40.height, &f40.rgba));
    ASSERT_TRUE(readPng(dir + "/frame-000080.png", &f80.width, &f80.height, &f80.rgba));
    ASSERT_TRUE(fs::exists(dir + "/frame-000001.png"));
    EXPECT_FALSE(fs::exists(dir + "/frame-000002.png"));
    // Between 1.6 and 3.2 s the forest rises by about 0.37: the frames differ.
    size_t differing = 0;
    for (size_t k = 0; k < f40.pixels(); ++k)
        differing += channelDistance(f40.at(k), f80.at(k)) > 12;
    EXPECT_GT(differing, f40.pixels() / 20);
}

TEST_F(RenderParts, SheetTakesOneFramePerPartPlayed)
{
    std::string sheetPath = outDir + "/sheet.png";
    // At 25 frames a second, 160 frames reach row 40 of part 0 but not part 1.
    ProcessResult r = runTool({renderTool, "sheet", "--quiet", "--root", contentRoot(), "--fps", "25", "--max-frames", "160",
                               "--out", sheetPath});
    ASSERT_EQ(r.status, 0) << r.err;
    Frame sheet;
    ASSERT_TRUE(readPng(sheetPath, &sheet.width, &sheet.height, &sheet.rgba));
    ASSERT_EQ(sheet.width, 8 * 204 + 4);
    auto at = [&](int x, int y) { return sheet.at(size_t(y) * sheet.width + x); };
    EXPECT_GT(luminance(at(4 + 100, 4 + 20)), 5);   // part 0: the night sky
    EXPECT_EQ(at(4 + 204 + 100, 4 + 100)[0], 16);   // part 1: not reached
}

TEST_F(RenderParts, MissingModuleStopsPlayWithStatusOne)
{
    std::string root = outDir + "/nomodule";
    fs::create_directories(root);
    for (const char *tree : {"data", "Data"})
        fs::copy(fs::path(contentRoot()) / tree, fs::path(root) / tree, fs::copy_options::recursive);
    fs::remove(fs::path(root) / "data/music/vrimla2.xm");
    ProcessResult r = runTool({renderTool, "play", "--quiet", "--root", root, "--every", "10", "--out-dir", outDir});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("render: cannot load the module\n"), std::string::npos) << r.err;
}

} // namespace
