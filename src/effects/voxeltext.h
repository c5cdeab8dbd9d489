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

// False (the default): each string is compiled once into a display list of the calls that draw it,
// which gives the same pixels as making them anew. True: every call makes them in immediate mode.
extern bool voxelImmediateMode;
// Deletes the compiled strings, so that a changed font is compiled again.
void forgetCompiledStrings();
