#include "video.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <vector>

#include "driver/demo.h"
#include "renderer.h"

extern char **environ;

namespace {

// What the clean-up needs at exit and in a signal handler, in plain storage.
char tempPath[4096];
volatile sig_atomic_t encoderPid = 0;
bool startingUp = false;
std::string ffmpegPath;

void removeLeftovers()
{
    if (encoderPid > 0) {
        kill(encoderPid, SIGKILL);
        waitpid(encoderPid, nullptr, 0);
        encoderPid = 0;
    }
    if (tempPath[0])
        unlink(tempPath);
    if (startingUp) {
        // The show's own line (if any) is out already; its status would say nothing about the file.
        fflush(stdout);
        fputs("render: the show stopped while starting up; no video written\n", stderr);
        _exit(1);
    }
}

void stopOnSignal(int)
{
    if (encoderPid > 0)
        kill(encoderPid, SIGKILL);
    if (tempPath[0])
        unlink(tempPath);
    const char message[] = "\nrender: interrupted; no video written\n";
    ssize_t written = write(STDERR_FILENO, message, sizeof message - 1);
    (void)written;
    _exit(1);
}

std::string findProgram(const std::string &name)
{
    const char *path = getenv("PATH");
    std::string dirs = path ? path : "";
    for (size_t start = 0; start <= dirs.size();) {
        size_t colon = std::min(dirs.find(':', start), dirs.size());
        std::string dir = dirs.substr(start, colon - start);
        std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
        struct stat info;
        if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = colon + 1;
    }
    return "";
}

// The ffmpeg process and what is queued for its two input pipes. ffmpeg reads its inputs as it
// likes (several seconds of one while probing it, then one held back until the other catches
// up), so the whole sound is ready before the first frame, and neither pipe is written with a
// blocking call: a writer stuck on one while ffmpeg waits on the other would hang both.
struct Encoder {
    pid_t pid = 0;
    int videoFd = -1; // ffmpeg's pipe:3, raw RGBA frames
    int audioFd = -1; // ffmpeg's pipe:4, raw 16-bit stereo
    int errFd = -1;   // its standard error
    std::deque<std::vector<uint8_t>> frames;
    size_t frameOffset = 0;
    std::vector<int16_t> audio; // the whole soundtrack, interleaved stereo
    size_t audioOffset = 0;     // in bytes
    std::string errText;
    bool broken = false; // a write failed: ffmpeg stopped reading
};

std::vector<std::string> encoderArguments(const VideoSettings &s)
{
    std::vector<std::string> a = {
        ffmpegPath, "-hide_banner", "-nostdin", "-nostats", "-loglevel", "error",
        "-f", "rawvideo", "-pix_fmt", "rgba",
        "-video_size", std::to_string(frameWidth) + "x" + std::to_string(frameHeight),
        "-framerate", std::to_string(s.fps), "-i", "pipe:3",
        "-f", "s16le", "-ar", std::to_string(renderSampleRate), "-ac", "2", "-i", "pipe:4",
        "-map", "0:v", "-map", "1:a",
        // No dates, encoder versions or random identifiers: the same show gives the same file.
        "-map_metadata", "-1", "-fflags", "+bitexact", "-flags:v", "+bitexact", "-flags:a", "+bitexact"};
    const std::vector<std::string> lossless = {
        "-c:v", "ffv1", "-level", "3", "-coder", "1", "-context", "1", "-g", "1", "-slices", "4", "-slicecrc", "1",
        "-pix_fmt", "bgr0", "-c:a", "flac", "-f", "matroska"};
    // BT.709 with limited range, converted and labelled so, which players and video sites assume.
    const std::vector<std::string> shared = {
        "-vf", "scale=out_color_matrix=bt709:out_range=tv:flags=bicubic+accurate_rnd+full_chroma_int",
        "-pix_fmt", "yuv420p", "-c:v", "libx264", "-preset", "medium", "-crf", "17",
        "-colorspace", "bt709", "-color_primaries", "bt709", "-color_trc", "bt709", "-color_range", "tv",
        "-c:a", "aac", "-b:a", "320k", "-movflags", "+faststart", "-f", "mp4"};
    const std::vector<std::string> &format = s.lossless ? lossless : shared;
    a.insert(a.end(), format.begin(), format.end());
    a.insert(a.end(), {"-y", tempPath});
    return a;
}

// Moves a descriptor to 10 or above, close-on-exec, so the child's dup2 on to 2, 3 and 4
// cannot overwrite one of the others.
int liftDescriptor(int fd)
{
    int lifted = fcntl(fd, F_DUPFD_CLOEXEC, 10);
    close(fd);
    return lifted;
}

bool startEncoder(const VideoSettings &s, Encoder *e, std::string *error)
{
    int video[2], audio[2], err[2];
    if (pipe(video) != 0 || pipe(audio) != 0 || pipe(err) != 0) {
        *error = std::string("cannot make pipes for ffmpeg: ") + strerror(errno);
        return false;
    }
    for (int *fd : {&video[0], &video[1], &audio[0], &audio[1], &err[0], &err[1]})
        *fd = liftDescriptor(*fd);
    fcntl(video[1], F_SETPIPE_SZ, 1 << 20); // fewer wake-ups per frame; the default works too

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    posix_spawn_file_actions_adddup2(&actions, video[0], 3);
    posix_spawn_file_actions_adddup2(&actions, audio[0], 4);
    std::vector<std::string> args = encoderArguments(s);
    std::vector<char *> argv;
    for (std::string &arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    int spawned = posix_spawn(&pid, ffmpegPath.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    for (int fd : {video[0], audio[0], err[1]})
        close(fd);
    if (spawned != 0) {
        for (int fd : {video[1], audio[1], err[0]})
            close(fd);
        *error = "cannot start " + ffmpegPath + ": " + strerror(spawned);
        return false;
    }
    e->pid = pid;
    encoderPid = pid;
    e->videoFd = video[1];
    e->audioFd = audio[1];
    e->errFd = err[0];
    for (int fd : {e->videoFd, e->audioFd, e->errFd})
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    return true;
}

void closeDescriptor(int *fd)
{
    if (*fd >= 0)
        close(*fd);
    *fd = -1;
}

// False when the pipe is gone (ffmpeg stopped reading); a full pipe is not a failure.
bool writeSome(int fd, const void *data, size_t size, size_t *offset)
{
    ssize_t n = write(fd, static_cast<const uint8_t *>(data) + *offset, size - *offset);
    if (n > 0)
        *offset += size_t(n);
    return n >= 0 || errno == EAGAIN || errno == EINTR;
}

void readErrors(Encoder *e)
{
    char block[4096];
    ssize_t n = read(e->errFd, block, sizeof block);
    if (n > 0 && e->errText.size() < 65536)
        e->errText.append(block, size_t(n));
    else if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
        closeDescriptor(&e->errFd);
}

// Writes what ffmpeg will take now and collects its standard error. Waits while more than
// maxFrames frames are queued or, when finishing, until everything is written, closing each pipe
// once its stream is complete. False when ffmpeg stopped reading.
bool pumpEncoder(Encoder *e, size_t maxFrames, bool finishing)
{
    for (;;) {
        const size_t audioBytes = e->audio.size() * sizeof(int16_t);
        // The sound is whole before the first frame, so its pipe ends as soon as it is written:
        // ffmpeg 7 reads a short raw input to its end while it opens it, before any picture.
        if (e->audioOffset == audioBytes)
            closeDescriptor(&e->audioFd);
        if (finishing && e->frames.empty())
            closeDescriptor(&e->videoFd);
        const bool wait = finishing ? e->videoFd >= 0 || e->audioFd >= 0 : e->frames.size() > maxFrames;
        pollfd fds[3];
        nfds_t count = 0;
        const bool videoQueued = e->videoFd >= 0 && !e->frames.empty();
        const bool audioQueued = e->audioFd >= 0 && e->audioOffset < audioBytes;
        if (videoQueued)
            fds[count++] = {e->videoFd, POLLOUT, 0};
        if (audioQueued)
            fds[count++] = {e->audioFd, POLLOUT, 0};
        if (e->errFd >= 0)
            fds[count++] = {e->errFd, POLLIN, 0};
        int ready = poll(fds, count, wait ? -1 : 0);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return ready == 0;
        for (nfds_t k = 0; k < count; ++k) {
            if (fds[k].revents == 0)
                continue;
            if (fds[k].fd == e->errFd) {
                readErrors(e);
            } else if (fds[k].fd == e->videoFd) {
                if (!writeSome(e->videoFd, e->frames.front().data(), e->frames.front().size(), &e->frameOffset))
                    return !(e->broken = true);
                if (e->frameOffset == e->frames.front().size()) {
                    e->frames.pop_front();
                    e->frameOffset = 0;
                }
            } else {
                if (!writeSome(e->audioFd, e->audio.data(), audioBytes, &e->audioOffset))
                    return !(e->broken = true);
            }
        }
    }
}

std::string firstLine(const std::string &text)
{
    size_t start = text.find_first_not_of("\r\n \t");
    if (start == std::string::npos)
        return "";
    return text.substr(start, text.find_first_of("\r\n", start) - start);
}

// Closes ffmpeg's inputs, reads its standard error to the end and takes its status. True when
// everything was written and ffmpeg finished the file; otherwise what went wrong, with where.
bool finishEncoder(Encoder *e, const std::string &where, std::string *problem)
{
    bool written = !e->broken && pumpEncoder(e, 0, true);
    closeDescriptor(&e->videoFd);
    closeDescriptor(&e->audioFd);
    while (e->errFd >= 0) {
        pollfd fd = {e->errFd, POLLIN, 0};
        if (poll(&fd, 1, -1) >= 0 || errno != EINTR)
            readErrors(e);
    }
    int status = 0;
    while (waitpid(e->pid, &status, 0) < 0 && errno == EINTR) {
    }
    encoderPid = 0;
    if (written && WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return true;
    if (WIFSIGNALED(status))
        *problem = "ffmpeg was killed" + where + " (signal " + std::to_string(WTERMSIG(status)) + ")";
    else if (WEXITSTATUS(status) != 0)
        *problem = "ffmpeg failed" + where + " (exit status " + std::to_string(WEXITSTATUS(status)) + ")";
    else
        *problem = "ffmpeg stopped reading its input" + where;
    std::string said = firstLine(e->errText);
    if (!said.empty())
        *problem += ": " + said;
    return false;
}

std::string formatMinutes(double seconds)
{
    long whole = std::lround(std::max(seconds, 0.0));
    char text[32];
    snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return text;
}

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// On a terminal one line rewritten in place (a few times a second); otherwise a line per part.
struct Progress {
    Clock::time_point start = Clock::now();
    double shownAt = -1;
    bool terminal = isatty(STDERR_FILENO) != 0;
    bool lineOpen = false;
};

void showProgress(Progress *p, int32_t part, bool partChanged, int64_t done, int64_t total)
{
    const double elapsed = secondsSince(p->start);
    if (p->terminal ? elapsed - p->shownAt < 0.25 && !partChanged && done < total : !partChanged)
        return;
    p->shownAt = elapsed;
    const double rate = elapsed > 0 ? double(done) / elapsed : 0;
    char line[160];
    snprintf(line, sizeof line, "render: part %d, frame %lld of %lld, %.1f fps, %s left", part, (long long)done,
             (long long)total, rate, rate > 0 ? formatMinutes(double(total - done) / rate).c_str() : "?");
    if (p->terminal)
        fprintf(stderr, "\r%s\033[K", line);
    else
        fprintf(stderr, "%s\n", line);
    p->lineOpen = p->terminal;
}

void endProgressLine(Progress *p)
{
    if (p->lineOpen)
        fputc('\n', stderr);
    p->lineOpen = false;
}

} // namespace

bool prepareVideo(const VideoSettings &s, std::string *error)
{
    ffmpegPath = findProgram("ffmpeg");
    if (ffmpegPath.empty()) {
        *error = "cannot find ffmpeg on PATH (scripts/install-packages.sh installs it)";
        return false;
    }
    struct stat info;
    if (stat(s.outPath.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        *error = "cannot write " + s.outPath + ": it is a directory";
        return false;
    }
    // Beside the output, so that the final rename stays on one file system.
    const size_t slash = s.outPath.rfind('/');
    const std::string temp = s.outPath.substr(0, slash + 1) + "." + s.outPath.substr(slash + 1) + "." +
                             std::to_string(getpid()) + ".part";
    if (temp.size() >= sizeof tempPath) {
        *error = "cannot write " + s.outPath + ": the path is too long";
        return false;
    }
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        *error = "cannot write " + s.outPath + ": " + strerror(errno);
        return false;
    }
    close(fd);
    snprintf(tempPath, sizeof tempPath, "%s", temp.c_str());
    atexit(removeLeftovers);
    signal(SIGINT, stopOnSignal);
    signal(SIGTERM, stopOnSignal);
    signal(SIGHUP, stopOnSignal);
    signal(SIGPIPE, SIG_IGN); // a dead encoder shows as EPIPE on the next write
    return true;
}

void guardShowStartUp(bool starting)
{
    startingUp = starting;
}

bool captureVideo(const VideoSettings &s, int64_t wrap, int64_t total, std::string *error)
{
    PlayOptions play;
    play.fps = s.fps;
    play.firstIndex = 0;
    play.maxFrames = total + 1;
    play.drawEveryFrame = true;
    Encoder encoder;
    if (!renderModuleAsPlayed(play, wrap, &encoder.audio)) {
        *error = "cannot load the module";
        return false;
    }

    // The frames queued before waiting for ffmpeg: a quarter of a second, well beyond the audio
    // block ffmpeg may want ahead of the picture before it reads on.
    const size_t queuedFrames = size_t(std::max(8, s.fps / 4));
    if (!startEncoder(s, &encoder, error))
        return false;
    Progress progress;
    // The file's sound must be the samples the frames were read against; this holds them to it.
    bool sameSound = true;
    play.onAudio = [&](const int16_t *stereo, int64_t first, size_t frames) {
        const size_t kept = size_t(std::max<int64_t>(0, std::min<int64_t>(int64_t(frames), wrap - first)));
        sameSound = sameSound && std::equal(stereo, stereo + kept * 2, encoder.audio.begin() + first * 2);
    };
    bool flowing = true, endedAtWrap = false;
    int64_t done = 0;
    playShow(play, [](int64_t, int32_t, int32_t) { return true; }, [&](const PlayedFrame &frame) {
        if (frame.index == total) {
            endedAtWrap = endRequested;
            return false;
        }
        encoder.frames.push_back(std::move(readFrame().rgba));
        flowing = pumpEncoder(&encoder, queuedFrames, false);
        done = frame.index + 1;
        showProgress(&progress, frame.part, frame.partChanged, done, total);
        return flowing && sameSound;
    });
    endProgressLine(&progress);
    const std::string where = " at frame " + std::to_string(done) + " of " + std::to_string(total);
    if (!finishEncoder(&encoder, flowing ? "" : where, error))
        return false;
    if (!sameSound) {
        *error = "the module sounded different in step than in its own pass" + where;
        return false;
    }
    if (!endedAtWrap) {
        *error = "the show ended" + where + ", not at the module's wrap";
        return false;
    }
    if (rename(tempPath, s.outPath.c_str()) != 0) {
        *error = "cannot rename the finished capture to " + s.outPath + ": " + strerror(errno);
        return false;
    }
    tempPath[0] = '\0';
    const double seconds = double(wrap) / renderSampleRate, took = secondsSince(progress.start);
    fprintf(stderr, "render: %lld frames at %d fps, %.2f s of show, captured in %.1f s (%.2fx real time) -> %s\n",
            (long long)total, s.fps, seconds, took, seconds / took, s.outPath.c_str());
    return true;
}
