// Text as lit cubes, one per set pixel of an 8x16 bitmap font.
#pragma once
#include <GL/glew.h>
#include <cstdint>

extern uint8_t fontGlyphs[4096];
extern GLuint cubeList;

void loadFont();
void drawUnitCube();
void drawVoxelString(const char *text);
// The two sliding texts and the x of their translation at partTime t (the scroller's comes
// after its fixed (3, 0, -3) shift): where the pictures put them, for drawing and for checks.
extern const char *const titleText;
extern const char *const scrollerText;
float titleOffsetX(float t);
float scrollerOffsetX(float t);
// The eye-space box that the cells of the title or the scroller fill at partTime t (the view is
// setupSceneLighting's): where on screen the pictures put them.
struct TextBox {
    float low[3], high[3];
};
TextBox titleBoxAt(float t);
TextBox scrollerBoxAt(float t);
void drawTitleText(float t);
void drawScrollerText(float t);
void drawCreditWord(const char *word, float t);

// False (the default): each glyph is compiled once into a display list of the calls that draw its
// pixels, and characters whose cell lies wholly outside the view are not drawn; this gives the
// same pixels as making every call anew. True: every call is made in immediate mode.
extern bool voxelImmediateMode;
// The cube and every non-blank glyph of the font compiled ahead of the first frame; draws nothing.
void compileGlyphLists();
// Deletes the compiled glyphs, so that a changed font is compiled again.
void forgetCompiledGlyphs();
