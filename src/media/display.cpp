#include "media/display.h"

#include <GL/glew.h>
#include <SDL/SDL_syswm.h>
#include <dlfcn.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

SDL_Surface *screenSurface = nullptr;

namespace {

std::atomic<bool> settingUpDisplay{false};

constexpr uint32_t baseModeFlags = SDL_HWSURFACE | SDL_OPENGL | SDL_ASYNCBLIT | SDL_HWPALETTE | SDL_FULLSCREEN;
constexpr uint32_t blitHwMask = 0x200; // blit_hw in the first flag word of SDL_VideoInfo

[[noreturn]] void failDisplay(const char *format)
{
    fprintf(stderr, format, SDL_GetError());
    fflush(stderr);
    SDL_Quit();
    exit(1);
}

uint32_t firstVideoInfoWord(const SDL_VideoInfo *info)
{
    uint32_t word;
    static_assert(sizeof(SDL_VideoInfo) >= sizeof word, "the bit fields lead the record");
    memcpy(&word, info, sizeof word);
    return word;
}

// sdl12-compat gives its own release as the patch level (1.2.50 and up); the classic library is 1.2.15.
bool isSdl12Compat()
{
    return SDL_Linked_Version()->patch >= 50;
}

// The screen mode is never changed: a mode set by a process outlives it when it ends without
// SDL_Quit, and Xwayland stretches an emulated 800x600 to the whole screen, out of proportion.
void chooseFullscreenHints()
{
    if (isSdl12Compat()) {
        // Fullscreen on the desktop's own mode, the picture scaled to its height with 4:3 kept.
        setenv("SDL12COMPAT_OPENGL_SCALING", "1", 1);
    } else {
        // The classic library then centres the 800x600 window in a black one that covers the screen.
        setenv("SDL_VIDEO_X11_VIDMODE", "0", 1);
        setenv("SDL_VIDEO_X11_XRANDR", "0", 1);
    }
}

int ignoreXError(Display *, XErrorEvent *)
{
    return 0;
}

// sdl12-compat asks the window manager to make its window fullscreen and from then on scales the
// picture to the whole display. With no window manager to ask, the window would stay 800x600 and
// show a corner of that, so it is given the place SDL2 takes it to have. SDL2 also focuses it
// there to revert to nothing, which would leave the keyboard dead after the show; it reverts to
// the pointer's window instead, as an X server without a manager does by itself.
void coverDisplayWithoutWindowManager()
{
    using GetWindow = void *(*)();
    using GetPair = void (*)(void *, int *, int *);
    auto getWindow = reinterpret_cast<GetWindow>(dlsym(RTLD_DEFAULT, "SDL12COMPAT_GetWindow"));
    void *sdl2 = dlopen("libSDL2-2.0.so.0", RTLD_LAZY | RTLD_NOLOAD);
    if (!getWindow || !sdl2)
        return;
    auto getPosition = reinterpret_cast<GetPair>(dlsym(sdl2, "SDL_GetWindowPosition"));
    auto getSize = reinterpret_cast<GetPair>(dlsym(sdl2, "SDL_GetWindowSize"));
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (getPosition && getSize && getWindow() && SDL_GetWMInfo(&info) == 1 && info.subsystem == SDL_SYSWM_X11 &&
        !hasWindowManager(info.info.x11.display)) {
        int x = 0, y = 0, width = 0, height = 0;
        getPosition(getWindow(), &x, &y);
        getSize(getWindow(), &width, &height);
        Display *display = info.info.x11.display;
        const Window window = info.info.x11.window;
        XMoveResizeWindow(display, window, x, y, unsigned(width), unsigned(height));
        XRaiseWindow(display, window);
        XSetInputFocus(display, window, RevertToPointerRoot, CurrentTime);
        XSync(display, False);
    }
    dlclose(sdl2);
}

} // namespace

// The same test SDL2 makes: the root names a window that names itself as the manager.
bool hasWindowManager(Display *display)
{
    const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False);
    auto readCheck = [&](Window window) {
        Window named = None;
        Atom type;
        int format;
        unsigned long count = 0, left = 0;
        unsigned char *data = nullptr;
        if (XGetWindowProperty(display, window, check, 0, 1, False, XA_WINDOW, &type, &format, &count, &left,
                               &data) == Success &&
            data && count == 1 && format == 32)
            named = *reinterpret_cast<Window *>(data);
        if (data)
            XFree(data);
        return named;
    };
    XSync(display, False);
    // A manager that has gone leaves a stale window number behind.
    int (*previous)(Display *, XErrorEvent *) = XSetErrorHandler(ignoreXError);
    const Window manager = readCheck(DefaultRootWindow(display));
    const bool found = manager != None && readCheck(manager) == manager;
    XSync(display, False);
    XSetErrorHandler(previous);
    return found;
}

uint32_t chooseVideoModeFlags(uint32_t videoInfoFlags)
{
    return baseModeFlags | ((videoInfoFlags & blitHwMask) ? SDL_HWACCEL : 0);
}

void openDisplay()
{
    chooseFullscreenHints();
    if (SDL_Init(SDL_INIT_TIMER | SDL_INIT_VIDEO) < 0)
        failDisplay("Video initialization failed: %s\n");
    const SDL_VideoInfo *info = SDL_GetVideoInfo();
    if (!info)
        failDisplay("Video query failed: %s\n");
    uint32_t flags = chooseVideoModeFlags(firstVideoInfoWord(info));
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    // The scenes test depth; swaps wait for the retrace so frames do not tear.
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    SDL_GL_SetAttribute(SDL_GL_SWAP_CONTROL, 1);
    settingUpDisplay.store(true);
    screenSurface = SDL_SetVideoMode(800, 600, 32, flags);
    if (!screenSurface)
        failDisplay("Video mode set failed: %s\n");
    if (isSdl12Compat())
        coverDisplayWithoutWindowManager();
    settingUpDisplay.store(false);
}

bool isSettingUpDisplay()
{
    return settingUpDisplay.load();
}

void readDrawnPixels(int x, int y, int width, int height, unsigned format, unsigned type, void *pixels)
{
    // Naming the back buffer while a framebuffer object is bound is an error.
    GLint framebuffer = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &framebuffer);
    if (framebuffer == 0)
        glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, width, height, format, type, pixels);
}
