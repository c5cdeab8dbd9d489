// Which sound server plays what SDL's audio backends hand on: each queues differently behind the
// same backend, so the audible-position read needs to know.
#pragma once

enum SoundServerKind {
    noSoundServer,     // none answers: ALSA goes to the card itself
    pulseAudioServer,  // PulseAudio
    pipeWireServer,    // PipeWire, through its pulse layer or its own API
};

// Asks the server the pulse client library would reach (the library loaded at run time, so that
// a machine without it still plays) for its name; never starts one, and gives up after half a
// second.
SoundServerKind findSoundServer();
