// The soundtrack: one XM module played through libopenmpt on SDL's audio device,
// standing in for the FMOD Ex calls the show was built around.
#pragma once
#include <cstdint>

// The row of the current pattern; -1 until the first frame.
extern int32_t musicRow;
// Result of the latest start-up call of the audio layer (0 is success).
extern int32_t fmodResult;

// FMOD Ex result codes that the audio layer reports.
enum FmodResultCode : int32_t {
    FMOD_OK = 0,
    FMOD_ERR_FILE_BAD = 19,
    FMOD_ERR_FILE_NOTFOUND = 23,
    FMOD_ERR_FORMAT = 25,
    FMOD_ERR_MEMORY = 42, // FMOD_ERR_MEMORY_CANTPOINT is 43
    FMOD_ERR_OUTPUT_INIT = 60,
};

// FMOD Ex's published message for a result code; "Unknown error." outside 0..86.
const char *describeFmodResult(int32_t code);

// Creates and initialises the audio system, prints "FMOD .. working", opens the module.
// Any failure prints "FMOD error! (%d) %s" and exits with -1.
void startMusic();
// Plays the module unpaused, then sets its position to order 0. The threads that were there
// before the audio system (the drawing ones) then give way to the audio threads.
void startPlayback();
// The order and row being heard now.
void readMusicPosition(int32_t *order, int32_t *row);
// The order and row that will be heard aheadSeconds from now, as far as the mixer has rendered.
void readMusicPositionAhead(int32_t *order, int32_t *row, double aheadSeconds);
