// Measures how evenly the position read follows the music: plays a module of known row length on
// SDL's audio output, polls the order and row the way the frame loop does, and prints the spread
// of the intervals between row changes against the module's own row length. With --starve it
// keeps the audio thread from running for 15 ms in every 100, so that callbacks come late as on a
// busy machine; the count of steps back shows whether the read still only moves forward.
//   syncprobe [seconds] [--starve]   (run it in an empty folder; it writes data/music/vrimla2.xm there)
#include <SDL/SDL.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

#include "media/music.h"
#include "xmwriter/xmwriter.h"

int main(int argc, char **argv)
{
    double seconds = argc > 1 ? atof(argv[1]) : 5.0;
    const bool starve = argc > 2 && strcmp(argv[2], "--starve") == 0;
    if (!(seconds > 0 && seconds < 600) || argc > 3 || (argc == 3 && !starve)) {
        fprintf(stderr, "usage: syncprobe [seconds between 0 and 600] [--starve]\n");
        return 2;
    }
    std::filesystem::create_directories("data/music");
    // Speed 1, tempo 255: a row lasts 2.5 / 255 s.
    if (!writeFileBytes("data/music/vrimla2.xm", makeShortTestModule(51, 64))) {
        fprintf(stderr, "syncprobe: cannot write data/music/vrimla2.xm\n");
        return 1;
    }
    const double rowSeconds = 2.5 / 255.0;
    if (SDL_Init(SDL_INIT_NOPARACHUTE) < 0) {
        fprintf(stderr, "syncprobe: %s\n", SDL_GetError());
        return 1;
    }
    startMusic();
    startPlayback();
    using clock = std::chrono::steady_clock;
    auto start = clock::now();
    std::vector<double> changes;
    int32_t lastOrder = -1, lastRow = -1, backwards = 0;
    bool audioHeld = false;
    for (;;) {
        double now = std::chrono::duration<double>(clock::now() - start).count();
        if (now > seconds)
            break;
        // Holding SDL's audio lock keeps the callback from running, as a starved audio thread would.
        const bool hold = starve && std::fmod(now, 0.1) < 0.015;
        if (hold != audioHeld) {
            hold ? SDL_LockAudio() : SDL_UnlockAudio();
            audioHeld = hold;
        }
        int32_t order = 0, row = 0;
        readMusicPosition(&order, &row);
        if (order != lastOrder || row != lastRow) {
            // Any earlier order and row is a step back, but for the wrap from the last order to the first.
            const bool wrap = lastOrder == 50 && order == 0;
            if (!wrap && (order < lastOrder || (order == lastOrder && row < lastRow)))
                ++backwards;
            changes.push_back(now);
            lastOrder = order;
            lastRow = row;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    if (audioHeld)
        SDL_UnlockAudio();
    std::vector<double> errors;
    for (size_t i = 2; i < changes.size(); ++i)
        errors.push_back((changes[i] - changes[i - 1] - rowSeconds) * 1000.0);
    if (errors.empty()) {
        printf("no row changes seen\n");
        return 1;
    }
    double sum = 0, worst = 0;
    for (double e : errors) {
        sum += e * e;
        worst = std::max(worst, std::fabs(e));
    }
    char driver[32] = "?";
    SDL_AudioDriverName(driver, sizeof driver);
    printf("driver %s: %zu row changes, row length %.2f ms, interval error rms %.2f ms, worst %.2f ms, "
           "steps back %d\n",
           driver, errors.size() + 1, rowSeconds * 1000.0,
           std::sqrt(sum / errors.size()), worst, backwards);
    SDL_Quit();
    return 0;
}
