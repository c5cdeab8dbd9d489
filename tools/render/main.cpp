// render: pictures of the show without a viewer.
//   render frame --part N [clock options] --out FILE.png
//   render play [--fps N] [--every N] [--frames A,B,..] [--max-frames N] [--fast] --out-dir DIR
//   render sheet [--fps N] [--row R] [--max-frames N] [--draw-all] --out FILE.png
//   render video [--fps N] [--lossless] --out FILE
// play draws every frame unless --fast; sheet skips drawing frames that neither it nor the
// forests' motion needs unless --draw-all (the skipped frames only miss the shake's rand draws).
// Defaults: play at 25 frames a second; sheet at 10, each part's first frame at or past row 40;
// video at 60, the whole show with its sound, MP4 (H.264, AAC) or with --lossless Matroska (FFV1, FLAC).
// Common: --root DIR (where data/ and Data/ are; default the current directory), --quiet (the
// show's own console output is dropped). play, sheet and video plan their frames before drawing
// and stop there, in one line, when the show would not end on the module (the order never going
// from 50 to 0) unless --max-frames bounds them. Status 0 on success, 1 when the show cannot be
// played to its end or a picture cannot be written, 2 on bad usage.
#include <SDL/SDL.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "driver/showpass.h"
#include "modulepass/modulepass.h"
#include "renderer.h"
#include "video.h"

namespace {

const char *const usageText =
    "usage: render frame --part N [--demo-time S] [--part-time S] [--frame-delta S]\n"
    "                    [--word-times A,B,C] [--row R] --out FILE.png\n"
    "       render play [--fps N] [--every N] [--frames A,B,...] [--max-frames N] [--fast] --out-dir DIR\n"
    "       render sheet [--fps N] [--row R] [--max-frames N] [--draw-all] --out FILE.png\n"
    "       render video [--fps N] [--lossless] --out FILE\n"
    "common options: --root DIR, --quiet\n";

[[noreturn]] void failUsage(const std::string &message)
{
    fprintf(stderr, "render: %s\n", message.c_str());
    exit(2);
}

[[noreturn]] void fail(const std::string &message)
{
    fprintf(stderr, "render: %s\n", message.c_str());
    exit(1);
}

float parseFloat(const std::string &option, const std::string &text)
{
    char *end = nullptr;
    errno = 0;
    double value = strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno != 0 || !(value > -1e30 && value < 1e30))
        failUsage(option + " wants a number, not \"" + text + "\"");
    return float(value);
}

long parseInteger(const std::string &option, const std::string &text, long low, long high)
{
    char *end = nullptr;
    errno = 0;
    long value = strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || value < low || value > high)
        failUsage(option + " wants a whole number from " + std::to_string(low) + " to " +
                  std::to_string(high) + ", not \"" + text + "\"");
    return value;
}

std::vector<std::string> splitList(const std::string &text)
{
    std::vector<std::string> items;
    size_t start = 0;
    for (;;) {
        size_t comma = text.find(',', start);
        items.push_back(text.substr(start, comma - start));
        if (comma == std::string::npos)
            return items;
        start = comma + 1;
    }
}

struct Options {
    std::string mode;
    std::string root;
    bool quiet = false;
    int32_t part = -1;
    PartClocks clocks;
    int fps = 25;
    long every = 0;
    std::set<long> frames;
    long maxFrames = 0;
    int sheetRow = 40; // off the beat rows, where parts 38-41 flash white
    bool fast = false; // skip drawing frames nothing depends on
    bool lossless = false;
    std::string out;
    std::string outDir;
};

Options parseOptions(int argc, char **argv)
{
    if (argc < 2)
        failUsage(std::string("no mode given\n") + usageText);
    Options o;
    o.mode = argv[1];
    bool fastGiven = false, fpsGiven = false;
    if (o.mode == "--help" || o.mode == "-h") {
        fputs(usageText, stdout);
        exit(0);
    }
    if (o.mode != "frame" && o.mode != "play" && o.mode != "sheet" && o.mode != "video")
        failUsage("unknown mode \"" + o.mode + "\" (frame, play, sheet or video)");
    for (int k = 2; k < argc; ++k) {
        std::string option = argv[k];
        if (option == "--quiet") {
            o.quiet = true;
            continue;
        }
        if (option == "--lossless" && o.mode == "video") {
            o.lossless = true;
            continue;
        }
        if ((option == "--fast" || option == "--draw-all") && (o.mode == "play" || o.mode == "sheet")) {
            o.fast = option == "--fast";
            fastGiven = true;
            continue;
        }
        if (k + 1 >= argc)
            failUsage(option + " wants a value");
        std::string value = argv[++k];
        if (option == "--root")
            o.root = value;
        else if (option == "--out")
            o.out = value;
        else if (option == "--out-dir" && o.mode == "play")
            o.outDir = value;
        else if (option == "--part" && o.mode == "frame")
            o.part = int32_t(parseInteger(option, value, 0, 50));
        else if (option == "--demo-time" && o.mode == "frame")
            o.clocks.demoTime = parseFloat(option, value);
        else if (option == "--part-time" && o.mode == "frame")
            o.clocks.partTime = parseFloat(option, value);
        else if (option == "--frame-delta" && o.mode == "frame")
            o.clocks.frameDelta = parseFloat(option, value);
        else if (option == "--word-times" && o.mode == "frame") {
            std::vector<std::string> times = splitList(value);
            if (times.size() != 3)
                failUsage("--word-times wants three numbers A,B,C");
            o.clocks.wordTime1 = parseFloat(option, times[0]);
            o.clocks.wordTime2 = parseFloat(option, times[1]);
            o.clocks.wordTime3 = parseFloat(option, times[2]);
        } else if (option == "--row" && (o.mode == "frame" || o.mode == "sheet")) {
            long row = parseInteger(option, value, 0, 255);
            o.clocks.musicRow = int32_t(row);
            o.sheetRow = int(row);
        } else if (option == "--fps" && o.mode != "frame") {
            // A capture queues a quarter of a second of frames at most; 240 keeps that in bounds.
            o.fps = int(parseInteger(option, value, 1, o.mode == "video" ? 240 : 1000));
            fpsGiven = true;
        } else if (option == "--every" && o.mode == "play")
            o.every = parseInteger(option, value, 1, LONG_MAX);
        else if (option == "--frames" && o.mode == "play") {
            for (const std::string &item : splitList(value))
                o.frames.insert(parseInteger(option, item, 1, LONG_MAX));
        } else if (option == "--max-frames" && (o.mode == "play" || o.mode == "sheet"))
            o.maxFrames = parseInteger(option, value, 1, LONG_MAX);
        else
            failUsage("unknown option " + option + " for mode " + o.mode);
    }
    if (o.mode == "sheet" && !fastGiven)
        o.fast = true;
    if (o.mode == "sheet" && !fpsGiven)
        o.fps = 10;
    if (o.mode == "video" && !fpsGiven)
        o.fps = 60;
    if (o.mode == "frame" && o.part < 0)
        failUsage("frame wants --part N");
    if (o.mode != "play" && o.out.empty())
        failUsage(o.mode + (o.mode == "video" ? " wants --out FILE" : " wants --out FILE.png"));
    if (o.mode == "play" && o.outDir.empty())
        failUsage("play wants --out-dir DIR");
    if (o.mode == "play" && o.every == 0 && o.frames.empty())
        failUsage("play wants --every N or --frames A,B,...");
    return o;
}

// Output paths are taken relative to where the tool was started, before --root moves it.
std::string absolutePath(const std::string &path)
{
    if (path.empty() || path[0] == '/')
        return path;
    char cwd[PATH_MAX];
    if (!getcwd(cwd, sizeof cwd))
        fail("cannot read the current directory");
    return std::string(cwd) + "/" + path;
}

void writeOrFail(const std::string &path, const Picture &picture)
{
    if (!writePicture(path, picture))
        fail("cannot write " + path);
}

int renderOneFrame(const Options &o)
{
    writeOrFail(o.out, renderPart(o.part, o.clocks));
    fprintf(stderr, "render: part %d -> %s\n", o.part, o.out.c_str());
    return 0;
}

PlayOptions makePlayOptions(const Options &o)
{
    PlayOptions play;
    play.fps = o.fps;
    play.drawEveryFrame = !o.fast;
    return play;
}

// Before the show starts: the module's pass and the frames that play it, to the show's end or
// --max-frames. A module the show would not end on stops the tool here, in one line.
int64_t planFrames(const Options &o, const PlayOptions &play, ShowPass *pass, const FramePlanSink &onFrame)
{
    std::string reason;
    if (!findShowPass(pass, &reason))
        fail("cannot load the module: " + reason);
    int64_t frames = 0;
    if (!planPassFrames(play, *pass, o.maxFrames, onFrame, &frames, &reason))
        fail(reason);
    return frames;
}

int playFrames(const Options &o, PlayOptions play, int64_t frames)
{
    long written = 0;
    play.maxFrames = frames;
    const int64_t lastIndex = play.firstIndex + frames - 1;
    auto wanted = [&](int64_t index, int32_t, int32_t) {
        return (o.every > 0 && index % o.every == 0) || o.frames.count(long(index)) > 0;
    };
    int64_t played = playShow(play, wanted, [&](const PlayedFrame &frame) {
        if (frame.partChanged)
            fprintf(stderr, "render: frame %lld enters part %d\n", (long long)frame.index, frame.part);
        if (wanted(frame.index, frame.part, frame.row)) {
            char name[64];
            snprintf(name, sizeof name, "/frame-%06lld.png", (long long)frame.index);
            writeOrFail(o.outDir + name, readFrame());
            fprintf(stderr, "render: frame %lld part %d row %d -> %s%s\n", (long long)frame.index, frame.part,
                    frame.row, o.outDir.c_str(), name);
            ++written;
        }
        return o.every > 0 || long(frame.index) < *o.frames.rbegin();
    });
    if (played < 0)
        fail("cannot load the module");
    fprintf(stderr, "render: %lld frames played, %ld written\n", (long long)played, written);
    // Asked-for frames the play does not reach are a failure, not a shorter success.
    std::vector<int32_t> beyond;
    for (long index : o.frames)
        if (index > lastIndex)
            beyond.push_back(int32_t(std::min<long>(index, INT32_MAX)));
    if (!beyond.empty())
        fail("frames " + describeNumberRuns(beyond) + " lie past the last frame played, " + std::to_string(lastIndex) +
             "; not written");
    if (written == 0)
        fail("no frame written: the last frame played is " + std::to_string(lastIndex));
    return 0;
}

// Per part, the frame its cell shows: the first at or past the row; failing that, the part's last
// frame, captioned with its row; a part never played gets a dark cell captioned so.
struct SheetCells {
    std::vector<int64_t> frameIndex = std::vector<int64_t>(lastScenePart + 1, -1);
    std::vector<int32_t> row = std::vector<int32_t>(lastScenePart + 1, -1);
    std::vector<bool> reached = std::vector<bool>(lastScenePart + 1, false);
};

void noteSheetFrame(SheetCells *cells, int sheetRow, int64_t index, int32_t part, int32_t row)
{
    if (part < 0 || part > lastScenePart || cells->reached[size_t(part)])
        return;
    cells->frameIndex[size_t(part)] = index;
    cells->row[size_t(part)] = row;
    cells->reached[size_t(part)] = row >= sheetRow;
}

int writeSheet(const Options &o, PlayOptions play, int64_t planned, const SheetCells &cells)
{
    play.maxFrames = planned;
    std::vector<Picture> frames(lastScenePart + 1);
    auto wanted = [&](int64_t index, int32_t order, int32_t) {
        return order >= 0 && order <= lastScenePart && cells.frameIndex[size_t(order)] == index;
    };
    int64_t played = playShow(play, wanted, [&](const PlayedFrame &frame) {
        if (frame.partChanged)
            fprintf(stderr, "render: frame %lld enters part %d\n", (long long)frame.index, frame.part);
        if (frame.drawn && wanted(frame.index, frame.part, frame.row))
            frames[size_t(frame.part)] = readFrame();
        return true;
    });
    if (played < 0)
        fail("cannot load the module");
    std::vector<std::string> captions(lastScenePart + 1);
    std::vector<int32_t> unplayed, endedEarly;
    for (int32_t part = 0; part <= lastScenePart; ++part) {
        if (cells.frameIndex[size_t(part)] < 0) {
            captions[size_t(part)] = "NOT PLAYED";
            unplayed.push_back(part);
        } else if (!cells.reached[size_t(part)]) {
            captions[size_t(part)] = "LAST FRAME ROW " + std::to_string(cells.row[size_t(part)]);
            endedEarly.push_back(part);
        }
    }
    writeOrFail(o.out, composeContactSheet(frames, captions));
    fprintf(stderr, "render: %lld frames played, sheet -> %s\n", (long long)played, o.out.c_str());
    if (!unplayed.empty())
        fprintf(stderr, "render: parts never played (cells NOT PLAYED): %s\n", describeNumberRuns(unplayed).c_str());
    if (!endedEarly.empty())
        fprintf(stderr, "render: parts that end before row %d (cells show their last frame): %s\n", o.sheetRow,
                describeNumberRuns(endedEarly).c_str());
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    Options o = parseOptions(argc, argv);
    o.out = absolutePath(o.out);
    o.outDir = absolutePath(o.outDir);
    if (!o.root.empty() && chdir(o.root.c_str()) != 0)
        fail("cannot enter " + o.root + ": " + strerror(errno));
    if (o.quiet && !freopen("/dev/null", "w", stdout))
        fail("cannot silence standard output");
    // A video's frame 0 stands for the stamp itself; play and sheet start a frame later.
    PlayOptions play = makePlayOptions(o);
    play.firstIndex = o.mode == "video" ? 0 : 1;
    ShowPass pass;
    SheetCells cells;
    FramePlanSink noteCell;
    if (o.mode == "sheet")
        noteCell = [&](int64_t index, int32_t order, int32_t row) { noteSheetFrame(&cells, o.sheetRow, index, order, row); };
    const int64_t planned = o.mode == "frame" ? 0 : planFrames(o, play, &pass, noteCell);
    VideoSettings video{o.out, o.fps, o.lossless};
    std::string error;
    if (o.mode == "video" && !prepareVideo(video, &error))
        fail(error);
    if (SDL_Init(SDL_INIT_NOPARACHUTE) < 0)
        fail(std::string("SDL: ") + SDL_GetError());
    atexit(SDL_Quit);
    // A busy shared X server now and then refuses a connection; the display set-up would end
    // the process, so video is started here first, with a few tries.
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (SDL_InitSubSystem(SDL_INIT_TIMER | SDL_INIT_VIDEO) == 0)
            break;
        SDL_Delay(100);
    }
    guardShowStartUp(o.mode == "video");
    startRenderer();
    guardShowStartUp(false);
    if (o.mode == "video") {
        if (!captureVideo(video, pass.endFrame, planned - 1, &error))
            fail(error);
        return 0;
    }
    if (o.mode == "frame")
        return renderOneFrame(o);
    if (o.mode == "play")
        return playFrames(o, play, planned);
    return writeSheet(o, play, planned, cells);
}
