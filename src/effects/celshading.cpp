#include "effects/celshading.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>

#include "assets/contentfiles.h"
#include "assets/meshes.h"
#include "assets/textures.h"

GLhandleARB celProgram = 0;
// One block, colour first: the presets write the first three components only.
float celColor[4] = {0.75f, 0.95f, 1.0f, 1.0f};
float celLightPosition[4] = {5.0f, 5.0f, 5.0f, 0.0f};

bool celImmediateMode = false;

namespace {

const char *const celVertexPath = "Data\\Cg\\cel.vs";
const char *const celFragmentPath = "Data\\Cg\\cel.fs";

// One display list per mesh, compiled on its first draw; the table is read-only by then.
GLuint celMeshLists[meshCapacity];

// The box around the vertices a mesh's faces use, found on its first draw.
struct MeshBounds {
    bool known;
    bool empty;
    float low[3], high[3];
};

MeshBounds celMeshBounds[meshCapacity];

const MeshBounds &findMeshBounds(int index)
{
    MeshBounds &b = celMeshBounds[index];
    if (b.known)
        return b;
    const Mesh &mesh = meshTable[index];
    b.known = true;
    b.empty = mesh.faceCount <= 0;
    for (int axis = 0; axis < 3; ++axis) {
        b.low[axis] = 1e30f;
        b.high[axis] = -1e30f;
    }
    for (int32_t f = 0; f < mesh.faceCount; ++f) {
        for (int32_t i : {mesh.faceA[f], mesh.faceB[f], mesh.faceC[f]}) {
            const float p[3] = {mesh.x[i], mesh.y[i], mesh.z[i]};
            for (int axis = 0; axis < 3; ++axis) {
                b.low[axis] = p[axis] < b.low[axis] ? p[axis] : b.low[axis];
                b.high[axis] = p[axis] > b.high[axis] ? p[axis] : b.high[axis];
            }
        }
    }
    return b;
}

bool isMeshOutsideView(int index)
{
    const MeshBounds &b = findMeshBounds(index);
    if (b.empty)
        return true;
    ClipTransform clip;
    readClipTransform(&clip);
    return isBoxOutsideView(clip, b.low, b.high);
}

// What drawMesh leaves current: the normal and texture coordinate of its last vertex.
void leaveLastVertexAttributes(int index)
{
    const Mesh &mesh = meshTable[index];
    if (mesh.faceCount <= 0)
        return;
    const int32_t i = mesh.faceC[mesh.faceCount - 1];
    glNormal3f(mesh.nx[i], mesh.ny[i], mesh.nz[i]);
    glTexCoord2f(mesh.u[i], mesh.v[i]);
}

void compileMeshList(int index)
{
    if (celMeshLists[index] != 0)
        return;
    celMeshLists[index] = glGenLists(1);
    glNewList(celMeshLists[index], GL_COMPILE);
    drawMesh(index);
    glEndList();
}

void emitMesh(int index, bool outsideView)
{
    if (celImmediateMode || index < 0 || index >= meshCapacity) {
        drawMesh(index);
        return;
    }
    if (outsideView) {
        leaveLastVertexAttributes(index);
        return;
    }
    compileMeshList(index);
    glCallList(celMeshLists[index]);
}

char *readShaderSource(const char *path)
{
    char *text = readTextFile(path);
    if (text == nullptr || text[0] == '\0') {
        fprintf(stderr, "Shader source %s missing or empty\n", path);
        exit(1);
    }
    return text;
}

// A stage that does not compile or a program that does not link would draw the meshes as flat
// grey silhouettes: stop with the driver's log (its first 4 KB), folded onto the one line.
void requireBuilt(GLhandleARB object, GLenum status, const char *failure)
{
    GLint built = 0;
    glGetObjectParameterivARB(object, status, &built);
    if (built)
        return;
    char log[4096] = "";
    glGetInfoLogARB(object, sizeof log, nullptr, log);
    size_t end = 0;
    for (size_t i = 0; log[i] != '\0'; ++i) {
        if (log[i] == '\n' || log[i] == '\r' || log[i] == '\t')
            log[i] = ' ';
        if (log[i] != ' ')
            end = i + 1;
    }
    log[end] = '\0';
    fprintf(stderr, "Cel shader: %s: %s\n", failure, end > 0 ? log : "the driver gave no log");
    exit(1);
}

void sendCelUniforms()
{
    setUniform(glGetUniformLocationARB(celProgram, "color"), 4, celColor);
    setUniform(glGetUniformLocationARB(celProgram, "light_position"), 4, celLightPosition);
}

void applyCelPreset(float lx, float ly, float lz, float r, float g, float b)
{
    celLightPosition[0] = lx;
    celLightPosition[1] = ly;
    celLightPosition[2] = lz;
    celColor[0] = r;
    celColor[1] = g;
    celColor[2] = b;
    glUseProgramObjectARB(celProgram);
    sendCelUniforms();
}

} // namespace

void readClipTransform(ClipTransform *clip)
{
    float modelview[16], projection[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    for (int column = 0; column < 4; ++column)
        for (int row = 0; row < 4; ++row) {
            double sum = 0;
            for (int k = 0; k < 4; ++k)
                sum += double(projection[4 * k + row]) * modelview[4 * column + k];
            clip->m[4 * column + row] = sum;
        }
}

// The side planes are pushed 16 pixels out, far more than the 3 pixels a 6-pixel outline spreads
// past its edge, and every plane gets a margin far above the rounding of the GL's own
// single-precision transform; a box wholly beyond one plane has no point that is drawn.
bool isBoxOutsideView(const ClipTransform &clip, const float low[3], const float high[3])
{
    const double *m = clip.m;
    const double marginX = 1.0 + 16.0 * 2.0 / 800.0, marginY = 1.0 + 16.0 * 2.0 / 600.0;
    const double depthMargin = 1e-4;
    int outside[6] = {0, 0, 0, 0, 0, 0};
    for (int corner = 0; corner < 8; ++corner) {
        const double p[3] = {corner & 1 ? high[0] : low[0], corner & 2 ? high[1] : low[1],
                             corner & 4 ? high[2] : low[2]};
        double c[4];
        for (int row = 0; row < 4; ++row)
            c[row] = m[row] * p[0] + m[4 + row] * p[1] + m[8 + row] * p[2] + m[12 + row];
        const double x = c[0], y = c[1], z = c[2], w = c[3];
        const double slack = depthMargin * (fabs(z) + fabs(w));
        outside[0] += x > marginX * w;
        outside[1] += x < -marginX * w;
        outside[2] += y > marginY * w;
        outside[3] += y < -marginY * w;
        outside[4] += z + w < -slack;
        outside[5] += z - w > slack;
    }
    for (int plane = 0; plane < 6; ++plane)
        if (outside[plane] == 8)
            return true;
    return false;
}

char *readTextFile(const char *path)
{
    if (path == nullptr)
        return nullptr;
    FILE *file = openContentFile(path, "rt");
    if (file == nullptr)
        return nullptr;
    char *text = nullptr;
    long size = -1;
    if (fseek(file, 0, SEEK_END) == 0)
        size = ftell(file);
    if (size > 0 && fseek(file, 0, SEEK_SET) == 0) {
        text = static_cast<char *>(malloc(size_t(size) + 1));
        if (text != nullptr) {
            size_t got = fread(text, 1, size_t(size), file);
            text[got] = '\0';
        }
    }
    fclose(file);
    return text;
}

void setUniform(GLint location, int kind, const float *values)
{
    switch (kind) {
    case 2:
        glUniform2fvARB(location, 1, values);
        break;
    case 3:
        glUniform3fvARB(location, 1, values);
        break;
    case 4:
        glUniform4fvARB(location, 1, values);
        break;
    case 9:
        glUniformMatrix3fvARB(location, 1, GL_FALSE, values);
        break;
    case 16:
        glUniformMatrix4fvARB(location, 1, GL_FALSE, values);
        break;
    default:
        break;
    }
}

GLhandleARB buildCelProgram()
{
    // Without both sources there is no program and no uniforms for the scenes to feed.
    char *vertexText = readShaderSource(celVertexPath);
    char *fragmentText = readShaderSource(celFragmentPath);

    GLhandleARB program = glCreateProgramObjectARB();
    GLhandleARB vertexShader = glCreateShaderObjectARB(GL_VERTEX_SHADER_ARB);
    GLhandleARB fragmentShader = glCreateShaderObjectARB(GL_FRAGMENT_SHADER_ARB);
    const GLcharARB *vertexSource = vertexText;
    const GLcharARB *fragmentSource = fragmentText;
    glShaderSourceARB(vertexShader, 1, &vertexSource, nullptr);
    glShaderSourceARB(fragmentShader, 1, &fragmentSource, nullptr);
    free(vertexText);
    free(fragmentText);
    glCompileShaderARB(vertexShader);
    glCompileShaderARB(fragmentShader);
    requireBuilt(vertexShader, GL_OBJECT_COMPILE_STATUS_ARB,
                 "the vertex stage Data\\Cg\\cel.vs does not compile");
    requireBuilt(fragmentShader, GL_OBJECT_COMPILE_STATUS_ARB,
                 "the fragment stage Data\\Cg\\cel.fs does not compile");
    glAttachObjectARB(program, vertexShader);
    glAttachObjectARB(program, fragmentShader);
    glLinkProgramARB(program);
    requireBuilt(program, GL_OBJECT_LINK_STATUS_ARB, "the program does not link");
    glUseProgramObjectARB(program);
    return program;
}

void makeToonRamp()
{
    GLubyte ramp[16];
    for (int i = 0; i < 16; ++i)
        ramp[i] = i < 3 ? 127 : i < 8 ? 191 : 255;
    glBindTexture(GL_TEXTURE_1D, toonRampTexture);
    glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_WRAP_S, GL_CLAMP);
    glTexImage1D(GL_TEXTURE_1D, 0, GL_RGBA, 16, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE, ramp);
}

void initCelShading()
{
    celProgram = buildCelProgram();
    sendCelUniforms();
    glUseProgramObjectARB(0);
    makeToonRamp();
}

namespace {

void beginShadedPass()
{
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glPointSize(16.0f);
    glLineWidth(6.0f);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_LIGHTING);
    glUseProgramObjectARB(celProgram);
    glEnable(GL_TEXTURE_1D);
    glBindTexture(GL_TEXTURE_1D, toonRampTexture);
}

// Back faces as thick black lines: only where they reach past the shaded front faces.
void beginOutlinePass()
{
    glUseProgramObjectARB(0);
    glDisable(GL_TEXTURE_1D);
    glPolygonMode(GL_BACK, GL_LINE);
    glCullFace(GL_FRONT);
    glColor3f(0.0f, 0.0f, 0.0f);
}

void endOutlinePass()
{
    glPolygonMode(GL_BACK, GL_FILL);
    glDisable(GL_CULL_FACE);
}

// The window rectangle, in pixels, that a mesh's fragments can reach under a clip transform,
// widened by far more than an outline's half width; the whole window when the mesh comes near
// the eye plane, where projecting its box's corners would not bound it.
struct Footprint {
    double x0, y0, x1, y1;
};

Footprint findFootprint(const ClipTransform &clip, const MeshBounds &b)
{
    const Footprint whole = {-1e9, -1e9, 1e9, 1e9};
    Footprint f = {1e9, 1e9, -1e9, -1e9};
    for (int corner = 0; corner < 8; ++corner) {
        const double p[3] = {corner & 1 ? b.high[0] : b.low[0], corner & 2 ? b.high[1] : b.low[1],
                             corner & 4 ? b.high[2] : b.low[2]};
        const double *m = clip.m;
        const double x = m[0] * p[0] + m[4] * p[1] + m[8] * p[2] + m[12];
        const double y = m[1] * p[0] + m[5] * p[1] + m[9] * p[2] + m[13];
        const double w = m[3] * p[0] + m[7] * p[1] + m[11] * p[2] + m[15];
        if (!(w > 1e-3))
            return whole;
        const double wx = (x / w + 1.0) * 400.0, wy = (y / w + 1.0) * 300.0;
        f.x0 = wx < f.x0 ? wx : f.x0;
        f.x1 = wx > f.x1 ? wx : f.x1;
        f.y0 = wy < f.y0 ? wy : f.y0;
        f.y1 = wy > f.y1 ? wy : f.y1;
    }
    const double margin = 8.0;
    return Footprint{f.x0 - margin, f.y0 - margin, f.x1 + margin, f.y1 + margin};
}

bool doFootprintsOverlap(const Footprint &a, const Footprint &b)
{
    return a.x0 < b.x1 && b.x0 < a.x1 && a.y0 < b.y1 && b.y0 < a.y1;
}

// Both passes for a set of placements whose footprints are pairwise disjoint: every pixel sees
// the fragments of at most one of them, in the order of drawing them one by one, so the pixels
// are the same; the state changes between the passes are made once for the set.
void drawCelSet(int index, const float (*offsets)[2], const int *members, int count)
{
    beginShadedPass();
    for (int r = 0; r < count; ++r) {
        glPushMatrix();
        glTranslatef(offsets[members[r]][0], offsets[members[r]][1], 0.0f);
        emitMesh(index, false);
        glPopMatrix();
    }
    beginOutlinePass();
    for (int r = 0; r < count; ++r) {
        glPushMatrix();
        glTranslatef(offsets[members[r]][0], offsets[members[r]][1], 0.0f);
        emitMesh(index, false);
        glPopMatrix();
    }
    endOutlinePass();
}

constexpr int celPlacementCapacity = 1024;

// Up to celPlacementCapacity placements. Each visible one gets a level one above the highest
// level of the earlier placements whose footprints it overlaps, so wherever two overlap the
// earlier is drawn first, as one by one; the levels are then drawn in order, each as one set.
// Returns whether any placement was drawn.
bool drawCelPlacements(int index, const ClipTransform &view, const float (*offsets)[2], int count)
{
    static Footprint footprints[celPlacementCapacity];
    static int levels[celPlacementCapacity];
    static int visible[celPlacementCapacity];
    static int members[celPlacementCapacity];
    const MeshBounds &b = findMeshBounds(index);
    int visibleCount = 0, levelCount = 0;
    for (int i = 0; i < count && !b.empty; ++i) {
        // The placement's transform: the view times a translation by (x, y, 0).
        ClipTransform placed = view;
        for (int row = 0; row < 4; ++row)
            placed.m[12 + row] += view.m[row] * offsets[i][0] + view.m[4 + row] * offsets[i][1];
        if (isBoxOutsideView(placed, b.low, b.high))
            continue;
        const Footprint f = findFootprint(placed, b);
        int level = 0;
        for (int k = 0; k < visibleCount; ++k)
            if (levels[k] >= level && doFootprintsOverlap(f, footprints[k]))
                level = levels[k] + 1;
        footprints[visibleCount] = f;
        levels[visibleCount] = level;
        visible[visibleCount] = i;
        ++visibleCount;
        levelCount = level + 1 > levelCount ? level + 1 : levelCount;
    }
    for (int level = 0; level < levelCount; ++level) {
        int memberCount = 0;
        for (int k = 0; k < visibleCount; ++k)
            if (levels[k] == level)
                members[memberCount++] = visible[k];
        drawCelSet(index, offsets, members, memberCount);
    }
    return visibleCount > 0;
}

} // namespace

void compileCelMeshLists()
{
    for (int index = 1; index <= meshCount && index < meshCapacity; ++index) {
        findMeshBounds(index);
        compileMeshList(index);
    }
}

void drawCelMesh(int index)
{
    beginShadedPass();
    // Both passes draw under the same matrices, so one look decides for both.
    const bool outsideView =
        !celImmediateMode && index >= 0 && index < meshCapacity && isMeshOutsideView(index);
    emitMesh(index, outsideView);
    beginOutlinePass();
    emitMesh(index, outsideView);
    endOutlinePass();
}

void drawCelMeshAt(int index, const float (*offsets)[2], int count)
{
    if (celImmediateMode || index < 0 || index >= meshCapacity) {
        for (int i = 0; i < count; ++i) {
            glPushMatrix();
            glTranslatef(offsets[i][0], offsets[i][1], 0.0f);
            drawCelMesh(index);
            glPopMatrix();
        }
        return;
    }
    ClipTransform view;
    readClipTransform(&view);
    bool anyDrawn = false;
    for (int first = 0; first < count; first += celPlacementCapacity) {
        const int chunk = count - first < celPlacementCapacity ? count - first : celPlacementCapacity;
        anyDrawn = drawCelPlacements(index, view, offsets + first, chunk) || anyDrawn;
    }
    if (count > 0 && !anyDrawn) {
        // What the calls one by one would have left, with nothing drawn.
        beginShadedPass();
        beginOutlinePass();
        endOutlinePass();
        leaveLastVertexAttributes(index);
    }
}

void setCelPresetGreen()
{
    applyCelPreset(1000.0f, 1000.0f, 10.0f, 0.0f, 1.0f, 0.0f);
}

void setCelPresetBrown()
{
    applyCelPreset(200.0f, 200.0f, 200.0f, 0.355f, 0.218f, 0.039f);
}

void setCelPresetRose()
{
    applyCelPreset(1000.0f, 1000.0f, 10.0f, 0.86f, 0.332f, 0.375f);
}
