#include "media/music.h"

#include <SDL/SDL.h>
#include <libopenmpt/libopenmpt.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "assets/contentfiles.h"
#include "media/audioclock.h"

int32_t musicRow = -1;
int32_t fmodResult = FMOD_OK;

namespace {

const char *const musicPath = "data\\music\\vrimla2.xm";
constexpr int sampleRate = 44100;
constexpr int deviceBufferFrames = 1024;
// SDL hands the device one buffer while the callback fills the next.
constexpr int queuedFrames = deviceBufferFrames;

// The audio system: the device, the module and what the mixer noted of its position.
struct MusicSystem {
    bool deviceOpen;
    openmpt_module *module;
    int64_t framesRendered; // audio thread only
    std::atomic<double> audibleOrigin; // newest callback's, stored before framesPublished; NaN before any
    std::atomic<int64_t> framesPublished;
    PositionStamps notes;
    int64_t framesHeard;   // frame loop only: what the previous read gave
    uint64_t stampHeard;   // frame loop only: the note it found there
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

void renderMusic(void *, Uint8 *stream, int length)
{
    MusicSystem &sys = *fmodSystem;
    sys.audibleOrigin.store(findAudibleOrigin(sys.audibleOrigin.load(std::memory_order_relaxed),
                                              sys.framesRendered, steadySeconds(), queuedFrames, sampleRate),
                            std::memory_order_relaxed);

    int16_t *out = reinterpret_cast<int16_t *>(stream);
    int frames = length / 4;
    while (frames > 0) {
        int chunk = frames < positionStampFrames ? frames : positionStampFrames;
        notePosition(sys.notes, uint64_t(sys.framesRendered), openmpt_module_get_current_order(sys.module),
                     openmpt_module_get_current_row(sys.module));
        size_t got = openmpt_module_read_interleaved_stereo(sys.module, sampleRate, size_t(chunk), out);
        for (size_t i = got * 2; i < size_t(chunk) * 2; ++i)
            out[i] = 0;
        out += chunk * 2;
        frames -= chunk;
        sys.framesRendered += chunk;
    }
    sys.framesPublished.store(sys.framesRendered, std::memory_order_release);
}

int32_t createSystem()
{
    fmodSystem = new (std::nothrow) MusicSystem();
    if (fmodSystem)
        fmodSystem->audibleOrigin = std::nan("");
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
    wanted.freq = sampleRate;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = 2;
    wanted.samples = deviceBufferFrames;
    wanted.callback = renderMusic;
    if (SDL_OpenAudio(&wanted, nullptr) < 0)
        return FMOD_ERR_OUTPUT_INIT;
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
    // Under the lock the callback cannot run between the two steps, so nothing is rendered from
    // before the position is set and the read never sees the song start twice.
    SDL_LockAudio();
    SDL_PauseAudio(0);
    musicChannel = true;
    openmpt_module_set_position_order_row(musicSound, 0, 0);
    SDL_UnlockAudio();
}

void readMusicPosition(int32_t *order, int32_t *row)
{
    if (!musicChannel)
        return;
    MusicSystem &sys = *fmodSystem;
    int64_t rendered = sys.framesPublished.load(std::memory_order_acquire);
    if (rendered == 0) {
        *order = 0;
        *row = 0;
        return;
    }
    double origin = sys.audibleOrigin.load(std::memory_order_relaxed);
    sys.framesHeard = estimateAudibleFrame(origin, rendered, steadySeconds(), sampleRate, sys.framesHeard);
    // A note too old to be kept any more leaves the previous position in place.
    findPositionAt(sys.notes, uint64_t(sys.framesHeard), &sys.stampHeard);
    *order = stampOrder(sys.stampHeard);
    *row = stampRow(sys.stampHeard);
}
