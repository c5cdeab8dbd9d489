#include "effects/wavegrid.h"

#include <GL/glew.h>
#include <GL/glu.h>

#include <cmath>

#include "assets/textures.h"
#include "effects/overlays.h"

// The capture block; only the window's 800 x 600 corner of it receives the picture.
constexpr int feedbackSize = 1024;
constexpr int windowWidth = 800;
constexpr int windowHeight = 600;

void bindFeedbackTexture()
{
    glBindTexture(GL_TEXTURE_2D, feedbackTexture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glEnable(GL_TEXTURE_2D);
}

// A copy of the full 1024 x 1024 block would read pixels outside the window, which GL leaves
// undefined; the grid's wobble shows those texels. So the block is made black once and only
// the window's part is copied over it each frame.
static void defineFeedbackImage()
{
    GLint width = 0, height = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    if (width == feedbackSize && height == feedbackSize)
        return;
    // Rows of 3072 bytes suit the default unpack alignment.
    static unsigned char black[feedbackSize * feedbackSize * 3];
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, feedbackSize, feedbackSize, 0, GL_RGB, GL_UNSIGNED_BYTE,
                 black);
}

void captureFeedbackTexture()
{
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, feedbackTexture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    defineFeedbackImage();
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, windowWidth, windowHeight);
}

void setFeedbackTextureMatrix()
{
    // No identity first: the caller resets the texture matrix after the grid.
    setOrthoProjection();
    glMatrixMode(GL_TEXTURE);
    glScalef(0.78125f, 0.5859375f, 1.0f);
}

void setWaveGridProjection(float fov)
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(double(fov), 1.0, double(0.1f), 49900);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(-0.5f, -0.5f, 0.0f);
    glEnable(GL_TEXTURE_2D);
}

void buildWaveGrid(float time, WaveGridVertex grid[waveGridSize * waveGridSize])
{
    // 3.14 rather than pi: the sheet's wave phases depend on it.
    const double T = time;
    const double w = 0.7 * T;
    for (int i = 0; i < waveGridSize; ++i) {
        double u = i * 0.0625;
        double a = (u - 0.5) * 3.14;
        float s1 = float(std::sin(T - 3.5 * a));
        float s2 = float(std::sin(T + 2 * a));
        double c1 = 0.125 * double(float(std::sin(0.4 * a + w)));
        double c2 = 0.125 * double(float(std::sin(T + a)));
        for (int j = 0; j < waveGridSize; ++j) {
            double v = j * 0.0625;
            double b = (v - 0.5) * 3.14;
            float cosAcross = float(std::cos(T + 5.6 * b));
            float cosAlong = float(std::cos(T + 2 * b));
            WaveGridVertex &vertex = grid[waveGridSize * i + j];
            vertex.x = float(u);
            vertex.y = float(v);
            vertex.z = float(double(cosAcross) * s1 / 5 - ((double(cosAlong) + s2) / 20 + 1));
            vertex.s = float(u);
            vertex.t = float(v + c2 + c1);
        }
    }
}

static void emitGridVertex(const WaveGridVertex &vertex)
{
    glTexCoord2f(vertex.s, vertex.t);
    glVertex3f(vertex.x, vertex.y, vertex.z);
}

void drawWaveGrid(float time)
{
    bindFeedbackTexture();
    WaveGridVertex grid[waveGridSize * waveGridSize];
    buildWaveGrid(time, grid);
    glBegin(GL_QUADS);
    for (int i = 0; i < waveGridSize - 1; ++i) {
        for (int j = 0; j < waveGridSize - 1; ++j) {
            emitGridVertex(grid[waveGridSize * i + j]);
            emitGridVertex(grid[waveGridSize * (i + 1) + j]);
            emitGridVertex(grid[waveGridSize * (i + 1) + j + 1]);
            emitGridVertex(grid[waveGridSize * i + j + 1]);
        }
    }
    glEnd();
}
