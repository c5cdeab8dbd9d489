// Reads the readable glyph source (glyphs.txt) into the raw 8x16 font layout the show loads.
#pragma once

#include <cstdint>
#include <string>

constexpr int GlyphCount = 256;
constexpr int GlyphRows = 16;
constexpr int FontBytes = GlyphCount * GlyphRows;

struct GlyphFont {
    // Glyph c is rows[16*c .. 16*c+15], top row first, bit 7 the leftmost pixel.
    uint8_t rows[FontBytes];
};

// Parses glyph text; on failure returns false and puts a one-line reason into error.
bool parseGlyphText(const std::string &text, GlyphFont &font, std::string &error);

// Reads and parses a glyph source file.
bool readGlyphFile(const std::string &path, GlyphFont &font, std::string &error);

// True when pixel (column, row) of glyph code is set; outside the cell is clear.
bool isGlyphPixelSet(const GlyphFont &font, int code, int column, int row);
