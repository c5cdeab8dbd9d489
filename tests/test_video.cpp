// render video end to end: a whole show on a short module, captured and read back with ffprobe and ffmpeg.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iterator>
#include <map>
#include <regex>

#include "support/glimages.h"
#include "support/process.h"
#include "xmwriter/xmwriter.h"

namespace fs = std::filesystem;

namespace {

const std::string renderTool = SHOW_BINARY_DIR "/tools/render/render";

// 51 orders of two rows at speed 6, 150 BPM: ticks of 735 samples, rows of 0.1 s, 10.2 s in all.
constexpr int testFps = 12;
constexpr double rowSeconds = 0.1;
constexpr int64_t showSamples = 51 * 2 * 6 * 735;
constexpr int64_t showFrames = 123; // the frames whose instant k / 12 lies before 10.2 s

ProcessResult runRender(const std::vector<std::string> &args, const std::vector<std::string> &env = {})
{
    std::vector<std::string> argv = {renderTool};
    argv.insert(argv.end(), args.begin(), args.end());
    ProcessOptions options;
    options.setEnv = {"SDL_AUDIODRIVER=dummy"};
    options.setEnv.insert(options.setEnv.end(), env.begin(), env.end());
    options.timeoutSeconds = 300;
    return runDisplayProcess(argv, options);
}

std::string runFfmpeg(const std::vector<std::string> &args)
{
    std::vector<std::string> argv = {"ffmpeg", "-v", "error", "-nostdin"};
    argv.insert(argv.end(), args.begin(), args.end());
    ProcessResult r = runProcess(argv, ProcessOptions{});
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out;
}

// One stream's (or the container's) fields as ffprobe names them.
std::map<std::string, std::string> probe(const std::string &file, const std::string &streams)
{
    const std::string entries = streams.empty() ? "format=format_name"
                                                : "stream=codec_name,pix_fmt,width,height,sample_rate,"
                                                  "channels,start_time";
    std::vector<std::string> argv = {"ffprobe", "-v", "error", "-show_entries", entries, "-of", "default=nw=1", file};
    if (!streams.empty())
        argv.insert(argv.end() - 1, {"-select_streams", streams});
    std::map<std::string, std::string> fields;
    for (const std::string &line : splitLines(runProcess(argv, ProcessOptions{}).out))
        if (line.find('=') != std::string::npos)
            fields[line.substr(0, line.find('='))] = line.substr(line.find('=') + 1);
    return fields;
}

std::vector<int16_t> decodeMonoSound(const std::string &file)
{
    std::string bytes = runFfmpeg({"-i", file, "-map", "0:a", "-ac", "1", "-f", "s16le", "-"});
    std::vector<int16_t> samples(bytes.size() / 2);
    memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

// Frames whose every pixel (on a 40 x 30 average) is white.
std::vector<int64_t> whiteFrames(const std::string &file, int64_t *frames)
{
    std::string gray = runFfmpeg({"-i", file, "-map", "0:v", "-vf", "scale=40:30:flags=area", "-f", "rawvideo",
                                  "-pix_fmt", "gray", "-"});
    std::vector<int64_t> white;
    *frames = int64_t(gray.size() / 1200);
    for (int64_t k = 0; k < *frames; ++k)
        if (uint8_t(*std::min_element(gray.begin() + k * 1200, gray.begin() + (k + 1) * 1200,
                                      [](char a, char b) { return uint8_t(a) < uint8_t(b); })) >= 250)
            white.push_back(k);
    return white;
}

// Sample indices where a note strikes out of near silence (the blip decays within its two rows).
std::vector<int64_t> noteOnsets(const std::vector<int16_t> &sound)
{
    std::vector<int64_t> onsets;
    int64_t lastLoud = -100000;
    for (int64_t i = 0; i < int64_t(sound.size()); ++i)
        if (std::abs(sound[i]) > 800) {
            if (i - lastLoud > 4000)
                onsets.push_back(i);
            lastLoud = i;
        }
    return onsets;
}

bool isFlashPart(size_t part)
{
    return (part >= 8 && part <= 16) || (part >= 38 && part <= 41);
}

class VideoCapture : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        showDir = makeShowDirectory();
        std::vector<uint8_t> module = makeShortTestModule(51, 2);
        module[76] = 6;   // the header's default speed
        module[78] = 150; // and tempo
        ASSERT_TRUE(writeFileBytes(showDir + "/data/music/vrimla2.xm", module));
    }
    static void TearDownTestSuite() { fs::remove_all(showDir); }

    static std::string capture(const std::string &name)
    {
        const std::string out = showDir + "/" + name;
        std::vector<std::string> args = {"video", "--quiet", "--root", showDir, "--fps", std::to_string(testFps),
                                         "--out", out};
        if (name.find(".mkv") != std::string::npos)
            args.push_back("--lossless");
        ProcessResult r = runRender(args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.err.find("render: 123 frames at 12 fps, 10.20 s of show"), std::string::npos) << r.err;
        return out;
    }

    // The white frames are exactly those whose instant lies in row 0 of a flash part, timed from
    // that part's note in the file's own sound; the sound lasts as long as the picture.
    static void expectInStep(const std::string &file)
    {
        int64_t frames = 0;
        std::vector<int64_t> white = whiteFrames(file, &frames);
        EXPECT_EQ(frames, showFrames);
        std::vector<int16_t> sound = decodeMonoSound(file);
        EXPECT_NEAR(double(sound.size()) / 44100, double(frames) / testFps, 1.0 / testFps);
        std::vector<int64_t> onsets = noteOnsets(sound);
        ASSERT_EQ(onsets.size(), 51u);
        std::vector<int64_t> expected;
        const double slack = 0.0015; // the onset is found a few samples in; AAC smears it a little
        for (int64_t k = 0; k < frames; ++k)
            for (size_t p = 0; p < onsets.size(); ++p) {
                const double fromNote = double(k) / testFps - double(onsets[p]) / 44100;
                if (isFlashPart(p) && fromNote >= -slack && fromNote < rowSeconds - slack)
                    expected.push_back(k);
            }
        EXPECT_EQ(white, expected);
    }

    static std::string showDir;
};

std::string VideoCapture::showDir;

// One test for all captures, so each is made once (CTest runs each test in a process of its own).
TEST_F(VideoCapture, CapturesPlayTheWholeShowInStepWithItsSoundAndRepeatExactly)
{
    // The default file, for video sites.
    const std::string mp4 = capture("show.mp4");
    std::map<std::string, std::string> video = probe(mp4, "v"), audio = probe(mp4, "a");
    EXPECT_EQ(probe(mp4, "")["format_name"], "mov,mp4,m4a,3gp,3g2,mj2");
    EXPECT_TRUE(video["codec_name"] == "h264" && video["pix_fmt"] == "yuv420p" && video["width"] == "800" &&
                video["height"] == "600" && video["start_time"] == "0.000000");
    EXPECT_TRUE(audio["codec_name"] == "aac" && audio["sample_rate"] == "44100" && audio["channels"] == "2" &&
                audio["start_time"] == "0.000000");
    const std::string bytes = readWholeFile(mp4);
    EXPECT_LT(bytes.find("moov"), bytes.find("mdat")) << "fast start: the index ahead of the data";
    expectInStep(mp4);

    // The lossless file.
    const std::string mkv = capture("show.mkv");
    video = probe(mkv, "v");
    audio = probe(mkv, "a");
    EXPECT_EQ(probe(mkv, "")["format_name"], "matroska,webm");
    EXPECT_TRUE(video["codec_name"] == "ffv1" && video["width"] == "800" && video["height"] == "600");
    EXPECT_TRUE(audio["codec_name"] == "flac" && audio["sample_rate"] == "44100" && audio["channels"] == "2");
    EXPECT_EQ(decodeMonoSound(mkv).size(), size_t(showSamples)) << "order 0 to the wrap, to the sample";
    expectInStep(mkv);

    // Frame k of the file is what render play draws as its frame k.
    const std::string playDir = showDir + "/play";
    fs::create_directories(playDir);
    ProcessResult r = runRender({"play", "--quiet", "--root", showDir, "--fps", std::to_string(testFps), "--frames",
                                 "5,60,100", "--out-dir", playDir});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(std::distance(fs::directory_iterator(playDir), fs::directory_iterator()), 3) << "only those asked for";
    for (int k : {5, 60, 100}) {
        char name[32];
        snprintf(name, sizeof name, "/frame-%06d.png", k);
        int width = 0, height = 0;
        std::vector<uint8_t> played;
        ASSERT_TRUE(readPng(playDir + name, &width, &height, &played));
        std::string rgba = runFfmpeg({"-i", mkv, "-vf", "select=eq(n\\," + std::to_string(k) + ")", "-frames:v",
                                      "1", "-f", "rawvideo", "-pix_fmt", "rgba", "-"});
        EXPECT_TRUE(rgba.size() == played.size() && memcmp(rgba.data(), played.data(), played.size()) == 0)
            << "frame " << k;
    }

    // Again: the same decoded frames and sound; the lossless file the same to the byte.
    auto decoded = [](const std::string &file) { return runFfmpeg({"-i", file, "-f", "framemd5", "-"}); };
    const std::string first = decoded(mp4);
    EXPECT_GT(std::count(first.begin(), first.end(), '\n'), showFrames);
    EXPECT_EQ(first, decoded(capture("again.mp4")));
    EXPECT_EQ(readWholeFile(mkv), readWholeFile(capture("again.mkv")));
}

TEST_F(VideoCapture, FaultsGiveOneLineAndStatusOneAndLeaveNoFile)
{
    const std::string work = showDir + "/faults";
    fs::create_directories(work + "/fake");
    // An encoder that takes two frames and dies.
    writeWholeFile(work + "/fake/ffmpeg", "#!/bin/sh\nhead -c 4000000 <&3 >/dev/null\n"
                                          "echo 'fake encoder gave up' >&2\nexit 3\n");
    fs::permissions(work + "/fake/ffmpeg", fs::perms::owner_all);
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin";
    struct Case {
        std::string what, out, line;
        std::vector<std::string> env;
        std::function<void(const std::string &root)> damage;
    };
    const std::string out = work + "/out/show.mp4";
    const std::string fake = "PATH=" + work + "/fake:" + path;
    const std::vector<Case> cases = {
        {"no such folder", work + "/missing/show.mp4",
         "render: cannot write " + work + "/missing/show.mp4: No such file or directory", {}, nullptr},
        {"a folder", work + "/out", "render: cannot write " + work + "/out: it is a directory", {}, nullptr},
        {"no ffmpeg", out, "render: cannot find ffmpeg on PATH \\(scripts/install-packages.sh installs it\\)",
         {"PATH=/nonexistent"}, nullptr},
        {"encoder dies", out,
         "render: ffmpeg failed at frame [0-9]+ of 123 \\(exit status 3\\): fake encoder gave up", {fake}, nullptr},
        {"start-up stops", out, "render: the show stopped while starting up; no video written", {},
         [](const std::string &root) { fs::remove(root + "/data/meshes/TREE.ASC"); }},
        // Modules the show does not end on are test_module_shapes' cases, video among the tools.
        {"no module", out, "render: cannot load the module: cannot read data/music/vrimla2.xm", {},
         [](const std::string &root) { fs::remove(root + "/data/music/vrimla2.xm"); }},
    };
    for (const Case &c : cases) {
        fs::create_directories(work + "/out");
        std::string root = showDir;
        if (c.damage) {
            root = makeShowDirectory();
            c.damage(root);
        }
        ProcessResult r = runRender({"video", "--quiet", "--root", root, "--fps", "12", "--out", c.out}, c.env);
        if (c.damage)
            fs::remove_all(root);
        // Progress lines may come first; the fault is the one line after them.
        EXPECT_EQ(r.status, 1) << c.what << ": " << r.err;
        EXPECT_TRUE(std::regex_match(r.err, std::regex("(render: part .*\n)*" + c.line + "\n")))
            << c.what << ": " << r.err;
        for (const fs::directory_entry &entry : fs::recursive_directory_iterator(work))
            EXPECT_TRUE(entry.is_directory() || entry.path().filename() == "ffmpeg") << c.what << ": " << entry.path();
        fs::remove_all(work + "/out");
    }
}

} // namespace
