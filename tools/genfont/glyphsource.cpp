#include "glyphsource.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

bool isPixelRow(const std::string &line)
{
    return line.size() == 8 && line.find_first_not_of("#.") == std::string::npos;
}

// Comments start with '#'; a pixel row also may, so a row outside a glyph is never one.
bool isBlankOrComment(const std::string &line)
{
    size_t first = line.find_first_not_of(" \t\r");
    return first == std::string::npos || (line[first] == '#' && !isPixelRow(line));
}

std::string lineError(int lineNumber, const std::string &what)
{
    return "glyph source line " + std::to_string(lineNumber) + ": " + what;
}

} // namespace

bool parseGlyphText(const std::string &text, GlyphFont &font, std::string &error)
{
    std::memset(font.rows, 0, sizeof font.rows);
    bool seen[GlyphCount] = {};
    std::istringstream in(text);
    std::string line;
    int lineNumber = 0;
    int code = -1;
    int rowsRead = GlyphRows;
    while (std::getline(in, line)) {
        ++lineNumber;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (rowsRead < GlyphRows) {
            // Inside a glyph every line is a pixel row: '#' set, '.' clear.
            if (!isPixelRow(line)) {
                error = lineError(lineNumber, "expected a row of 8 '#' or '.'");
                return false;
            }
            uint8_t bits = 0;
            for (int k = 0; k < 8; ++k)
                if (line[k] == '#')
                    bits |= uint8_t(0x80 >> k);
            font.rows[code * GlyphRows + rowsRead] = bits;
            ++rowsRead;
            continue;
        }
        if (isBlankOrComment(line))
            continue;
        if (isPixelRow(line)) {
            error = lineError(lineNumber, "pixel row outside a glyph (a glyph has 16 rows)");
            return false;
        }
        if (line.compare(0, 6, "glyph ") != 0) {
            error = lineError(lineNumber, "expected \"glyph N\"");
            return false;
        }
        char *end = nullptr;
        long value = std::strtol(line.c_str() + 6, &end, 0);
        if (end == line.c_str() + 6 || value < 0 || value >= GlyphCount) {
            error = lineError(lineNumber, "glyph code must be 0 to 255");
            return false;
        }
        if (seen[value]) {
            error = lineError(lineNumber, "glyph " + std::to_string(value) + " given twice");
            return false;
        }
        seen[value] = true;
        code = int(value);
        rowsRead = 0;
    }
    if (rowsRead < GlyphRows) {
        error = "glyph source ends inside glyph " + std::to_string(code);
        return false;
    }
    return true;
}

bool readGlyphFile(const std::string &path, GlyphFont &font, std::string &error)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot open glyph source " + path;
        return false;
    }
    std::ostringstream text;
    text << file.rdbuf();
    return parseGlyphText(text.str(), font, error);
}

bool isGlyphPixelSet(const GlyphFont &font, int code, int column, int row)
{
    if (code < 0 || code >= GlyphCount || column < 0 || column >= 8 || row < 0 || row >= GlyphRows)
        return false;
    return (font.rows[code * GlyphRows + row] >> (7 - column)) & 1;
}
