#include "effects/forest.h"

#include <GL/glew.h>
#include <GL/glu.h>

#include <cmath>
#include <cstdlib>

#include "assets/textures.h"
#include "effects/overlays.h"

bool forestImmediateMode = false;
Billboard scrollForest[billboardCount];
Billboard rushForest[billboardCount];

void loadForestAssets()
{
    loadForestImages();
    fillForests();
}

// One fresh rand() result modulo n, as a double for the layout formulas.
static double drawRemainder(int n)
{
    return double(std::rand() % n);
}

void fillForests()
{
    // The order of the draws is the layout: it must not change.
    for (int i = 0; i < billboardCount; ++i) {
        scrollForest[i].depth = float(-0.4 - drawRemainder(1000) / 250);
        scrollForest[i].lateral = float(drawRemainder(6000) / 1000 - 3);
        scrollForest[i].heightScale = float(1 - drawRemainder(1000) / 4000);
        scrollForest[i].variant = std::rand() % 3;
        rushForest[i].variant = std::rand() % 3;
    }
    // Records 0..99 stand left of the viewer, 100..199 right of it; the right band draws its
    // lateral position last.
    for (int i = 0; i < billboardCount / 2; ++i) {
        rushForest[i].depth = float(-0.4 - drawRemainder(4000) / 250);
        rushForest[i].lateral = float(drawRemainder(2000) / 1000 - 2.5);
        rushForest[i].heightScale = float(1 - drawRemainder(1000) / 4000);
    }
    for (int i = billboardCount / 2; i < billboardCount; ++i) {
        rushForest[i].depth = float(-0.4 - drawRemainder(4000) / 250);
        rushForest[i].heightScale = float(1 - drawRemainder(1000) / 4000);
        rushForest[i].lateral = float(drawRemainder(2000) / 1000);
    }
}

static void setupForestFrame(double fov)
{
    setOrthoProjection();
    drawBackdropImage();
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_TEXTURE_2D);
    glDisable(GL_LIGHTING);
    // Fragments of alpha 0 leave the picture as it is under this blend, so skipping them changes
    // no pixel; it saves llvmpipe most of the fill of the big transparent surroundings.
    if (!forestImmediateMode) {
        glEnable(GL_ALPHA_TEST);
        glAlphaFunc(GL_GREATER, 0.0f);
    }
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(fov, double(4.0f / 3.0f), double(0.1f), 49900);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

// The anchor is the picture's top-left corner; the negative y scale hangs the picture from it.
static void drawBillboard(const Billboard &tree, float x, float y, float z)
{
    glPushMatrix();
    glTranslatef(x, y, z);
    glBindTexture(GL_TEXTURE_2D, pineTexture + GLuint(tree.variant));
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glEnable(GL_TEXTURE_2D);
    glScalef(0.64f, float(tree.heightScale * -0.8533333333333334), 1.0f);
    drawUnitSquareQuad(true);
    glPopMatrix();
}

void drawForestScroll(float time, float delta)
{
    glColor4f(1, 1, 1, 1);
    float step = delta * 0.25f;
    float angle = time * 0.25f;
    setupForestFrame(45);
    float sway = float(0.2 * double(float(std::sin(double(angle)))));
    float lift = float(0.3 - 0.3 / double(angle) + 0.1);
    for (int i = 0; i < billboardCount; ++i) {
        Billboard &tree = scrollForest[i];
        tree.lateral = tree.lateral + step;
        if (tree.lateral > 3.0f)
            tree.lateral = -3.0f;
        drawBillboard(tree, tree.lateral, lift, tree.depth + sway);
    }
    glDisable(GL_ALPHA_TEST);
}

void drawForestRush(float delta)
{
    glColor4f(1, 1, 1, 1);
    float step = delta * 0.25f;
    setupForestFrame(30);
    for (int i = 0; i < billboardCount; ++i) {
        Billboard &tree = rushForest[i];
        tree.depth = tree.depth + 2.0f * step;
        if (tree.depth > 0.0f)
            tree.depth = -16.4f;
        drawBillboard(tree, tree.lateral, 0.4f, tree.depth);
    }
    glDisable(GL_ALPHA_TEST);
}
