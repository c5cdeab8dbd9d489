// soundcheck <module.xm> [out.wav [strip.png]]: renders one pass of the module with libopenmpt
// at 44.1 kHz stereo as the show plays it (to the change from order 50 to 0), prints the peak and
// RMS in dBFS of each order it plays and the pass's duration, checks the soundtrack's limits and
// exits 1 when one fails. A module the show would never end on is measured over its own length
// and fails in one line. It can keep the audio
// as a WAV file and draw a loudness strip: RMS every four rows, peaks, the median and its limits.
// soundcheck --rows <module.xm> <order>: prints the pattern rows of one order.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <libopenmpt/libopenmpt.hpp>
#include <png.h>

#include "composer/score.h"
#include "modulepass/modulepass.h"

namespace {

const int renderRate = 44100;
const size_t blockFrames = 64;    // the position is noted this often (1.5 ms)
const double peakLimitDb = -0.3;
const double loudnessSpreadDb = 6.0;
const double silenceDb = -60.0;
const double shortestPassSeconds = 165.0;
const double longestPassSeconds = 270.0;
const int rowsPerStripColumn = 4;
const int stripRowsPerPattern = 64;
const int stripHeight = 240;
const double stripFloorDb = -48.0;
// Where the show's scenes change: brighter lines in the strip.
const int sceneStarts[] = {0, 4, 8, 16, 22, 30, 38, 42, 50};

struct OrderLevels {
    double peak = 0.0;
    double sumSquares = 0.0;
    size_t frames = 0;
};

struct StripPixels {
    int width = 0;
    std::vector<uint8_t> rgb;
};

void paintPixel(StripPixels &strip, int x, int y, int r, int g, int b) {
    if (x < 0 || x >= strip.width || y < 0 || y >= stripHeight)
        return;
    uint8_t *p = &strip.rgb[(static_cast<size_t>(y) * strip.width + x) * 3];
    p[0] = static_cast<uint8_t>(r);
    p[1] = static_cast<uint8_t>(g);
    p[2] = static_cast<uint8_t>(b);
}

int stripY(double db) {
    double clamped = std::max(stripFloorDb, std::min(0.0, db));
    return static_cast<int>(std::lround(clamped / stripFloorDb * (stripHeight - 1)));
}

bool writePng(const char *path, const StripPixels &strip) {
    FILE *file = std::fopen(path, "wb");
    if (!file)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(strip.width), stripHeight, 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < stripHeight; y++)
        png_write_row(png, &strip.rgb[static_cast<size_t>(y) * strip.width * 3]);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0;
}

double toDb(double level) { return level > 0.0 ? 20.0 * std::log10(level) : -999.0; }

double rmsDb(const OrderLevels &levels) {
    if (levels.frames == 0)
        return -999.0;
    return toDb(std::sqrt(levels.sumSquares / (2.0 * levels.frames)));
}

bool readFile(const char *path, std::vector<char> &bytes) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return true;
}

void putLe(std::ofstream &out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; i++)
        out.put(static_cast<char>((value >> (8 * i)) & 0xFF));
}

bool writeWav(const char *path, const std::vector<float> &samples) {
    std::ofstream out(path, std::ios::binary);
    if (!out)
        return false;
    uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
    out.write("RIFF", 4);
    putLe(out, 36 + dataBytes, 4);
    out.write("WAVEfmt ", 8);
    putLe(out, 16, 4);
    putLe(out, 1, 2); // PCM
    putLe(out, 2, 2);
    putLe(out, renderRate, 4);
    putLe(out, renderRate * 4, 4);
    putLe(out, 4, 2);
    putLe(out, 16, 2);
    out.write("data", 4);
    putLe(out, dataBytes, 4);
    for (float sample : samples) {
        long value = std::lround(std::max(-1.0f, std::min(1.0f, sample)) * 32767.0f);
        putLe(out, static_cast<uint32_t>(value) & 0xFFFF, 2);
    }
    return static_cast<bool>(out);
}

int printRows(const char *path, int order) {
    std::vector<char> bytes;
    if (!readFile(path, bytes)) {
        std::fprintf(stderr, "soundcheck: cannot read %s\n", path);
        return 2;
    }
    try {
        std::ostringstream log;
        openmpt::module module(bytes, log);
        if (order < 0 || order >= module.get_num_orders()) {
            std::fprintf(stderr, "soundcheck: order %d is outside 0..%d\n", order, module.get_num_orders() - 1);
            return 2;
        }
        int pattern = module.get_order_pattern(order);
        std::vector<std::string> names = module.get_instrument_names();
        std::printf("order %d, pattern %d, %d rows; instruments:", order, pattern, module.get_pattern_num_rows(pattern));
        for (size_t i = 0; i < names.size(); i++)
            std::printf(" %zu=%s", i + 1, names[i].c_str());
        std::printf("\n");
        for (int row = 0; row < module.get_pattern_num_rows(pattern); row++) {
            std::printf("%02d |", row);
            for (int channel = 0; channel < module.get_num_channels(); channel++)
                std::printf(" %s", module.format_pattern_row_channel(pattern, row, channel, 13).c_str());
            std::printf("\n");
        }
    } catch (const std::exception &error) {
        std::fprintf(stderr, "soundcheck: libopenmpt rejects %s: %s\n", path, error.what());
        return 2;
    }
    return 0;
}

double medianOf(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

// One column per four rows; the bar is the RMS (amber in the quiet orders), the tick above it
// the peak; the lines are the median order (white), six dB either side (grey), -0.3 dBFS (red).
StripPixels drawStrip(const std::vector<OrderLevels> &columns, int orderCount, double median) {
    StripPixels strip;
    strip.width = static_cast<int>(columns.size());
    strip.rgb.assign(static_cast<size_t>(strip.width) * stripHeight * 3, 0);
    for (int x = 0; x < strip.width; x++) {
        int order = x / (stripRowsPerPattern / rowsPerStripColumn);
        bool orderStart = x % (stripRowsPerPattern / rowsPerStripColumn) == 0;
        bool sceneStart = orderStart && std::find(std::begin(sceneStarts), std::end(sceneStarts), order) != std::end(sceneStarts);
        for (int y = 0; y < stripHeight; y++) {
            if (sceneStart)
                paintPixel(strip, x, y, 110, 120, 170);
            else if (orderStart)
                paintPixel(strip, x, y, 36, 42, 70);
            else
                paintPixel(strip, x, y, 12, 16, 32);
        }
        const OrderLevels &levels = columns[static_cast<size_t>(x)];
        if (levels.frames == 0 || order >= orderCount)
            continue;
        bool quiet = isQuietOrder(order);
        for (int y = stripY(rmsDb(levels)); y < stripHeight; y++)
            paintPixel(strip, x, y, quiet ? 230 : 70, quiet ? 165 : 200, quiet ? 60 : 160);
        int peakY = stripY(toDb(levels.peak));
        paintPixel(strip, x, peakY, 245, 245, 255);
        paintPixel(strip, x, peakY + 1, 245, 245, 255);
    }
    for (int x = 0; x < strip.width; x++) {
        if (x % 4 < 2) {
            paintPixel(strip, x, stripY(median), 255, 255, 255);
            paintPixel(strip, x, stripY(median - loudnessSpreadDb), 150, 150, 160);
            paintPixel(strip, x, stripY(median + loudnessSpreadDb), 150, 150, 160);
        }
        paintPixel(strip, x, stripY(peakLimitDb), 230, 40, 40);
    }
    return strip;
}

void addLevels(OrderLevels &levels, const float *stereo, size_t frames) {
    for (size_t i = 0; i < frames * 2; i++) {
        double v = stereo[i];
        levels.peak = std::max(levels.peak, std::fabs(v));
        levels.sumSquares += v * v;
    }
    levels.frames += frames;
}

int checkModule(const char *path, const char *wavPath, const char *stripPath) {
    std::vector<char> bytes;
    if (!readFile(path, bytes)) {
        std::fprintf(stderr, "soundcheck: cannot read %s\n", path);
        return 2;
    }
    // The pass first, as the show plays it; then its frames again, measured.
    std::string reason, log;
    openmpt_module *module = openShowModule(bytes.data(), bytes.size(), &reason, &log);
    if (!module) {
        std::fprintf(stderr, "soundcheck: libopenmpt rejects %s: %s\n", path, reason.c_str());
        return 2;
    }
    const ShowPass pass = walkShowPass(module);
    openmpt_module_destroy(module);
    module = openShowModule(bytes.data(), bytes.size(), nullptr, nullptr);
    const int orderCount = openmpt_module_get_num_orders(module);
    std::vector<OrderLevels> orders(static_cast<size_t>(orderCount));
    std::vector<OrderLevels> columns(static_cast<size_t>(orderCount * stripRowsPerPattern / rowsPerStripColumn));
    std::vector<float> audio;
    const int64_t passFrames = measuredFrames(pass);
    playModuleFrames(module, passFrames, blockFrames, [&](int32_t order, int32_t row, const float *block, size_t got) {
        if (wavPath)
            audio.insert(audio.end(), block, block + got * 2);
        if (order < 0 || order >= orderCount)
            return;
        addLevels(orders[static_cast<size_t>(order)], block, got);
        if (row >= 0 && row < stripRowsPerPattern)
            addLevels(columns[static_cast<size_t>((order * stripRowsPerPattern + row) / rowsPerStripColumn)], block, got);
    });
    openmpt_module_destroy(module);
    const double passSeconds = static_cast<double>(passFrames) / renderRate;

    // Orders the pass skips are no part of what is heard: left out of the table and the median.
    std::vector<double> loudness;
    std::vector<int32_t> unplayed;
    for (int order = 0; order < orderCount; order++) {
        const OrderLevels &levels = orders[static_cast<size_t>(order)];
        if (levels.frames == 0)
            unplayed.push_back(order);
        else
            loudness.push_back(rmsDb(levels));
    }
    double median = loudness.empty() ? -999.0 : medianOf(loudness);
    int failures = 0;
    std::printf("| order | seconds | peak dBFS | RMS dBFS | vs median dB | note |\n");
    std::printf("|---:|---:|---:|---:|---:|---|\n");
    for (int order = 0; order < orderCount; order++) {
        const OrderLevels &levels = orders[static_cast<size_t>(order)];
        if (levels.frames == 0)
            continue;
        double peak = toDb(levels.peak), rms = rmsDb(levels);
        std::string note = isQuietOrder(order) ? "quiet" : "";
        bool failed = false;
        auto flag = [&](bool fault, const char *word) {
            if (!fault)
                return;
            note += note.empty() ? word : std::string(", ") + word;
            failed = true;
        };
        flag(rms <= silenceDb, "SILENT");
        flag(peak >= peakLimitDb, "CLIPS");
        flag(!isQuietOrder(order) && std::fabs(rms - median) > loudnessSpreadDb, "UNEVEN");
        failures += failed ? 1 : 0;
        std::printf("| %d | %.2f | %.2f | %.2f | %+.2f | %s |\n", order, levels.frames / static_cast<double>(renderRate),
                    peak, rms, rms - median, note.c_str());
    }
    if (!unplayed.empty())
        std::printf("\norders the pass never plays: %s\n", describeNumberRuns(unplayed).c_str());
    std::printf("\nmedian order RMS %.2f dBFS; %s: %.2f s (%d:%05.2f)\n", median,
                pass.ends ? "one pass to the wrap" : "the module's own length", passSeconds,
                static_cast<int>(passSeconds) / 60, std::fmod(passSeconds, 60.0));
    if (!pass.ends) {
        std::printf("FAIL: %s\n", describeEndlessPass(pass).c_str());
        failures++;
    } else if (passSeconds < shortestPassSeconds || passSeconds > longestPassSeconds) {
        std::printf("FAIL: one pass lasts %.1f s, outside %.0f..%.0f s\n", passSeconds, shortestPassSeconds,
                    longestPassSeconds);
        failures++;
    }
    if (!log.empty()) {
        std::printf("FAIL: libopenmpt logged while loading:\n%s", log.c_str());
        failures++;
    }
    if (wavPath && !writeWav(wavPath, audio)) {
        std::fprintf(stderr, "soundcheck: cannot write %s\n", wavPath);
        return 2;
    }
    if (stripPath && !writePng(stripPath, drawStrip(columns, orderCount, median))) {
        std::fprintf(stderr, "soundcheck: cannot write %s\n", stripPath);
        return 2;
    }
    std::printf("%s\n", failures ? "soundcheck: limits FAILED" : "soundcheck: all limits hold");
    return failures ? 1 : 0;
}

} // namespace

int main(int argc, char **argv) {
    if (argc == 4 && std::string(argv[1]) == "--rows") {
        char *end = nullptr;
        long order = std::strtol(argv[3], &end, 10);
        if (*argv[3] == '\0' || *end != '\0') {
            std::fprintf(stderr, "soundcheck: order \"%s\" is not a number\n", argv[3]);
            return 2;
        }
        return printRows(argv[2], static_cast<int>(order));
    }
    if (argc < 2 || argc > 4 || argv[1][0] == '-') {
        std::fprintf(stderr, "usage: soundcheck <module.xm> [out.wav [strip.png]] | soundcheck --rows <module.xm> <order>\n");
        return 2;
    }
    return checkModule(argv[1], argc >= 3 ? argv[2] : nullptr, argc == 4 ? argv[3] : nullptr);
}
