// bench: how fast the show draws, and that its shipped drawing path draws what the literal one does.
//
//   bench [--frames N] [--parts FIRST-LAST] [--cpu]   frames a second of each part on each path
//   bench --check [--parts FIRST-LAST]                colour, depth and GL state compared
//   bench --live [TICKS]                              the show on its own loop, frame times
//
// The table times each part on the shipped path, on the path the forests took before their bands
// (forest parts only) and on the literal immediate-mode path, in blocks of frames taken in turn
// from the same forest positions, so a busy machine slows all of them alike; a column is the
// median block, by the wall clock or (--cpu) the process's CPU clock. --check draws each part on
// both paths from the same forests, two frames at each of six moments (rows 15, 31, 47 and 63
// among them, one frame 9 s long), and ends with status 1 when any record differs. --live plays a
// module of 51 orders of 64 rows at TICKS ticks a row (default 2: 1.25 s an order) through
// runDemo, in a scratch folder that links the working directory's content, and prints the
// start-up split and each part's frame times.
// Run from the repository root with a display (Xvfb at 800x600x24) and SDL_AUDIODRIVER=dummy.
// Exit status 0, 1 on a difference or a failed run, 2 on bad usage.
#include <GL/glew.h>
#include <SDL/SDL.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "bench.h"
#include "drawpaths.h"
#include "driver/demo.h"
#include "driver/schedule.h"
#include "media/music.h"
#include "renderer.h"

namespace {

struct Options {
    int frames = 60;
    int firstPart = 0;
    int lastPart = 50;
    bool check = false;
    bool cpu = false;
    int liveTicks = 0; // 0: no live run
};

[[noreturn]] void failUsage(const char *message)
{
    fprintf(stderr,
            "bench: %s\nusage: bench [--frames N] [--parts FIRST-LAST] [--cpu] | --check [--parts FIRST-LAST] | "
            "--live [TICKS]\n",
            message);
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
        } else if (strcmp(argv[k], "--cpu") == 0) {
            o.cpu = true;
        } else if (strcmp(argv[k], "--live") == 0) {
            o.liveTicks = 2;
            if (k + 1 < argc && argv[k + 1][0] != '-') {
                char *end = nullptr;
                long n = strtol(argv[++k], &end, 10);
                if (*end != '\0' || n < 1 || n > 31)
                    failUsage("--live wants ticks a row from 1 to 31");
                o.liveTicks = int(n);
            }
        } else {
            failUsage("unknown or incomplete option");
        }
    }
    if (o.check && o.liveTicks)
        failUsage("--check and --live are separate runs");
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

} // namespace

void printMachine()
{
    printf("machine: %s, %d cores; %s; OpenGL %s\n", readCpuModel().c_str(), countCores(),
           reinterpret_cast<const char *>(glGetString(GL_RENDERER)),
           reinterpret_cast<const char *>(glGetString(GL_VERSION)));
}

FILE *sinkStdout()
{
    fflush(stdout);
    FILE *saved = stdout;
    FILE *sink = fopen("/dev/null", "w");
    if (sink)
        stdout = sink;
    return saved;
}

void restoreStdout(FILE *saved)
{
    if (stdout == saved)
        return;
    fclose(stdout);
    stdout = saved;
}

namespace {

void drainEvents()
{
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
    }
}

// The clocks of frame k: the cameras and texts move, the forests scroll, the rows turn over.
void setFrameClocks(int k, float partTime, float delta, int row)
{
    frameClocks.frameDelta = delta;
    frameClocks.demoTime = 20.0f + partTime;
    frameClocks.partTime = partTime;
    frameClocks.wordTime1 = partTime;
    frameClocks.wordTime2 = partTime;
    frameClocks.wordTime3 = partTime;
    musicRow = row;
    srand(unsigned(1000 + k)); // the shake draws the same on every path
}

void setBenchClocks(int k)
{
    setFrameClocks(k, 2.0f + 0.02f * float(k), 0.02f, k % 64);
}

double medianOf(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

constexpr int blockFrames = 2;

// Milliseconds since some start: wall time, or the process's CPU time (all its threads), which a
// shared machine disturbs less.
double readClock(bool cpu)
{
    if (!cpu)
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
    timespec now;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) * 1e-6;
}

// Milliseconds a frame of a part on each path: blocks of frames drawn in turn on the paths, each
// block from the same forest positions and the same shake, the median block per path.
std::vector<double> timePart(int32_t drawnPart, int frames, bool cpu, const std::vector<DrawPath> &paths)
{
    FILE *saved = sinkStdout();
    // Untimed frames first: llvmpipe builds its shader variants for the states each path meets.
    const ForestSnapshot untouched = takeForestSnapshot();
    for (int k = 0; k < 3; ++k)
        for (DrawPath path : paths) {
            selectDrawPath(path);
            setBenchClocks(k);
            drawPart(drawnPart);
            SDL_GL_SwapBuffers();
        }
    glFinish();
    restoreForestSnapshot(untouched);
    const int rounds = std::max(1, frames / blockFrames);
    std::vector<std::vector<double>> samples(paths.size());
    for (int round = 0; round < rounds; ++round) {
        const ForestSnapshot start = takeForestSnapshot();
        ForestSnapshot moved = start;
        for (size_t j = 0; j < paths.size(); ++j) {
            const size_t which = (size_t(round) + j) % paths.size();
            restoreForestSnapshot(start);
            selectDrawPath(paths[which]);
            const double begin = readClock(cpu);
            for (int f = 0; f < blockFrames; ++f) {
                setBenchClocks(1 + round * blockFrames + f);
                drawPart(drawnPart);
                SDL_GL_SwapBuffers();
            }
            glFinish();
            samples[which].push_back((readClock(cpu) - begin) / blockFrames);
            moved = takeForestSnapshot();
            drainEvents();
        }
        restoreForestSnapshot(moved);
    }
    selectDrawPath(shippedPath);
    restoreStdout(saved);
    std::vector<double> ms;
    for (const std::vector<double> &s : samples)
        ms.push_back(medianOf(s));
    return ms;
}

int benchParts(const Options &o)
{
    printMachine();
    printf("%d frames a part and path at 800x600, in blocks of %d taken in turn, %s\n\n", o.frames, blockFrames,
           o.cpu ? "timed by the process's CPU clock" : "timed by the wall clock");
    printf("| part | shipped fps | forests before fps | immediate fps | vs forests before | vs immediate |\n");
    printf("|-----:|------------:|-------------------:|--------------:|------------------:|-------------:|\n");
    fflush(stdout);
    for (int32_t p = o.firstPart; p <= o.lastPart; ++p) {
        const bool forest = partMovesForests(p);
        std::vector<DrawPath> paths = {shippedPath, immediatePath};
        if (forest)
            paths.push_back(previousForestPath);
        const std::vector<double> ms = timePart(p, o.frames, o.cpu, paths);
        const double shipped = 1000.0 / ms[0], immediate = 1000.0 / ms[1];
        if (forest) {
            const double before = 1000.0 / ms[2];
            printf("| %4d | %11.1f | %18.1f | %13.1f | %16.2fx | %11.2fx |\n", p, shipped, before, immediate,
                   shipped / before, shipped / immediate);
        } else {
            printf("| %4d | %11.1f | %18s | %13.1f | %17s | %11.2fx |\n", p, shipped, "", immediate, "",
                   shipped / immediate);
        }
        fflush(stdout);
    }
    return 0;
}

// Moments of the check: part time, row, frame delta. The rows with the largest shake of each
// beat (15, 31, 47, 63), a long frame that wraps trees, the rest spread over a camera track.
struct Moment {
    float partTime;
    int row;
    float delta;
};
const Moment checkMoments[] = {
    {2.0f, 15, 0.02f}, {7.0f, 31, 0.05f}, {12.0f, 47, 0.02f}, {17.0f, 63, 0.03f}, {22.0f, 0, 9.0f}, {27.0f, 40, 0.02f},
};
constexpr int framesPerMoment = 2;

std::vector<FrameRecord> drawMoment(int32_t drawnPart, int index, DrawPath path)
{
    const Moment &m = checkMoments[index];
    selectDrawPath(path);
    std::vector<FrameRecord> records;
    FILE *saved = sinkStdout();
    for (int f = 0; f < framesPerMoment; ++f) {
        setFrameClocks(index * 10 + f, m.partTime + m.delta * float(f), m.delta, m.row);
        drawPart(drawnPart);
        records.push_back(recordFrame());
        SDL_GL_SwapBuffers();
    }
    restoreStdout(saved);
    drainEvents();
    return records;
}

int checkParts(const Options &o)
{
    int differing = 0;
    for (int32_t p = o.firstPart; p <= o.lastPart; ++p) {
        int bad = 0, frames = 0;
        std::string first;
        for (int m = 0; m < int(sizeof checkMoments / sizeof checkMoments[0]); ++m) {
            const ForestSnapshot start = takeForestSnapshot();
            const std::vector<FrameRecord> immediate = drawMoment(p, m, immediatePath);
            const ForestSnapshot movedLiterally = takeForestSnapshot();
            restoreForestSnapshot(start);
            const std::vector<FrameRecord> shipped = drawMoment(p, m, shippedPath);
            for (int f = 0; f < framesPerMoment; ++f, ++frames) {
                std::string difference = describeDifference(immediate[f], shipped[f]);
                if (difference.empty() && !isForestSnapshotEqual(movedLiterally, takeForestSnapshot()))
                    difference = "the forests moved differently";
                if (difference.empty())
                    continue;
                ++bad;
                if (first.empty())
                    first = "row " + std::to_string(checkMoments[m].row) + ": " + difference;
            }
        }
        printf("part %2d: %d of %d frames differ%s%s\n", p, bad, frames, first.empty() ? "" : "; ", first.c_str());
        fflush(stdout);
        differing += bad;
    }
    selectDrawPath(shippedPath);
    printf(differing == 0 ? "shipped and immediate paths leave identical colour, depth and state\n"
                          : "FRAMES DIFFER between the shipped and the immediate path\n");
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
    if (o.liveTicks)
        return runLive(o.liveTicks);
    startRenderer();
    return o.check ? checkParts(o) : benchParts(o);
}
