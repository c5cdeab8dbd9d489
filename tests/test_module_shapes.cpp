// Modules shaped the way trackers write them, each played by libopenmpt, by the show and by every
// tool that plays the module: the show's parts follow libopenmpt's orders and end only where order
// 50 goes to 0; the tools end with that pass, or stop at once with one line saying the show would not.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <regex>
#include <set>

#include "modulepass/modulepass.h"
#include "support/glimages.h"
#include "support/process.h"
#include "xmwriter/xmwriter.h"

namespace fs = std::filesystem;

namespace {

const std::string demoBinary = SHOW_BINARY_DIR "/demo";
const std::string renderTool = SHOW_BINARY_DIR "/tools/render/render";
const std::string soundcheckTool = SHOW_BINARY_DIR "/tools/soundcheck/soundcheck";
const std::string pacecheckTool = SHOW_BINARY_DIR "/tools/pacecheck/pacecheck";

// Rows of 50 ms (speed 3, 150 BPM) until a shape changes them. Every order is heard for 0.6 s or
// more, so that no frame of the show, slow under a busy X server, can step over one.
XmModule makeRows(int orders, int rows)
{
    XmModule module = makeShortTestXmModule(orders, rows, 3);
    module.tempo = 150;
    return module;
}

void putEffect(XmModule &module, int order, int row, uint8_t effect, uint8_t param)
{
    XmCell &cell = editXmCell(module.patterns[module.orders[size_t(order)]], module.channels, row, 1);
    cell.effect = effect;
    cell.param = param;
}

struct ModuleShape {
    const char *name;
    XmModule (*make)();
    std::vector<int32_t> orders; // libopenmpt's orders from the start: the whole pass, or its first rounds
    bool ends;                   // the order goes from 50 to 0
    double seconds;              // the pass, or one round of a module the show does not end on
    std::string unplayed;        // orders the pass never plays
    std::string sheetShort;      // parts whose cell shows their last frame, ending before row 8
};

const std::vector<ModuleShape> &moduleShapes()
{
    static const std::vector<ModuleShape> shapes = {
        {"0, 1, 50, 0 in 2.4 s: a position jump to the last order",
         [] {
             XmModule m = makeRows(51, 16);
             putEffect(m, 1, 15, XM_FX_POSITION_JUMP, 50);
             return m;
         },
         {0, 1, 50}, true, 2.4, "2-49", ""},
        // Order 0: rows 0-7 at 50 ms, 8-15 at 4 ticks (66.7 ms), 16-20 at 100 BPM (100 ms), then a
        // break to row 24 of order 1, struck there; row 26 is held for two rows more before a jump to 50,
        // whose break on row 5 ends the song: 1.433 + 0.8 + 0.6 s.
        {"32-row patterns, speed and tempo changes mid-pattern, breaks, a pattern delay",
         [] {
             XmModule m = makeRows(51, 32);
             putEffect(m, 0, 8, XM_FX_SET_SPEED_TEMPO, 4);
             putEffect(m, 0, 16, XM_FX_SET_SPEED_TEMPO, 100);
             putEffect(m, 0, 20, XM_FX_PATTERN_BREAK, xmPatternBreakRow(24));
             editXmCell(m.patterns[1], m.channels, 24, 0) = {XM_NOTE_C4, 1, 0, 0, 0};
             putEffect(m, 1, 26, XM_FX_EXTENDED, xmPatternDelay(2));
             putEffect(m, 1, 29, XM_FX_POSITION_JUMP, 50);
             putEffect(m, 50, 5, XM_FX_PATTERN_BREAK, 0);
             return m;
         },
         {0, 1, 50}, true, 2.8333, "2-49", "50"},
        {"60 orders, restart 5, parts past 50, the module's own jump from 50 to 0",
         [] {
             XmModule m = makeRows(60, 16);
             m.restartPosition = 5;
             putEffect(m, 1, 15, XM_FX_POSITION_JUMP, 51);
             putEffect(m, 52, 15, XM_FX_POSITION_JUMP, 50);
             putEffect(m, 50, 15, XM_FX_POSITION_JUMP, 0);
             return m;
         },
         {0, 1, 51, 52, 50}, true, 4.0, "2-49, 53-59", ""},
        {"restart position 3: from 50 back to 3, never to 0",
         [] {
             XmModule m = makeRows(51, 16);
             m.restartPosition = 3;
             putEffect(m, 1, 15, XM_FX_POSITION_JUMP, 50);
             putEffect(m, 3, 15, XM_FX_POSITION_JUMP, 50);
             return m;
         },
         {0, 1, 50, 3, 50, 3}, false, 3.2, "2, 4-49", ""},
        {"5 orders, wrapping from 4 to 0", [] { return makeRows(5, 16); }, {0, 1, 2, 3, 4, 0, 1}, false, 4.0, "", ""},
        {"one order", [] { return makeRows(1, 16); }, {0}, false, 0.8, "", ""},
        {"53 orders: through 50 on to 52, then to 0",
         [] {
             XmModule m = makeRows(53, 16);
             putEffect(m, 1, 15, XM_FX_POSITION_JUMP, 50);
             return m;
         },
         {0, 1, 50, 51, 52, 0, 1}, false, 4.0, "2-49", ""},
    };
    return shapes;
}

ShowPass walkShape(const std::vector<uint8_t> &bytes)
{
    openmpt_module *module = openShowModule(bytes.data(), bytes.size(), nullptr, nullptr);
    EXPECT_NE(module, nullptr);
    if (!module)
        return ShowPass{};
    ShowPass pass = walkShowPass(module);
    openmpt_module_destroy(module);
    return pass;
}

std::vector<int32_t> visitedOrders(const ShowPass &pass)
{
    std::vector<int32_t> orders;
    for (const OrderVisit &visit : pass.visits)
        orders.push_back(visit.order);
    return orders;
}

// The first number of each line that matches a pattern whole.
std::vector<int32_t> matchLines(const std::string &text, const std::string &pattern)
{
    std::vector<int32_t> numbers;
    const std::regex line(pattern);
    std::smatch m;
    for (const std::string &l : splitLines(text))
        if (std::regex_match(l, m, line))
            numbers.push_back(std::stoi(m[1]));
    return numbers;
}

bool startsWith(const std::vector<int32_t> &longer, const std::vector<int32_t> &prefix)
{
    return prefix.size() <= longer.size() && std::equal(prefix.begin(), prefix.end(), longer.begin());
}

// The first frame index (counting from 0) whose instant k / fps is at or past the pass's end.
int64_t framesBefore(double seconds, int fps)
{
    return int64_t(std::ceil(seconds * fps - 1e-3));
}

const std::string entersPart = "render: frame [0-9]+ enters part ([0-9]+)";
const std::string endlessLine = "the module never goes from order 50 to order 0, where the show ends \\(played "
                                "[0-9.]+ s: its own length and 10 s more\\)";

class ModuleShapes : public ::testing::Test {
protected:
    static void SetUpTestSuite() { showDir = makeShowDirectory(); }
    static void TearDownTestSuite() { fs::remove_all(showDir); }

    static std::string placeModule(const ModuleShape &shape)
    {
        const std::string path = showDir + "/data/music/vrimla2.xm";
        EXPECT_TRUE(writeFileBytes(path, encodeXmModule(shape.make())));
        return path;
    }

    static ProcessResult runTool(const std::vector<std::string> &argv)
    {
        ProcessOptions options;
        options.setEnv = {"SDL_AUDIODRIVER=dummy"};
        options.timeoutSeconds = 120;
        return runDisplayProcess(argv, options);
    }

    static std::string showDir;
};

std::string ModuleShapes::showDir;

TEST_F(ModuleShapes, LibopenmptPlaysEachAsWritten)
{
    for (const ModuleShape &shape : moduleShapes()) {
        SCOPED_TRACE(shape.name);
        const XmModule module = shape.make();
        ASSERT_EQ(checkXmModule(module), "");
        const ShowPass pass = walkShape(encodeXmModule(module));
        EXPECT_EQ(pass.ends, shape.ends);
        if (shape.ends)
            EXPECT_EQ(visitedOrders(pass), shape.orders);
        else
            EXPECT_TRUE(startsWith(visitedOrders(pass), shape.orders)) << ::testing::PrintToString(visitedOrders(pass));
        EXPECT_NEAR(double(measuredFrames(pass)) / passSampleRate, shape.seconds, 0.005);
        // Bounded: one round of the module and the margin, when no end came.
        EXPECT_LE(pass.searchedFrames, pass.songFrames + int64_t(passMarginSeconds * passSampleRate) + 64);
    }
}

TEST_F(ModuleShapes, TheShowFollowsEachAndEndsOnlyWhereOrderFiftyGoesToZero)
{
    for (const ModuleShape &shape : moduleShapes()) {
        SCOPED_TRACE(shape.name);
        placeModule(shape);
        const ShowPass pass = walkShape(encodeXmModule(shape.make()));
        ProcessOptions options;
        options.workDir = showDir;
        options.setEnv = {"SDL_AUDIODRIVER=dummy"};
        options.timeoutSeconds = 90;
        // A show that should not end is stopped once a round and a second and a half have passed.
        auto started = std::chrono::steady_clock::now();
        bool playing = false, stopped = false;
        options.whileRunning = [&](const std::string &out, int pid) {
            if (!playing && out.find("Go part 0\n") != std::string::npos) {
                playing = true;
                started = std::chrono::steady_clock::now();
            }
            const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            if (shape.ends || !playing || seconds < shape.seconds + 1.5)
                return true;
            kill(pid, SIGTERM);
            stopped = true;
            return false;
        };
        ProcessResult run = runDisplayProcess({"stdbuf", "-oL", demoBinary}, options);
        ASSERT_FALSE(run.timedOut);
        EXPECT_EQ(run.status, 0) << run.err;
        const std::vector<int32_t> parts = matchLines(run.out, "Go part ([0-9]+)");
        if (shape.ends) {
            std::vector<int32_t> expected = shape.orders;
            expected.push_back(0);
            EXPECT_EQ(parts, expected);
            continue;
        }
        EXPECT_TRUE(stopped) << "the show ended by itself";
        // The whole first round and on, as libopenmpt plays it.
        size_t round = 0;
        while (round < pass.visits.size() && pass.visits[round].firstFrame < pass.songFrames)
            ++round;
        EXPECT_GE(parts.size(), round);
        EXPECT_TRUE(startsWith(visitedOrders(pass), parts)) << ::testing::PrintToString(parts);
    }
}

// Per shape: soundcheck and pacecheck measure the pass (or the module's own length, with the one
// line), render's sheet, play and video play the pass to the show's end or stop before drawing.
TEST_F(ModuleShapes, EveryToolEndsWithThePassOrSaysInOneLineThatTheShowWouldNot)
{
    const std::string work = showDir + "/out";
    for (const ModuleShape &shape : moduleShapes()) {
        SCOPED_TRACE(shape.name);
        const std::string module = placeModule(shape);
        fs::remove_all(work);
        fs::create_directories(work);
        char secondsText[16];
        snprintf(secondsText, sizeof secondsText, "%.2f", shape.seconds);
        const std::string seconds = secondsText;

        // soundcheck: a row for each order played and no other; too short a pass, or no end.
        ProcessResult sound = runTool({soundcheckTool, module});
        EXPECT_EQ(sound.status, 1) << sound.out;
        const std::set<int32_t> played(shape.orders.begin(), shape.orders.end());
        const std::vector<int32_t> rows = matchLines(sound.out, "\\| ([0-9]+) \\| [0-9.]+ \\| .*");
        EXPECT_EQ(std::set<int32_t>(rows.begin(), rows.end()), played);
        EXPECT_EQ(sound.out.find("SILENT"), std::string::npos);
        EXPECT_EQ(sound.out.find("orders the pass never plays: " + shape.unplayed + "\n") != std::string::npos,
                  !shape.unplayed.empty());
        const std::string soundEnd = shape.ends ? "one pass to the wrap: " + seconds + " s.*\nFAIL: one pass lasts .*\n"
                                                : "the module's own length: " + seconds + " s.*\nFAIL: " + endlessLine + "\n";
        EXPECT_TRUE(std::regex_search(sound.out, std::regex(soundEnd + "soundcheck: limits FAILED\n$"))) << sound.out;

        // pacecheck: none of these plays the parts it measures.
        ProcessResult pace = runTool({pacecheckTool, module, SHOW_SOURCE_DIR});
        EXPECT_EQ(pace.status, 1) << pace.out << pace.err;
        const std::string paceEnd = shape.ends ? "one pass " + seconds + " s, [0-9]+ orders; pacecheck: no point "
                                                 "measured, their parts never play\n"
                                               : "pacecheck: " + endlessLine + "\n";
        EXPECT_TRUE(std::regex_search(pace.out, std::regex(paceEnd + "$"))) << pace.out;

        const std::vector<std::string> common = {"--quiet", "--root", showDir};
        auto render = [&](std::vector<std::string> args) {
            args.insert(args.begin() + 1, common.begin(), common.end());
            args.insert(args.begin(), renderTool);
            return runTool(args);
        };
        ProcessResult sheet = render({"sheet", "--row", "8", "--out", work + "/sheet.png"});
        ProcessResult play = render({"play", "--fps", "10", "--every", "5", "--out-dir", work});
        ProcessResult video = render({"video", "--fps", "12", "--lossless", "--out", work + "/show.mkv"});
        if (!shape.ends) {
            for (const ProcessResult *run : {&sheet, &play, &video}) {
                EXPECT_EQ(run->status, 1);
                EXPECT_TRUE(std::regex_match(run->err, std::regex("render: " + endlessLine + "\n"))) << run->err;
            }
            EXPECT_TRUE(fs::is_empty(work)) << "nothing written";
            continue;
        }
        std::vector<int32_t> entered = shape.orders;
        entered.push_back(0);
        // The sheet: unplayed cells dark and captioned, the others a frame.
        ASSERT_EQ(sheet.status, 0) << sheet.err;
        EXPECT_EQ(matchLines(sheet.err, entersPart), entered);
        EXPECT_NE(sheet.err.find("render: parts never played (cells NOT PLAYED): 2-49\n"), std::string::npos);
        EXPECT_EQ(sheet.err.find("cells show their last frame): " + shape.sheetShort + "\n") != std::string::npos,
                  !shape.sheetShort.empty())
            << sheet.err;
        int width = 0, height = 0;
        std::vector<uint8_t> pixels;
        ASSERT_TRUE(readPng(work + "/sheet.png", &width, &height, &pixels));
        for (int part = 0; part <= 50; ++part) {
            const size_t x = 4 + (part % 8) * 204 + 100, y = 4 + (part / 8) * 154 + 100;
            const bool isPlayed = played.count(part) > 0;
            EXPECT_EQ(pixels[(y * size_t(width) + x) * 4] == 16, !isPlayed) << "part " << part;
            // A caption's first letter (N of NOT, L of LAST) lights its top left pixel after the number.
            if (!isPlayed || shape.sheetShort == std::to_string(part)) {
                const size_t digits = std::to_string(part).size();
                const size_t captionX = 4 + (part % 8) * 204 + 2 + (digits + 1) * 8, captionY = 4 + (part / 8) * 154 + 2;
                EXPECT_EQ(pixels[(captionY * size_t(width) + captionX) * 4], 255) << "part " << part;
            }
        }
        // play: the same parts, through the frame the show ends on.
        ASSERT_EQ(play.status, 0) << play.err;
        EXPECT_EQ(matchLines(play.err, entersPart), entered);
        const int64_t played10 = framesBefore(shape.seconds, 10);
        EXPECT_NE(play.err.find("render: " + std::to_string(played10) + " frames played, " +
                                std::to_string(played10 / 5) + " written\n"),
                  std::string::npos)
            << play.err;
        // video: the frames before the change to order 0, and the pass's sound.
        ASSERT_EQ(video.status, 0) << video.err;
        EXPECT_NE(video.err.find("render: " + std::to_string(framesBefore(shape.seconds, 12)) + " frames at 12 fps, " +
                                 seconds + " s of show"),
                  std::string::npos)
            << video.err;
        EXPECT_TRUE(fs::exists(work + "/show.mkv"));
    }
    fs::remove_all(work);
}

// What a play cannot give is a failure in one line, not a shorter success: frames asked for past
// the show's end, none of every n-th, and frames too far apart to see the module end the show.
TEST_F(ModuleShapes, RenderFailsOnWhatItsFramesCannotReach)
{
    const std::string work = showDir + "/out";
    fs::create_directories(work);
    struct Case {
        size_t shape;
        std::vector<std::string> args;
        std::string line;
    };
    const std::vector<Case> cases = {
        {0, {"--fps", "10", "--frames", "5,30,31,40"}, "frames 30-31, 40 lie past the last frame played, 24; not written"},
        {0, {"--fps", "10", "--every", "100"}, "no frame written: the last frame played is 24"},
        // Order 50 from 2.23 to 2.83 s lies between the frames at 2 and 3 s.
        {1, {"--fps", "1", "--every", "1"}, "at 1 frames a second the frames miss the module's change from order 50 "
                                            "to order 0 at 2.83 s, so the show would not end there; a higher --fps sees it"},
    };
    for (const Case &c : cases) {
        placeModule(moduleShapes()[c.shape]);
        std::vector<std::string> argv = {renderTool, "play", "--quiet", "--root", showDir, "--out-dir", work};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        ProcessResult run = runTool(argv);
        EXPECT_EQ(run.status, 1) << c.line;
        const std::vector<std::string> lines = splitLines(run.err);
        ASSERT_FALSE(lines.empty()) << c.line;
        EXPECT_EQ(lines.back(), "render: " + c.line);
    }
    fs::remove_all(work);
}

} // namespace
