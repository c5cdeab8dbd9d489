// synccheck: plays the show through real sound servers and measures what a viewer would notice.
// For each sound server (PipeWire with wireplumber and its pulse layer, or PulseAudio) it starts
// one of its own with a null sink, unless --running names one already up; for each SDL 1.2 library
// and backend it runs the show under a private Xvfb, records the null sink's monitor and polls the
// framebuffer. The recording is aligned against libopenmpt's own render of the module: a jump in
// the alignment is a gap in the sound. The row-0 white flashes of parts 8-16 are timed on screen
// against the moment their row reached the sink. One line per combination, marked "outside" when
// it has a gap, misses a flash, or its mean offset passes 10 ms or its spread 8 ms. Exit 0 when
// every combination ran and was measured (with --strict: and none is outside), 1 when one was not,
// 2 on bad usage.
//
//   synccheck --show build/demo --content . [--before OLD] [--whole] [--only WORD]... [--running]
//             [--keep] [--strict]
//
// By default the show plays a stage of the module in which every order but 7-16 is one empty
// row (about 45 s a combination); --whole plays the module as it is (about 3.5 minutes each).
// --before runs another build of the show right before this one in each combination, for a table
// of before and after taken under the same conditions. --only keeps the combinations whose line
// ("pipewire classic pulse") contains WORD. --running measures through the server PULSE_SERVER and
// XDG_RUNTIME_DIR name, on its default sink. --keep leaves the recordings, polls and logs in the
// scratch folder.
#include <dlfcn.h>
#include <fcntl.h>
#include <libopenmpt/libopenmpt.h>
#include <pulse/pulseaudio.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "modulepass/modulepass.h"
#include "synccheck/syncanalysis.h"

extern char **environ;

namespace {

namespace fs = std::filesystem;

constexpr int firstFlashOrder = 8, lastFlashOrder = 16;
// The stage keeps one whole order before the first flash: passing through the parts before it in a
// moment costs the show first-frame set-up, and its frames come at their usual pace again by then.
constexpr int firstStageOrder = firstFlashOrder - 1;

// Every process we start, so that an interrupted run leaves no server, X server or show behind.
pid_t startedPids[64];
std::atomic<int> startedCount{0};

void notePid(pid_t pid)
{
    const int n = startedCount.load();
    if (pid > 0 && n < 64) {
        startedPids[n] = pid;
        startedCount.store(n + 1);
    }
}

void stopEverythingAndExit(int)
{
    for (int i = startedCount.load() - 1; i >= 0; --i)
        kill(startedPids[i], SIGTERM);
    _exit(1);
}

double monotonicSeconds()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

std::vector<uint8_t> readBytes(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Starts argv with extra "NAME=value" settings over our environment, its output to logPath.
// Everything is made ready before the fork: the recorder's threads may hold the allocator's lock.
pid_t startProcess(const std::vector<std::string> &argv, const std::vector<std::string> &env,
                   const std::string &logPath, const std::string &workDir = "")
{
    std::vector<std::string> merged;
    for (char **e = environ; *e; ++e) {
        const std::string entry = *e;
        bool replaced = false;
        for (const std::string &set : env)
            replaced = replaced || entry.compare(0, set.find('=') + 1, set, 0, set.find('=') + 1) == 0;
        if (!replaced)
            merged.push_back(entry);
    }
    merged.insert(merged.end(), env.begin(), env.end());
    std::vector<char *> args, envp;
    for (const std::string &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    for (const std::string &e : merged)
        envp.push_back(const_cast<char *>(e.c_str()));
    envp.push_back(nullptr);
    const pid_t pid = fork();
    if (pid != 0) {
        notePid(pid);
        return pid;
    }
    int log = open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (log >= 0) {
        dup2(log, 1);
        dup2(log, 2);
        close(log);
    }
    if (!workDir.empty() && chdir(workDir.c_str()) != 0)
        _exit(127);
    execvpe(args[0], args.data(), envp.data());
    _exit(127);
}

// Waits for pid up to timeoutSeconds; its exit status, 128 + signal, or -1 on time-out.
int waitProcess(pid_t pid, double timeoutSeconds)
{
    const double until = monotonicSeconds() + timeoutSeconds;
    for (;;) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (monotonicSeconds() > until)
            return -1;
        usleep(20000);
    }
}

void stopProcess(pid_t pid)
{
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    if (waitProcess(pid, 3) == -1) {
        kill(pid, SIGKILL);
        waitProcess(pid, 3);
    }
}

bool waitForPath(const std::string &path, double seconds)
{
    const double until = monotonicSeconds() + seconds;
    while (!fs::exists(path))
        if (monotonicSeconds() > until)
            return false;
        else
            usleep(20000);
    return true;
}

// A sound server of our own (or the one already running) and what its clients need to reach it.
struct SoundServer {
    std::string name;
    std::vector<pid_t> pids;
    std::vector<std::string> clientEnv;
    std::string pulseServer;
    std::string monitor;
};

std::string runtimeDirOf(const std::string &dir)
{
    return "XDG_RUNTIME_DIR=" + dir;
}

bool runPactl(const SoundServer &server, const std::string &dir, const std::vector<std::string> &args)
{
    std::vector<std::string> argv = {"pactl"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> env = server.clientEnv;
    return waitProcess(startProcess(argv, env, dir + "/pactl.log"), 10) == 0;
}

bool startPipeWire(const std::string &dir, SoundServer *server)
{
    // wireplumber will not run without a session bus; PipeWire itself runs as root here as well.
    const std::vector<std::string> env = {runtimeDirOf(dir), "HOME=" + dir + "/home", "PIPEWIRE_RUNTIME_DIR=" + dir,
                                          "XDG_CONFIG_HOME=" + dir + "/home/.config",
                                          "DBUS_SESSION_BUS_ADDRESS=unix:path=" + dir + "/bus"};
    fs::create_directories(dir + "/home");
    server->pids.push_back(startProcess({"dbus-daemon", "--session", "--address=unix:path=" + dir + "/bus", "--nofork",
                                         "--nopidfile"},
                                        env, dir + "/dbus.log"));
    if (!waitForPath(dir + "/bus", 10))
        return false;
    server->pids.push_back(startProcess({"pipewire"}, env, dir + "/pipewire.log"));
    if (!waitForPath(dir + "/pipewire-0", 10))
        return false;
    // Without systemd's logind (a fresh container, a bare root) wireplumber 0.4 stops as soon as its
    // Bluetooth monitor fails to start; nothing here plays through Bluetooth, so it is left off.
    const std::string config = dir + "/home/.config/wireplumber";
    fs::create_directories(config + "/bluetooth.lua.d");
    fs::create_directories(config + "/wireplumber.conf.d");
    std::ofstream(config + "/bluetooth.lua.d/60-no-bluetooth.lua") << "bluez_monitor.enabled = false\n";
    std::ofstream(config + "/wireplumber.conf.d/60-no-bluetooth.conf")
        << "wireplumber.profiles = { main = { monitor.bluez = disabled } }\n";
    server->pids.push_back(startProcess({"wireplumber"}, env, dir + "/wireplumber.log"));
    server->pids.push_back(startProcess({"pipewire-pulse"}, env, dir + "/pipewire-pulse.log"));
    if (!waitForPath(dir + "/pulse/native", 10))
        return false;
    server->pulseServer = "unix:" + dir + "/pulse/native";
    server->clientEnv = {runtimeDirOf(dir), "PIPEWIRE_RUNTIME_DIR=" + dir, "PULSE_SERVER=" + server->pulseServer};
    // The null sink comes through the pulse layer; wireplumber then links every stream to it.
    usleep(500000);
    return runPactl(*server, dir, {"load-module", "module-null-sink", "sink_name=showsink"}) &&
           runPactl(*server, dir, {"set-default-sink", "showsink"});
}

bool startPulseAudio(const std::string &dir, SoundServer *server)
{
    fs::create_directories(dir + "/home");
    fs::create_directories(dir + "/pulse");
    server->pulseServer = "unix:" + dir + "/pulse/native";
    server->pids.push_back(startProcess({"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
                                         "--use-pid-file=no", "-L",
                                         "module-native-protocol-unix auth-anonymous=1 socket=" + dir + "/pulse/native",
                                         "-L", "module-null-sink sink_name=showsink"},
                                        {runtimeDirOf(dir), "HOME=" + dir + "/home"}, dir + "/pulseaudio.log"));
    server->clientEnv = {runtimeDirOf(dir), "PULSE_SERVER=" + server->pulseServer};
    return waitForPath(dir + "/pulse/native", 10);
}

// The monitor of the sink new streams go to, as the server names it.
std::string findDefaultMonitor(const SoundServer &server, const std::string &dir)
{
    std::vector<std::string> argv = {"pactl", "get-default-sink"};
    if (waitProcess(startProcess(argv, server.clientEnv, dir + "/sink.txt"), 10) != 0)
        return "";
    std::string sink;
    std::ifstream(dir + "/sink.txt") >> sink;
    return sink.empty() ? "" : sink + ".monitor";
}

// Records the monitor at 44.1 kHz stereo, noting at each read which of its frames the sink plays.
struct Recorder {
    pa_threaded_mainloop *loop = nullptr;
    pa_context *context = nullptr;
    pa_stream *stream = nullptr;
    std::mutex lock;
    std::vector<int16_t> samples;
    std::vector<SinkClockNote> notes;
};

void readRecording(pa_stream *stream, size_t, void *data)
{
    Recorder &r = *static_cast<Recorder *>(data);
    const void *bytes = nullptr;
    size_t length = 0;
    while (pa_stream_readable_size(stream) > 0 && pa_stream_peek(stream, &bytes, &length) == 0 && length > 0) {
        std::lock_guard<std::mutex> hold(r.lock);
        const size_t frames = length / 4;
        if (bytes)
            r.samples.insert(r.samples.end(), static_cast<const int16_t *>(bytes),
                             static_cast<const int16_t *>(bytes) + frames * 2);
        else
            r.samples.resize(r.samples.size() + frames * 2, 0); // a hole the server reported
        pa_stream_drop(stream);
        // The stream time is the position of the recording that the sink is playing now, by the
        // server's own account of its latency (a monitor records what it has not yet played).
        pa_usec_t streamTime = 0;
        if (pa_stream_get_time(stream, &streamTime) == 0)
            r.notes.push_back({int64_t(double(streamTime) * syncSampleRate / 1e6), int64_t(r.samples.size() / 2),
                               monotonicSeconds()});
    }
}

void signalLoop(pa_context *, void *data)
{
    pa_threaded_mainloop_signal(static_cast<Recorder *>(data)->loop, 0);
}

void signalStream(pa_stream *, void *data)
{
    pa_threaded_mainloop_signal(static_cast<Recorder *>(data)->loop, 0);
}

bool startRecorder(Recorder &r, const std::string &serverAddress, const std::string &monitor)
{
    r.loop = pa_threaded_mainloop_new();
    r.context = pa_context_new(pa_threaded_mainloop_get_api(r.loop), "synccheck");
    pa_context_set_state_callback(r.context, signalLoop, &r);
    if (pa_context_connect(r.context, serverAddress.empty() ? nullptr : serverAddress.c_str(), PA_CONTEXT_NOFLAGS,
                           nullptr) < 0)
        return false;
    pa_threaded_mainloop_lock(r.loop);
    pa_threaded_mainloop_start(r.loop);
    pa_context_state_t state;
    while ((state = pa_context_get_state(r.context)) != PA_CONTEXT_READY && PA_CONTEXT_IS_GOOD(state))
        pa_threaded_mainloop_wait(r.loop);
    bool ok = state == PA_CONTEXT_READY;
    if (ok) {
        const pa_sample_spec format = {PA_SAMPLE_S16LE, uint32_t(syncSampleRate), 2};
        r.stream = pa_stream_new(r.context, "monitor", &format, nullptr);
        pa_stream_set_read_callback(r.stream, readRecording, &r);
        pa_stream_set_state_callback(r.stream, signalStream, &r);
        pa_buffer_attr attr;
        memset(&attr, 0xff, sizeof attr);
        // Reads of 1024 frames, PipeWire's usual cycle: a recorder asking for less would shorten
        // the cycle the show's stream runs in as well.
        attr.fragsize = 1024 * 4;
        ok = pa_stream_connect_record(r.stream, monitor.c_str(), &attr,
                                      pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY | PA_STREAM_INTERPOLATE_TIMING |
                                                        PA_STREAM_AUTO_TIMING_UPDATE)) == 0;
        pa_stream_state_t s;
        while (ok && (s = pa_stream_get_state(r.stream)) != PA_STREAM_READY)
            if (!PA_STREAM_IS_GOOD(s))
                ok = false;
            else
                pa_threaded_mainloop_wait(r.loop);
    }
    pa_threaded_mainloop_unlock(r.loop);
    return ok;
}

void stopRecorder(Recorder &r)
{
    if (!r.loop)
        return;
    pa_threaded_mainloop_lock(r.loop);
    if (r.stream)
        pa_stream_disconnect(r.stream);
    pa_context_disconnect(r.context);
    pa_threaded_mainloop_unlock(r.loop);
    pa_threaded_mainloop_stop(r.loop);
    if (r.stream)
        pa_stream_unref(r.stream);
    pa_context_unref(r.context);
    pa_threaded_mainloop_free(r.loop);
    r.loop = nullptr;
}

// Polls Xvfb's framebuffer file every half millisecond until told to stop.
void pollScreen(const std::string &path, std::atomic<bool> *stop, std::vector<ScreenPoll> *polls, bool *ok)
{
    *ok = false;
    int fd = open(path.c_str(), O_RDONLY);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0)
        return;
    void *map = mmap(nullptr, size_t(st.st_size), PROT_READ, MAP_SHARED, fd, 0);
    close(fd);
    if (map == MAP_FAILED)
        return;
    const uint8_t *bytes = static_cast<const uint8_t *>(map);
    XwdLayout layout;
    if (readXwdLayout(bytes, size_t(st.st_size), &layout)) {
        *ok = true;
        while (!stop->load()) {
            polls->push_back({monotonicSeconds(), measureWhiteShare(bytes, layout)});
            usleep(500);
        }
    }
    munmap(map, size_t(st.st_size));
}

// libopenmpt's own render of one pass of the module as the show plays it, with the first frame of
// row 0 of each order.
struct Render {
    std::vector<int16_t> samples;
    std::vector<int64_t> orderStarts;
};

bool renderModule(const std::vector<uint8_t> &bytes, Render *render)
{
    openmpt_module *walked = openShowModule(bytes.data(), bytes.size(), nullptr, nullptr);
    if (!walked)
        return false;
    const ShowPass pass = walkShowPass(walked);
    openmpt_module_destroy(walked);
    if (!pass.ends)
        return false;
    openmpt_module *module = openShowModule(bytes.data(), bytes.size(), nullptr, nullptr);
    if (!module)
        return false;
    render->orderStarts.assign(256, -1);
    render->samples.clear();
    render->samples.reserve(size_t(pass.endFrame) * 2);
    playModuleFrames(module, pass.endFrame, 16, [render](int32_t order, int32_t row, const float *stereo, size_t frames) {
        const int64_t frame = int64_t(render->samples.size() / 2);
        if (order >= 0 && order < 256 && row == 0 && render->orderStarts[size_t(order)] < 0)
            render->orderStarts[size_t(order)] = frame;
        for (size_t i = 0; i < frames * 2; ++i)
            render->samples.push_back(int16_t(std::lround(std::clamp(stereo[i], -1.0f, 1.0f) * 32767.0f)));
    });
    openmpt_module_destroy(module);
    return int64_t(render->samples.size() / 2) == pass.endFrame;
}

struct Combination {
    const char *library; // "classic" or "sdl12-compat"
    const char *backend; // SDL_AUDIODRIVER
};

const Combination pipeWireCombinations[] = {
    {"classic", "pulse"}, {"classic", "alsa"}, {"sdl12-compat", "pulseaudio"}, {"sdl12-compat", "pipewire"},
    {"sdl12-compat", "alsa"}};
const Combination pulseAudioCombinations[] = {
    {"classic", "pulse"}, {"classic", "alsa"}, {"sdl12-compat", "pulseaudio"}, {"sdl12-compat", "alsa"}};

struct Options {
    std::string show, before, content, compatDir = "/usr/lib/x86_64-linux-gnu/sdl12-compat";
    std::vector<std::string> only;
    bool whole = false, running = false, keep = false, strict = false;
};

struct RunContext {
    Options options;
    std::string dir;     // our scratch folder
    std::string display; // ":N"
    std::string framebuffer;
    std::string showDir;
    Render render;
    std::vector<float> reference;
    bool classicHere = true; // the loader's default SDL 1.2 is the classic library
};

// Whether the SDL 1.2 the loader finds by default is the classic library: Debian 13 and others
// have only sdl12-compat, which counts its versions from 1.2.50.
bool isClassicSdlDefault()
{
    void *library = dlopen("libSDL-1.2.so.0", RTLD_LAZY | RTLD_LOCAL);
    if (!library)
        return false;
    struct Version {
        uint8_t major, minor, patch;
    };
    const auto linkedVersion = reinterpret_cast<const Version *(*)()>(dlsym(library, "SDL_Linked_Version"));
    const bool classic = linkedVersion && linkedVersion()->patch < 50;
    dlclose(library);
    return classic;
}

// One combination: run the show, record, poll, measure. False when it could not be measured.
bool measureCombination(RunContext &run, const SoundServer &server, const Combination &c, const std::string &show,
                        const char *build)
{
    char label[160];
    snprintf(label, sizeof label, "%-10s | %-12s | %-10s | %-6s", server.name.c_str(), c.library, c.backend, build);
    if (std::string(c.library) == "classic" && !run.classicHere) {
        printf("%s | not here: the only SDL 1.2 on this machine is sdl12-compat\n", label);
        return true;
    }
    std::vector<std::string> env = server.clientEnv;
    env.push_back("DISPLAY=" + run.display);
    env.push_back("SDL_AUDIODRIVER=" + std::string(c.backend));
    env.push_back("ALSA_CONFIG_PATH=/usr/share/alsa/alsa.conf:" + run.dir + "/asound.conf");
    if (std::string(c.library) == "sdl12-compat")
        env.push_back("LD_LIBRARY_PATH=" + run.options.compatDir);

    Recorder recorder;
    if (!startRecorder(recorder, server.pulseServer, server.monitor)) {
        printf("%s | cannot record %s\n", label, server.monitor.c_str());
        stopRecorder(recorder);
        return false;
    }
    std::atomic<bool> stopPolling{false};
    std::vector<ScreenPoll> polls;
    bool pollOk = false;
    std::thread poller(pollScreen, run.framebuffer, &stopPolling, &polls, &pollOk);
    const double moduleSeconds = double(run.render.samples.size() / 2) / syncSampleRate;
    const std::string base = run.dir + "/" + server.name + "-" + c.library + "-" + c.backend + "-" + build;
    const std::string log = base + ".log";
    int status = 0;
    // Xvfb now and then refuses a client's connection; the show then stops before it plays.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const pid_t pid = startProcess({show}, env, log, run.showDir);
        status = waitProcess(pid, moduleSeconds + 90);
        if (status == -1)
            stopProcess(pid);
        const std::vector<uint8_t> printed = readBytes(log);
        if (status != 1 || std::string(printed.begin(), printed.end()).find("Couldn't open X11 display") == std::string::npos)
            break;
    }
    usleep(300000);
    stopPolling = true;
    poller.join();
    stopRecorder(recorder);
    if (status != 0 || !pollOk) {
        printf("%s | show exited %d%s (log %s)\n", label, status, pollOk ? "" : ", framebuffer unreadable",
               log.c_str());
        return false;
    }

    if (run.options.keep) {
        std::ofstream(base + ".raw", std::ios::binary)
            .write(reinterpret_cast<const char *>(recorder.samples.data()), std::streamsize(recorder.samples.size() * 2));
        std::ofstream notes(base + ".notes");
        for (const SinkClockNote &n : recorder.notes)
            notes << n.frame << ' ' << n.recorded << ' ' << std::to_string(n.seconds) << '\n';
        std::ofstream screen(base + ".screen");
        for (const ScreenPoll &p : polls)
            screen << std::to_string(p.seconds) << ' ' << p.whiteShare << '\n';
    }
    const Alignment alignment = alignRecording(run.reference, mixToMono(recorder.samples));
    if (run.options.keep)
        for (const SoundGap &g : alignment.gaps)
            fprintf(stderr, "gap at %.3f s: %+.1f ms\n", double(g.referenceFrame) / syncSampleRate,
                    double(g.frames) * 1000.0 / syncSampleRate);
    if (run.options.keep)
        for (int64_t frame : alignment.lostFrames)
            fprintf(stderr, "lost block at %.3f s\n", double(frame) / syncSampleRate);
    if (alignment.blocks.empty()) {
        printf("%s | the recording does not match the render (%zu frames recorded)\n", label,
               recorder.samples.size() / 2);
        return false;
    }
    double gapMs = 0;
    for (const SoundGap &g : alignment.gaps)
        gapMs += std::fabs(double(g.frames)) * 1000.0 / syncSampleRate;
    std::vector<int> orders;
    std::vector<double> soundTimes;
    for (int order = firstFlashOrder; order <= lastFlashOrder; ++order) {
        orders.push_back(order);
        soundTimes.push_back(
            findSinkSeconds(recorder.notes, findRecordingFrame(alignment, run.render.orderStarts[order])));
    }
    const std::vector<FlashMatch> matches = matchFlashes(orders, soundTimes, findFlashOnsets(polls));
    if (run.options.keep)
        for (const FlashMatch &m : matches)
            fprintf(stderr, "%s: order %d flash %+.1f ms\n", label, m.order, m.offsetMs);
    const OffsetSummary s = summarizeOffsets(matches);
    const bool within = alignment.gaps.empty() && s.missed == 0 && std::fabs(s.meanMs) <= 10 && s.sdMs <= 8;
    printf("%s | %4zu | %7.1f | %d/%d | %+7.1f | %5.1f | %d/%d%s\n", label, alignment.gaps.size(), gapMs, s.matched,
           s.matched + s.missed, s.meanMs, s.sdMs, int(alignment.lostFrames.size()), alignment.audibleBlocks,
           within ? "" : " | outside");
    fflush(stdout);
    // Measured means most flashes found; --strict asks for the bounds as well.
    return 2 * s.matched > s.matched + s.missed && (within || !run.options.strict);
}

bool prepareShowFolder(RunContext &run, std::string *error)
{
    run.showDir = run.dir + "/show";
    fs::create_directories(run.showDir + "/data/music");
    const fs::path content = fs::absolute(run.options.content);
    fs::create_directory_symlink(content / "data/images", run.showDir + "/data/images");
    fs::create_directory_symlink(content / "data/meshes", run.showDir + "/data/meshes");
    fs::create_directory_symlink(content / "Data", run.showDir + "/Data");
    std::vector<uint8_t> module = readBytes((content / "data/music/vrimla2.xm").string());
    if (!run.options.whole)
        module = makeStageModule(module, firstStageOrder, lastFlashOrder, error);
    if (module.empty())
        return false;
    std::ofstream(run.showDir + "/data/music/vrimla2.xm", std::ios::binary)
        .write(reinterpret_cast<const char *>(module.data()), std::streamsize(module.size()));
    if (!renderModule(module, &run.render)) {
        *error = "libopenmpt does not play the module through to where the show ends (order 50 to 0)";
        return false;
    }
    run.reference = mixToMono(run.render.samples);
    std::ofstream(run.dir + "/asound.conf") << "pcm.!default { type pulse }\nctl.!default { type pulse }\n";
    return true;
}

pid_t startXServer(RunContext &run)
{
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    const pid_t pid = fork();
    notePid(pid);
    if (pid == 0) {
        close(fds[0]);
        const std::string fd = std::to_string(fds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "800x600x24", "-fbdir", run.dir.c_str(),
               "-nolisten", "tcp", static_cast<char *>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    // Read up to the line end and leave the pipe open: Xvfb stops when it cannot write all of it.
    std::string number;
    char ch;
    while (read(fds[0], &ch, 1) == 1 && ch != '\n')
        number += ch;
    if (number.empty())
        return -1;
    run.display = ":" + number;
    run.framebuffer = run.dir + "/Xvfb_screen0";
    return pid;
}

bool isChosen(const Options &o, const char *server, const Combination &c)
{
    const std::string line = std::string(server) + " " + c.library + " " + c.backend;
    for (const std::string &word : o.only)
        if (line.find(word) != std::string::npos)
            return true;
    return o.only.empty();
}

int usage()
{
    fprintf(stderr, "usage: synccheck --show PATH --content DIR [--before PATH] [--whole] [--only WORD]... "
                    "[--running] [--keep] [--strict] "
                    "[--sdl12-compat DIR]\n");
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    setvbuf(stdout, nullptr, _IOLBF, 0); // each line as soon as its combination is measured
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        signal(sig, stopEverythingAndExit);
    RunContext run;
    Options &o = run.options;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--show" && hasValue)
            o.show = argv[++i];
        else if (a == "--before" && hasValue)
            o.before = argv[++i];
        else if (a == "--content" && hasValue)
            o.content = argv[++i];
        else if (a == "--only" && hasValue)
            o.only.push_back(argv[++i]);
        else if (a == "--strict")
            o.strict = true;
        else if (a == "--sdl12-compat" && hasValue)
            o.compatDir = argv[++i];
        else if (a == "--whole")
            o.whole = true;
        else if (a == "--keep")
            o.keep = true;
        else if (a == "--running")
            o.running = true;
        else
            return usage();
    }
    if (o.show.empty() || o.content.empty())
        return usage();
    o.show = fs::absolute(o.show).string();
    if (!o.before.empty())
        o.before = fs::absolute(o.before).string();
    if (access(o.show.c_str(), X_OK) != 0 || (!o.before.empty() && access(o.before.c_str(), X_OK) != 0) || !fs::exists(fs::path(o.content) / "data/music/vrimla2.xm")) {
        fprintf(stderr, "synccheck: no show at %s or no data/music/vrimla2.xm under %s\n", o.show.c_str(),
                o.content.c_str());
        return 2;
    }
    char scratch[] = "/tmp/synccheck-XXXXXX";
    if (!mkdtemp(scratch)) {
        fprintf(stderr, "synccheck: cannot make a scratch folder\n");
        return 1;
    }
    run.dir = scratch;
    std::string error;
    if (!prepareShowFolder(run, &error)) {
        fprintf(stderr, "synccheck: %s\n", error.c_str());
        return 1;
    }
    run.classicHere = isClassicSdlDefault();
    const pid_t xserver = startXServer(run);
    if (xserver < 0 || !waitForPath(run.framebuffer, 10)) {
        fprintf(stderr, "synccheck: Xvfb did not start\n");
        return 1;
    }
    printf("%s of the module, %.1f s a run; scratch folder %s\n", o.whole ? "whole pass" : "stage (orders 7-16)",
           double(run.render.samples.size() / 2) / syncSampleRate, run.dir.c_str());
    printf("server     | SDL 1.2      | backend    | build  | gaps | gap ms  | flashes | mean ms | sd ms | lost blocks\n");
    fflush(stdout);
    int failures = 0;
    struct ServerKind {
        const char *name;
        bool (*start)(const std::string &, SoundServer *);
        const Combination *combinations;
        size_t count;
    };
    const ServerKind kinds[] = {
        {"pipewire", startPipeWire, pipeWireCombinations, std::size(pipeWireCombinations)},
        {"pulseaudio", startPulseAudio, pulseAudioCombinations, std::size(pulseAudioCombinations)}};
    for (const ServerKind &kind : kinds) {
        if (o.running && kind.start != startPipeWire)
            continue;
        bool any = false;
        for (size_t i = 0; i < kind.count; ++i)
            any = any || isChosen(o, kind.name, kind.combinations[i]);
        if (!any)
            continue;
        SoundServer server;
        server.name = o.running ? "running" : kind.name;
        const std::string serverDir = run.dir + "/" + kind.name;
        fs::create_directories(serverDir);
        chmod(serverDir.c_str(), 0700);
        bool up;
        if (o.running) {
            const char *address = getenv("PULSE_SERVER");
            server.pulseServer = address ? address : "";
            for (const char *name : {"XDG_RUNTIME_DIR", "PULSE_SERVER", "PIPEWIRE_RUNTIME_DIR"})
                if (getenv(name))
                    server.clientEnv.push_back(std::string(name) + "=" + getenv(name));
            up = true;
        } else {
            up = kind.start(serverDir, &server);
        }
        server.monitor = up ? findDefaultMonitor(server, serverDir) : "";
        if (server.monitor.empty()) {
            printf("%-10s | the sound server did not start (logs in %s)\n", kind.name, serverDir.c_str());
            ++failures;
        } else {
            for (size_t i = 0; i < kind.count; ++i) {
                if (!isChosen(o, kind.name, kind.combinations[i]))
                    continue;
                // The two builds in turn, so that whatever else the machine does weighs on both alike.
                if (!o.before.empty())
                    failures += !measureCombination(run, server, kind.combinations[i], o.before, "before");
                failures += !measureCombination(run, server, kind.combinations[i], o.show, o.before.empty() ? "" : "after");
            }
        }
        for (auto pid = server.pids.rbegin(); pid != server.pids.rend(); ++pid)
            stopProcess(*pid);
    }
    stopProcess(xserver);
    if (failures == 0 && !o.keep)
        fs::remove_all(run.dir);
    return failures == 0 ? 0 : 1;
}
