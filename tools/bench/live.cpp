// bench --live: the show's own runDemo, timed from outside. The link wraps the calls that begin
// the start-up steps and the buffer swap (tools/bench/CMakeLists.txt), so the loop measured is the
// shipped one, unchanged.
#include <GL/glew.h>
#include <SDL/SDL.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench.h"
#include "driver/demo.h"
#include "xmwriter/xmwriter.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

// Start-up marks in the order runDemo reaches them.
enum Mark { runStart, displayStart, shadersStart, imagesStart, listsStart, musicStart, playing, markCount };
Clock::time_point marks[markCount];
bool marked[markCount];
bool recording = false;

struct LiveFrame {
    int32_t part;
    double ms;
};
std::vector<LiveFrame> liveFrames;
Clock::time_point lastSwap;

void setMark(Mark mark)
{
    if (!recording)
        return;
    marks[mark] = Clock::now();
    marked[mark] = true;
    lastSwap = marks[mark];
}

double millisecondsBetween(Mark from, Mark to)
{
    if (!marked[from] || !marked[to])
        return NAN;
    return std::chrono::duration<double, std::milli>(marks[to] - marks[from]).count();
}

} // namespace

// The wrapped calls, by their linker names.
extern "C" {
void __real__Z11openDisplayv();
void __real__Z14initCelShadingv();
void __real__Z16loadForestAssetsv();
void __real__Z19compileCelMeshListsv();
void __real__Z10startMusicv();
void __real__Z13startPlaybackv();
void __real_SDL_GL_SwapBuffers();

void __wrap__Z11openDisplayv()
{
    setMark(displayStart);
    __real__Z11openDisplayv();
}

void __wrap__Z14initCelShadingv()
{
    setMark(shadersStart);
    __real__Z14initCelShadingv();
}

void __wrap__Z16loadForestAssetsv()
{
    setMark(imagesStart);
    __real__Z16loadForestAssetsv();
}

void __wrap__Z19compileCelMeshListsv()
{
    setMark(listsStart);
    __real__Z19compileCelMeshListsv();
}

void __wrap__Z10startMusicv()
{
    setMark(musicStart);
    __real__Z10startMusicv();
}

void __wrap__Z13startPlaybackv()
{
    __real__Z13startPlaybackv();
    setMark(playing);
}

void __wrap_SDL_GL_SwapBuffers()
{
    __real_SDL_GL_SwapBuffers();
    if (!recording)
        return;
    const Clock::time_point now = Clock::now();
    liveFrames.push_back({part, std::chrono::duration<double, std::milli>(now - lastSwap).count()});
    lastSwap = now;
}
}

namespace {

// A folder whose data/ and Data/ link to the working directory's content, with the short module.
std::string prepareLiveFolder(int ticksPerRow)
{
    const fs::path root = fs::current_path();
    for (const char *needed : {"data/meshes", "data/images", "Data/Cg"})
        if (!fs::is_directory(root / needed)) {
            fprintf(stderr, "bench: no %s here; run --live from the repository root\n", needed);
            exit(1);
        }
    char scratch[] = "/tmp/bench-live-XXXXXX";
    if (!mkdtemp(scratch)) {
        fprintf(stderr, "bench: cannot make a scratch folder in /tmp\n");
        exit(1);
    }
    const fs::path folder = scratch;
    std::error_code error;
    fs::create_directories(folder / "data/music", error);
    if (!error)
        fs::create_directory_symlink(root / "data/meshes", folder / "data/meshes", error);
    if (!error)
        fs::create_directory_symlink(root / "data/images", folder / "data/images", error);
    if (!error)
        fs::create_directory_symlink(root / "Data", folder / "Data", error);
    if (error || !writeFileBytes((folder / "data/music/vrimla2.xm").string(), makeShortTestModule(51, 64, ticksPerRow))) {
        fprintf(stderr, "bench: cannot prepare %s\n", scratch);
        fs::remove_all(folder, error);
        exit(1);
    }
    return folder.string();
}

// Nearest rank.
double percentile(const std::vector<double> &sorted, double fraction)
{
    size_t rank = size_t(std::ceil(fraction * double(sorted.size())));
    rank = rank < 1 ? 1 : rank > sorted.size() ? sorted.size() : rank;
    return sorted[rank - 1];
}

void printLiveTable(int ticksPerRow)
{
    printf("live loop: 51 orders of 64 rows at %d ticks a row (%.2f s an order), %zu frames\n\n", ticksPerRow,
           64.0 * ticksPerRow * 2.5 / 255.0, liveFrames.size());
    const double loading = millisecondsBetween(runStart, displayStart);
    const double display = millisecondsBetween(displayStart, shadersStart);
    const double shaders = millisecondsBetween(shadersStart, imagesStart);
    const double images = millisecondsBetween(imagesStart, listsStart);
    const double lists = millisecondsBetween(listsStart, musicStart);
    const double music = millisecondsBetween(musicStart, playing);
    const double first = liveFrames.empty() ? NAN : liveFrames[0].ms;
    printf("| start-up | loading | display | shaders | images | lists | music | first frame | all but the display |\n");
    printf("|---|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    printf("| ms | %.1f | %.1f | %.1f | %.1f | %.1f | %.1f | %.1f | %.1f |\n\n", loading, display, shaders, images,
           lists, music, first, loading + shaders + images + lists + music + first);
    printf("| part | frames | median ms | p99 ms | longest ms | first ms | longest / median | first / median |\n");
    printf("|-----:|-------:|----------:|-------:|-----------:|---------:|-----------------:|---------------:|\n");
    for (int32_t p = 0; p <= 50; ++p) {
        std::vector<double> ms;
        double firstOfPart = NAN;
        for (const LiveFrame &frame : liveFrames)
            if (frame.part == p) {
                if (ms.empty())
                    firstOfPart = frame.ms;
                ms.push_back(frame.ms);
            }
        if (ms.empty()) {
            printf("| %4d | %6d |\n", p, 0);
            continue;
        }
        std::sort(ms.begin(), ms.end());
        const double median = percentile(ms, 0.5);
        printf("| %4d | %6zu | %9.1f | %6.1f | %10.1f | %8.1f | %15.2fx | %13.2fx |\n", p, ms.size(), median,
               percentile(ms, 0.99), ms.back(), firstOfPart, ms.back() / median, firstOfPart / median);
    }
}

} // namespace

int runLive(int ticksPerRow)
{
    const std::string folder = prepareLiveFolder(ticksPerRow);
    const fs::path root = fs::current_path();
    fs::current_path(folder);
    FILE *saved = sinkStdout();
    liveFrames.reserve(1 << 18); // no allocation in the timed loop
    recording = true;
    setMark(runStart);
    const int status = runDemo(0, nullptr);
    recording = false;
    restoreStdout(saved);
    fs::current_path(root);
    std::error_code error;
    fs::remove_all(folder, error);
    printMachine();
    printLiveTable(ticksPerRow);
    if (status != 0)
        fprintf(stderr, "bench: the show ended with status %d\n", status);
    return status == 0 ? 0 : 1;
}
