// The VUE reader and the camera placed from a path.
#include <GL/glew.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "assets/camerapaths.h"
#include "support/gltest.h"
#include "support/scratchfolder.h"

namespace {

class TrackFiles : public ScratchFolderTest {
protected:
    // Writes data/meshes/T.VUE and loads it into slot 3.
    static int32_t load(const std::string &text)
    {
        FILE *file = fopen("data/meshes/T.VUE", "wb");
        EXPECT_NE(file, nullptr);
        fwrite(text.data(), 1, text.size(), file);
        fclose(file);
        return loadVueFile(3, "data\\meshes\\T.VUE");
    }
};

std::string cameraLine(int i)
{
    return "camera  " + std::to_string(i) + ".5 " + std::to_string(2 * i) + " 3 " +
           std::to_string(-i) + " 0.25 -7 " + std::to_string(100 + i) + "\n";
}

std::string track(int frames, bool finalBreak)
{
    std::string text = "VIEWPORT file\ncamera  9 9 9 9 9 9 9\n\nframe 0\n";
    for (int i = 0; i < frames; ++i)
        text += cameraLine(i);
    if (!finalBreak)
        text.pop_back();
    return text;
}

TEST_F(TrackFiles, OneFramePerCameraLineAndOneMoreAfterAFinalLineBreak)
{
    // The header holds a camera line; it never becomes a frame.
    EXPECT_EQ(load(track(3, false)), 3);
    EXPECT_EQ(load(track(3, true)), 4);
    const CameraPath &path = cameraPaths[3];
    EXPECT_FLOAT_EQ(path.eyeX[0], 0.5f);
    EXPECT_FLOAT_EQ(path.eyeX[2], 2.5f);
    EXPECT_FLOAT_EQ(path.eyeY[2], 4.0f);
    EXPECT_FLOAT_EQ(path.eyeZ[2], 3.0f);
    EXPECT_FLOAT_EQ(path.targetX[2], -2.0f);
    EXPECT_FLOAT_EQ(path.targetY[2], 0.25f);
    EXPECT_FLOAT_EQ(path.targetZ[2], -7.0f);
    EXPECT_FLOAT_EQ(path.value7[2], 102.0f);
    EXPECT_EQ(path.eyeX[3], path.eyeX[2]);
    EXPECT_EQ(path.value7[3], path.value7[2]);
    EXPECT_EQ(load(track(1100, true)), 1101);
    EXPECT_EQ(cameraPaths[3].eyeX[1100], cameraPaths[3].eyeX[1099]);
    // A file that ends with another line counts each camera line once.
    EXPECT_EQ(load(track(3, true) + "end\n"), 3);
    // Files no longer than their header have no frames.
    EXPECT_EQ(load("a\nb\nc\ncamera 1 2 3 4 5 6 7\n"), 0);
    EXPECT_EQ(load(""), 0);
}

TEST_F(TrackFiles, CameraLinesOutsideTheSubsetKeepTheirFrame)
{
    const std::string header = "1\n2\n3\n4\n";
    const std::string longWord = "camera" + std::string(40, 'x');
    const int32_t frames = load(header + "Camera 1 1 1 1 1 1 1\n camera 1 1 1 1 1 1 1\n" +
                                "camera 1 2 nothing\n" + longWord + " 8 8 8 8 8 8 8\n" +
                                "camera 5 5 5 5 5 5 5" + std::string(300, ' ') + "\nlast\n");
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
    EXPECT_EQ(selectPathFrame(1100.0f, 1100), 0);
    EXPECT_EQ(selectPathFrame(1099.9f, 1100), 1099);
    EXPECT_EQ(selectPathFrame(0.0f, 1100), 0);
    EXPECT_EQ(selectPathFrame(2201.7f, 1100), 1);
    EXPECT_EQ(selectPathFrame(5.0f, 1), 0);
    // An empty path is never placed.
    EXPECT_EQ(selectPathFrame(5.0f, 0), -1);
    EXPECT_EQ(selectPathFrame(5.0f, -3), -1);
    // Out of contract, but never outside the stored frames.
    EXPECT_EQ(selectPathFrame(-1.5f, 1100), 1099);
    EXPECT_EQ(selectPathFrame(NAN, 1100), 0);
    EXPECT_EQ(selectPathFrame(INFINITY, 1100), 0);
    EXPECT_EQ(selectPathFrame(3e9f, 1100), int32_t(std::fmod(3e9, 1100.0)));
    EXPECT_LT(selectPathFrame(25000.0f, 30000), cameraPathCapacity);
}

std::vector<double> modelview()
{
    std::vector<double> m(16);
    glGetDoublev(GL_MODELVIEW_MATRIX, m.data());
    return m;
}

std::vector<double> lookAt(double ex, double ey, double ez, double cx, double cy, double cz)
{
    glLoadIdentity();
    gluLookAt(ex, ey, ez, cx, cy, cz, 0.0, 0.0, 1.0);
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
    const std::vector<double> first = lookAt(0, 10, 20, 0, 0, 0);
    const std::vector<double> last = lookAt(1099, 10, 20, 0, 0, 1099 % 7);

    glLoadIdentity();
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_FASTEST);
    placeCameraFromPath(3, 1100.0f, 1100);
    EXPECT_EQ(modelview(), first);
    GLint hint = 0;
    glGetIntegerv(GL_PERSPECTIVE_CORRECTION_HINT, &hint);
    EXPECT_EQ(hint, GL_NICEST);

    glLoadIdentity();
    placeCameraFromPath(3, 1099.9f, 1100);
    EXPECT_EQ(modelview(), last);

    // Multiplied onto the current matrix, not loaded.
    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, -5.0f);
    placeCameraFromPath(3, 0.0f, 1100);
    const std::vector<double> placed = modelview();
    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, -5.0f);
    gluLookAt(0, 10, 20, 0, 0, 0, 0, 0, 1);
    EXPECT_EQ(placed, modelview());
    EXPECT_NE(placed, first);

    // An empty path leaves the matrix alone.
    glLoadIdentity();
    placeCameraFromPath(3, 10.0f, 0);
    const std::vector<double> identity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    EXPECT_EQ(modelview(), identity);
    EXPECT_EQ(takeGlError(), 0u);
}

using TrackFilesDeathTest = TrackFiles;

TEST_F(TrackFilesDeathTest, MissingFileStopsWithStatusOne)
{
    EXPECT_EXIT(
        {
            dup2(2, 1);
            loadVueFile(3, "data\\meshes\\NONE.VUE");
        },
        testing::ExitedWithCode(1), "^Error: File not opened\n\n$");
}

} // namespace
