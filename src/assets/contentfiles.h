// Content files are named as in the data tree, with backslashes; this is the one place that maps
// them to the platform's separator. The mesh and camera loaders also share one line buffer here.
#pragma once
#include <cstddef>
#include <cstdio>

// Copies a content path with every backslash turned into '/'; always NUL-terminates within size.
void mapContentPath(const char *path, char *mapped, size_t size);
// fopen of a content path.
FILE *openContentFile(const char *path, const char *mode);

// The loaders' shared 256-byte line buffer and open file: a read takes at most 255 characters,
// and a read at the end of the file leaves the previous line in the buffer.
extern char assetLine[256];
extern FILE *assetFile;
// Reads the next line into assetLine; false at the end of the file (assetLine then unchanged).
bool readAssetLine();

// Ends start-up on bad content: flushes standard output, then exits with status. A harness that
// must survive bad input (the fuzz targets) sets assetFailureHook; it is called instead of exit
// and must not return (it unwinds, e.g. by throwing). The loaders print their message first.
extern void (*assetFailureHook)(int status);
[[noreturn]] void stopOnAssetFailure(int status);
