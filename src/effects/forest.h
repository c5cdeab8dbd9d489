// The two billboard forests of pine silhouettes over the backdrop.
#pragma once
#include <cstdint>

struct Billboard {
    float depth;
    float lateral;
    float heightScale;
    int32_t variant;
};

constexpr int billboardCount = 200;
extern Billboard scrollForest[billboardCount];
extern Billboard rushForest[billboardCount];

// How the billboards are rasterised; every path draws the same pixels and leaves the same state.
enum ForestPath {
    forestLiteralPath,   // each quad once, every fragment blended
    forestAlphaTestPath, // each quad once, fragments of alpha 0 dropped by the alpha test
    forestBandedPath,    // shipped: as the alpha test, each quad once per band of window rows,
                         // scissored to the pixels that can show (see findBillboardBands), and the
                         // opaque backdrop unblended where blending would only copy it
};
extern ForestPath forestPath;

// The forest images, then both forests filled from rand.
void loadForestAssets();
void fillForests();
void drawForestScroll(float time, float delta);
void drawForestRush(float delta);

// What the bands need of a pine picture, per texel row: the first and last column whose alpha is
// above 0 (first > last when there is none) and the longest run of fully opaque columns; each with
// its unions (or, for the runs, intersections) over every run of 2^k rows, so that any range of
// rows takes two look-ups.
constexpr int spanRowCapacity = 1024;
constexpr int spanLevels = 11;
struct PineSpans {
    int width, height; // 0 when unknown: the billboards are drawn whole
    int16_t first[spanLevels][spanRowCapacity];
    int16_t last[spanLevels][spanRowCapacity];
    int16_t opaqueFirst[spanLevels][spanRowCapacity];
    int16_t opaqueLast[spanLevels][spanRowCapacity];
};
extern PineSpans pineSpans[3];
// alpha: width x height bytes, the picture's first (top) row first. A picture wider than 32767
// or taller than spanRowCapacity rows is left unknown.
void buildPineSpans(PineSpans *spans, const uint8_t *alpha, int width, int height);
// Reads the three pine textures back into pineSpans, and whether the backdrop is opaque;
// start-up calls it after loading them, and anything that replaces their images must call it again.
void readForestPictures();

// Where a billboard's picture lies in the 800x600 window (GL window coordinates, y up): the
// position of its top-left corner (texture coordinate 0, 0) and the pixels per unit of s and t.
struct BillboardPlacement {
    double x0, y0, dxds, dydt;
};
// The placement of a picture hung from the eye-space anchor (x, y, z), 0.64 wide and height tall
// (negative: hanging down), under a projection with the given x and y focal scales; false when
// it cannot be mapped (at or behind the near plane, degenerate or not finite).
bool placeBillboard(float x, float y, float z, float height, double focalX, double focalY,
                    BillboardPlacement *placement);

// The window in blocks of 8 x 8 pixels, marking those that a billboard drawn later covers with
// fully opaque fragments: whatever is drawn there before is painted over exactly.
constexpr int coverBlock = 8;
struct CoverGrid {
    uint8_t covered[600 / coverBlock][800 / coverBlock];
};
void markOpaqueBlocks(const PineSpans &spans, const BillboardPlacement &placement, CoverGrid *grid);

// A scissor rectangle over a band of window rows.
struct ScissorBand {
    int x, y, width, height;
};
constexpr int bandCapacity = 600 / coverBlock;
// The bands that hold every window pixel whose bilinear footprint reaches a texel of alpha above
// 0 (with a texel and a pixel to spare) and that no later billboard covers (grid may be null);
// pixels outside them are left as they are by this billboard or painted over after it. Band rows
// are whole blocks and never overlap; a band costs a draw, so rows are grouped where that is
// cheaper than the pixels saved. Returns the count (0: nothing can show).
int findBillboardBands(const PineSpans &spans, const BillboardPlacement &placement, const CoverGrid *grid,
                       ScissorBand *bands);
