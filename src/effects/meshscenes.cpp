#include "effects/meshscenes.h"

#include <GL/glew.h>
#include <GL/glu.h>

#include <cmath>
#include <cstdlib>

#include "assets/meshes.h"
#include "effects/celshading.h"
#include "media/music.h"

namespace {

const float light1Ambient[4] = {0.5f, 0.5f, 0.5f, 1.0f};
const float light1Diffuse[4] = {1.0f, 0.8f, 0.7f, 1.0f};
const float light1Specular[4] = {1.0f, 1.0f, 1.0f, 1.0f};
// Given under an identity modelview: the light rides with the camera.
const float light1Position[4] = {1.0f, 1.0f, 1.0f, 1.0f};

const float materialDiffuse[4] = {1.0f, 1.0f, 1.0f, 0.2f};
const float materialAmbient[4] = {0.2f, 0.2f, 0.2f, 1.0f};
const float materialSpecular[4] = {1.0f, 1.0f, 1.0f, 0.5f};
const float materialShininess = 8.0f;

constexpr int treeGroup = 4;

void lookAtField(double eyeX, double eyeY, double eyeZ, double centreX, double centreY,
                 double centreZ, double upZ)
{
    setupSceneLighting();
    gluLookAt(eyeX, eyeY, eyeZ, centreX, centreY, centreZ, 0.0, 0.0, upZ);
}

void sweepA(float t, double upZ)
{
    lookAtField(200.0, 200.0 + 100.0 * t, 200.0, 0.0, 0.0, 50.0, upZ);
}

void sweepB(float t, double upZ)
{
    lookAtField(400.0 - 300.0 * t, 300.0 - 100.0 * t, 200.0, 200.0, 0.0, 50.0, upZ);
}

void sweepC(float t, double upZ)
{
    lookAtField(400.0 - 300.0 * t, 300.0 - 100.0 * t, 50.0 + 64.0 * t, 100.0 * t - 200.0,
                300.0 * t - 300.0, 50.0, upZ);
}

void sweepD(float t, double upZ)
{
    lookAtField(0.0, 300.0, 100.0 + 800.0 * t, 100.0 + 60.0 * t, 40.0 * t, 50.0, upZ);
}

} // namespace

void setupSceneLighting()
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(sceneFieldOfView, sceneAspect, 0.1, 49900.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glEnable(GL_NORMALIZE);
    glEnable(GL_LIGHTING);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_LIGHT1);
    glLightfv(GL_LIGHT1, GL_AMBIENT, light1Ambient);
    glLightfv(GL_LIGHT1, GL_DIFFUSE, light1Diffuse);
    glLightfv(GL_LIGHT1, GL_SPECULAR, light1Specular);
    glLightfv(GL_LIGHT1, GL_POSITION, light1Position);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, materialDiffuse);
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, materialAmbient);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, materialSpecular);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, materialShininess);
}

void cameraSweepA(float t)
{
    sweepA(t, 1.0);
}

void cameraSweepB(float t)
{
    sweepB(t, 1.0);
}

void cameraSweepC(float t)
{
    sweepC(t, 1.0);
}

void cameraSweepD(float t)
{
    sweepD(t, 1.0);
}

// The flipped moves negate the up vector: the same view turned by 180 degrees about the sight line.
void cameraSweepAFlipped(float t)
{
    sweepA(t, -1.0);
}

void cameraSweepBFlipped(float t)
{
    sweepB(t, -1.0);
}

void cameraSweepCFlipped(float t)
{
    sweepC(t, -1.0);
}

void cameraSweepDFlipped(float t)
{
    sweepD(t, -1.0);
}

void drawGroundPlane()
{
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glColor4f(0.2f, 0.8f, 0.4f, 1.0f);
    glBegin(GL_QUADS);
    glNormal3f(0.0f, 0.0f, -1.0f);
    glVertex3f(-8000.0f, -8000.0f, 0.0f);
    glVertex3f(8000.0f, -8000.0f, 0.0f);
    glVertex3f(8000.0f, 8000.0f, 0.0f);
    glVertex3f(-8000.0f, 8000.0f, 0.0f);
    glEnd();
}

void drawTreeField()
{
    drawGroundPlane();
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    setCelPresetGreen();
    drawCelMeshAt(meshGroups[treeGroup].first + 1, treePositions, treeCount);
    setCelPresetBrown();
    drawCelMeshAt(meshGroups[treeGroup].first + 2, treePositions, treeCount);
    glUseProgramObjectARB(0);
}

void applyBeatShake(float amount)
{
    float phase = float(fmod(musicRow * 0.0625, 1.0));
    // 1 on every sixteenth row, growing to 16 on the row before the next one, whatever the amount.
    float size = amount / (amount - phase * amount);
    float half = size * 0.5f;
    int r1 = rand();
    int r2 = rand();
    int r3 = rand();
    float dx = float(r1 % 1000) / 1000.0f * size - half;
    float dy = float(r2 % 1000) / 1000.0f * size - half;
    float dz = float(r3 % 1000) / 1000.0f * size - half;
    glTranslatef(dx, dy, dz);
}
