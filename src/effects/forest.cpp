#include "effects/forest.h"

#include <GL/glew.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "assets/textures.h"
#include "effects/overlays.h"

ForestPath forestPath = forestBandedPath;
PineSpans pineSpans[3];
bool backdropOpaque = false;
Billboard scrollForest[billboardCount];
Billboard rushForest[billboardCount];

void loadForestAssets()
{
    loadForestImages();
    readForestPictures();
    fillForests();
}

// One fresh rand() result modulo n, as a double for the layout formulas.
static double drawRemainder(int n)
{
    return double(std::rand() % n);
}

void fillForests()
{
    // The order of the draws is the layout: it must not change.
    for (int i = 0; i < billboardCount; ++i) {
        scrollForest[i].depth = float(-0.4 - drawRemainder(1000) / 250);
        scrollForest[i].lateral = float(drawRemainder(6000) / 1000 - 3);
        scrollForest[i].heightScale = float(1 - drawRemainder(1000) / 4000);
        scrollForest[i].variant = std::rand() % 3;
        rushForest[i].variant = std::rand() % 3;
    }
    // Records 0..99 stand left of the viewer, 100..199 right of it; the right band draws its
    // lateral position last.
    for (int i = 0; i < billboardCount / 2; ++i) {
        rushForest[i].depth = float(-0.4 - drawRemainder(4000) / 250);
        rushForest[i].lateral = float(drawRemainder(2000) / 1000 - 2.5);
        rushForest[i].heightScale = float(1 - drawRemainder(1000) / 4000);
    }
    for (int i = billboardCount / 2; i < billboardCount; ++i) {
        rushForest[i].depth = float(-0.4 - drawRemainder(4000) / 250);
        rushForest[i].heightScale = float(1 - drawRemainder(1000) / 4000);
        rushForest[i].lateral = float(drawRemainder(2000) / 1000);
    }
}

namespace {

// The union (first, last; combine with min, max) or intersection (max, min) tables of one kind.
void buildRangeTables(int16_t (*low)[spanRowCapacity], int16_t (*high)[spanRowCapacity], int height, bool unite)
{
    for (int k = 1; k < spanLevels && (1 << k) <= height; ++k)
        for (int y = 0; y + (1 << k) <= height; ++y) {
            const int other = y + (1 << (k - 1));
            low[k][y] = unite ? std::min(low[k - 1][y], low[k - 1][other]) : std::max(low[k - 1][y], low[k - 1][other]);
            high[k][y] = unite ? std::max(high[k - 1][y], high[k - 1][other]) : std::min(high[k - 1][y], high[k - 1][other]);
        }
}

// Rows r0..r1 (within the picture) of a table pair, combined as the tables were built.
void combineRows(const int16_t (*low)[spanRowCapacity], const int16_t (*high)[spanRowCapacity], int r0, int r1,
                 bool unite, int *first, int *last)
{
    int k = 0;
    while ((2 << k) <= r1 - r0 + 1)
        ++k;
    const int other = r1 - (1 << k) + 1;
    *first = unite ? std::min(low[k][r0], low[k][other]) : std::max(low[k][r0], low[k][other]);
    *last = unite ? std::max(high[k][r0], high[k][other]) : std::min(high[k][r0], high[k][other]);
}

} // namespace

void buildPineSpans(PineSpans *spans, const uint8_t *alpha, int width, int height)
{
    spans->width = spans->height = 0;
    if (width <= 0 || height <= 0 || width > 32767 || height > spanRowCapacity)
        return;
    for (int y = 0; y < height; ++y) {
        const uint8_t *row = alpha + size_t(y) * size_t(width);
        int first = width, last = -1, runFirst = width, runLast = -1;
        for (int x = 0; x < width; ++x)
            if (row[x] > 0) {
                first = std::min(first, x);
                last = x;
            }
        for (int x = 0, start = 0; x < width; ++x) {
            if (row[x] != 255) {
                start = x + 1;
            } else if (x - start > runLast - runFirst) {
                runFirst = start;
                runLast = x;
            }
        }
        spans->first[0][y] = int16_t(first);
        spans->last[0][y] = int16_t(last);
        spans->opaqueFirst[0][y] = int16_t(runFirst);
        spans->opaqueLast[0][y] = int16_t(runLast);
    }
    buildRangeTables(spans->first, spans->last, height, true);
    buildRangeTables(spans->opaqueFirst, spans->opaqueLast, height, false);
    spans->width = width;
    spans->height = height;
}

namespace {

// The alpha of a texture's image, one byte a texel; empty when it has none or is too large.
std::vector<uint8_t> readTextureAlpha(GLuint name, int *width, int *height)
{
    glBindTexture(GL_TEXTURE_2D, name);
    GLint w = 0, h = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
    *width = w;
    *height = h;
    if (w <= 0 || h <= 0 || w > 32767 || h > 32767)
        return {};
    // A picture without alpha reads back as 1 everywhere.
    std::vector<uint8_t> alpha(size_t(w) * size_t(h));
    glGetTexImage(GL_TEXTURE_2D, 0, GL_ALPHA, GL_UNSIGNED_BYTE, alpha.data());
    return alpha;
}

} // namespace

void readForestPictures()
{
    GLint bound = 0, packAlignment = 4;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    glGetIntegerv(GL_PACK_ALIGNMENT, &packAlignment);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    int width = 0, height = 0;
    for (int v = 0; v < 3; ++v) {
        const std::vector<uint8_t> alpha = readTextureAlpha(pineTexture + GLuint(v), &width, &height);
        pineSpans[v].width = pineSpans[v].height = 0;
        if (!alpha.empty())
            buildPineSpans(&pineSpans[v], alpha.data(), width, height);
    }
    const std::vector<uint8_t> alpha = readTextureAlpha(backdropTexture, &width, &height);
    backdropOpaque = !alpha.empty() && std::all_of(alpha.begin(), alpha.end(), [](uint8_t a) { return a == 255; });
    glPixelStorei(GL_PACK_ALIGNMENT, packAlignment);
    glBindTexture(GL_TEXTURE_2D, GLuint(bound));
}

bool placeBillboard(float x, float y, float z, float height, double focalX, double focalY,
                    BillboardPlacement *placement)
{
    const double w = -double(z);
    // Near the near plane (0.1) the GL may clip the quad itself; such billboards are drawn whole.
    if (!(w > 0.1001) || !std::isfinite(w) || !std::isfinite(x) || !std::isfinite(y))
        return false;
    placement->x0 = 400.0 + 400.0 * focalX * x / w;
    placement->y0 = 300.0 + 300.0 * focalY * y / w;
    placement->dxds = 400.0 * focalX * double(0.64f) / w;
    placement->dydt = 300.0 * focalY * height / w;
    return std::fabs(placement->dxds) > 1e-6 && std::fabs(placement->dydt) > 1e-6 &&
           std::isfinite(placement->dxds) && std::isfinite(placement->dydt);
}

namespace {

constexpr int gridRows = 600 / coverBlock, gridColumns = 800 / coverBlock;

// The texel rows the filter reads for the window rows r0..r1-1 (pixel centres), widened by
// margin texels: unclamped, so that a caller can tell rows past the picture's edges.
void findTexelRows(const BillboardPlacement &p, double height, int r0, int r1, double margin, double *low,
                   double *high)
{
    const double tA = (r0 + 0.5 - p.y0) / p.dydt, tB = (r1 - 0.5 - p.y0) / p.dydt;
    *low = std::floor(std::min(tA, tB) * height - 0.5 - margin);
    *high = std::floor(std::max(tA, tB) * height - 0.5 + margin) + 1.0;
}

// The window columns [left, right) whose pixels can take a fragment of alpha above 0 from the
// window rows r0..r1-1: every column the filter can reach from a non-zero texel of the rows it
// reads, with a texel and a pixel to spare. Empty (right <= left) when there is none.
void findReach(const PineSpans &spans, const BillboardPlacement &p, int r0, int r1, int *left, int *right)
{
    *left = *right = 0;
    const double height = spans.height;
    double low, high;
    findTexelRows(p, height, r0, r1, 1.0, &low, &high);
    // Past the picture's edges the filter clamps to the edge rows.
    low = std::min(std::max(low, 0.0), height - 1.0);
    high = std::min(std::max(high, 0.0), height - 1.0);
    int first, last;
    combineRows(spans.first, spans.last, int(low), int(high), true, &first, &last);
    if (first > last)
        return;
    // Column c reaches the filter for s in [(c - 0.5) / width, (c + 1.5) / width); a texel more.
    const double width = spans.width;
    const double xA = p.x0 + p.dxds * (first - 1.5) / width, xB = p.x0 + p.dxds * (last + 2.5) / width;
    const double l = std::max(std::floor(std::min(xA, xB)) - 1.0, 0.0);
    const double r = std::min(std::ceil(std::max(xA, xB)) + 1.0, 800.0);
    if (r > l) {
        *left = int(l);
        *right = int(r);
    }
}

// What one more band costs, in rasterised pixels. A draw is set up and binned on the drawing
// thread alone, while pixels are shaded by all of llvmpipe's threads: on two cores a draw of its
// own takes about as long by the wall clock as four thousand blended textured pixels (bench, wall
// clock: 1.1-1.2x faster frames than a cost of a thousand, no part slower).
constexpr double bandDrawCost = 4096.0;

// The block rows [first, last) of the window that the picture's rows can touch.
bool findBlockRows(const BillboardPlacement &p, int *first, int *last)
{
    const double xA = p.x0, xB = p.x0 + p.dxds, yA = p.y0, yB = p.y0 + p.dydt;
    if (std::max(xA, xB) < -1.0 || std::min(xA, xB) > 801.0)
        return false;
    const double low = std::max(std::floor(std::min(yA, yB)) - 1.0, 0.0);
    const double high = std::min(std::ceil(std::max(yA, yB)) + 1.0, 600.0);
    if (!(high > low))
        return false;
    *first = int(low) / coverBlock;
    *last = std::min((int(high) + coverBlock - 1) / coverBlock, gridRows);
    return *first < *last;
}

} // namespace

void markOpaqueBlocks(const PineSpans &spans, const BillboardPlacement &p, CoverGrid *grid)
{
    int firstRow, lastRow;
    if (spans.width <= 0 || spans.height <= 0 || !findBlockRows(p, &firstRow, &lastRow))
        return;
    const double width = spans.width;
    for (int row = firstRow; row < lastRow; ++row) {
        // Only rows wholly inside the picture: beyond its edges there are no fragments at all.
        double low, high;
        findTexelRows(p, spans.height, row * coverBlock, (row + 1) * coverBlock, 1.0, &low, &high);
        if (low < 0.0 || high > spans.height - 1.0)
            continue;
        int first, last;
        combineRows(spans.opaqueFirst, spans.opaqueLast, int(low), int(high), false, &first, &last);
        // Pixels whose footprint, a texel wider each way, reads only these columns: fully opaque.
        if (last - first < 3)
            continue;
        const double xA = p.x0 + p.dxds * (first + 1.5) / width, xB = p.x0 + p.dxds * (last - 0.5) / width;
        const double from = std::ceil(std::min(xA, xB) + 0.5), to = std::floor(std::max(xA, xB) - 1.5);
        const int block0 = int(std::max(std::ceil(from / coverBlock), 0.0));
        const int block1 = int(std::min(std::floor((to + 1.0) / coverBlock), double(gridColumns)));
        for (int b = block0; b < block1; ++b)
            grid->covered[row][b] = 1;
    }
}

int findBillboardBands(const PineSpans &spans, const BillboardPlacement &p, const CoverGrid *grid,
                       ScissorBand *bands)
{
    int firstRow, lastRow;
    if (spans.width <= 0 || spans.height <= 0 || !findBlockRows(p, &firstRow, &lastRow))
        return 0;
    // Each block row's columns, less the covered blocks at its ends.
    int left[gridRows], right[gridRows];
    const int n = lastRow - firstRow;
    for (int k = 0; k < n; ++k) {
        const int row = firstRow + k;
        findReach(spans, p, row * coverBlock, (row + 1) * coverBlock, &left[k], &right[k]);
        if (!grid)
            continue;
        while (left[k] < right[k] && grid->covered[row][left[k] / coverBlock])
            left[k] = (left[k] / coverBlock + 1) * coverBlock;
        while (right[k] > left[k] && grid->covered[row][(right[k] - 1) / coverBlock])
            right[k] = (right[k] - 1) / coverBlock * coverBlock;
    }
    // The cheapest grouping of the block rows into bands: best[j] covers rows 0..j-1, its last
    // band starting at from[j] (-1: row j-1 is empty and left out).
    double best[gridRows + 1];
    int from[gridRows + 1];
    best[0] = 0;
    for (int j = 1; j <= n; ++j) {
        best[j] = 1e300;
        from[j] = -1;
        if (right[j - 1] <= left[j - 1])
            best[j] = best[j - 1];
        int l = 800, r = 0;
        for (int i = j - 1; i >= 0; --i) {
            if (right[i] > left[i]) {
                l = std::min(l, left[i]);
                r = std::max(r, right[i]);
            }
            if (r <= l)
                continue;
            const double cost = best[i] + bandDrawCost + double(coverBlock) * (j - i) * (r - l);
            if (cost < best[j]) {
                best[j] = cost;
                from[j] = i;
            }
        }
    }
    int count = 0;
    for (int j = n; j > 0;) {
        const int i = from[j];
        if (i < 0) {
            --j;
            continue;
        }
        int l = 800, r = 0;
        for (int k = i; k < j; ++k)
            if (right[k] > left[k]) {
                l = std::min(l, left[k]);
                r = std::max(r, right[k]);
            }
        bands[count++] = ScissorBand{l, (firstRow + i) * coverBlock, r - l, (j - i) * coverBlock};
        j = i;
    }
    return count;
}

namespace {

// The projection's focal scales, as the GL holds them, for placing the billboards.
double forestFocalX, forestFocalY;

// Whether blending the opaque backdrop over the frame, under the blend now set, writes the backdrop
// itself: so it does with (GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA) and a source alpha of 1.
bool isBackdropBlendACopy()
{
    if (!backdropOpaque)
        return false;
    GLint factors[4] = {0, 0, 0, 0}, equations[2] = {0, 0};
    glGetIntegerv(GL_BLEND_SRC_RGB, &factors[0]);
    glGetIntegerv(GL_BLEND_SRC_ALPHA, &factors[1]);
    glGetIntegerv(GL_BLEND_DST_RGB, &factors[2]);
    glGetIntegerv(GL_BLEND_DST_ALPHA, &factors[3]);
    glGetIntegerv(GL_BLEND_EQUATION_RGB, &equations[0]);
    glGetIntegerv(GL_BLEND_EQUATION_ALPHA, &equations[1]);
    return factors[0] == GL_SRC_ALPHA && factors[1] == GL_SRC_ALPHA && factors[2] == GL_ONE_MINUS_SRC_ALPHA &&
           factors[3] == GL_ONE_MINUS_SRC_ALPHA && equations[0] == GL_FUNC_ADD && equations[1] == GL_FUNC_ADD;
}

void setupForestFrame(double fov)
{
    setOrthoProjection();
    // The same bytes without the read of the frame under it; blending is switched on just after.
    if (forestPath == forestBandedPath && glIsEnabled(GL_BLEND) && isBackdropBlendACopy())
        glDisable(GL_BLEND);
    drawBackdropImage();
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_TEXTURE_2D);
    glDisable(GL_LIGHTING);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(fov, double(4.0f / 3.0f), double(0.1f), 49900);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    // Fragments of alpha 0 leave the picture as it is under this blend, so dropping them changes no
    // pixel; llvmpipe then skips their blend.
    if (forestPath != forestLiteralPath) {
        glEnable(GL_ALPHA_TEST);
        glAlphaFunc(GL_GREATER, 0.0f);
    }
    if (forestPath == forestBandedPath) {
        float projection[16];
        glGetFloatv(GL_PROJECTION_MATRIX, projection);
        forestFocalX = projection[0];
        forestFocalY = projection[5];
        glEnable(GL_SCISSOR_TEST);
    }
}

// The state the literal pass leaves: no alpha test or scissor, their defaults back.
void finishForestFrame()
{
    if (forestPath != forestLiteralPath) {
        glDisable(GL_ALPHA_TEST);
        glAlphaFunc(GL_ALWAYS, 0.0f);
    }
    if (forestPath == forestBandedPath) {
        glDisable(GL_SCISSOR_TEST);
        glScissor(0, 0, 800, 600);
    }
}

float findPictureHeight(const Billboard &tree)
{
    return float(tree.heightScale * -0.8533333333333334);
}

// Each billboard's bands, planned from the last billboard to the first so that each sees what
// the later ones cover. count -1: drawn whole.
struct BandPlan {
    int first, count;
};
BandPlan bandPlans[billboardCount];
ScissorBand bandPool[billboardCount * bandCapacity];
CoverGrid coverGrid;

void planForestBands(const Billboard *forest, const float (*anchors)[3])
{
    std::fill(&coverGrid.covered[0][0], &coverGrid.covered[0][0] + sizeof coverGrid.covered, uint8_t(0));
    int used = 0;
    for (int i = billboardCount - 1; i >= 0; --i) {
        const Billboard &tree = forest[i];
        const PineSpans &spans = pineSpans[tree.variant];
        BillboardPlacement placement;
        if (spans.width == 0 || !placeBillboard(anchors[i][0], anchors[i][1], anchors[i][2], findPictureHeight(tree),
                                                forestFocalX, forestFocalY, &placement)) {
            bandPlans[i] = BandPlan{0, -1};
            continue;
        }
        const int count = findBillboardBands(spans, placement, &coverGrid, bandPool + used);
        bandPlans[i] = BandPlan{used, count};
        used += count;
        markOpaqueBlocks(spans, placement, &coverGrid);
    }
}

// The anchor is the picture's top-left corner; the negative y scale hangs the picture from it.
void drawBillboard(const Billboard &tree, const float anchor[3], const BandPlan *plan)
{
    glPushMatrix();
    glTranslatef(anchor[0], anchor[1], anchor[2]);
    glBindTexture(GL_TEXTURE_2D, pineTexture + GLuint(tree.variant));
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glEnable(GL_TEXTURE_2D);
    glScalef(0.64f, findPictureHeight(tree), 1.0f);
    if (!plan) {
        drawUnitSquareQuad(true);
    } else if (plan->count < 0) {
        glScissor(0, 0, 800, 600);
        drawUnitSquareQuad(true);
    } else {
        // The unchanged quad once per band: the same fragments where it can show, none elsewhere.
        for (int b = 0; b < plan->count; ++b) {
            const ScissorBand &band = bandPool[plan->first + b];
            glScissor(band.x, band.y, band.width, band.height);
            drawUnitSquareQuad(true);
        }
    }
    glPopMatrix();
}

// Both passes: the records have been moved and their anchors found; drawn in array order.
void drawBillboards(const Billboard *forest, const float (*anchors)[3])
{
    const bool banded = forestPath == forestBandedPath;
    if (banded)
        planForestBands(forest, anchors);
    for (int i = 0; i < billboardCount; ++i)
        drawBillboard(forest[i], anchors[i], banded ? &bandPlans[i] : nullptr);
}

float forestAnchors[billboardCount][3];

} // namespace

void drawForestScroll(float time, float delta)
{
    glColor4f(1, 1, 1, 1);
    float step = delta * 0.25f;
    float angle = time * 0.25f;
    setupForestFrame(45);
    float sway = float(0.2 * double(float(std::sin(double(angle)))));
    float lift = float(0.3 - 0.3 / double(angle) + 0.1);
    for (int i = 0; i < billboardCount; ++i) {
        Billboard &tree = scrollForest[i];
        tree.lateral = tree.lateral + step;
        if (tree.lateral > 3.0f)
            tree.lateral = -3.0f;
        forestAnchors[i][0] = tree.lateral;
        forestAnchors[i][1] = lift;
        forestAnchors[i][2] = tree.depth + sway;
    }
    drawBillboards(scrollForest, forestAnchors);
    finishForestFrame();
}

void drawForestRush(float delta)
{
    glColor4f(1, 1, 1, 1);
    float step = delta * 0.25f;
    setupForestFrame(30);
    for (int i = 0; i < billboardCount; ++i) {
        Billboard &tree = rushForest[i];
        tree.depth = tree.depth + 2.0f * step;
        if (tree.depth > 0.0f)
            tree.depth = -16.4f;
        forestAnchors[i][0] = tree.lateral;
        forestAnchors[i][1] = 0.4f;
        forestAnchors[i][2] = tree.depth;
    }
    drawBillboards(rushForest, forestAnchors);
    finishForestFrame();
}
