#include "effects/celshading.h"

#include <cstdio>
#include <cstdlib>

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

void emitMesh(int index)
{
    if (celImmediateMode || index < 0 || index >= meshCapacity) {
        drawMesh(index);
        return;
    }
    if (celMeshLists[index] == 0) {
        celMeshLists[index] = glGenLists(1);
        glNewList(celMeshLists[index], GL_COMPILE);
        drawMesh(index);
        glEndList();
    }
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

void forgetCelMeshLists()
{
    for (GLuint &list : celMeshLists) {
        if (list != 0)
            glDeleteLists(list, 1);
        list = 0;
    }
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
    glAttachObjectARB(program, vertexShader);
    glAttachObjectARB(program, fragmentShader);
    glLinkProgramARB(program);
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

void drawCelMesh(int index)
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
    emitMesh(index);
    glUseProgramObjectARB(0);
    glDisable(GL_TEXTURE_1D);
    // Back faces as thick black lines: only where they reach past the shaded front faces.
    glPolygonMode(GL_BACK, GL_LINE);
    glCullFace(GL_FRONT);
    glColor3f(0.0f, 0.0f, 0.0f);
    emitMesh(index);
    glPolygonMode(GL_BACK, GL_FILL);
    glDisable(GL_CULL_FACE);
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
