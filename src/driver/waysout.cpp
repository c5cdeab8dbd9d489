#include "driver/waysout.h"

#include <X11/Xlib.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <initializer_list>
#include <thread>

#include "media/display.h"

namespace {

enum ShowPhase { startingUp, running };

std::atomic<int> showPhase{startingUp};
std::atomic<bool> quitSignalled{false};
// Steady-clock nanoseconds at which the process ends however far its exit got; 0 while none is set.
std::atomic<int64_t> exitDeadline{0};
std::atomic<int> exitStatus{0};

constexpr std::chrono::milliseconds exitGrace{1500};
constexpr std::chrono::milliseconds watchTick{50};

int64_t steadyNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void setExitDeadline(int status)
{
    int64_t none = 0;
    int64_t deadline = steadyNanoseconds() + std::chrono::nanoseconds(exitGrace).count();
    exitStatus.store(status);
    exitDeadline.compare_exchange_strong(none, deadline);
}

// What was printed still reaches its file, unless another thread is in the middle of printing.
void flushWithoutWaiting(FILE *stream)
{
    if (ftrylockfile(stream) == 0) {
        fflush_unlocked(stream);
        funlockfile(stream);
    }
}

[[noreturn]] void endAtOnce(int status)
{
    flushWithoutWaiting(stdout);
    flushWithoutWaiting(stderr);
    _exit(status);
}

void watchWaysOut(sigset_t signals)
{
    const timespec tick = {0, std::chrono::nanoseconds(watchTick).count()};
    bool endAfterDisplaySetUp = false;
    for (;;) {
        if (sigtimedwait(&signals, nullptr, &tick) > 0) {
            if (showPhase.load() == startingUp) {
                if (!isSettingUpDisplay())
                    endAtOnce(0);
                // What the display's set-up changed on the desktop is put right at its end; should
                // the set-up hang (on a pointer grab held elsewhere), the deadline ends it.
                endAfterDisplaySetUp = true;
            } else {
                quitSignalled.store(true);
            }
            // The loop ends after its frame; should that frame never end, the deadline does.
            setExitDeadline(0);
        }
        if (endAfterDisplaySetUp && !isSettingUpDisplay())
            endAtOnce(0);
        const int64_t deadline = exitDeadline.load();
        if (deadline != 0 && steadyNanoseconds() >= deadline)
            endAtOnce(exitStatus.load());
    }
}

// Xlib's own handler would call exit, whose at-exit SDL_Quit then waits on the dead connection.
int reportLostDisplay(Display *display)
{
    fprintf(stderr, "Display lost: the connection to X server %s broke\n", DisplayString(display));
    endAtOnce(1);
}

} // namespace

void startWatchingWaysOut()
{
    sigset_t signals;
    sigemptyset(&signals);
    for (int number : {SIGTERM, SIGINT, SIGHUP}) {
        struct sigaction current {};
        if (sigaction(number, nullptr, &current) == 0 && current.sa_handler != SIG_IGN)
            sigaddset(&signals, number);
    }
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::thread(watchWaysOut, signals).detach();
    XSetIOErrorHandler(reportLostDisplay);
}

void beginFrameLoop()
{
    showPhase.store(running);
}

bool isQuitSignalled()
{
    return quitSignalled.load();
}

void limitTimeToExit(int status)
{
    setExitDeadline(status);
}
