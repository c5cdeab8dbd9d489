#include "support/desktop.h"

// Before Xlib, whose macros (None, Bool) would break it.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <thread>

#include "media/display.h"
#include "support/process.h"

namespace fs = std::filesystem;

namespace {

std::string readCommandOutput(const std::string &command)
{
    std::string text;
    if (FILE *pipe = popen(command.c_str(), "r")) {
        char block[4096];
        size_t got;
        while ((got = fread(block, 1, sizeof block, pipe)) > 0)
            text.append(block, got);
        pclose(pipe);
    }
    return text;
}

// Waits for a child to end, at most the given time; true when it did.
bool waitForChild(int pid, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (waitpid(pid, nullptr, WNOHANG) == pid)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

bool isTopRowLit(Display *display)
{
    const int screen = DefaultScreen(display);
    XImage *row = XGetImage(display, RootWindow(display, screen), 0, 0, unsigned(DisplayWidth(display, screen)), 1,
                            AllPlanes, ZPixmap);
    bool lit = false;
    for (int x = 0; row && x < row->width && !lit; ++x)
        lit = XGetPixel(row, x, 0) != 0;
    if (row)
        XDestroyImage(row);
    return lit;
}

// One try; failure says what did not happen, with the end of weston's log.
WaylandDesktop tryWaylandDesktop(int width, int height)
{
    WaylandDesktop desktop;
    desktop.outer = startPrivateXServer(std::to_string(width) + "x" + std::to_string(height) + "x24");
    if (desktop.outer.pid < 0) {
        desktop.failure = "Xvfb did not start";
        return desktop;
    }
    char scratch[] = "/tmp/show-wayland-XXXXXX";
    desktop.runtimeDir = mkdtemp(scratch);
    desktop.socket = "wayland-show";
    const std::string log = desktop.runtimeDir + "/weston.log";
    const std::vector<std::string> args = {
        "weston", "--backend=x11-backend.so", "--xwayland", "--no-config", "--idle-time=0",
        "--width=" + std::to_string(width), "--height=" + std::to_string(height),
        "--socket=" + desktop.socket, "--log=" + log,
    };
    std::vector<char *> argv;
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        setenv("DISPLAY", desktop.outer.display.c_str(), 1);
        setenv("XDG_RUNTIME_DIR", desktop.runtimeDir.c_str(), 1);
        unsetenv("WAYLAND_DISPLAY");
        const int none = open("/dev/null", O_RDWR);
        dup2(none, 0);
        dup2(none, 1);
        dup2(none, 2);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    desktop.westonPid = pid;
    // weston names Xwayland's display once it listens for X programs; Xwayland itself starts
    // with the first of them.
    static const std::regex listening("xserver listening on display (:[0-9]+)");
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    std::smatch m;
    while (desktop.xwayland.empty() && std::chrono::steady_clock::now() < end) {
        const std::string text = readWholeFile(log);
        if (std::regex_search(text, m, listening))
            desktop.xwayland = m[1];
        else if (waitpid(pid, nullptr, WNOHANG) == pid)
            break;
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    Display *first = nullptr;
    while (!desktop.xwayland.empty() && !first && std::chrono::steady_clock::now() < end)
        first = openDisplayRetrying(desktop.xwayland);
    // Ready once weston manages Xwayland's windows (it starts to as Xwayland starts, after
    // Xwayland takes clients) and its shell has drawn the panel along the top.
    Display *outer = first ? openDisplayRetrying(desktop.outer.display) : nullptr;
    bool managed = false, drawn = false;
    while (outer && !(managed && drawn) && std::chrono::steady_clock::now() < end) {
        managed = hasWindowManager(first);
        drawn = isTopRowLit(outer);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    closeDisplay(outer);
    closeDisplay(first);
    if (desktop.xwayland.empty())
        desktop.failure = "weston did not listen for X programs";
    else if (!first || !outer)
        desktop.failure = "no connection to Xwayland " + desktop.xwayland + " or to the outer X server";
    else if (!managed || !drawn)
        desktop.failure = std::string(managed ? "" : "no window manager on Xwayland; ") + (drawn ? "" : "no panel");
    if (!desktop.failure.empty()) {
        const std::string text = readWholeFile(log);
        desktop.failure += "\nweston's log ends:\n" + text.substr(text.size() > 2000 ? text.size() - 2000 : 0);
    }
    return desktop;
}

} // namespace

WaylandDesktop startWaylandDesktop(int width, int height)
{
    // Now and then a fresh server here does not come up; a second try does.
    WaylandDesktop desktop = tryWaylandDesktop(width, height);
    if (!desktop.failure.empty()) {
        const std::string first = desktop.failure;
        stopWaylandDesktop(desktop);
        desktop = tryWaylandDesktop(width, height);
        if (!desktop.failure.empty())
            desktop.failure = "first try: " + first + "\nsecond try: " + desktop.failure;
    }
    return desktop;
}

void stopWaylandDesktop(WaylandDesktop &desktop)
{
    // weston, Xwayland and the shell's clients share weston's process group.
    if (desktop.westonPid > 0) {
        kill(-desktop.westonPid, SIGTERM);
        if (!waitForChild(desktop.westonPid, std::chrono::seconds(5))) {
            kill(-desktop.westonPid, SIGKILL);
            waitpid(desktop.westonPid, nullptr, 0);
        }
        kill(-desktop.westonPid, SIGKILL);
    }
    desktop.westonPid = -1;
    stopPrivateXServer(desktop.outer);
    if (!desktop.runtimeDir.empty())
        fs::remove_all(desktop.runtimeDir);
}

std::vector<std::string> waylandSessionEnv(const WaylandDesktop &desktop)
{
    return {"DISPLAY=" + desktop.xwayland, "XDG_RUNTIME_DIR=" + desktop.runtimeDir,
            "WAYLAND_DISPLAY=" + desktop.socket};
}

Picture takeScreenshot(Display *display)
{
    Picture shot;
    const int screen = DefaultScreen(display);
    const int width = DisplayWidth(display, screen), height = DisplayHeight(display, screen);
    XImage *image = XGetImage(display, RootWindow(display, screen), 0, 0, unsigned(width), unsigned(height),
                              AllPlanes, ZPixmap);
    if (!image)
        return shot;
    auto channel = [](unsigned long pixel, unsigned long mask) {
        int shift = 0;
        while (mask && !(mask & 1)) {
            mask >>= 1;
            ++shift;
        }
        return uint8_t(mask ? ((pixel >> shift) & mask) * 255 / mask : 0);
    };
    shot.width = width;
    shot.height = height;
    shot.rgba.resize(size_t(width) * size_t(height) * 4);
    uint8_t *out = shot.rgba.data();
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const unsigned long pixel = XGetPixel(image, x, y);
            *out++ = channel(pixel, image->red_mask);
            *out++ = channel(pixel, image->green_mask);
            *out++ = channel(pixel, image->blue_mask);
            *out++ = 255;
        }
    XDestroyImage(image);
    return shot;
}

PixelBox findLitBox(const Picture &shot, int fromRow)
{
    int left = shot.width, right = -1, top = shot.height, bottom = -1;
    for (int y = fromRow; y < shot.height; ++y) {
        const uint8_t *row = shot.rgba.data() + size_t(y) * size_t(shot.width) * 4;
        for (int x = 0; x < shot.width; ++x)
            if (row[4 * x] | row[4 * x + 1] | row[4 * x + 2]) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = y;
            }
    }
    if (right < 0)
        return {};
    return {left, top, right - left + 1, bottom - top + 1};
}

std::string describeBox(const PixelBox &box)
{
    return std::to_string(box.width) + "x" + std::to_string(box.height) + "+" + std::to_string(box.x) + "+" +
           std::to_string(box.y);
}

DesktopState readDesktopState(Display *display, const std::string &name)
{
    DesktopState state{};
    state.modes = readCommandOutput("xrandr --current -display " + name + " 2>&1");
    Window focus = None;
    XGetInputFocus(display, &focus, &state.revertTo);
    state.focus = focus;
    const Window root = DefaultRootWindow(display);
    state.pointerFree =
        XGrabPointer(display, root, False, 0, GrabModeAsync, GrabModeAsync, None, None, CurrentTime) == GrabSuccess;
    state.keyboardFree = XGrabKeyboard(display, root, False, GrabModeAsync, GrabModeAsync, CurrentTime) == GrabSuccess;
    XUngrabPointer(display, CurrentTime);
    XUngrabKeyboard(display, CurrentTime);
    XSync(display, False);
    return state;
}

void expectDesktopAsFound(const DesktopState &before, const DesktopState &after, bool focusToo)
{
    EXPECT_FALSE(before.modes.empty());
    EXPECT_EQ(after.modes, before.modes) << "screen mode changed";
    if (focusToo) {
        EXPECT_EQ(after.focus, before.focus) << "keyboard focus changed (1 is PointerRoot, 0 none)";
        // Where the focus reverts to matters only while a window has it.
        EXPECT_TRUE(before.focus <= PointerRoot || after.revertTo == before.revertTo) << "focus reverts elsewhere";
    }
    EXPECT_TRUE(after.pointerFree) << "pointer still grabbed";
    EXPECT_TRUE(after.keyboardFree) << "keyboard still grabbed";
}

void grabServer(Display *display, bool held)
{
    if (held)
        XGrabServer(display);
    else
        XUngrabServer(display);
    XSync(display, False);
}

void closeDisplay(Display *display)
{
    if (display)
        XCloseDisplay(display);
}

bool hasViewableWindow(Display *display)
{
    Window root, parent, *children = nullptr;
    unsigned count = 0;
    bool viewable = false;
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count))
        return false;
    // A window may go between the listing and the look at it.
    int (*previous)(Display *, XErrorEvent *) = XSetErrorHandler([](Display *, XErrorEvent *) { return 0; });
    for (unsigned i = 0; i < count && !viewable; ++i) {
        XWindowAttributes attributes;
        viewable = XGetWindowAttributes(display, children[i], &attributes) && attributes.map_state == IsViewable;
    }
    XSync(display, False);
    XSetErrorHandler(previous);
    if (children)
        XFree(children);
    return viewable;
}

bool mapsSdl2(int pid)
{
    return readWholeFile("/proc/" + std::to_string(pid) + "/maps").find("/libSDL2-2.0.so") != std::string::npos;
}

std::string sdl12CompatFolder()
{
    std::string multiarch = readCommandOutput("gcc -print-multiarch");
    while (!multiarch.empty() && isspace(static_cast<unsigned char>(multiarch.back())))
        multiarch.pop_back();
    const std::string folder = "/usr/lib/" + multiarch + "/sdl12-compat";
    return !multiarch.empty() && fs::is_directory(folder) ? folder : "";
}
