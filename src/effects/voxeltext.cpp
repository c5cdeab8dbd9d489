#include "effects/voxeltext.h"

#include <cstring>

#include "effects/celshading.h"
#include "effects/meshscenes.h"

GLuint cubeList = 0;

const char *const titleText = "gRUNKA  pELDO";
const char *const scrollerText = "we are the original mega scene group and the demo scene sucks "
                                 "unless we are back. Greetz greetz greetz greetz greetz";

bool voxelImmediateMode = false;

namespace {


// Corner n of the unit cube is ((n >> 2) & 1, (n >> 1) & 1, n & 1).
struct CubeTriangle {
    int corners[3];
    float normal[3];
};

const CubeTriangle cubeTriangles[12] = {
    {{0, 1, 4}, {0.0f, -1.0f, 0.0f}}, {{0, 2, 3}, {-1.0f, 0.0f, 0.0f}},
    {{0, 4, 2}, {0.0f, 0.0f, -1.0f}}, {{0, 3, 1}, {-1.0f, 0.0f, 0.0f}},
    {{1, 3, 5}, {0.0f, 0.0f, 1.0f}},  {{1, 5, 4}, {0.0f, -1.0f, 0.0f}},
    {{2, 4, 6}, {0.0f, 0.0f, -1.0f}}, {{2, 6, 3}, {0.0f, 1.0f, 0.0f}},
    {{3, 6, 7}, {0.0f, 1.0f, 0.0f}},  {{3, 7, 5}, {0.0f, 0.0f, 1.0f}},
    {{4, 5, 7}, {1.0f, 0.0f, 0.0f}},  {{4, 7, 6}, {1.0f, 0.0f, 0.0f}},
};

void compileUnitCube()
{
    if (cubeList != 0)
        return;
    cubeList = glGenLists(1);
    glNewList(cubeList, GL_COMPILE);
    glBegin(GL_TRIANGLES);
    for (const CubeTriangle &triangle : cubeTriangles) {
        glNormal3f(triangle.normal[0], triangle.normal[1], triangle.normal[2]);
        for (int n : triangle.corners)
            glVertex3f(float((n >> 2) & 1), float((n >> 1) & 1), float(n & 1));
    }
    glEnd();
    glEndList();
}

// One display list per character code, compiled on first use from the font: the very calls the
// immediate path makes for a glyph's rows, so a call draws the same pixels at less cost.
GLuint glyphLists[256];

void emitGlyphRows(unsigned c)
{
    for (int j = 0; j < 16; ++j) {
        glPushMatrix();
        glTranslatef(0.0f, float(j), 0.0f);
        const unsigned row = fontGlyphs[16 * c + 15 - j];
        for (int k = 0; k < 8; ++k) {
            if ((row >> (7 - k)) & 1u) {
                glPushMatrix();
                glTranslatef(float(k), 0.0f, 0.0f);
                glTranslatef(-0.5f, -0.5f, -0.5f);
                drawUnitCube();
                glPopMatrix();
            }
        }
        glPopMatrix();
    }
}

bool isGlyphBlank(unsigned c)
{
    for (int j = 0; j < 16; ++j)
        if (fontGlyphs[16 * c + j] != 0)
            return false;
    return true;
}

void compileGlyphList(unsigned c)
{
    if (glyphLists[c] != 0)
        return;
    compileUnitCube(); // a list that calls the cube needs its name
    glyphLists[c] = glGenLists(1);
    glNewList(glyphLists[c], GL_COMPILE);
    emitGlyphRows(c);
    glEndList();
}

void callGlyphList(unsigned c)
{
    compileGlyphList(c);
    glCallList(glyphLists[c]);
}

// Character cell i in the string's local space: the boxes of its pixels, 1/16 a side, a unit deep.
void findCellBox(size_t i, float low[3], float high[3])
{
    const float left = (9.0f * float(i) - 0.5f) * 0.0625f;
    low[0] = left;
    low[1] = -0.5f * 0.0625f;
    low[2] = -0.5f;
    high[0] = left + 8.0f * 0.0625f;
    high[1] = 15.5f * 0.0625f;
    high[2] = 0.5f;
}

bool isCellOutsideView(const ClipTransform &clip, size_t i)
{
    float low[3], high[3];
    findCellBox(i, low, high);
    return isBoxOutsideView(clip, low, high);
}

void prepareTextState(float red, float green, float blue)
{
    glClear(GL_DEPTH_BUFFER_BIT);
    setupSceneLighting();
    glEnable(GL_LIGHTING);
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
    glColor4f(red, green, blue, 1.0f);
}

} // namespace

void compileGlyphLists()
{
    compileUnitCube();
    for (unsigned c = 0; c < 256; ++c)
        if (!isGlyphBlank(c))
            compileGlyphList(c);
}

void forgetCompiledGlyphs()
{
    for (GLuint &list : glyphLists) {
        if (list != 0)
            glDeleteLists(list, 1);
        list = 0;
    }
}

void drawUnitCube()
{
    compileUnitCube();
    glCallList(cubeList);
}

void drawVoxelString(const char *text)
{
    const size_t n = strlen(text);
    glDisable(GL_CULL_FACE);
    if (n == 0)
        return;
    ClipTransform clip;
    if (!voxelImmediateMode)
        readClipTransform(&clip);
    bool cubeSkipped = false, cubeDrawn = false;
    for (size_t i = 0; i < n; ++i) {
        const unsigned c = static_cast<unsigned char>(text[i]);
        if (!voxelImmediateMode) {
            // A blank glyph draws nothing; a cell out of sight draws no pixel.
            if (isGlyphBlank(c))
                continue;
            if (isCellOutsideView(clip, i)) {
                cubeSkipped = true;
                continue;
            }
            cubeDrawn = true;
        }
        glPushMatrix();
        glScalef(0.0625f, 0.0625f, 1.0f);
        glTranslatef(float(9 * i), 0.0f, 0.0f);
        if (voxelImmediateMode)
            emitGlyphRows(c);
        else
            callGlyphList(c);
        glPopMatrix();
    }
    // Every cube ends on the normal of its x = 1 face; leave it current as the cubes would have.
    if (cubeSkipped && !cubeDrawn)
        glNormal3f(1.0f, 0.0f, 0.0f);
}

namespace {

// Only the product is rounded to single precision before the rest is added in double precision;
// rounding the sum too would move whole cube edges by a pixel in some frames.
float slideOffsetX(float t, float unitsPerSecond)
{
    const float product = float(double(t) * unitsPerSecond * 0.0625);
    return float(2.0 - (double(product) + 0.5));
}

// Both texts slide at this height and depth; the scroller stands further off by its shift.
const float slideY = -0.5f, slideZ = -2.0f;
const float scrollerShift[3] = {3.0f, 0.0f, -3.0f};

// The box from the first cell's low corner to the last cell's high one, moved to the string's origin.
TextBox findStringBox(const char *text, float x, float y, float z)
{
    TextBox box;
    float unused[3];
    findCellBox(0, box.low, unused);
    findCellBox(strlen(text) - 1, unused, box.high);
    const float origin[3] = {x, y, z};
    for (int axis = 0; axis < 3; ++axis) {
        box.low[axis] += origin[axis];
        box.high[axis] += origin[axis];
    }
    return box;
}

} // namespace

float titleOffsetX(float t)
{
    return slideOffsetX(t, 11.0f);
}

float scrollerOffsetX(float t)
{
    return slideOffsetX(t, 22.0f);
}

TextBox titleBoxAt(float t)
{
    return findStringBox(titleText, titleOffsetX(t), slideY, slideZ);
}

TextBox scrollerBoxAt(float t)
{
    return findStringBox(scrollerText, scrollerShift[0] + scrollerOffsetX(t), scrollerShift[1] + slideY,
                         scrollerShift[2] + slideZ);
}

void drawTitleText(float t)
{
    prepareTextState(0.2f, 0.4f, 1.0f);
    glTranslatef(titleOffsetX(t), slideY, slideZ);
    drawVoxelString(titleText);
}

void drawScrollerText(float t)
{
    prepareTextState(0.2f, 0.4f, 1.0f);
    glTranslatef(scrollerShift[0], scrollerShift[1], scrollerShift[2]);
    glTranslatef(scrollerOffsetX(t), slideY, slideZ);
    drawVoxelString(scrollerText);
}

void drawCreditWord(const char *word, float t)
{
    prepareTextState(0.8f, 0.8f, 0.2f);
    const double n = double(strlen(word));
    glTranslatef(float(0.005 - n * 0.25), -0.505f, -2.0f * t);
    drawVoxelString(word);
}
