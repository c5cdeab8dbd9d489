// Desktops of a test's own at any screen size, and what a viewer sees and finds on them: a bare X
// server, or weston with Xwayland drawing into one; screenshots, the box of lit pixels, the mode,
// focus and grabs.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "renderer.h"
#include "support/xserver.h"

// weston's X11 back end in an Xvfb of the same size, which gives it a keyboard and a pointer, with
// its desktop shell (panel and clock) and Xwayland for X programs.
struct WaylandDesktop {
    PrivateXServer outer;     // the X server weston draws into; screenshots and input go there
    int westonPid = -1;
    std::string failure;      // why the desktop is not ready; empty when it is
    std::string runtimeDir;   // XDG_RUNTIME_DIR
    std::string socket;       // WAYLAND_DISPLAY
    std::string xwayland;     // DISPLAY for X programs, ":N"
};

WaylandDesktop startWaylandDesktop(int width, int height);
void stopWaylandDesktop(WaylandDesktop &desktop);
// NAME=value pairs that put a program on the desktop: through Xwayland, or natively.
std::vector<std::string> waylandSessionEnv(const WaylandDesktop &desktop);

// The root window's pixels, as xwd -root takes them (opaque RGBA); empty when they cannot be read.
// writePicture (the renderer's) saves one as PNG.
Picture takeScreenshot(struct _XDisplay *display);

struct PixelBox {
    int x = 0, y = 0, width = 0, height = 0; // width 0: nothing lit
};

// The smallest box holding every pixel that is not black, looking at rows fromRow and below.
PixelBox findLitBox(const Picture &shot, int fromRow = 0);
std::string describeBox(const PixelBox &box);

// What a program can leave changed on an X server for whoever uses it next.
struct DesktopState {
    std::string modes;     // xrandr's report of the screen and its current mode
    unsigned long focus;   // keyboard focus window (1 is PointerRoot)
    int revertTo;
    bool pointerFree;      // another client can grab the pointer
    bool keyboardFree;     // and the keyboard
};

DesktopState readDesktopState(struct _XDisplay *display, const std::string &name);
// Fails the test where after differs from before; the focus only where no window manager moves it.
void expectDesktopAsFound(const DesktopState &before, const DesktopState &after, bool focusToo = true);
// XGrabServer (held) or XUngrabServer on the connection, synchronously: while it is held, every
// other client of that server waits.
void grabServer(struct _XDisplay *display, bool held);
void closeDisplay(struct _XDisplay *display);
// Whether any top-level window is viewable (a program has opened its display).
bool hasViewableWindow(struct _XDisplay *display);
// Whether the process has SDL2 mapped: sdl12-compat runs on it, the classic SDL 1.2 does not.
bool mapsSdl2(int pid);
// The folder Debian 12 keeps sdl12-compat in; empty where it is the only SDL 1.2 (Debian 13).
std::string sdl12CompatFolder();
