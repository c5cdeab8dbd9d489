#include "assets/contentfiles.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

char assetLine[256];
FILE *assetFile = nullptr;
void (*assetFailureHook)(int status) = nullptr;

void mapContentPath(const char *path, char *mapped, size_t size)
{
    if (size == 0)
        return;
    size_t i = 0;
    for (; path[i] != '\0' && i + 1 < size; ++i)
        mapped[i] = path[i] == '\\' ? '/' : path[i];
    mapped[i] = '\0';
}

FILE *openContentFile(const char *path, const char *mode)
{
    char mapped[4096];
    // A truncated name could open some other file; refuse it instead.
    if (strlen(path) >= sizeof mapped) {
        errno = ENAMETOOLONG;
        return nullptr;
    }
    mapContentPath(path, mapped, sizeof mapped);
    return fopen(mapped, mode);
}

bool readAssetLine()
{
    // fgets leaves the buffer untouched when it meets the end before any character.
    return assetFile != nullptr && fgets(assetLine, sizeof assetLine, assetFile) != nullptr;
}

void stopOnAssetFailure(int status)
{
    fflush(stdout);
    if (assetFailureHook != nullptr)
        assetFailureHook(status);
    exit(status);
}
