// The show as viewers see it on the desktops they have: bare X servers of any size without a window
// manager, and a Wayland desktop (weston, Xwayland for X programs); under the classic SDL 1.2 and
// sdl12-compat, and through the README's show command. Each case starts its own servers, looks at
// a screenshot a few seconds into the show, ends it and checks the desktop is as it was found.
#include <gtest/gtest.h>

#include <SDL/SDL.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "support/desktop.h"
#include "support/process.h"
#include "xmwriter/xmwriter.h"

namespace fs = std::filesystem;

namespace {

const std::string demoBinary = std::string(SHOW_BINARY_DIR) + "/demo";
const std::string showCommand = std::string(SHOW_SOURCE_DIR) + "/scripts/run-show.sh";
constexpr double lookAfterSeconds = 3.0; // after the first frame
// The Wayland desktop's panel (weston's is 32 rows) stays over the black above a picture that
// covers only part of the screen, where a picture scaled to the height leaves no room for it.
constexpr int panelRows = 64;

// The library this test was loaded with from the default path: the classic one unless sdl12-compat
// is the only SDL 1.2 installed (Debian 13).
bool isClassicInstalled()
{
    return SDL_Linked_Version()->patch < 50;
}

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A copy of the content tree whose part 0 lasts longer than any case here needs.
std::string prepareShow()
{
    std::string dir = makeShowDirectory();
    fs::create_directories(dir + "/data/music");
    EXPECT_TRUE(writeFileBytes(dir + "/data/music/vrimla2.xm", makeShortTestModule(2, 256, 16)));
    return dir;
}

ProcessOptions showOptions(const std::string &dir, bool compat, const std::vector<std::string> &env)
{
    ProcessOptions options;
    options.workDir = dir;
    options.setEnv = env;
    options.setEnv.push_back("SDL_AUDIODRIVER=dummy");
    options.unsetEnv = {"LD_LIBRARY_PATH"};
    if (compat && !sdl12CompatFolder().empty())
        options.setEnv.push_back("LD_LIBRARY_PATH=" + sdl12CompatFolder());
    options.timeoutSeconds = 120;
    return options;
}

// Where the 800x600 picture belongs: scaled by the largest factor the screen takes (sdl12-compat)
// or at 1:1 (the classic library), centred.
PixelBox expectedPicture(int screenWidth, int screenHeight, bool scaled)
{
    const double scale = scaled ? std::min(screenWidth / 800.0, screenHeight / 600.0) : 1.0;
    const int width = int(800 * scale + 0.5), height = int(600 * scale + 0.5);
    return {(screenWidth - width) / 2, (screenHeight - height) / 2, width, height};
}

void expectPictureAt(const PixelBox &seen, const PixelBox &expected)
{
    const std::string message = "lit box " + describeBox(seen) + ", picture belongs at " + describeBox(expected);
    EXPECT_NEAR(seen.x, expected.x, 2) << message;
    EXPECT_NEAR(seen.y, expected.y, 2) << message;
    EXPECT_NEAR(seen.width, expected.width, 2) << message;
    EXPECT_NEAR(seen.height, expected.height, 2) << message;
}

struct Look {
    ProcessResult run{};
    Picture shot;
    PixelBox box;
    bool looked = false;
    bool sdl2 = false;
    double exitSeconds = 0; // from the key press to the end
};

// Plays the show until a few seconds after its first frame, takes a screenshot of screen (the
// X server the viewer looks at), then presses a key there as the viewer would.
Look watchAndPressKey(const std::vector<std::string> &argv, ProcessOptions options, struct _XDisplay *screen,
                      const std::string &screenName, int fromRow = 0)
{
    Look look;
    const std::string xdotool = "DISPLAY=" + screenName + " xdotool ";
    bool playing = false;
    auto firstFrame = std::chrono::steady_clock::now(), pressed = firstFrame;
    options.whileRunning = [&](const std::string &out, int pid) {
        if (!playing) {
            if (out.find("Go part 0\n") == std::string::npos)
                return true;
            playing = true;
            firstFrame = std::chrono::steady_clock::now();
            look.sdl2 = mapsSdl2(pid);
        }
        if (secondsSince(firstFrame) < lookAfterSeconds)
            return true;
        look.shot = takeScreenshot(screen);
        look.box = findLitBox(look.shot, fromRow);
        look.looked = true;
        pressed = std::chrono::steady_clock::now();
        runShell(xdotool + "key space >/dev/null 2>&1");
        return false;
    };
    // weston draws its own pointer, which the show's grab holds where it was: in the middle of the
    // picture it changes nothing of the box. It follows the outer pointer once that moves.
    runShell(xdotool + "mousemove 10 10 sleep 0.1 mousemove --polar 0 0 >/dev/null 2>&1");
    look.run = runDisplayProcess(argv, options);
    look.exitSeconds = secondsSince(pressed);
    return look;
}

// One line per case for the measurements, and the screenshot beside the build's tests.
void reportLook(const std::string &name, const Look &look)
{
    const std::string folder = std::string(SHOW_BINARY_DIR) + "/tests/desktop-shots";
    fs::create_directories(folder);
    EXPECT_TRUE(!look.looked || writePicture(folder + "/" + name + ".png", look.shot));
    printf("desktop | %s | screen %dx%d | lit box %s | status %d | %.2f s after the key\n", name.c_str(),
           look.shot.width, look.shot.height, describeBox(look.box).c_str(), look.run.status, look.exitSeconds);
}

// How the show is started: on which SDL 1.2, and how.
struct ShowCase {
    std::string name;
    bool compat;              // sdl12-compat runs (the show command's choice), else the classic library
    bool showCommand = false; // the README's command, which picks its SDL 1.2 itself
    bool native = false;      // on SDL2's Wayland driver instead of Xwayland
};

void PrintTo(const ShowCase &show, std::ostream *out)
{
    *out << show.name;
}

std::string nameCase(const testing::TestParamInfo<ShowCase> &info)
{
    return info.param.name;
}

class DesktopTest : public testing::TestWithParam<ShowCase> {
protected:
    void SetUp() override
    {
        if (!GetParam().compat && !isClassicInstalled()) {
            GTEST_SKIP() << "the classic SDL 1.2 is not installed here";
        }
        if (GetParam().showCommand && fs::path(SHOW_BINARY_DIR) != fs::path(SHOW_SOURCE_DIR) / "build") {
            GTEST_SKIP() << "the show command builds and plays the repository's build/ only";
        }
    }
};

using BareDesktop = DesktopTest;
using WaylandSession = DesktopTest;

} // namespace

// A kiosk or party machine: an X server started without a window manager, at any size.
TEST_P(BareDesktop, ShowsTheWholePictureCentredAndLeavesTheDesktopAsFound)
{
    const ShowCase &library = GetParam();
    for (const auto &[width, height] : {std::pair{1920, 1080}, std::pair{2560, 1440}}) {
        const std::string size = std::to_string(width) + "x" + std::to_string(height);
        SCOPED_TRACE(size);
        PrivateXServer server = startPrivateXServer(size + "x24");
        ASSERT_GE(server.pid, 0) << "Xvfb did not start";
        // Held through the case, so that the server does not reset when the show leaves.
        struct _XDisplay *held = openDisplayRetrying(server.display);
        ASSERT_TRUE(held);
        const DesktopState before = readDesktopState(held, server.display);
        const std::string dir = prepareShow();
        const Look look = watchAndPressKey({"stdbuf", "-oL", demoBinary},
                                           showOptions(dir, library.compat, {"DISPLAY=" + server.display}), held,
                                           server.display);
        const DesktopState after = readDesktopState(held, server.display);
        fs::remove_all(dir);
        closeDisplay(held);
        stopPrivateXServer(server);
        reportLook("bare-x-" + size + "-" + library.name, look);

        ASSERT_TRUE(look.looked) << "no first frame: status " << look.run.status << " " << look.run.err;
        EXPECT_EQ(look.sdl2, library.compat) << "another SDL 1.2 than meant";
        EXPECT_FALSE(look.run.timedOut);
        EXPECT_EQ(look.run.status, 0) << look.run.err;
        expectPictureAt(look.box, expectedPicture(width, height, library.compat));
        expectDesktopAsFound(before, after);
    }
}

// The ways out that skip SDL_Quit (a signal while the display is being set up, the exit deadline's
// _exit) and the close request: the X server takes back what the show held, and what it would
// not (the screen mode, the focus) the show never leaves changed.
TEST_P(BareDesktop, EveryWayOutLeavesTheDesktopAsFound)
{
    enum class Way { closeRequest, signalOnceTheDisplayIsOpen, exitDeadline };
    const struct {
        std::string name;
        Way way;
    } ways[] = {
        {"window close request", Way::closeRequest},
        {"SIGTERM in start-up, display open", Way::signalOnceTheDisplayIsOpen},
        {"SIGTERM, frame stuck: exit deadline", Way::exitDeadline},
    };
    const ShowCase &library = GetParam();
    for (const auto &way : ways) {
        SCOPED_TRACE(way.name);
        ProcessResult run{};
        DesktopState before{}, after{};
        bool taken = false;
        double seconds = 0;
        // The start-up case needs its signal in before the first frame; a fresh Xvfb may refuse.
        for (int attempt = 0; attempt < 3; ++attempt) {
            PrivateXServer server = startPrivateXServer("1920x1080x24");
            ASSERT_GE(server.pid, 0) << "Xvfb did not start";
            struct _XDisplay *held = openDisplayRetrying(server.display);
            ASSERT_TRUE(held);
            before = readDesktopState(held, server.display);
            const std::string dir = prepareShow();
            ProcessOptions options = showOptions(dir, library.compat, {"DISPLAY=" + server.display});
            bool playing = false, serverGrabbed = false;
            auto firstFrame = std::chrono::steady_clock::now(), at = firstFrame;
            taken = false;
            options.whileRunning = [&](const std::string &out, int pid) {
                if (!playing && out.find("Go part 0\n") != std::string::npos) {
                    playing = true;
                    firstFrame = std::chrono::steady_clock::now();
                }
                if (way.way == Way::signalOnceTheDisplayIsOpen) {
                    if (playing)
                        return false; // too late
                    if (!hasViewableWindow(held))
                        return true;
                } else if (!playing || secondsSince(firstFrame) < 1.0) {
                    return true;
                }
                at = std::chrono::steady_clock::now();
                if (way.way == Way::closeRequest) {
                    EXPECT_GE(requestWindowClose(server.display), 1);
                } else {
                    // Held, the server keeps the show's next request waiting: its frame never ends.
                    if (way.way == Way::exitDeadline) {
                        grabServer(held, true);
                        serverGrabbed = true;
                    }
                    kill(pid, SIGTERM);
                }
                taken = true;
                return false;
            };
            run = runProcess({"stdbuf", "-oL", demoBinary}, options);
            seconds = secondsSince(at);
            if (serverGrabbed)
                grabServer(held, false);
            after = readDesktopState(held, server.display);
            fs::remove_all(dir);
            closeDisplay(held);
            stopPrivateXServer(server);
            const bool inStartUp = run.out.find("Go part 0\n") == std::string::npos;
            if (taken && (way.way != Way::signalOnceTheDisplayIsOpen || inStartUp))
                break;
            taken = false;
        }
        printf("way out | %s | %s | status %d | %.2f s\n", library.name.c_str(), way.name.c_str(), run.status,
               seconds);
        ASSERT_TRUE(taken) << "not taken where meant: status " << run.status << " " << run.err;
        EXPECT_FALSE(run.timedOut);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_LT(seconds, 3.0);
        EXPECT_TRUE(way.way != Way::exitDeadline || seconds > 1.4) << "ended before the deadline: no stuck frame";
        expectDesktopAsFound(before, after);
    }
}

INSTANTIATE_TEST_SUITE_P(Libraries, BareDesktop,
                         testing::Values(ShowCase{"classic", false}, ShowCase{"sdl12compat", true}), nameCase);

// A desktop session as most Linux desktops now are: the show sees Xwayland, or (sdl12-compat on
// SDL2's Wayland driver) the compositor itself. Nothing of the desktop may be drawn over or
// beside the picture, except where the classic library cannot cover it: the panel over the black.
TEST_P(WaylandSession, ShowsTheWholePictureInProportionAboveTheDesktop)
{
    const ShowCase &session = GetParam();
    WaylandDesktop desktop = startWaylandDesktop(1920, 1080);
    if (!desktop.failure.empty())
        stopWaylandDesktop(desktop);
    ASSERT_EQ(desktop.failure, "");
    struct _XDisplay *outer = openDisplayRetrying(desktop.outer.display);
    struct _XDisplay *held = openDisplayRetrying(desktop.xwayland);
    ASSERT_TRUE(outer && held);
    const DesktopState before = readDesktopState(held, desktop.xwayland);
    const std::string dir = session.showCommand ? SHOW_SOURCE_DIR : prepareShow();
    std::vector<std::string> env = waylandSessionEnv(desktop);
    if (session.native)
        env.push_back("SDL_VIDEODRIVER=wayland");
    ProcessOptions options = showOptions(dir, session.compat && !session.showCommand, env);
    if (session.showCommand)
        options.timeoutSeconds = 600; // builds first, when anything changed
    const Look look = watchAndPressKey({"stdbuf", "-oL", session.showCommand ? showCommand : demoBinary}, options,
                                       outer, desktop.outer.display, session.compat ? 0 : panelRows);
    const DesktopState after = readDesktopState(held, desktop.xwayland);
    if (!session.showCommand)
        fs::remove_all(dir);
    closeDisplay(held);
    closeDisplay(outer);
    stopWaylandDesktop(desktop);
    reportLook("wayland-1920x1080-" + session.name, look);

    ASSERT_TRUE(look.looked) << "no first frame: status " << look.run.status << " " << look.run.err;
    EXPECT_EQ(look.sdl2, session.compat) << "another SDL 1.2 than meant";
    EXPECT_FALSE(look.run.timedOut);
    EXPECT_EQ(look.run.status, 0) << look.run.err;
    expectPictureAt(look.box, expectedPicture(1920, 1080, session.compat));
    // Xwayland's window manager moves the focus as windows come and go.
    expectDesktopAsFound(before, after, false);
}

INSTANTIATE_TEST_SUITE_P(Cases, WaylandSession,
                         testing::Values(ShowCase{"classic_xwayland", false}, ShowCase{"sdl12compat_xwayland", true},
                                         ShowCase{"sdl12compat_wayland", true, false, true},
                                         ShowCase{"show_command", true, true}),
                         nameCase);
