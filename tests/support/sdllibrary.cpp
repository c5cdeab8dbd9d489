#include "support/sdllibrary.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>

std::string intendedSdlLibrary()
{
    const char *path = getenv("LD_LIBRARY_PATH");
    static const std::regex compatFolder("(^|.*:)[^:]*/sdl12-compat/?(:.*|$)");
    return path && std::regex_match(path, compatFolder) ? "sdl12-compat" : "classic";
}

void expectIntendedSdlLoaded(int pid)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/maps");
    std::ostringstream text;
    text << file.rdbuf();
    const std::string maps = text.str();
    static const std::regex sdl12(" (/[^ \n]*/libSDL-1\\.2\\.so[^ \n]*)\n");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(maps, m, sdl12)) << "no SDL 1.2 mapped by " << pid;
    const bool sdl2 = maps.find("/libSDL2-2.0.so") != std::string::npos;
    const bool compat = m[1].str().find("/sdl12-compat/") != std::string::npos;
    EXPECT_EQ(compat, intendedSdlLibrary() == "sdl12-compat") << m[1];
    EXPECT_EQ(sdl2, compat);
}
