// An X server of a test's own, to kill under the show, hold its pointer grab or ask its windows to close.
#pragma once
#include <string>

struct PrivateXServer {
    int pid;
    std::string display; // ":N"
};

// Xvfb with one screen (800x600x24 unless told) on a free display number; pid is -1 when it did
// not start.
PrivateXServer startPrivateXServer(const std::string &screen = "800x600x24");
void stopPrivateXServer(PrivateXServer &server);

// A connection to the display, tried for a while: a fresh X server here now and then refuses one.
// Null when every try failed.
struct _XDisplay *openDisplayRetrying(const std::string &name);

// WM_DELETE_WINDOW to every top-level window that accepts it; returns how many did.
int requestWindowClose(const std::string &display);

// A client of its own that maps a window and holds the pointer grab until released; null when the
// display refused it or the grab failed.
void *holdPointerGrab(const std::string &display);
void releasePointerGrab(void *holder);
