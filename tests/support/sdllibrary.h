// Which SDL 1.2 a test run means to use. The end-to-end and audio tests run once on the classic
// library and once on sdl12-compat (the SDL 1.2 interface on SDL2), which Debian 12 installs in a
// folder of its own; for that run CTest puts the folder on the library path.
#pragma once
#include <string>

// "sdl12-compat" when LD_LIBRARY_PATH names a folder called sdl12-compat, else "classic".
std::string intendedSdlLibrary();
// Fails the test unless the process has mapped that library (and SDL2 exactly when it is sdl12-compat).
void expectIntendedSdlLoaded(int pid);
