// genfont: writes data/images/f1.fnt, the raw 256 x 16-byte glyph table, from glyphs.txt.
// Usage: genfont <output folder> [glyph source]
#include "glyphsource.h"

#include <cstdio>
#include <string>

#ifndef GENFONT_GLYPH_SOURCE
#define GENFONT_GLYPH_SOURCE "glyphs.txt"
#endif

int main(int argc, char **argv)
{
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: genfont <output folder> [glyph source]\n");
        return 2;
    }
    std::string source = argc == 3 ? argv[2] : GENFONT_GLYPH_SOURCE;
    GlyphFont font;
    std::string error;
    if (!readGlyphFile(source, font, error)) {
        std::fprintf(stderr, "genfont: %s\n", error.c_str());
        return 1;
    }
    std::string path = std::string(argv[1]) + "/f1.fnt";
    FILE *out = std::fopen(path.c_str(), "wb");
    if (!out || std::fwrite(font.rows, 1, FontBytes, out) != size_t(FontBytes) || std::fclose(out) != 0) {
        std::fprintf(stderr, "genfont: cannot write %s\n", path.c_str());
        return 1;
    }
    return 0;
}
