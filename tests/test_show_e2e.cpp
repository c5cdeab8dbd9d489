// The real show, started as a viewer would start it, under Xvfb with SDL's silent audio driver.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <regex>

#include "support/process.h"
#include "xmwriter/xmwriter.h"

namespace fs = std::filesystem;

namespace {

const std::string demoBinary = std::string(SHOW_BINARY_DIR) + "/demo";

// A copy of the content tree whose module is a short one made by the writer.
std::string prepareShow(int orders, int rows)
{
    std::string dir = makeShowDirectory();
    fs::create_directories(dir + "/data/music");
    EXPECT_TRUE(writeFileBytes(dir + "/data/music/vrimla2.xm", makeShortTestModule(orders, rows)));
    return dir;
}

ProcessOptions showOptions(const std::string &dir, double timeout)
{
    ProcessOptions options;
    options.workDir = dir;
    options.setEnv = {"SDL_AUDIODRIVER=dummy"};
    options.timeoutSeconds = timeout;
    return options;
}

// The show started afresh when the X server refused its connection (it does so now and then
// here); a watcher that already acted is not run again.
ProcessResult runShow(const std::vector<std::string> &argv, const ProcessOptions &options)
{
    ProcessResult run;
    for (int attempt = 0; attempt < 3; ++attempt) {
        run = runProcess(argv, options);
        if (run.err.find("Couldn't open X11 display") == std::string::npos)
            break;
    }
    return run;
}

std::vector<int> partChanges(const std::string &out)
{
    std::vector<int> parts;
    static const std::regex goPart("Go part (-?[0-9]+)");
    std::smatch m;
    for (const std::string &line : splitLines(out))
        if (std::regex_match(line, m, goPart))
            parts.push_back(std::stoi(m[1]));
    return parts;
}

bool isNumberLine(const std::string &line)
{
    static const std::regex number("-?[0-9]+\\.[0-9]{6}");
    return std::regex_match(line, number);
}

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

TEST(Show, PlaysEveryPartInOrderAndEndsAtTheWrap)
{
    // Orders of 0.6 s: every part is seen even when a first frame (shader, lists) takes long.
    std::string dir = prepareShow(51, 64);
    ProcessResult run = runShow({demoBinary}, showOptions(dir, 240));
    fs::remove_all(dir);
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.status, 0) << run.err;

    std::vector<std::string> lines = splitLines(run.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "Init");
    auto working = std::find(lines.begin(), lines.end(), "FMOD .. working");
    ASSERT_NE(working, lines.end());
    ASSERT_NE(working + 1, lines.end());
    EXPECT_EQ(*(working + 1), "Go part 0");

    std::vector<int> expected;
    for (int p = 0; p <= 50; ++p)
        expected.push_back(p);
    expected.push_back(0);
    EXPECT_EQ(partChanges(run.out), expected);

    // The per-frame time line belongs to the forest flight, parts 42 to 49, and to no other.
    int current = -1;
    int numberLines = 0;
    for (auto line = working + 1; line != lines.end(); ++line) {
        if (line->rfind("Go part ", 0) == 0) {
            current = std::stoi(line->substr(8));
            continue;
        }
        ASSERT_TRUE(isNumberLine(*line)) << *line;
        EXPECT_TRUE(current >= 42 && current <= 49) << "time line in part " << current;
        ++numberLines;
    }
    EXPECT_GT(numberLines, 8);
}

TEST(Show, KeyPressEndsTheShowButMouseMotionDoesNot)
{
    std::string dir = prepareShow(51, 256);
    ProcessOptions options = showOptions(dir, 120);
    auto started = std::chrono::steady_clock::now();
    int phase = 0;
    bool survivedMouse = false;
    options.whileRunning = [&](const std::string &out) {
        if (phase == 0 && out.find("Go part 0") != std::string::npos) {
            runShell("xdotool mousemove 10 10 sleep 0.2 mousemove 400 300 sleep 0.2 mousemove 700 500 "
                     "click 1 >/dev/null 2>&1");
            started = std::chrono::steady_clock::now();
            phase = 1;
        } else if (phase == 1 && secondsSince(started) > 1.5) {
            survivedMouse = true; // still called, so the child is still running
            runShell("xdotool key space >/dev/null 2>&1");
            started = std::chrono::steady_clock::now();
            phase = 2;
        }
        return phase < 2;
    };
    // Line-buffered, so that the first part change is seen while the show runs.
    ProcessResult run = runShow({"stdbuf", "-oL", demoBinary}, options);
    fs::remove_all(dir);
    ASSERT_FALSE(run.timedOut);
    EXPECT_TRUE(survivedMouse);
    EXPECT_EQ(run.status, 0) << run.err;
    // It ended at the key, long before the module's end.
    std::vector<int> parts = partChanges(run.out);
    ASSERT_FALSE(parts.empty());
    EXPECT_LT(parts.back(), 50);
    EXPECT_LT(secondsSince(started), 10);
}

TEST(Show, ModuleFailuresReportTheFmodCodeAndExitWithMinusOne)
{
    struct Case {
        const char *what;
        std::function<void(const std::string &)> damage;
        std::string line;
    };
    const std::string module = "/data/music/vrimla2.xm";
    const std::vector<Case> cases = {
        {"missing", [&](const std::string &d) { fs::remove(d + module); },
         "FMOD error! (23) File not found. "},
        {"not a module", [&](const std::string &d) { writeWholeFile(d + module, std::string(3000, 'x')); },
         "FMOD error! (25) Unsupported file or audio format. "},
        {"unreadable", [&](const std::string &d) { fs::remove(d + module); fs::create_directory(d + module); },
         "FMOD error! (19) Error loading file. "},
    };
    for (const Case &c : cases) {
        std::string dir = prepareShow(2, 4);
        c.damage(dir);
        ProcessResult run = runShow({demoBinary}, showOptions(dir, 60));
        fs::remove_all(dir);
        EXPECT_EQ(run.status, 255) << c.what << ": " << run.err;
        std::vector<std::string> lines = splitLines(run.out);
        ASSERT_GE(lines.size(), 2u) << c.what;
        EXPECT_EQ(lines[lines.size() - 2], "FMOD .. working") << c.what;
        EXPECT_EQ(lines.back(), c.line) << c.what;
        EXPECT_EQ(run.out.back(), '\n') << c.what;
    }
}

TEST(Show, WithoutADisplayItFailsWithADisplayMessage)
{
    std::string dir = prepareShow(2, 4);
    ProcessOptions options = showOptions(dir, 60);
    options.unsetEnv = {"DISPLAY"};
    ProcessResult run = runProcess({demoBinary}, options);
    fs::remove_all(dir);
    EXPECT_EQ(run.status, 1);
    static const std::regex message(
        "(Video initialization failed|Video query failed|Video mode set failed): .*\n");
    EXPECT_TRUE(std::regex_match(run.err, message)) << run.err;
    EXPECT_EQ(run.out.find("FMOD"), std::string::npos);
}

TEST(Show, FromTheRepositoryRootItReadsEveryMeshFileAndPlaysOn)
{
    ProcessOptions options = showOptions(SHOW_SOURCE_DIR, 120);
    auto started = std::chrono::steady_clock::now();
    bool playing = false;
    options.whileRunning = [&](const std::string &out) {
        if (!playing && out.find("Go part 0") != std::string::npos) {
            playing = true;
            started = std::chrono::steady_clock::now();
        }
        if (playing && secondsSince(started) > 2) {
            runShell("xdotool key Escape >/dev/null 2>&1");
            return false;
        }
        return true;
    };
    ProcessResult run = runShow({"stdbuf", "-oL", demoBinary}, options);
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.status, 0) << run.err;
    std::vector<std::string> lines = splitLines(run.out);
    auto at = [&](const std::string &line) {
        return std::find(lines.begin(), lines.end(), line) - lines.begin();
    };
    size_t credits = at("File data\\meshes\\CREDITS1.ASC opened ok");
    size_t lumir = at("File data\\meshes\\LUMIR3D2.ASC opened ok");
    size_t tree = at("File data\\meshes\\TREE.ASC opened ok");
    size_t working = at("FMOD .. working");
    ASSERT_LT(tree, lines.size());
    EXPECT_LT(credits, lumir);
    EXPECT_LT(lumir, tree);
    EXPECT_LT(tree, working);
    // Each file's vertices are traced between its own line and the next file's.
    EXPECT_TRUE(lines[credits + 1].rfind("vertnum: ", 0) == 0 || lines[credits + 1].rfind("tempface ", 0) == 0);
    EXPECT_TRUE(lines[tree + 1].rfind("vertnum: ", 0) == 0 || lines[tree + 1].rfind("tempface ", 0) == 0);
    EXPECT_EQ(lines[working + 1], "Go part 0");
}
