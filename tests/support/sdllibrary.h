// Which SDL 1.2 a test run means to use and which one a process really maps: the classic library,
// or sdl12-compat (SDL 1.2 on SDL2). Debian 12 has the classic one by default and sdl12-compat in a
// folder of its own that the library path selects; Debian 13 has only sdl12-compat.
#pragma once
#include <string>

// "sdl12-compat" or "classic", judged by the library file itself, not by where it lies.
std::string sdlLibraryKind(const std::string &path);
// The kind of the SDL 1.2 the loader finds with no library path set.
std::string defaultSdlLibrary();
// "sdl12-compat" when LD_LIBRARY_PATH names a folder called sdl12-compat, else the default.
std::string intendedSdlLibrary();
// Fails the test unless the process has mapped that library (and SDL2 exactly when it is sdl12-compat).
void expectIntendedSdlLoaded(int pid);
