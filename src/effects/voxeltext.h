// Text as lit cubes, one per set pixel of an 8x16 bitmap font.
#pragma once
#include <GL/glew.h>
#include <cstdint>

extern uint8_t fontGlyphs[4096];
extern GLuint cubeList;

void loadFont();
void drawUnitCube();
void drawVoxelString(const char *text);
void drawTitleText(float t);
void drawScrollerText(float t);
void drawCreditWord(const char *word, float t);

// False (the default): each glyph is compiled once into a display list of the calls that draw its
// pixels, and characters whose cell lies wholly outside the view are not drawn; this gives the
// same pixels as making every call anew. True: every call is made in immediate mode.
extern bool voxelImmediateMode;
// Deletes the compiled glyphs, so that a changed font is compiled again.
void forgetCompiledGlyphs();
