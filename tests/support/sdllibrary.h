// Which SDL 1.2 a test run means to use: the classic library, or sdl12-compat (SDL 1.2 on SDL2) when
// CTest puts its folder on the library path.
#pragma once
#include <string>

// "sdl12-compat" when LD_LIBRARY_PATH names a folder called sdl12-compat, else "classic".
std::string intendedSdlLibrary();
// Fails the test unless the process has mapped that library (and SDL2 exactly when it is sdl12-compat).
void expectIntendedSdlLoaded(int pid);
