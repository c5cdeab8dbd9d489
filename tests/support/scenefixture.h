// Scene content made in memory for the 3D tests: boxes in the mesh table, camera tracks,
// flat images under the fixed texture names. Independent of the generated content files.
#pragma once
#include <vector>

// The test display with the cel shader built from the repository's Data/Cg sources; the working
// directory becomes the source tree. Safe to call more than once.
void openCelTestContext();
// Appends an axis-aligned box (12 triangles, counter-clockwise from outside, accumulated normals)
// to the mesh table and returns its index.
int addBoxMesh(float x0, float y0, float z0, float x1, float y1, float z1);
// Appends a lumpy octahedron-based cone (a pine-like shape) of the given height and radius.
int addConeMesh(float radius, float height, float baseZ, int sides);
// Groups 4 (foliage, trunk), 6 (credits scene) and 7 (forest scene, eight meshes), camera paths
// 6 and 7 circling the origin, tree positions, the images and both billboard forests. Once.
void installFixtureScenes();
// The mesh index of group 7 that the forest flight singles out.
int fixtureRoseMesh();
// Reads the current matrix of a mode as 16 floats, column-major.
std::vector<float> readMatrix(unsigned matrixName);
