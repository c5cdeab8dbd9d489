// Scene content made in memory for the 3D tests, independent of the generated content files.
#pragma once
#include <vector>

// The test display with the cel shader built from Data/Cg; the working directory becomes the
// source tree. Safe to call more than once.
void openCelTestContext();
// Appends an axis-aligned box (12 triangles, counter-clockwise from outside) to the mesh table.
int addBoxMesh(float x0, float y0, float z0, float x1, float y1, float z1);
// Once: mesh groups 4, 6 and 7, camera paths 6 and 7 circling the origin, tree positions, the
// images and both billboard forests.
void installFixtureScenes();
// The current matrix of a mode, column-major.
std::vector<float> readMatrix(unsigned matrixName);
