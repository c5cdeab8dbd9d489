// What both fuzz targets share: the loaders read files by name, and their fatal stops must unwind
// back to the target instead of ending the process.
#pragma once
#include <cstddef>
#include <cstdint>

// Writes the input to this process's file (named *.extension), runs load on it, and aborts unless
// it returns or stops with status 1. Then closes the loader's file and calls release.
void runFuzzInput(const char *extension, const uint8_t *data, size_t size,
                  void (*load)(const char *path, const uint8_t *data, size_t size), void (*release)());
