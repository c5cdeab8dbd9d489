#include "drawpaths.h"

#include <GL/glew.h>

#include <cstring>

#include "effects/celshading.h"
#include "effects/voxeltext.h"
#include "media/display.h"

void selectDrawPath(DrawPath path)
{
    celImmediateMode = path == immediatePath;
    voxelImmediateMode = path == immediatePath;
    forestPath = path == immediatePath ? forestLiteralPath
                 : path == previousForestPath ? forestAlphaTestPath
                                              : forestBandedPath;
}

namespace {

std::string formatValues(const char *name, const double *values, int count)
{
    std::string line = name;
    line += ":";
    for (int k = 0; k < count; ++k) {
        char text[32];
        snprintf(text, sizeof text, " %.9g", values[k]);
        line += text;
    }
    return line;
}

// One item read with glGetIntegerv or glGetFloatv.
void addState(std::vector<std::string> *state, const char *name, GLenum query, int count, bool integer = true)
{
    GLint integers[16] = {};
    GLfloat floats[16] = {};
    if (integer)
        glGetIntegerv(query, integers);
    else
        glGetFloatv(query, floats);
    double wide[16];
    for (int k = 0; k < count; ++k)
        wide[k] = integer ? double(integers[k]) : double(floats[k]);
    state->push_back(formatValues(name, wide, count));
}

} // namespace

FrameRecord recordFrame()
{
    FrameRecord record;
    record.colour.resize(800 * 600 * 4);
    record.depth.resize(800 * 600);
    readDrawnPixels(0, 0, 800, 600, GL_RGBA, GL_UNSIGNED_BYTE, record.colour.data());
    readDrawnPixels(0, 0, 800, 600, GL_DEPTH_COMPONENT, GL_UNSIGNED_INT, record.depth.data());

    struct Capability {
        const char *name;
        GLenum cap;
    };
    static const Capability capabilities[] = {
        {"alpha test", GL_ALPHA_TEST},   {"blend", GL_BLEND},           {"cull face", GL_CULL_FACE},
        {"depth test", GL_DEPTH_TEST},   {"lighting", GL_LIGHTING},     {"light 0", GL_LIGHT0},
        {"light 1", GL_LIGHT1},          {"normalize", GL_NORMALIZE},   {"scissor test", GL_SCISSOR_TEST},
        {"stencil test", GL_STENCIL_TEST}, {"texture 1D", GL_TEXTURE_1D}, {"texture 2D", GL_TEXTURE_2D},
        {"colour material", GL_COLOR_MATERIAL},
    };
    std::vector<std::string> &state = record.state;
    for (const Capability &c : capabilities)
        state.push_back(std::string(c.name) + (glIsEnabled(c.cap) ? ": on" : ": off"));
    addState(&state, "alpha func", GL_ALPHA_TEST_FUNC, 1);
    addState(&state, "alpha ref", GL_ALPHA_TEST_REF, 1, false);
    addState(&state, "blend src", GL_BLEND_SRC, 1);
    addState(&state, "blend dst", GL_BLEND_DST, 1);
    addState(&state, "cull face mode", GL_CULL_FACE_MODE, 1);
    addState(&state, "depth func", GL_DEPTH_FUNC, 1);
    addState(&state, "depth mask", GL_DEPTH_WRITEMASK, 1);
    addState(&state, "colour mask", GL_COLOR_WRITEMASK, 4);
    addState(&state, "polygon mode", GL_POLYGON_MODE, 2);
    addState(&state, "scissor box", GL_SCISSOR_BOX, 4);
    addState(&state, "viewport", GL_VIEWPORT, 4);
    addState(&state, "matrix mode", GL_MATRIX_MODE, 1);
    addState(&state, "modelview depth", GL_MODELVIEW_STACK_DEPTH, 1);
    addState(&state, "projection depth", GL_PROJECTION_STACK_DEPTH, 1);
    addState(&state, "texture depth", GL_TEXTURE_STACK_DEPTH, 1);
    addState(&state, "texture 1D bound", GL_TEXTURE_BINDING_1D, 1);
    addState(&state, "texture 2D bound", GL_TEXTURE_BINDING_2D, 1);
    addState(&state, "list base", GL_LIST_BASE, 1);
    addState(&state, "line width", GL_LINE_WIDTH, 1, false);
    addState(&state, "point size", GL_POINT_SIZE, 1, false);
    addState(&state, "colour", GL_CURRENT_COLOR, 4, false);
    addState(&state, "normal", GL_CURRENT_NORMAL, 3, false);
    addState(&state, "texture coordinate", GL_CURRENT_TEXTURE_COORDS, 4, false);
    addState(&state, "modelview", GL_MODELVIEW_MATRIX, 16, false);
    addState(&state, "projection", GL_PROJECTION_MATRIX, 16, false);
    addState(&state, "texture matrix", GL_TEXTURE_MATRIX, 16, false);
    const double program = double(glGetHandleARB(GL_PROGRAM_OBJECT_ARB));
    state.push_back(formatValues("program", &program, 1));
    GLint parameters[4] = {};
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &parameters[0]);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &parameters[1]);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &parameters[2]);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &parameters[3]);
    const double wide[4] = {double(parameters[0]), double(parameters[1]), double(parameters[2]),
                            double(parameters[3])};
    state.push_back(formatValues("bound 2D texture filters and wraps", wide, 4));
    state.push_back(glGetError() == GL_NO_ERROR ? "GL error: none" : "GL error: raised");
    return record;
}

std::string describeDifference(const FrameRecord &a, const FrameRecord &b)
{
    for (size_t k = 0; k < a.colour.size() && k < b.colour.size(); ++k)
        if (a.colour[k] != b.colour[k])
            return "colour differs at pixel (" + std::to_string(k / 4 % 800) + ", " +
                   std::to_string(k / 4 / 800) + ")";
    for (size_t k = 0; k < a.depth.size() && k < b.depth.size(); ++k)
        if (a.depth[k] != b.depth[k])
            return "depth differs at pixel (" + std::to_string(k % 800) + ", " + std::to_string(k / 800) + ")";
    for (size_t k = 0; k < a.state.size() && k < b.state.size(); ++k)
        if (a.state[k] != b.state[k])
            return "state differs: " + a.state[k] + " against " + b.state[k];
    if (a.colour.size() != b.colour.size() || a.depth.size() != b.depth.size() || a.state.size() != b.state.size())
        return "records of different sizes";
    return "";
}

ForestSnapshot takeForestSnapshot()
{
    ForestSnapshot snapshot;
    memcpy(snapshot.scroll, scrollForest, sizeof snapshot.scroll);
    memcpy(snapshot.rush, rushForest, sizeof snapshot.rush);
    return snapshot;
}

void restoreForestSnapshot(const ForestSnapshot &snapshot)
{
    memcpy(scrollForest, snapshot.scroll, sizeof snapshot.scroll);
    memcpy(rushForest, snapshot.rush, sizeof snapshot.rush);
}

bool isForestSnapshotEqual(const ForestSnapshot &a, const ForestSnapshot &b)
{
    return memcmp(&a, &b, sizeof a) == 0;
}
