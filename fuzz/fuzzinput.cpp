#include "fuzzinput.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "assets/contentfiles.h"

namespace {

struct AssetStop {
    int status;
};

char inputPath[256];

[[noreturn]] void throwStop(int status)
{
    throw AssetStop{status};
}

void removeInput()
{
    unlink(inputPath);
}

// Installs the throwing failure hook, silences the trace lines and picks this process's input file.
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

} // namespace

void runFuzzInput(const char *extension, const uint8_t *data, size_t size,
                  void (*load)(const char *path, const uint8_t *data, size_t size), void (*release)())
{
    if (inputPath[0] == '\0')
        prepareFuzzInput(extension);
    FILE *file = fopen(inputPath, "wb");
    if (file == nullptr || fwrite(data, 1, size, file) != size || fclose(file) != 0)
        abort();
    try {
        load(inputPath, data, size);
    } catch (const AssetStop &stop) {
        if (stop.status != 1)
            abort();
    }
    // After a stop the loader may still hold its file open.
    if (assetFile != nullptr)
        fclose(assetFile);
    assetFile = nullptr;
    release();
}
