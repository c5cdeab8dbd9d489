// The VUE reader and the camera placed from a path. A missing track is in test_meshes' stop table.
#include <GL/glew.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "assets/camerapaths.h"
#include "support/gltest.h"
#include "support/scratchfolder.h"

namespace {

using TrackFiles = ScratchFolderTest;

// Writes data/meshes/T.VUE and loads it into slot 3.
int32_t load(const std::string &text)
{
    FILE *file = fopen("data/meshes/T.VUE", "wb");
    EXPECT_NE(file, nullptr);
    fwrite(text.data(), 1, text.size(), file);
    fclose(file);
    return loadVueFile(3, "data\\meshes\\T.VUE");
}

// Four header lines, one of them a camera line, then frame i at eye (i.5, 2i, 3).
std::string track(int frames, bool finalBreak)
{
    std::string text = "VIEWPORT file\ncamera  9 9 9 9 9 9 9\n\nframe 0\n";
    for (int i = 0; i < frames; ++i)
        text += "camera  " + std::to_string(i) + ".5 " + std::to_string(2 * i) + " 3 " +
                std::to_string(-i) + " 0.25 -7 " + std::to_string(100 + i) + "\n";
    return finalBreak ? text : text.substr(0, text.size() - 1);
}

TEST_F(TrackFiles, OneFramePerCameraLineAndOneMoreAfterAFinalLineBreak)
{
    EXPECT_EQ(load(track(3, false)), 3);
    EXPECT_EQ(load(track(3, true)), 4);
    const CameraPath &path = cameraPaths[3];
    const float third[7] = {2.5f, 4.0f, 3.0f, -2.0f, 0.25f, -7.0f, 102.0f};
    const float *columns[7] = {path.eyeX, path.eyeY, path.eyeZ, path.targetX, path.targetY, path.targetZ, path.value7};
    for (int k = 0; k < 7; ++k) {
        EXPECT_FLOAT_EQ(columns[k][2], third[k]) << k;
        EXPECT_EQ(columns[k][3], columns[k][2]) << k; // the repeated last line
    }
    EXPECT_FLOAT_EQ(path.eyeX[0], 0.5f);
    EXPECT_EQ(load(track(3, true) + "end\n"), 3);
    EXPECT_EQ(load("a\nb\nc\ncamera 1 2 3 4 5 6 7\n"), 0);
    EXPECT_EQ(load(""), 0);
}

TEST_F(TrackFiles, CameraLinesOutsideTheSubsetKeepTheirFrame)
{
    // Case and column matter; unscanned values hold 0; a 46-character leading word is read with
    // a bound; a line of 320 characters arrives as two reads.
    const int32_t frames = load("1\n2\n3\n4\nCamera 1 1 1 1 1 1 1\n camera 1 1 1 1 1 1 1\ncamera 1 2 nothing\ncamera" +
                                std::string(40, 'x') + " 8 8 8 8 8 8 8\ncamera 5 5 5 5 5 5 5" +
                                std::string(300, ' ') + "\nlast\n");
    EXPECT_EQ(frames, 3);
    const CameraPath &path = cameraPaths[3];
    EXPECT_FLOAT_EQ(path.eyeY[0], 2.0f);
    EXPECT_EQ(path.eyeZ[0], 0.0f);
    EXPECT_EQ(path.value7[0], 0.0f);
    EXPECT_FLOAT_EQ(path.targetZ[1], 8.0f);
    EXPECT_FLOAT_EQ(path.value7[2], 5.0f);
}

TEST_F(TrackFiles, StoringStopsAtTheCapacity)
{
    std::string text = "h\nh\nh\nh\n";
    for (int i = 0; i < cameraPathCapacity + 50; ++i)
        text += "camera 1 2 3 4 5 6 " + std::to_string(i) + "\n";
    EXPECT_EQ(load(text), cameraPathCapacity);
    EXPECT_FLOAT_EQ(cameraPaths[3].value7[cameraPathCapacity - 1], cameraPathCapacity - 1);
}

TEST(PathFrames, TruncateThenWrapAroundTheCount)
{
    const struct {
        float frame;
        int32_t count, index;
    } cases[] = {{1100.0f, 1100, 0}, {1099.9f, 1100, 1099}, {2201.7f, 1100, 1}, {5.0f, 1, 0},
                 // An empty path is never placed.
                 {5.0f, 0, -1}, {5.0f, -3, -1},
                 // Out of contract, but never outside the stored frames.
                 {-1.5f, 1100, 1099}, {NAN, 1100, 0}, {INFINITY, 1100, 0},
                 {3e9f, 1100, int32_t(std::fmod(3e9, 1100.0))}, {25000.0f, 30000, 5000}};
    for (const auto &c : cases)
        EXPECT_EQ(selectPathFrame(c.frame, c.count), c.index) << c.frame << " of " << c.count;
}

std::vector<double> modelview()
{
    std::vector<double> m(16);
    glGetDoublev(GL_MODELVIEW_MATRIX, m.data());
    return m;
}

// The view of frame `frame`, multiplied onto a translation so that a loaded matrix shows.
std::vector<double> placedAfterShift(float frame, int32_t count, bool byPath)
{
    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, -5.0f);
    if (byPath)
        placeCameraFromPath(3, frame, count);
    else if (count > 0)
        gluLookAt(frame, 10, 20, 0, 0, int(frame) % 7, 0, 0, 1);
    return modelview();
}

TEST_F(TrackFiles, CameraLooksFromTheSelectedFrameWithUpAlongZ)
{
    openTestDisplay();
    std::string text = "h\nh\nh\nh\n";
    for (int i = 0; i < 1100; ++i)
        text += "camera " + std::to_string(i) + " 10 20 0 0 " + std::to_string(i % 7) + " 99\n";
    ASSERT_EQ(load(text), 1101);
    glMatrixMode(GL_MODELVIEW);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_FASTEST);
    EXPECT_EQ(placedAfterShift(1100.0f, 1100, true), placedAfterShift(0, 1100, false));
    GLint hint = 0;
    glGetIntegerv(GL_PERSPECTIVE_CORRECTION_HINT, &hint);
    EXPECT_EQ(hint, GL_NICEST);
    EXPECT_EQ(placedAfterShift(1099.9f, 1100, true), placedAfterShift(1099, 1100, false));
    EXPECT_EQ(placedAfterShift(10.0f, 0, true), placedAfterShift(10, 0, false)); // nothing placed
    EXPECT_EQ(takeGlError(), 0u);
}

} // namespace
