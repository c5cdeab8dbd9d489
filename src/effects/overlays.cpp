#include "effects/overlays.h"

#include <GL/glew.h>

#include <cmath>

#include "assets/textures.h"
#include "media/music.h"

void setOrthoProjection()
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, 1, 1, 0, 1, -1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void drawUnitSquareQuad(bool textured)
{
    glBegin(GL_QUADS);
    if (textured)
        glTexCoord2f(0, 0);
    glVertex3f(0, 0, 0);
    if (textured)
        glTexCoord2f(1, 0);
    glVertex3f(1, 0, 0);
    if (textured)
        glTexCoord2f(1, 1);
    glVertex3f(1, 1, 0);
    if (textured)
        glTexCoord2f(0, 1);
    glVertex3f(0, 1, 0);
    glEnd();
}

// Image textures are bound with the same parameters every time they are drawn.
static void bindImageTexture(GLuint name)
{
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
}

void drawBackdropImage()
{
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    bindImageTexture(backdropTexture);
    glEnable(GL_TEXTURE_2D);
    glDisable(GL_LIGHTING);
    drawUnitSquareQuad(true);
}

void fillScreen()
{
    // The wave-grid scene calls in with the texture matrix selected; the save must hit the modelview.
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    setOrthoProjection();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_LIGHTING);
    drawUnitSquareQuad(false);
    glPopMatrix();
}

void drawSkyFill()
{
    glColor4f(0.38671f, 0.6914f, 0.73828f, 1.0f);
    glDisable(GL_BLEND);
    fillScreen();
}

// Row fraction of a 64-row pattern.
static float rowFraction()
{
    return float(musicRow * 0.015625);
}

// 1 / (10p + 1)^2 with every step rounded to single precision.
static float flashLevel(float p)
{
    float q = 10.0f * p + 1.0f;
    float qq = q * q;
    return 1.0f / qq;
}

void fadeToBlackByRow()
{
    float alpha = rowFraction();
    glColor4f(0, 0, 0, alpha);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    fillScreen();
}

static void drawFlash(float p)
{
    float v = flashLevel(p);
    glColor4f(v, v, v, v);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    fillScreen();
}

void flashByRow()
{
    drawFlash(rowFraction());
}

void flashPerBeat()
{
    drawFlash(float(std::fmod(musicRow * 0.0625, 1.0)));
    glDisable(GL_BLEND);
}

void drawCreditsOverlay()
{
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    bindImageTexture(creditsTexture);
    glEnable(GL_TEXTURE_2D);
    glDisable(GL_LIGHTING);
    glColor4f(1, 1, 1, 1);
    drawUnitSquareQuad(true);
    glDisable(GL_BLEND);
}
