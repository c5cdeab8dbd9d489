// What both fuzz targets share: the loaders read files by name, and their fatal stops must unwind
// back to the target instead of ending the process.
#pragma once
#include <cstddef>
#include <cstdint>

struct AssetStop {
    int status;
};

// Installs the throwing failure hook, silences the trace lines and picks this process's input file.
void prepareFuzzInput(const char *extension);
// Writes the input bytes to the file and returns its name.
const char *writeFuzzInput(const uint8_t *data, size_t size);
// After a stop the loader may still hold its file open.
void closeAssetFile();
