// Cel-shaded meshes: a shaded pass through the toon ramp, then back faces as thick black lines.
#pragma once
#include <GL/glew.h>

extern GLhandleARB celProgram;
extern float celColor[4];
extern float celLightPosition[4];

// The whole file as a NUL-terminated text, or nullptr for no path, an unopenable or empty file.
char *readTextFile(const char *path);
void setUniform(GLint location, int kind, const float *values);
GLhandleARB buildCelProgram();
void makeToonRamp();
void initCelShading();
void drawCelMesh(int index);
// As drawCelMesh of the mesh at each offset in turn, the modelview translated by (x, y, 0) for
// each and restored after it; the same pixels and the same state afterwards.
void drawCelMeshAt(int index, const float (*offsets)[2], int count);
void setCelPresetGreen();
void setCelPresetBrown();
void setCelPresetRose();

// False (the default): each mesh is compiled once into a display list and called in both passes,
// and a mesh whose box lies wholly outside the view is not sent at all (only the normal and
// texture coordinate its last vertex would leave are set); this draws the same pixels as sending
// it anew. True: every pass sends the mesh in immediate mode, as the show was first built.
extern bool celImmediateMode;
// Every loaded mesh's list and box, made ahead of the first frame (a list needs the GL context);
// draws nothing. Meshes added later are still compiled on their first draw.
void compileCelMeshLists();

// Projection times modelview, in double precision, for testing boxes against the clip volume.
struct ClipTransform {
    double m[16];
};
void readClipTransform(ClipTransform *clip);
// True when no point of the box (in the space of the matrices read) can be drawn into the
// 800x600 window: the box lies wholly beyond one plane of the clip volume, with margins.
bool isBoxOutsideView(const ClipTransform &clip, const float low[3], const float high[3]);
