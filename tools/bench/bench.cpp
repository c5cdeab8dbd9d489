// bench: draws every part for a fixed number of frames, once on the shipped path (meshes and
// strings compiled into display lists) and once on the literal immediate-mode path, and prints
// the frames per second of both side by side, with the machine they ran on.
//
//   bench [--frames N] [--parts FIRST-LAST] [--check]
//
// --check draws each part at several moments on both paths instead and compares every byte of
// the frames; it prints one line a part and ends with status 1 when any frame differs.
// Run it from the source tree (the content is read from the working directory) with a display,
// e.g. under Xvfb at 800x600x24. Exit status 0, 1 on a pixel difference, 2 on bad usage.
#include <GL/glew.h>
#include <SDL/SDL.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "driver/demo.h"
#include "driver/schedule.h"
#include "effects/celshading.h"
#include "effects/forest.h"
#include "effects/voxeltext.h"
#include "media/music.h"
#include "renderer.h"

namespace {

struct Options {
    int frames = 60;
    int firstPart = 0;
    int lastPart = 50;
    bool check = false;
};

[[noreturn]] void failUsage(const char *message)
{
    fprintf(stderr, "bench: %s\nusage: bench [--frames N] [--parts FIRST-LAST] [--check]\n", message);
    exit(2);
}

Options parseOptions(int argc, char **argv)
{
    Options o;
    for (int k = 1; k < argc; ++k) {
        if (strcmp(argv[k], "--frames") == 0 && k + 1 < argc) {
            char *end = nullptr;
            long n = strtol(argv[++k], &end, 10);
            if (*end != '\0' || n < 1 || n > 100000)
                failUsage("--frames wants a whole number from 1 to 100000");
            o.frames = int(n);
        } else if (strcmp(argv[k], "--parts") == 0 && k + 1 < argc) {
            int first = -1, last = -1;
            char tail = 0;
            if (sscanf(argv[++k], "%d-%d%c", &first, &last, &tail) != 2 || first < 0 || last > 50 ||
                first > last)
                failUsage("--parts wants FIRST-LAST within 0-50");
            o.firstPart = first;
            o.lastPart = last;
        } else if (strcmp(argv[k], "--check") == 0) {
            o.check = true;
        } else {
            failUsage("unknown or incomplete option");
        }
    }
    return o;
}

std::string readCpuModel()
{
    FILE *file = fopen("/proc/cpuinfo", "r");
    if (!file)
        return "unknown CPU";
    char line[512];
    std::string model = "unknown CPU";
    while (fgets(line, sizeof line, file)) {
        if (strncmp(line, "model name", 10) == 0) {
            const char *colon = strchr(line, ':');
            if (colon) {
                model = colon + 1;
                while (!model.empty() && (model[0] == ' ' || model[0] == '\t'))
                    model.erase(0, 1);
                while (!model.empty() && (model.back() == '\n' || model.back() == ' '))
                    model.pop_back();
            }
            break;
        }
    }
    fclose(file);
    return model;
}

int countCores()
{
    FILE *file = fopen("/proc/cpuinfo", "r");
    if (!file)
        return 0;
    char line[512];
    int cores = 0;
    while (fgets(line, sizeof line, file))
        cores += strncmp(line, "processor", 9) == 0;
    fclose(file);
    return cores;
}

// The clocks of frame k: the cameras and texts move, the forests scroll, the rows turn over.
void setFrameClocks(int k)
{
    const float t = 2.0f + 0.02f * float(k);
    frameClocks.frameDelta = 0.02f;
    frameClocks.demoTime = 20.0f + t;
    frameClocks.partTime = t;
    frameClocks.wordTime1 = t;
    frameClocks.wordTime2 = t;
    frameClocks.wordTime3 = t;
    musicRow = k % 64;
}

// Frames per second of a part on one path; one frame first, untimed, so lists are compiled.
double measurePart(int32_t drawnPart, int frames, bool immediate)
{
    celImmediateMode = immediate;
    voxelImmediateMode = immediate;
    forestPath = immediate ? forestLiteralPath : forestBandedPath;
    setFrameClocks(0);
    drawPart(drawnPart);
    glFinish();
    // The trace line of the forest flight goes to a sink, as a terminal would slow the loop.
    FILE *savedOut = stdout;
    FILE *sink = fopen("/dev/null", "w");
    if (sink)
        stdout = sink;
    const auto start = std::chrono::steady_clock::now();
    for (int k = 1; k <= frames; ++k) {
        setFrameClocks(k);
        drawPart(drawnPart);
        SDL_GL_SwapBuffers();
    }
    glFinish();
    const auto stop = std::chrono::steady_clock::now();
    if (sink) {
        stdout = savedOut;
        fclose(sink);
    }
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
    }
    const double seconds = std::chrono::duration<double>(stop - start).count();
    return seconds > 0 ? frames / seconds : 0.0;
}

// One frame of a part at moment k, with the forests held still and the shake's draws repeated.
std::vector<uint8_t> renderStill(int32_t drawnPart, int k, bool immediate)
{
    celImmediateMode = immediate;
    voxelImmediateMode = immediate;
    forestPath = immediate ? forestLiteralPath : forestBandedPath;
    setFrameClocks(k);
    frameClocks.frameDelta = 0.0f;
    srand(unsigned(1000 + k));
    FILE *savedOut = stdout;
    FILE *sink = fopen("/dev/null", "w");
    if (sink)
        stdout = sink;
    drawPart(drawnPart);
    if (sink) {
        stdout = savedOut;
        fclose(sink);
    }
    std::vector<uint8_t> pixels(800 * 600 * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, 800, 600, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    SDL_GL_SwapBuffers();
    return pixels;
}

int checkParts(const Options &o)
{
    int differing = 0;
    for (int32_t p = o.firstPart; p <= o.lastPart; ++p) {
        int frames = 0, bad = 0;
        // Moments spread over the 30 seconds of a camera track and over the rows of a pattern.
        for (int k = 0; k < 1500; k += 250, ++frames) {
            const std::vector<uint8_t> immediate = renderStill(p, k, true);
            const std::vector<uint8_t> shipped = renderStill(p, k, false);
            bad += immediate != shipped;
        }
        printf("part %2d: %d of %d frames differ\n", p, bad, frames);
        fflush(stdout);
        differing += bad;
    }
    celImmediateMode = false;
    voxelImmediateMode = false;
    forestPath = forestBandedPath;
    printf(differing == 0 ? "shipped and immediate paths draw identical pixels\n"
                          : "PIXELS DIFFER between the shipped and the immediate path\n");
    return differing == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    const Options o = parseOptions(argc, argv);
    // A busy shared X server now and then refuses a connection; the display set-up would end the
    // process, so video is started here first, with a few tries. The set-up then finds it running.
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (SDL_Init(SDL_INIT_TIMER | SDL_INIT_VIDEO) == 0)
            break;
        SDL_Delay(100);
    }
    startRenderer();
    if (o.check)
        return checkParts(o);
    printf("machine: %s, %d cores; %s; OpenGL %s\n", readCpuModel().c_str(), countCores(),
           reinterpret_cast<const char *>(glGetString(GL_RENDERER)),
           reinterpret_cast<const char *>(glGetString(GL_VERSION)));
    printf("%d frames a part at 800x600\n", o.frames);
    printf("| part | shipped fps | immediate fps | speed-up |\n");
    printf("|-----:|------------:|--------------:|---------:|\n");
    fflush(stdout);
    for (int32_t p = o.firstPart; p <= o.lastPart; ++p) {
        const double shipped = measurePart(p, o.frames, false);
        const double immediate = measurePart(p, o.frames, true);
        printf("| %4d | %11.1f | %13.1f | %7.2fx |\n", p, shipped, immediate,
               immediate > 0 ? shipped / immediate : 0.0);
        fflush(stdout);
    }
    celImmediateMode = false;
    voxelImmediateMode = false;
    forestPath = forestBandedPath;
    return 0;
}
