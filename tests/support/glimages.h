// Test pictures uploaded straight into the show's fixed texture names, and PNG reading.
#pragma once
#include <GL/glew.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/gltest.h"

// width x height RGBA pixels, top row first, into a 2D texture under name (left bound).
void uploadTestImage(GLuint name, int width, int height, const std::vector<uint8_t> &rgba);
// Whether each channel of p is within tolerance of (r, g, b).
bool isColour(Rgba p, int r, int g, int b, int tolerance = 0);
// The window pixel of (x, y, z) under the current matrices, offset by (dx, dy).
Rgba readProjectedPixel(double x, double y, double z, int dx = 0, int dy = 0);
// Reads a PNG as RGBA, top row first; false when it cannot be read.
bool readPng(const std::string &path, int *width, int *height, std::vector<uint8_t> *rgba);
