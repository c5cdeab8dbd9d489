// The ASC and VUE readers, the mesh store, the camera placed from a path, the scene-asset load
// order and the files that stop start-up.
#include <GL/glew.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "assets/camerapaths.h"
#include "assets/meshes.h"
#include "effects/meshscenes.h"
#include "support/gltest.h"
#include "support/scratchfolder.h"

namespace {

using MeshFiles = ScratchFolderTest;
using MeshFilesDeathTest = ScratchFolderTest;
using TrackFiles = ScratchFolderTest;

void write(const std::string &name, const std::string &text)
{
    FILE *file = fopen(("data/meshes/" + name).c_str(), "wb");
    ASSERT_NE(file, nullptr);
    fwrite(text.data(), 1, text.size(), file);
    fclose(file);
}

// Loads data\meshes\<name> into slot 6 and returns what the loader printed.
std::string load(const std::string &name)
{
    testing::internal::CaptureStdout();
    loadAscFile(("data\\meshes\\" + name).c_str(), 6);
    return testing::internal::GetCapturedStdout();
}

std::string repeat(const std::string &text, int times)
{
    std::string all;
    for (int i = 0; i < times; ++i)
        all += text;
    return all;
}

// A mesh block as an exporter lays it out.
std::string triMesh(int vertices, int faces, const std::string &body, bool mapped = false)
{
    return "Named object: \"thing\"\nTri-mesh, Vertices: " + std::to_string(vertices) + "     Faces: " +
           std::to_string(faces) + "\n" + (mapped ? "Mapped\n" : "") + "Vertex list:\n" + body;
}

std::string vertexLine(int n, float x, float y, float z)
{
    return "Vertex " + std::to_string(n) + ":  X:" + std::to_string(x) + "     Y:" + std::to_string(y) +
           "     Z:" + std::to_string(z) + "\n";
}

std::string faceLine(int n, int a, int b, int c)
{
    return "Face " + std::to_string(n) + ":    A:" + std::to_string(a) + " B:" + std::to_string(b) +
           " C:" + std::to_string(c) + " AB:1 BC:1 CA:1\n";
}

const std::string threeVertices = vertexLine(0, 0, 0, 0) + vertexLine(1, 1, 0, 0) + vertexLine(2, 0, 1, 0);
const std::string triangle = triMesh(3, 1, threeVertices + "Face list:\n" + faceLine(0, 0, 1, 2));

// The cube from -1 to 1, every face counter-clockwise seen from outside.
std::string cubeMesh()
{
    std::string body;
    for (int n = 0; n < 8; ++n)
        body += vertexLine(n, n & 4 ? 1.0f : -1.0f, n & 2 ? 1.0f : -1.0f, n & 1 ? 1.0f : -1.0f);
    body += "Face list:\n";
    const int faces[12][3] = {{0, 1, 3}, {0, 3, 2}, {4, 6, 7}, {4, 7, 5}, {0, 4, 5}, {0, 5, 1},
                              {2, 3, 7}, {2, 7, 6}, {0, 2, 6}, {0, 6, 4}, {1, 5, 7}, {1, 7, 3}};
    for (const auto &f : faces)
        body += faceLine(0, f[0], f[1], f[2]) + "Smoothing:  1\n";
    return triMesh(8, 12, body);
}

// Four header lines, one of them a camera line, then frame i at eye (i.5, 2i, 3).
std::string track(int frames, bool finalBreak = false)
{
    std::string text = "VIEWPORT file\ncamera  9 9 9 9 9 9 9\n\nframe 0\n";
    for (int i = 0; i < frames; ++i)
        text += "camera  " + std::to_string(i) + ".5 " + std::to_string(2 * i) + " 3 " +
                std::to_string(-i) + " 0.25 -7 " + std::to_string(100 + i) + "\n";
    return finalBreak ? text : text.substr(0, text.size() - 1);
}

// Writes data/meshes/T.VUE and loads it into slot 3.
int32_t loadTrack(const std::string &text)
{
    write("T.VUE", text);
    return loadVueFile(3, "data\\meshes\\T.VUE");
}

// The five scene files, each just big enough for the show.
void writeSceneFiles()
{
    write("CREDITS1.ASC", triangle);
    write("CREDITS1.VUE", track(1100));
    write("LUMIR3D2.ASC", repeat(triangle, 7));
    write("LUMIR3D2.VUE", track(50));
    write("TREE.ASC", triangle + triangle);
}

TEST_F(MeshFiles, GroupsFollowEachOtherAcrossFiles)
{
    write("A.ASC", triangle + triangle);
    write("B.ASC", triangle + cubeMesh() + triangle);
    write("C.ASC", "Ambient light color: Red=0.3 Green=0.3 Blue=0.3\nNamed object: \"x\"\n");
    const int32_t start = meshCount;
    loadAscFile("data\\meshes\\A.ASC", 6);
    loadAscFile("data\\meshes\\B.ASC", 7);
    loadAscFile("data\\meshes\\C.ASC", 4);
    // C.ASC has no Tri-mesh line: an empty group where the previous one ended.
    const std::vector<int32_t> bounds = {meshGroups[6].first, meshGroups[6].last, meshGroups[7].first,
                                         meshGroups[7].last,  meshGroups[4].first, meshGroups[4].last};
    EXPECT_EQ(bounds, std::vector<int32_t>({start, start + 2, start + 2, start + 5, start + 5, start + 5}));
    EXPECT_EQ(meshTable[start + 4].faceCount, 12);
    EXPECT_EQ(meshTable[0].faceA, nullptr);

    // The cube's corners: unnormalised area-weighted normals pointing outwards, u, v = nx, ny.
    const Mesh &cube = meshTable[start + 4];
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        EXPECT_GT(cube.nx[i] * cube.x[i], 0.0f);
        EXPECT_GT(cube.ny[i] * cube.y[i], 0.0f);
        EXPECT_GT(cube.nz[i] * cube.z[i], 0.0f);
        EXPECT_EQ(cube.u[i], cube.nx[i]);
        EXPECT_EQ(cube.v[i], cube.ny[i]);
    }
    // Corner 0 lies in both triangles of the x = -1 side, each adding 2 * area = 4; corner 1 in one.
    EXPECT_FLOAT_EQ(cube.nx[0], -8.0f);
    EXPECT_FLOAT_EQ(cube.nx[1], -4.0f);
}

TEST_F(MeshFiles, TraceLinesCountMappedFromZeroAndUnmappedFromOne)
{
    write("M.ASC", triMesh(2, 0,
                           "Vertex 0:  X:1.5     Y:2.0     Z:3.0     U:0.25     V:0.75\n"
                           "Vertex 1:  X:-4.0     Y:5.0     Z:6.0     U:1.0     V:0.5\n",
                           true) +
                       triMesh(2, 0, "Vertex 0:  X:7.0  Y:0.0  Z:0.0\nVertex 1:  X:8.0  Y:0.0  Z:0.0\n"));
    EXPECT_EQ(load("M.ASC"), "File data\\meshes\\M.ASC opened ok\n"
                             "vertnum: 0 x: 1.500000\nvertnum: 1 x: -4.000000\n"
                             "tempface 1 -- 7.000000\ntempface 2 -- 8.000000\n");
    const Mesh &mapped = meshTable[meshCount - 1];
    EXPECT_TRUE(mapped.mapped == 1 && mapped.z[1] == 6.0f && mapped.u[0] == 0.25f && mapped.v[0] == 0.75f);
    EXPECT_EQ(meshTable[meshCount].mapped, 0);
}

TEST_F(MeshFiles, TextOutsideTheAcceptedSubsetIsSkippedOrLeftAtZero)
{
    // Annotations among vertices and faces; faces go in line order whatever number they carry.
    // The next header does not scan and keeps the counts 4 and 2; a line of 300 characters
    // arrives as two reads, the second beginning with "Tri-mesh"; keywords count at column 0 only.
    write("T.ASC", triMesh(4, 2,
                           vertexLine(0, 0, 0, 0) + "Texture vertices follow\n" + vertexLine(1, 1, 0, 0) +
                               vertexLine(2, 0, 1, 0) + vertexLine(3, 1, 1, 0) + "Face list:\n" +
                               "Material:\"bark\"\n" + faceLine(7, 0, 1, 2) + "Smoothing:  1\n" +
                               "Material:\"bark\"\n" + faceLine(3, 2, 1, 3) + "Smoothing:  1\n") +
                       "Tri-mesh, Vertices: lots\nVertex list:\n" + vertexLine(0, 1, 2, 3) +
                       "Vertex 1: X:junk\n" + vertexLine(2, 0, 1, 0) + vertexLine(3, 0, 1, 0) +
                       "Face list:\n" + faceLine(0, 0, 1, 2) + faceLine(1, 0, 1, 2) + std::string(255, '#') +
                       "Tri-mesh, Vertices: 0 Faces: 0\ntri-mesh, Vertices: 1 Faces: 1\n"
                       " Tri-mesh, Vertices: 1 Faces: 1\n");
    const int32_t start = meshCount;
    load("T.ASC");
    EXPECT_EQ(meshCount, start + 3);
    const Mesh &annotated = meshTable[start + 1];
    EXPECT_FLOAT_EQ(annotated.x[1], 1.0f);
    EXPECT_FLOAT_EQ(annotated.y[3], 1.0f);
    EXPECT_EQ(std::vector<int32_t>({annotated.faceA[0], annotated.faceB[0], annotated.faceC[0], annotated.faceA[1],
                                    annotated.faceB[1], annotated.faceC[1]}),
              std::vector<int32_t>({0, 1, 2, 2, 1, 3}));
    const Mesh &carried = meshTable[start + 2];
    EXPECT_EQ(carried.vertexCount, 4);
    EXPECT_EQ(carried.faceCount, 2);
    EXPECT_FLOAT_EQ(carried.z[0], 3.0f);
    EXPECT_EQ(carried.x[1], 0.0f);
    EXPECT_EQ(meshTable[start + 3].vertexCount, 0);
}

TEST_F(MeshFiles, FileEndingInsideABlockEndsItThere)
{
    write("V.ASC", triMesh(5, 2, vertexLine(0, 1, 1, 1) + vertexLine(1, 2, 2, 2)));
    load("V.ASC");
    const Mesh &vertices = meshTable[meshCount];
    EXPECT_TRUE(vertices.vertexCount == 5 && vertices.x[1] == 2.0f && vertices.x[2] == 0.0f);
    // The missing faces are 0, 0, 0: a degenerate triangle, so unused corners keep zero normals.
    EXPECT_TRUE(vertices.faceA[1] == 0 && vertices.nx[4] == 0.0f && vertices.v[4] == 0.0f);

    write("F.ASC", triMesh(3, 3, threeVertices + "Face list:\n" + faceLine(0, 2, 1, 0)));
    load("F.ASC");
    EXPECT_EQ(meshTable[meshCount].faceA[0], 2);
    EXPECT_EQ(meshTable[meshCount].faceC[2], 0);

    // A header without a line break is the last line: its block reads nothing.
    write("H.ASC", "Tri-mesh, Vertices: 2 Faces: 0");
    const int32_t before = meshCount;
    load("H.ASC");
    EXPECT_EQ(meshCount, before + 1);
    EXPECT_EQ(meshTable[meshCount].vertexCount, 2);
}

TEST_F(MeshFiles, DrawMeshSendsEveryFaceInFileOrder)
{
    openTestDisplay();
    write("D.ASC", triMesh(4, 2,
                           "Vertex 0: X:0.0 Y:0.0 Z:0.0 U:0.1 V:0.2\nVertex 1: X:0.5 Y:0.0 Z:0.0 U:0.3 V:0.4\n"
                           "Vertex 2: X:0.0 Y:0.5 Z:0.0 U:0.5 V:0.6\nVertex 3: X:-0.5 Y:-0.5 Z:0.5 U:0.7 V:0.8\n"
                           "Face list:\n" +
                               faceLine(0, 0, 1, 2) + faceLine(1, 3, 0, 2),
                           true));
    load("D.ASC");
    glDisable(GL_CULL_FACE); // identity matrices: object coordinates are normalised device ones
    std::vector<GLfloat> feedback(64);
    glFeedbackBuffer(64, GL_2D, feedback.data());
    glRenderMode(GL_FEEDBACK);
    drawMesh(meshCount);
    feedback.resize(std::max(glRenderMode(GL_RENDER), 0));
    // Window x, y of corners a, b, c of both faces, in file order.
    const GLfloat polygon = GL_POLYGON_TOKEN;
    EXPECT_EQ(feedback, (std::vector<GLfloat>{polygon, 3, 400, 300, 600, 300, 400, 450,
                                              polygon, 3, 200, 150, 400, 300, 400, 450}));
    // The last corner's own texture coordinate stays current.
    GLfloat texture[4];
    glGetFloatv(GL_CURRENT_TEXTURE_COORDS, texture);
    EXPECT_TRUE(texture[0] == 0.5f && texture[1] == 0.6f) << texture[0] << " " << texture[1];
    EXPECT_EQ(takeGlError(), 0u);
}

TEST_F(MeshFiles, SceneAssetsLoadInTheirOrder)
{
    writeSceneFiles();
    const int32_t start = meshCount;
    srand(1); // the state of a generator that was never seeded
    testing::internal::CaptureStdout();
    loadSceneAssets();
    const std::string printed = testing::internal::GetCapturedStdout();
    srand(1);
    for (int i = 0; i < treeCount; ++i) {
        const float x = float(rand() % 8000 - 4000);
        ASSERT_EQ(treePositions[i][0], x) << i;
        ASSERT_EQ(treePositions[i][1], float(rand() % 8000 - 4000)) << i;
    }
    EXPECT_EQ(creditsPathFrames, 1100);
    EXPECT_EQ(lumirPathFrames, 50);
    EXPECT_EQ(meshGroups[6].first, start);
    EXPECT_EQ(meshGroups[7].last, start + 8);
    EXPECT_EQ(meshGroups[4].last, start + 10);
    const size_t credits = printed.find("File data\\meshes\\CREDITS1.ASC opened ok\n");
    const size_t forest = printed.find("File data\\meshes\\LUMIR3D2.ASC opened ok\n");
    EXPECT_EQ(credits, 0u);
    EXPECT_LT(forest, printed.find("File data\\meshes\\TREE.ASC opened ok\n"));
}

// Every file that stops start-up, with the one-line message it gives and status 1.
TEST_F(MeshFilesDeathTest, BadFilesStopWithTheirMessage)
{
    struct Stop {
        const char *file;
        std::optional<std::string> text; // none: the file is missing
        bool wholeScene;                 // loadSceneAssets over writeSceneFiles, else loadAscFile
        std::string message;
    };
    std::string badFace;
    for (int n = 0; n < 7; ++n)
        badFace += vertexLine(n, float(n), 0, 1.0f * n * n);
    badFace += "Face list:\n" + faceLine(0, 0, 1, 2) + faceLine(1, 1, 2, 3) + "Smoothing:  1\n" +
               faceLine(2, 2, 3, 4) + faceLine(11, 3, 4, 7) + faceLine(4, 9, 9, 9);
    const std::string invalid = "ERROR: invalid faces \\(face: ";
    std::vector<Stop> stops = {
        {"NONE.ASC", std::nullopt, false, "^Error: File not opened\n\n$"},
        {"BAD.ASC", triMesh(7, 5, badFace), false, invalid + "3 points to invalid point: 7\\)\n$"},
        {"NEG.ASC", triMesh(3, 1, threeVertices + "Face list:\n" + faceLine(0, 0, -1, 5)), false,
         invalid + "0 points to invalid point: -1\\)\n$"},
        // An index beyond 32 bits is held at the type's limit, never wrapped into a valid one.
        {"BIG.ASC", triMesh(3, 1, threeVertices + "Face list:\nFace 0: A:0 B:4294967297 C:2\n"), false,
         invalid + "0 points to invalid point: 2147483647\\)\n$"},
        {"MANY.ASC", repeat("Tri-mesh, Vertices: 0 Faces: 0\nVertex list:\n", meshCapacity), false,
         "Error: data.meshes.MANY.ASC has more meshes than the table holds \\(511\\)\n$"},
        {"CREDITS1.VUE", track(1099), true,
         "Error: data.meshes.CREDITS1.VUE holds 1099 camera frames, the show needs 1100\n$"},
        {"LUMIR3D2.ASC", repeat(triangle, 6), true,
         "Error: data.meshes.LUMIR3D2.ASC holds 6 meshes, the show needs 7\n$"},
        {"LUMIR3D2.VUE", std::nullopt, true, "Error: File not opened\n\n$"},
        {"CREDITS1.ASC", "Ambient light color: Red=0.3 Green=0.3 Blue=0.3\n", true,
         "Error: data.meshes.CREDITS1.ASC holds 0 meshes, the show needs 1\n$"},
        {"LUMIR3D2.VUE", track(0), true, "Error: data.meshes.LUMIR3D2.VUE holds 0 camera frames, the show needs 1\n$"},
        {"TREE.ASC", triangle, true, "Error: data.meshes.TREE.ASC holds 1 meshes, the show needs 2\n$"},
    };
    // Untrusted counts fail as the allocation of the first array they size (faces 1, vertices 4).
    // 1048576 is one entry past the limit; the largest 64-bit count once overflowed (fuzz_asc).
    const char *counts[][2] = {{"Vertices: 3 Faces: -2", "1"}, {"Vertices: -2 Faces: 1", "4"},
                               {"Vertices: 1048576 Faces: 1", "4"}, {"Vertices: 1 Faces: -9223372036854775808", "1"},
                               {"Vertices: 9223372036854775807 Faces: 1", "4"}};
    for (const auto &count : counts)
        stops.push_back({"COUNT.ASC", std::string("Tri-mesh, ") + count[0] + "\nVertex list:\n", false,
                         std::string("Memory allotcation failure ") + count[1] + "\\.\\.\\.\\.$"});
    for (const Stop &stop : stops) {
        SCOPED_TRACE(stop.file + (" " + stop.message));
        if (stop.wholeScene)
            writeSceneFiles();
        if (stop.text)
            write(stop.file, *stop.text);
        else
            remove((std::string("data/meshes/") + stop.file).c_str());
        const std::string path = std::string("data\\meshes\\") + stop.file;
        EXPECT_EXIT(
            {
                dup2(2, 1); // the loaders print on standard output
                if (stop.wholeScene)
                    loadSceneAssets();
                else
                    loadAscFile(path.c_str(), 6);
            },
            testing::ExitedWithCode(1), stop.message);
    }
}

TEST_F(TrackFiles, OneFramePerCameraLineAndOneMoreAfterAFinalLineBreak)
{
    EXPECT_EQ(loadTrack(track(3, false)), 3);
    EXPECT_EQ(loadTrack(track(3, true)), 4);
    const CameraPath &path = cameraPaths[3];
    const float third[7] = {2.5f, 4.0f, 3.0f, -2.0f, 0.25f, -7.0f, 102.0f};
    const float *columns[7] = {path.eyeX, path.eyeY, path.eyeZ, path.targetX, path.targetY, path.targetZ, path.value7};
    for (int k = 0; k < 7; ++k) {
        EXPECT_FLOAT_EQ(columns[k][2], third[k]) << k;
        EXPECT_EQ(columns[k][3], columns[k][2]) << k; // the repeated last line
    }
    EXPECT_FLOAT_EQ(path.eyeX[0], 0.5f);
    EXPECT_EQ(loadTrack(track(3, true) + "end\n"), 3);
    EXPECT_EQ(loadTrack("a\nb\nc\ncamera 1 2 3 4 5 6 7\n"), 0);
    EXPECT_EQ(loadTrack(""), 0);
}

TEST_F(TrackFiles, CameraLinesOutsideTheSubsetKeepTheirFrame)
{
    // Case and column matter; unscanned values hold 0; a 46-character leading word is read with
    // a bound; a line of 320 characters arrives as two reads.
    const int32_t frames = loadTrack("1\n2\n3\n4\nCamera 1 1 1 1 1 1 1\n camera 1 1 1 1 1 1 1\ncamera 1 2 nothing\ncamera" +
                                std::string(40, 'x') + " 8 8 8 8 8 8 8\ncamera 5 5 5 5 5 5 5" +
                                std::string(300, ' ') + "\nlast\n");
    EXPECT_EQ(frames, 3);
    const CameraPath &path = cameraPaths[3];
    EXPECT_EQ(std::vector<float>({path.eyeY[0], path.eyeZ[0], path.value7[0], path.targetZ[1], path.value7[2]}),
              std::vector<float>({2, 0, 0, 8, 5}));
}

TEST_F(TrackFiles, StoringStopsAtTheCapacity)
{
    std::string text = "h\nh\nh\nh\n";
    for (int i = 0; i < cameraPathCapacity + 50; ++i)
        text += "camera 1 2 3 4 5 6 " + std::to_string(i) + "\n";
    EXPECT_EQ(loadTrack(text), cameraPathCapacity);
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

// The view of frame `frame`, multiplied onto a translation so that a loaded matrix shows.
std::vector<double> placedAfterShift(float frame, int32_t count, bool byPath)
{
    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, -5.0f);
    if (byPath)
        placeCameraFromPath(3, frame, count);
    else if (count > 0)
        gluLookAt(frame, 10, 20, 0, 0, int(frame) % 7, 0, 0, 1);
    std::vector<double> m(16);
    glGetDoublev(GL_MODELVIEW_MATRIX, m.data());
    return m;
}

TEST_F(TrackFiles, CameraLooksFromTheSelectedFrameWithUpAlongZ)
{
    openTestDisplay();
    std::string text = "h\nh\nh\nh\n";
    for (int i = 0; i < 1100; ++i)
        text += "camera " + std::to_string(i) + " 10 20 0 0 " + std::to_string(i % 7) + " 99\n";
    ASSERT_EQ(loadTrack(text), 1101);
    glMatrixMode(GL_MODELVIEW);
    EXPECT_EQ(placedAfterShift(1100.0f, 1100, true), placedAfterShift(0, 1100, false));
    EXPECT_EQ(placedAfterShift(1099.9f, 1100, true), placedAfterShift(1099, 1100, false));
    EXPECT_EQ(placedAfterShift(10.0f, 0, true), placedAfterShift(10, 0, false)); // nothing placed
    EXPECT_EQ(takeGlError(), 0u);
}

} // namespace
