// Capturing the show to one video file: every frame drawn on the virtual clock and the module's
// samples rendered in step, piped to the ffmpeg program.
#pragma once
#include <string>

struct VideoSettings {
    std::string outPath; // absolute
    int fps = 60;
    bool lossless = false; // Matroska with FFV1 and FLAC instead of MP4 with H.264 and AAC
};

// Before the show starts: finds ffmpeg and creates the temporary file beside the output (which
// proves the place writable). From then on, an exit before the capture completes removes it.
bool prepareVideo(const VideoSettings &settings, std::string *error);
// While set, an exit (the show's loaders end the process themselves when content is bad) is
// turned into one line and status 1.
void guardShowStartUp(bool starting);
// Plays the whole show into the temporary file, with progress on standard error, and renames it
// to the output once ffmpeg has finished it. The sound is the module's frames before wrap, where
// the order goes from 50 back to 0; the pictures are the total frames whose instants lie before
// it (planPassFrames, from index 0: the frame after them is the one the show ends on).
bool captureVideo(const VideoSettings &settings, int64_t wrap, int64_t total, std::string *error);
