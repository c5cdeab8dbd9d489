#include "modulepass/modulepass.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "driver/showpass.h"

namespace {

// Every order lasts at least one tick (432 frames at 255 BPM), so no visit falls between two reads.
constexpr size_t walkBlockFrames = 64;

void collectLogLine(const char *message, void *user)
{
    if (user && message) {
        static_cast<std::string *>(user)->append(message);
        static_cast<std::string *>(user)->push_back('\n');
    }
}

int64_t framesOf(double seconds)
{
    return int64_t(std::llround(seconds * passSampleRate));
}

} // namespace

openmpt_module *openShowModule(const void *bytes, size_t size, std::string *reason, std::string *log)
{
    int error = 0;
    const char *message = nullptr;
    openmpt_module *module = openmpt_module_create_from_memory2(
        bytes, size, log ? collectLogLine : openmpt_log_func_silent, log, openmpt_error_func_ignore, nullptr, &error,
        &message, nullptr);
    if (!module) {
        if (reason)
            *reason = message && *message ? message : "not a module it can play";
        openmpt_free_string(message);
        return nullptr;
    }
    openmpt_free_string(message);
    openmpt_module_set_repeat_count(module, -1);
    openmpt_module_ctl_set_integer(module, "dither", 0);
    openmpt_module_set_position_order_row(module, 0, 0);
    return module;
}

ShowPass walkShowPass(openmpt_module *module)
{
    ShowPass pass;
    const double length = openmpt_module_get_duration_seconds(module);
    const bool known = std::isfinite(length) && length >= 0;
    pass.songFrames = framesOf(known ? std::min(length, longestSearchSeconds) : longestSearchSeconds);
    const int64_t limit = framesOf(known ? std::min(length + passMarginSeconds, longestSearchSeconds) : longestSearchSeconds);
    float scratch[walkBlockFrames * 2];
    int64_t rendered = 0;
    int32_t order = openmpt_module_get_current_order(module);
    pass.visits.push_back({order, 0});
    while (rendered < limit) {
        // Frame by frame through the last scene's order, so that the end is found to the frame.
        const size_t chunk = order == lastScenePart ? 1 : walkBlockFrames;
        const size_t got = openmpt_module_read_interleaved_float_stereo(module, passSampleRate, chunk, scratch);
        if (got == 0)
            break;
        rendered += int64_t(got);
        // The position read is that of the last frame played.
        const int32_t now = openmpt_module_get_current_order(module);
        if (now == order)
            continue;
        if (endsShow(now, order)) {
            pass.ends = true;
            pass.endFrame = rendered - 1;
            break;
        }
        pass.visits.push_back({now, rendered - 1});
        order = now;
    }
    pass.searchedFrames = rendered;
    return pass;
}

int64_t measuredFrames(const ShowPass &pass)
{
    if (pass.ends)
        return pass.endFrame;
    return pass.songFrames > 0 ? std::min(pass.songFrames, pass.searchedFrames) : pass.searchedFrames;
}

std::string describeEndlessPass(const ShowPass &pass)
{
    char line[200];
    const double searched = double(pass.searchedFrames) / passSampleRate;
    if (searched >= longestSearchSeconds - 1)
        std::snprintf(line, sizeof line,
                      "the module does not go from order %d to order 0, where the show ends, within %.0f s", lastScenePart,
                      longestSearchSeconds);
    else
        std::snprintf(line, sizeof line,
                      "the module never goes from order %d to order 0, where the show ends (played %.2f s: its own "
                      "length and %.0f s more)", lastScenePart, searched, passMarginSeconds);
    return line;
}

void playModuleFrames(openmpt_module *module, int64_t frames, size_t blockFrames, const PassBlockSink &onBlock)
{
    std::vector<float> block(blockFrames * 2);
    for (int64_t done = 0; done < frames;) {
        const size_t chunk = size_t(std::min<int64_t>(int64_t(blockFrames), frames - done));
        const int32_t order = openmpt_module_get_current_order(module);
        const int32_t row = openmpt_module_get_current_row(module);
        const size_t got = openmpt_module_read_interleaved_float_stereo(module, passSampleRate, chunk, block.data());
        if (got == 0)
            break;
        onBlock(order, row, block.data(), got);
        done += int64_t(got);
    }
}

std::string describeNumberRuns(std::vector<int32_t> numbers)
{
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    std::string text;
    for (size_t k = 0; k < numbers.size();) {
        size_t last = k;
        while (last + 1 < numbers.size() && numbers[last + 1] == numbers[last] + 1)
            ++last;
        text += (text.empty() ? "" : ", ") + std::to_string(numbers[k]);
        if (last > k)
            text += "-" + std::to_string(numbers[last]);
        k = last + 1;
    }
    return text;
}
