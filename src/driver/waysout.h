// How the process ends whatever it is doing: SIGTERM, SIGINT and SIGHUP, a lost X display, and a
// deadline on the exit itself, so that no wait inside a library can keep the show alive.
#pragma once

// Called first thing in main, before SDL or any thread exists. The three signals are blocked in
// every thread and taken by a watcher thread: during start-up they end the process at once with
// status 0 (while the display is being set up, as soon as that is done); once the frame loop runs
// they are a quit request. A signal the process was started with ignored (nohup, a background
// job) stays ignored. A broken X connection ends the process with status 1 and one line on
// standard error, without the at-exit SDL_Quit.
void startWatchingWaysOut();
// The frame loop begins: from now on a signal asks the loop to end.
void beginFrameLoop();
// Whether a signal asked the frame loop to end.
bool isQuitSignalled();
// main is about to exit with status: should exit's own work (SDL_Quit at exit) hang, the process
// still ends with that status a moment later.
void limitTimeToExit(int status);
