#include "support/sdllibrary.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>

namespace {

// Its own reader: the ThreadSanitizer build of the audio tests links this file alone.
std::string readFileText(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

std::string sdlLibraryKind(const std::string &path)
{
    // sdl12-compat reads its SDL12COMPAT_* hints by name; the classic library has no such text.
    return readFileText(path).find("SDL12COMPAT_") != std::string::npos ? "sdl12-compat" : "classic";
}

std::string defaultSdlLibrary()
{
    static const std::string kind = sdlLibraryKind(SHOW_SYSTEM_SDL12);
    return kind;
}

std::string intendedSdlLibrary()
{
    const char *path = getenv("LD_LIBRARY_PATH");
    static const std::regex compatFolder("(^|.*:)[^:]*/sdl12-compat/?(:.*|$)");
    return path && std::regex_match(path, compatFolder) ? "sdl12-compat" : defaultSdlLibrary();
}

void expectIntendedSdlLoaded(int pid)
{
    const std::string maps = readFileText("/proc/" + std::to_string(pid) + "/maps");
    static const std::regex sdl12(" (/[^ \n]*/libSDL-1\\.2\\.so[^ \n]*)\n");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(maps, m, sdl12)) << "no SDL 1.2 mapped by " << pid;
    const bool sdl2 = maps.find("/libSDL2-2.0.so") != std::string::npos;
    const std::string kind = sdlLibraryKind(m[1]);
    EXPECT_EQ(kind, intendedSdlLibrary()) << m[1];
    EXPECT_EQ(sdl2, kind == "sdl12-compat") << m[1];
}
