// The real show, started as a viewer would start it, under Xvfb with SDL's silent audio driver.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <numeric>
#include <regex>

#include "support/process.h"
#include "support/sdllibrary.h"
#include "support/xserver.h"
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

// One line per way out for the measurements, found in the test's output.
void reportWayOut(const std::string &name, int status, double seconds, const std::string &where)
{
    printf("way out | %s | %s | status %d | %.2f s | %s\n", intendedSdlLibrary().c_str(), name.c_str(), status,
           seconds, where.c_str());
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

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

TEST(Show, PlaysEveryPartInOrderAndEndsAtTheWrap)
{
    std::string dir = prepareShow(51, 64); // orders of 0.6 s: every part is seen despite a slow first frame
    ProcessOptions options = showOptions(dir, 240);
    auto wrapped = std::chrono::steady_clock::now();
    bool wrapSeen = false;
    options.whileRunning = [&](const std::string &out, int) {
        const size_t first = out.find("Go part 0\n");
        if (first == std::string::npos || out.find("Go part 0\n", first + 1) == std::string::npos)
            return true;
        wrapped = std::chrono::steady_clock::now();
        wrapSeen = true;
        return false;
    };
    ProcessResult run = runDisplayProcess({"stdbuf", "-oL", demoBinary}, options);
    // Unseen while it ran, the wrap came less than one 20 ms look before the end.
    const double ending = wrapSeen ? secondsSince(wrapped) : 0.02;
    fs::remove_all(dir);
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.status, 0) << run.err;
    reportWayOut("end of show", run.status, ending, "mid-show");
    EXPECT_LT(ending, 3.0);

    EXPECT_EQ(run.out.rfind("Init\n", 0), 0u);
    EXPECT_NE(run.out.find("\nFMOD .. working\nGo part 0\n"), std::string::npos);
    std::vector<int> expected(51);
    std::iota(expected.begin(), expected.end(), 0);
    expected.push_back(0);
    EXPECT_EQ(partChanges(run.out), expected);
}

// Every other way out, each on an X server of its own, taken once a line has been printed and a
// moment has passed: the process ends with its status within a few seconds (two are the aim).
TEST(Show, EveryWayOutEndsTheProcessWithItsStatusInTime)
{
    struct WayOut {
        std::string name;
        std::string after; // taken once this is printed
        double delay;      // and so many seconds more have passed
        std::function<void(int pid, PrivateXServer &server)> take;
        int status;
        bool holdGrab = false;
    };
    auto xdotool = [](const PrivateXServer &server, const std::string &args) {
        runShell("DISPLAY=" + server.display + " xdotool " + args + " >/dev/null 2>&1");
    };
    auto sendSignal = [](int number) { return [number](int pid, PrivateXServer &) { kill(pid, number); }; };
    const std::string loop = "Go part 0\n", startUp = "Init\n";
    std::vector<WayOut> ways = {
        // Mouse motion and a click first: the show must still be running 1.5 s later for the key.
        {"key (mouse motion and click before it ignored)", loop, 1.5,
         [&](int, PrivateXServer &server) { xdotool(server, "key space"); }, 0},
        {"window close request", loop, 0.5,
         [](int, PrivateXServer &server) { EXPECT_GE(requestWindowClose(server.display), 1); }, 0},
        {"X server killed", loop, 0.5, [](int, PrivateXServer &server) { kill(server.pid, SIGKILL); }, 1},
        // Another client holds the pointer grab that the fullscreen mode asks for.
        {"SIGTERM, pointer grab held elsewhere", "TREE.ASC opened ok\n", 1.0, sendSignal(SIGTERM), 0, true},
    };
    for (int number : {SIGTERM, SIGINT, SIGHUP}) {
        const std::string name = std::string("SIG") + sigabbrev_np(number);
        ways.push_back({name + " mid-show", loop, 0.3, sendSignal(number), 0});
        ways.push_back({name + " in start-up", startUp, 0, sendSignal(number), 0});
    }
    for (const WayOut &way : ways) {
        SCOPED_TRACE(way.name);
        ProcessResult run{};
        bool taken = false;
        double seconds = 0;
        for (int attempt = 0; attempt < 3; ++attempt) {
            PrivateXServer server = startPrivateXServer();
            ASSERT_GE(server.pid, 0) << "Xvfb did not start";
            void *grab = way.holdGrab ? holdPointerGrab(server.display) : nullptr;
            EXPECT_TRUE(grab || !way.holdGrab);
            std::string dir = prepareShow(51, 256);
            ProcessOptions options = showOptions(dir, 60);
            options.setEnv.push_back("DISPLAY=" + server.display);
            auto seen = std::chrono::steady_clock::now(), at = seen;
            bool isSeen = false;
            taken = false;
            options.whileRunning = [&](const std::string &out, int pid) {
                if (!isSeen && out.find(way.after) != std::string::npos) {
                    isSeen = true;
                    seen = std::chrono::steady_clock::now();
                    if (way.after == loop)
                        xdotool(server, "mousemove 10 10 sleep 0.1 mousemove 400 300 click 1");
                }
                if (!isSeen || secondsSince(seen) < way.delay)
                    return true;
                expectIntendedSdlLoaded(pid);
                at = std::chrono::steady_clock::now();
                way.take(pid, server);
                taken = true;
                return false;
            };
            run = runProcess({"stdbuf", "-oL", demoBinary}, options);
            seconds = secondsSince(at);
            releasePointerGrab(grab);
            stopPrivateXServer(server);
            fs::remove_all(dir);
            if (taken || !wasDisplayRefused(run))
                break;
        }
        ASSERT_TRUE(taken) << "ended before the way out was taken: " << run.status << " " << run.err;
        EXPECT_FALSE(run.timedOut);
        EXPECT_EQ(run.status, way.status) << run.err;
        EXPECT_LT(seconds, 3.0);
        const bool reachedLoop = run.out.find(loop) != std::string::npos;
        reportWayOut(way.name, run.status, seconds, reachedLoop ? "mid-show" : "in start-up");
        EXPECT_TRUE(way.after != startUp || !reachedLoop);
        EXPECT_TRUE(way.status != 1 || std::regex_match(run.err, std::regex("Display lost: [^\n]*\n"))) << run.err;
        // Whatever was printed reached the file whole.
        EXPECT_TRUE(run.out.empty() || run.out.back() == '\n');
    }
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
        ProcessResult run = runDisplayProcess({demoBinary}, showOptions(dir, 60));
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
    options.whileRunning = [&](const std::string &out, int pid) {
        if (!playing && out.find("Go part 0") != std::string::npos) {
            playing = true;
            started = std::chrono::steady_clock::now();
            expectIntendedSdlLoaded(pid);
        }
        if (playing && secondsSince(started) > 2) {
            runShell("xdotool key Escape >/dev/null 2>&1");
            return false;
        }
        return true;
    };
    ProcessResult run = runDisplayProcess({"stdbuf", "-oL", demoBinary}, options);
    ASSERT_FALSE(run.timedOut);
    EXPECT_TRUE(playing);
    EXPECT_EQ(run.status, 0) << run.err;
}
