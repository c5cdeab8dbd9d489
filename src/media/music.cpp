#include "media/music.h"

#include <SDL/SDL.h>
#include <libopenmpt/libopenmpt.h>

#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

#include "assets/contentfiles.h"
#include "media/audioclock.h"
#include "media/soundserver.h"

int32_t musicRow = -1;
int32_t fmodResult = FMOD_OK;

namespace {

const char *const musicPath = "data\\music\\vrimla2.xm";
constexpr int wantedRate = 44100;
// 46 ms a buffer: room for drawing threads that keep both cores busy, while what the backends
// queue, a few buffers, stays within what the position read can allow for without a large error.
// SDL2's PipeWire backend asks the graph for a cycle of the buffer's length and fills a longer
// one in bursts from inside the cycle, so there the buffer is one ordinary cycle.
constexpr int wantedBufferFrames = 2048;
constexpr int pipeWireBufferFrames = 1024;
// The mixer renders this far ahead of the device in a thread of its own, so that a callback only
// copies: a callback that renders needs the CPU for milliseconds just when it is due.
constexpr int aheadFrames = 16384;
// What the drawing threads give up to the audio path: CFS then lets a woken audio thread in at
// once. Raising a thread's nice value needs no privilege; lowering another's would.
constexpr int drawingNiceIncrement = 5;

// The audio system: the device, the module and what the mixer noted of its position.
struct MusicSystem {
    bool deviceOpen;
    openmpt_module *module;
    int sampleRate;         // the device's, which libopenmpt renders at
    const char *driver;     // SDL's audio driver
    bool onSdl2;            // SDL 1.2 as sdl12-compat on SDL2
    SoundServerKind server; // what the backend hands the sound on to
    bool paced;             // the callback waits for the device's room itself
    // The rendered sound, ahead of the device: one writer (the mixer thread), one reader (the callback).
    int16_t ahead[aheadFrames * 2];
    std::atomic<int64_t> framesRendered;  // written by the mixer thread
    std::atomic<int64_t> framesPlayed;    // handed to the device, written by the callback after the origin
    std::atomic<bool> mixing;
    std::thread mixer;
    std::atomic<double> audibleOrigin; // from the last callbacks; NaN before any
    OriginWindow origins;              // the callback's own
    PositionStamps notes;
    int64_t framesHeard;   // frame loop only: what the previous read gave
    uint64_t stampHeard;   // frame loop only: the note it found there
    std::vector<pid_t> drawingThreads; // the process's threads before the audio system had any
};

MusicSystem *fmodSystem = nullptr;
openmpt_module *musicSound = nullptr;
bool musicChannel = false; // playing

double steadySeconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

[[noreturn]] void reportAndStop(int32_t code)
{
    printf("FMOD error! (%d) %s\n", code, describeFmodResult(code));
    fflush(stdout);
    exit(-1);
}

void checkResult()
{
    if (fmodResult != FMOD_OK)
        reportAndStop(fmodResult);
}

// The mixer thread: keeps the ring full, noting the order and row before every 64 frames.
void runMixer(MusicSystem *system)
{
    MusicSystem &sys = *system;
    int64_t rendered = sys.framesRendered.load(std::memory_order_relaxed);
    while (sys.mixing.load(std::memory_order_relaxed)) {
        const int64_t played = sys.framesPlayed.load(std::memory_order_acquire);
        if (rendered - played > aheadFrames - positionStampFrames) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        // A chunk never wraps: the ring holds a whole number of them.
        int16_t *out = sys.ahead + (rendered % aheadFrames) * 2;
        notePosition(sys.notes, uint64_t(rendered), openmpt_module_get_current_order(sys.module),
                     openmpt_module_get_current_row(sys.module));
        size_t got = openmpt_module_read_interleaved_stereo(sys.module, sys.sampleRate, positionStampFrames, out);
        for (size_t i = got * 2; i < size_t(positionStampFrames) * 2; ++i)
            out[i] = 0;
        rendered += positionStampFrames;
        sys.framesRendered.store(rendered, std::memory_order_release);
    }
}

void renderMusic(void *, Uint8 *stream, int length)
{
    MusicSystem &sys = *fmodSystem;
    const int frames = length / 4;
    int64_t played = sys.framesPlayed.load(std::memory_order_relaxed);
    // The callback's own length is the device buffer, whatever the driver made of the one asked for.
    const int queued = estimateQueuedFrames(sys.driver, sys.onSdl2, sys.server, frames);
    const double origin = findWindowOrigin(sys.origins, sys.audibleOrigin.load(std::memory_order_relaxed), played,
                                           steadySeconds(), queued, sys.sampleRate);
    sys.audibleOrigin.store(origin, std::memory_order_relaxed);
    const int64_t available = sys.framesRendered.load(std::memory_order_acquire) - played;
    int16_t *out = reinterpret_cast<int16_t *>(stream);
    const int copied = int(std::min<int64_t>(frames, available));
    for (int i = 0; i < copied; ++i, ++played) {
        out[2 * i] = sys.ahead[(played % aheadFrames) * 2];
        out[2 * i + 1] = sys.ahead[(played % aheadFrames) * 2 + 1];
    }
    // A starved mixer leaves silence; the sound goes on where it stopped.
    memset(out + 2 * copied, 0, size_t(frames - copied) * 4);
    sys.framesPlayed.store(played, std::memory_order_release);
    if (sys.paced) {
        const double wait = findCallbackWait(origin, played, steadySeconds(), queued, frames, sys.sampleRate);
        if (wait > 0)
            std::this_thread::sleep_for(std::chrono::duration<double>(wait));
    }
}

std::vector<pid_t> listThreads()
{
    std::vector<pid_t> threads;
    if (DIR *tasks = opendir("/proc/self/task")) {
        while (const dirent *entry = readdir(tasks))
            if (entry->d_name[0] != '.')
                threads.push_back(pid_t(atoi(entry->d_name)));
        closedir(tasks);
    }
    return threads;
}

// The drawing threads (the loop's own and the GL driver's, all there before the audio system)
// give way to the audio ones; where the system refuses, they keep their priority.
void yieldDrawingThreads(const std::vector<pid_t> &threads)
{
    for (pid_t thread : threads) {
        errno = 0;
        const int nice = getpriority(PRIO_PROCESS, id_t(thread));
        if (errno == 0)
            setpriority(PRIO_PROCESS, id_t(thread), std::min(nice + drawingNiceIncrement, 19));
    }
}

int32_t createSystem()
{
    fmodSystem = new (std::nothrow) MusicSystem();
    if (fmodSystem) {
        fmodSystem->audibleOrigin = std::nan("");
        clearOriginWindow(fmodSystem->origins);
        fmodSystem->drawingThreads = listThreads();
    }
    return fmodSystem ? FMOD_OK : FMOD_ERR_MEMORY;
}

int32_t selectOutput()
{
    // SDL picks the platform's default output.
    return SDL_InitSubSystem(SDL_INIT_AUDIO) < 0 ? FMOD_ERR_OUTPUT_INIT : FMOD_OK;
}

int32_t initSystem()
{
    SDL_AudioSpec wanted{};
    wanted.freq = wantedRate;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = 2;
    static char driver[32];
    fmodSystem->driver = SDL_AudioDriverName(driver, sizeof driver);
    fmodSystem->onSdl2 = SDL_Linked_Version()->patch >= 50; // sdl12-compat counts from 1.2.50
    // SDL's dummy driver plays to no one; every other may reach a sound server.
    const bool silent = fmodSystem->driver && strcmp(fmodSystem->driver, "dummy") == 0;
    fmodSystem->server = silent ? noSoundServer : findSoundServer();
    fmodSystem->paced = mustPaceCallback(fmodSystem->driver, fmodSystem->onSdl2);
    const bool pipeWire = fmodSystem->driver && strcmp(fmodSystem->driver, "pipewire") == 0;
    wanted.samples = pipeWire ? pipeWireBufferFrames : wantedBufferFrames;
    wanted.callback = renderMusic;
    // Take the rate and buffer the device grants, so that nothing is converted or re-buffered
    // behind the callback's back; only another sample format or channel count is left to SDL.
    SDL_AudioSpec granted{};
    if (SDL_OpenAudio(&wanted, &granted) < 0)
        return FMOD_ERR_OUTPUT_INIT;
    if (granted.format != AUDIO_S16SYS || granted.channels != 2 || granted.freq < 8000 || granted.freq > 192000) {
        SDL_CloseAudio();
        wanted.samples = pipeWire ? pipeWireBufferFrames : wantedBufferFrames;
        if (SDL_OpenAudio(&wanted, nullptr) < 0)
            return FMOD_ERR_OUTPUT_INIT;
        granted.freq = wantedRate;
    }
    fmodSystem->sampleRate = granted.freq;
    fmodSystem->deviceOpen = true;
    return FMOD_OK;
}

int32_t readModuleFile(const char *path, std::vector<char> *bytes)
{
    FILE *file = openContentFile(path, "rb");
    if (!file)
        return errno == ENOENT || errno == ENOTDIR ? FMOD_ERR_FILE_NOTFOUND : FMOD_ERR_FILE_BAD;
    int32_t result = FMOD_OK;
    char block[65536];
    size_t got;
    try {
        while ((got = fread(block, 1, sizeof block, file)) > 0)
            bytes->insert(bytes->end(), block, block + got);
    } catch (const std::bad_alloc &) {
        result = FMOD_ERR_MEMORY;
    }
    if (result == FMOD_OK && ferror(file))
        result = FMOD_ERR_FILE_BAD;
    fclose(file);
    return result;
}

int32_t createSound(const char *path)
{
    std::vector<char> bytes;
    int32_t result = readModuleFile(path, &bytes);
    if (result != FMOD_OK)
        return result;
    int error = OPENMPT_ERROR_OK;
    musicSound = openmpt_module_create_from_memory2(bytes.data(), bytes.size(), openmpt_log_func_silent,
                                                   nullptr, openmpt_error_func_ignore, nullptr, &error,
                                                   nullptr, nullptr);
    if (!musicSound)
        return error == OPENMPT_ERROR_OUT_OF_MEMORY ? FMOD_ERR_MEMORY : FMOD_ERR_FORMAT;
    // The show ends when the song comes round to its first order again, so it must keep playing.
    openmpt_module_set_repeat_count(musicSound, -1);
    fmodSystem->module = musicSound;
    return FMOD_OK;
}

} // namespace

void startMusic()
{
    fmodResult = createSystem();
    checkResult();
    fmodResult = selectOutput(); // not tested: the device open below reports a missing output
    fmodResult = initSystem();
    checkResult();
    printf("FMOD .. working\n");
    fmodResult = createSound(musicPath);
    checkResult();
}

void startPlayback()
{
    fmodResult = musicSound && fmodSystem->deviceOpen ? FMOD_OK : FMOD_ERR_FORMAT;
    checkResult();
    // The mixer starts after the position is set, so nothing is rendered from before it and the
    // read never sees the song start twice.
    openmpt_module_set_position_order_row(musicSound, 0, 0);
    fmodSystem->mixing = true;
    try {
        fmodSystem->mixer = std::thread(runMixer, fmodSystem);
    } catch (const std::system_error &) {
        fmodResult = FMOD_ERR_MEMORY;
        checkResult();
    }
    SDL_PauseAudio(0);
    musicChannel = true;
    yieldDrawingThreads(fmodSystem->drawingThreads);
}

void readMusicPosition(int32_t *order, int32_t *row)
{
    readMusicPositionAhead(order, row, 0.0);
}

void readMusicPositionAhead(int32_t *order, int32_t *row, double aheadSeconds)
{
    if (!musicChannel)
        return;
    MusicSystem &sys = *fmodSystem;
    int64_t rendered = sys.framesPlayed.load(std::memory_order_acquire);
    if (rendered == 0) {
        *order = 0;
        *row = 0;
        return;
    }
    double origin = sys.audibleOrigin.load(std::memory_order_relaxed);
    sys.framesHeard = estimateAudibleFrame(origin, rendered, steadySeconds() + aheadSeconds, sys.sampleRate,
                                           sys.framesHeard);
    // A note too old to be kept any more leaves the previous position in place.
    findPositionAt(sys.notes, uint64_t(sys.framesHeard), &sys.stampHeard);
    *order = stampOrder(sys.stampHeard);
    *row = stampRow(sys.stampHeard);
}
