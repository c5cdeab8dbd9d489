// Full-screen 2D passes: the unit-square projection, backdrop, sky, credits and the music overlays.
#pragma once

void setOrthoProjection();
void drawBackdropImage();
void fillScreen();
void drawSkyFill();
void fadeToBlackByRow();
void flashByRow();
void flashPerBeat();
void drawCreditsOverlay();

// The unit-square quad (0,0)-(1,1); textured with t = 0 along its top edge.
void drawUnitSquareQuad(bool textured);
