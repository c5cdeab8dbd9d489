#include "support/xserver.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

Display *openDisplayRetrying(const std::string &name)
{
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (Display *display = XOpenDisplay(name.c_str()))
            return display;
        usleep(100000);
    }
    return nullptr;
}

PrivateXServer startPrivateXServer(const std::string &screen)
{
    int ready[2];
    if (pipe(ready) != 0)
        return {-1, ""};
    const pid_t pid = fork();
    if (pid == 0) {
        close(ready[0]);
        setpgid(0, 0);
        const std::string fd = std::to_string(ready[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp",
               static_cast<char *>(nullptr));
        _exit(127);
    }
    close(ready[1]);
    // Xvfb writes its display number once it accepts connections.
    std::string number;
    pollfd wait = {ready[0], POLLIN, 0};
    char c;
    while (pid > 0 && poll(&wait, 1, 10000) == 1 && read(ready[0], &c, 1) == 1 && c != '\n')
        number += c;
    close(ready[0]);
    if (number.empty()) {
        PrivateXServer failed{pid, ""};
        stopPrivateXServer(failed);
        return {-1, ""};
    }
    return {pid, ":" + number};
}

void stopPrivateXServer(PrivateXServer &server)
{
    if (server.pid > 0) {
        kill(server.pid, SIGTERM);
        waitpid(server.pid, nullptr, 0);
    }
    server.pid = -1;
}

int requestWindowClose(const std::string &name)
{
    Display *display = openDisplayRetrying(name);
    if (!display)
        return 0;
    const Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
    const Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    Window root, parent, *children = nullptr;
    unsigned count = 0;
    int asked = 0;
    XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count);
    for (unsigned i = 0; i < count; ++i) {
        Atom *accepted = nullptr;
        int acceptedCount = 0;
        if (!XGetWMProtocols(display, children[i], &accepted, &acceptedCount))
            continue;
        for (int k = 0; k < acceptedCount; ++k) {
            if (accepted[k] != deleteWindow)
                continue;
            XEvent event{};
            event.xclient.type = ClientMessage;
            event.xclient.window = children[i];
            event.xclient.message_type = protocols;
            event.xclient.format = 32;
            event.xclient.data.l[0] = long(deleteWindow);
            event.xclient.data.l[1] = CurrentTime;
            XSendEvent(display, children[i], False, NoEventMask, &event);
            ++asked;
        }
        XFree(accepted);
    }
    if (children)
        XFree(children);
    XCloseDisplay(display);
    return asked;
}

void *holdPointerGrab(const std::string &name)
{
    Display *display = openDisplayRetrying(name);
    if (!display)
        return nullptr;
    Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 100, 100, 0, 0, 0);
    XSelectInput(display, window, StructureNotifyMask);
    XMapWindow(display, window);
    XEvent event;
    do
        XNextEvent(display, &event);
    while (event.type != MapNotify);
    if (XGrabPointer(display, window, True, 0, GrabModeAsync, GrabModeAsync, window, None, CurrentTime) !=
        GrabSuccess) {
        XCloseDisplay(display);
        return nullptr;
    }
    XSync(display, False);
    return display;
}

void releasePointerGrab(void *holder)
{
    if (holder)
        XCloseDisplay(static_cast<Display *>(holder));
}
