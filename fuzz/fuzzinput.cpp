#include "fuzzinput.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "assets/contentfiles.h"

namespace {

char inputPath[256];

[[noreturn]] void throwStop(int status)
{
    throw AssetStop{status};
}

void removeInput()
{
    unlink(inputPath);
}

} // namespace

void prepareFuzzInput(const char *extension)
{
    assetFailureHook = throwStop;
    if (freopen("/dev/null", "w", stdout) == nullptr)
        abort();
    const char *folder = getenv("TMPDIR");
    snprintf(inputPath, sizeof inputPath, "%s/show-fuzz-%d.%s", folder ? folder : "/tmp", int(getpid()),
             extension);
    atexit(removeInput);
}

const char *writeFuzzInput(const uint8_t *data, size_t size)
{
    FILE *file = fopen(inputPath, "wb");
    if (file == nullptr || fwrite(data, 1, size, file) != size || fclose(file) != 0)
        abort();
    return inputPath;
}

void closeAssetFile()
{
    if (assetFile != nullptr)
        fclose(assetFile);
    assetFile = nullptr;
}
