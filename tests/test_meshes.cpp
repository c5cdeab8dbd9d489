// The ASC reader, the mesh store and the scene-asset load order.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "assets/camerapaths.h"
#include "assets/meshes.h"
#include "effects/meshscenes.h"
#include "support/gltest.h"
#include "support/scratchfolder.h"

namespace {

// Content paths are relative to the working directory: each test runs in a fresh folder.
class MeshFiles : public ScratchFolderTest {
protected:
    static void write(const std::string &name, const std::string &text)
    {
        FILE *file = fopen(("data/meshes/" + name).c_str(), "wb");
        ASSERT_NE(file, nullptr);
        fwrite(text.data(), 1, text.size(), file);
        fclose(file);
    }
    // Loads data\meshes\<name> into slot and returns what the loader printed.
    static std::string load(const std::string &name, int slot)
    {
        testing::internal::CaptureStdout();
        loadAscFile(("data\\meshes\\" + name).c_str(), slot);
        return testing::internal::GetCapturedStdout();
    }
};

// A mesh block as an exporter writes it; faces are "a b c" triples.
std::string triMesh(int vertices, int faces, bool mapped, const std::string &body)
{
    std::string text = "Named object: \"thing\"\nTri-mesh, Vertices: " + std::to_string(vertices) +
                       "     Faces: " + std::to_string(faces) + "\n";
    if (mapped)
        text += "Mapped\n";
    return text + "Vertex list:\n" + body;
}

std::string vertexLine(int n, float x, float y, float z)
{
    char line[200];
    snprintf(line, sizeof line, "Vertex %d:  X:%.6f     Y:%.6f     Z:%.6f\n", n, x, y, z);
    return line;
}

std::string faceLine(int n, int a, int b, int c)
{
    char line[200];
    snprintf(line, sizeof line, "Face %d:    A:%d B:%d C:%d AB:1 BC:1 CA:1\n", n, a, b, c);
    return line;
}

// The unmapped cube from -1 to 1, every face counter-clockwise seen from outside.
std::string cubeMesh()
{
    std::string body;
    for (int n = 0; n < 8; ++n)
        body += vertexLine(n, n & 4 ? 1.0f : -1.0f, n & 2 ? 1.0f : -1.0f, n & 1 ? 1.0f : -1.0f);
    body += "Face list:\n";
    const int faces[12][3] = {{0, 1, 3}, {0, 3, 2}, {4, 6, 7}, {4, 7, 5}, {0, 4, 5}, {0, 5, 1},
                              {2, 3, 7}, {2, 7, 6}, {0, 2, 6}, {0, 6, 4}, {1, 5, 7}, {1, 7, 3}};
    for (int f = 0; f < 12; ++f) {
        body += faceLine(f, faces[f][0], faces[f][1], faces[f][2]);
        body += "Smoothing:  1\n";
    }
    return triMesh(8, 12, false, body);
}

std::string triangleMesh()
{
    return triMesh(3, 1, false,
                   vertexLine(0, 0, 0, 0) + vertexLine(1, 1, 0, 0) + vertexLine(2, 0, 1, 0) +
                       "Face list:\n" + faceLine(0, 0, 1, 2));
}

// Death tests read the exit message from standard error; the loaders print on standard output.
#define EXPECT_STOPS(statement, status, message)                                                  \
    EXPECT_EXIT(                                                                                   \
        {                                                                                          \
            dup2(2, 1);                                                                            \
            statement;                                                                             \
        },                                                                                         \
        testing::ExitedWithCode(status), message)

TEST_F(MeshFiles, GroupsFollowEachOtherAcrossFiles)
{
    write("A.ASC", triangleMesh() + triangleMesh());
    write("B.ASC", triangleMesh() + cubeMesh() + triangleMesh());
    write("C.ASC", "Ambient light color: Red=0.3 Green=0.3 Blue=0.3\nNamed object: \"x\"\n");
    const int32_t start = meshCount;
    load("A.ASC", 6);
    load("B.ASC", 7);
    load("C.ASC", 4);
    EXPECT_EQ(meshGroups[6].first, start);
    EXPECT_EQ(meshGroups[6].last, start + 2);
    EXPECT_EQ(meshGroups[7].first, meshGroups[6].last);
    EXPECT_EQ(meshGroups[7].last, start + 5);
    // A file without a Tri-mesh line gives an empty group where the previous one ended.
    EXPECT_EQ(meshGroups[4].first, start + 5);
    EXPECT_EQ(meshGroups[4].last, start + 5);
    EXPECT_EQ(meshCount, start + 5);
    EXPECT_EQ(meshTable[start + 4].vertexCount, 8);
    EXPECT_EQ(meshTable[start + 4].faceCount, 12);
    // Record 0 is never filled.
    EXPECT_EQ(meshTable[0].faceCount, 0);
    EXPECT_EQ(meshTable[0].faceA, nullptr);
}

TEST_F(MeshFiles, TraceLinesCountMappedFromZeroAndUnmappedFromOne)
{
    write("M.ASC", triMesh(2, 0, true,
                           "Vertex 0:  X:1.5     Y:2.0     Z:3.0     U:0.25     V:0.75\n"
                           "Vertex 1:  X:-4.0     Y:5.0     Z:6.0     U:1.0     V:0.5\n") +
                       triMesh(2, 0, false,
                               "Vertex 0:  X:7.0     Y:0.0     Z:0.0\n"
                               "Vertex 1:  X:8.0     Y:0.0     Z:0.0\n"));
    const std::string printed = load("M.ASC", 6);
    EXPECT_EQ(printed, "File data\\meshes\\M.ASC opened ok\n"
                       "vertnum: 0 x: 1.500000\nvertnum: 1 x: -4.000000\n"
                       "tempface 1 -- 7.000000\ntempface 2 -- 8.000000\n");
    const Mesh &mapped = meshTable[meshCount - 1];
    EXPECT_EQ(mapped.mapped, 1);
    EXPECT_FLOAT_EQ(mapped.y[0], 2.0f);
    EXPECT_FLOAT_EQ(mapped.z[1], 6.0f);
    EXPECT_FLOAT_EQ(mapped.u[0], 0.25f);
    EXPECT_FLOAT_EQ(mapped.v[0], 0.75f);
    EXPECT_FLOAT_EQ(mapped.u[1], 1.0f);
    EXPECT_EQ(meshTable[meshCount].mapped, 0);
}

TEST_F(MeshFiles, AnnotationsAmongFacesAreSkipped)
{
    write("S.ASC", triMesh(4, 2, false,
                           vertexLine(0, 0, 0, 0) + "Texture vertices follow\n" + vertexLine(1, 1, 0, 0) +
                               vertexLine(2, 0, 1, 0) + vertexLine(3, 1, 1, 0) + "Face list:\n" +
                               "Material:\"bark\"\n" + faceLine(7, 0, 1, 2) + "Smoothing:  1\n" +
                               "Material:\"bark\"\n" + faceLine(3, 2, 1, 3) + "Smoothing:  1\n"));
    load("S.ASC", 6);
    const Mesh &mesh = meshTable[meshCount];
    EXPECT_FLOAT_EQ(mesh.x[1], 1.0f);
    EXPECT_FLOAT_EQ(mesh.y[3], 1.0f);
    // Faces go in the order of their lines, whatever number the line carries.
    EXPECT_EQ(mesh.faceA[0], 0);
    EXPECT_EQ(mesh.faceC[0], 2);
    EXPECT_EQ(mesh.faceA[1], 2);
    EXPECT_EQ(mesh.faceB[1], 1);
    EXPECT_EQ(mesh.faceC[1], 3);
}

TEST_F(MeshFiles, CubeGetsOutwardNormalsAndTheirXYAsTextureCoordinate)
{
    write("CUBE.ASC", cubeMesh());
    load("CUBE.ASC", 6);
    const Mesh &mesh = meshTable[meshCount];
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        // Each corner's accumulated normal points away from the centre along every axis.
        EXPECT_GT(mesh.nx[i] * mesh.x[i], 0.0f);
        EXPECT_GT(mesh.ny[i] * mesh.y[i], 0.0f);
        EXPECT_GT(mesh.nz[i] * mesh.z[i], 0.0f);
        EXPECT_EQ(mesh.u[i], mesh.nx[i]);
        EXPECT_EQ(mesh.v[i], mesh.ny[i]);
    }
    // Not normalised: corner 0 is in two triangles of the x = -1 face, each adding 2 * area = 4.
    EXPECT_FLOAT_EQ(mesh.nx[0], -8.0f);
    // Corner 1 lies in one triangle of that face.
    EXPECT_FLOAT_EQ(mesh.nx[1], -4.0f);
}

TEST_F(MeshFiles, UnusedVertexKeepsZeroNormalAndTextureCoordinate)
{
    write("U.ASC", triMesh(4, 1, false,
                           vertexLine(0, 0, 0, 0) + vertexLine(1, 2, 0, 0) + vertexLine(2, 0, 2, 0) +
                               vertexLine(3, 5, 5, 5) + "Face list:\n" + faceLine(0, 0, 1, 2)));
    load("U.ASC", 6);
    const Mesh &mesh = meshTable[meshCount];
    EXPECT_FLOAT_EQ(mesh.nz[0], 4.0f);
    EXPECT_EQ(mesh.nx[3], 0.0f);
    EXPECT_EQ(mesh.ny[3], 0.0f);
    EXPECT_EQ(mesh.nz[3], 0.0f);
    EXPECT_EQ(mesh.u[3], 0.0f);
    EXPECT_EQ(mesh.v[3], 0.0f);
}

TEST_F(MeshFiles, TextOutsideTheAcceptedSubsetIsIgnoredOrLeftAtZero)
{
    // A header that does not scan keeps the previous block's counts; a line of 300 characters
    // arrives as two reads, the second beginning with "Tri-mesh".
    write("T.ASC", triangleMesh() + "Tri-mesh, Vertices: lots\nVertex list:\n" +
                       vertexLine(0, 1, 2, 3) + "Vertex 1: X:junk\n" + vertexLine(2, 0, 1, 0) +
                       "Face list:\n" + faceLine(0, 0, 1, 2) + std::string(255, '#') +
                       "Tri-mesh, Vertices: 0 Faces: 0\n" + "tri-mesh, Vertices: 1 Faces: 1\n" +
                       " Tri-mesh, Vertices: 1 Faces: 1\n");
    const int32_t start = meshCount;
    load("T.ASC", 6);
    EXPECT_EQ(meshCount, start + 3);
    const Mesh &carried = meshTable[start + 2];
    EXPECT_EQ(carried.vertexCount, 3);
    EXPECT_EQ(carried.faceCount, 1);
    EXPECT_FLOAT_EQ(carried.z[0], 3.0f);
    EXPECT_EQ(carried.x[1], 0.0f);
    EXPECT_EQ(carried.y[1], 0.0f);
    EXPECT_EQ(meshTable[start + 3].vertexCount, 0);
}

TEST_F(MeshFiles, FileEndingInsideABlockEndsItThere)
{
    write("V.ASC", triMesh(5, 2, false, vertexLine(0, 1, 1, 1) + vertexLine(1, 2, 2, 2)));
    write("F.ASC", triMesh(3, 3, false,
                           vertexLine(0, 0, 0, 0) + vertexLine(1, 1, 0, 0) + vertexLine(2, 0, 1, 0) +
                               "Face list:\n" + faceLine(0, 2, 1, 0)));
    write("H.ASC", "Tri-mesh, Vertices: 2 Faces: 0");
    load("V.ASC", 6);
    const Mesh &vertices = meshTable[meshCount];
    EXPECT_EQ(vertices.vertexCount, 5);
    EXPECT_FLOAT_EQ(vertices.x[1], 2.0f);
    EXPECT_EQ(vertices.x[2], 0.0f);
    EXPECT_EQ(vertices.z[4], 0.0f);
    // The missing faces hold 0, 0, 0: valid indices of a degenerate triangle.
    EXPECT_EQ(vertices.faceA[1], 0);
    load("F.ASC", 6);
    const Mesh &faces = meshTable[meshCount];
    EXPECT_EQ(faces.faceA[0], 2);
    EXPECT_EQ(faces.faceA[2], 0);
    EXPECT_EQ(faces.faceC[2], 0);
    const int32_t before = meshCount;
    load("H.ASC", 6);
    EXPECT_EQ(meshCount, before + 1);
    EXPECT_EQ(meshTable[meshCount].vertexCount, 2);
}

TEST_F(MeshFiles, DrawMeshSendsEveryFaceInFileOrder)
{
    openTestDisplay();
    write("D.ASC", triMesh(4, 2, true,
                           "Vertex 0: X:0.0 Y:0.0 Z:0.0 U:0.1 V:0.2\n"
                           "Vertex 1: X:0.5 Y:0.0 Z:0.0 U:0.3 V:0.4\n"
                           "Vertex 2: X:0.0 Y:0.5 Z:0.0 U:0.5 V:0.6\n"
                           "Vertex 3: X:-0.5 Y:-0.5 Z:0.5 U:0.7 V:0.8\n"
                           "Face list:\n" +
                               faceLine(0, 0, 1, 2) + faceLine(1, 3, 0, 2)));
    load("D.ASC", 6);
    const int index = meshCount;
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_CULL_FACE);
    GLfloat feedback[64];
    glFeedbackBuffer(64, GL_3D, feedback);
    glRenderMode(GL_FEEDBACK);
    drawMesh(index);
    ASSERT_EQ(glRenderMode(GL_RENDER), 2 * 11);
    // Window coordinates of the corners a, b, c of both faces, in that order.
    const float expected[2][3][2] = {{{400, 300}, {600, 300}, {400, 450}},
                                     {{200, 150}, {400, 300}, {400, 450}}};
    for (int f = 0; f < 2; ++f) {
        ASSERT_EQ(feedback[11 * f], float(GL_POLYGON_TOKEN));
        ASSERT_EQ(feedback[11 * f + 1], 3.0f);
        for (int k = 0; k < 3; ++k) {
            EXPECT_FLOAT_EQ(feedback[11 * f + 2 + 3 * k], expected[f][k][0]) << f << k;
            EXPECT_FLOAT_EQ(feedback[11 * f + 3 + 3 * k], expected[f][k][1]) << f << k;
        }
    }
    // Each vertex carries its own normal and texture coordinate; the last one stays current.
    GLfloat normal[3], texture[4];
    glGetFloatv(GL_CURRENT_NORMAL, normal);
    glGetFloatv(GL_CURRENT_TEXTURE_COORDS, texture);
    const Mesh &mesh = meshTable[index];
    EXPECT_FLOAT_EQ(normal[2], mesh.nz[2]);
    EXPECT_FLOAT_EQ(texture[0], 0.5f);
    EXPECT_FLOAT_EQ(texture[1], 0.6f);

    // Record 0 and indices outside the table draw an empty primitive.
    glRenderMode(GL_FEEDBACK);
    drawMesh(0);
    drawMesh(-1);
    drawMesh(meshCapacity);
    EXPECT_EQ(glRenderMode(GL_RENDER), 0);
    EXPECT_EQ(takeGlError(), 0u);
}

using MeshFilesDeathTest = MeshFiles;

TEST_F(MeshFilesDeathTest, MissingFileStopsWithStatusOne)
{
    EXPECT_STOPS(loadAscFile("data\\meshes\\NONE.ASC", 6), 1, "^Error: File not opened\n\n$");
}

TEST_F(MeshFilesDeathTest, FaceOutsideTheVerticesStops)
{
    std::string body;
    for (int n = 0; n < 7; ++n)
        body += vertexLine(n, float(n), 0, 1.0f * n * n);
    body += "Face list:\n" + faceLine(0, 0, 1, 2) + faceLine(1, 1, 2, 3) + "Smoothing:  1\n" +
            faceLine(2, 2, 3, 4) + faceLine(11, 3, 4, 7) + faceLine(4, 9, 9, 9);
    write("BAD.ASC", triMesh(7, 5, false, body));
    EXPECT_STOPS(loadAscFile("data\\meshes\\BAD.ASC", 6), 1,
                 "ERROR: invalid faces \\(face: 3 points to invalid point: 7\\)\n$");
    write("NEG.ASC", triMesh(3, 1, false,
                             vertexLine(0, 0, 0, 0) + vertexLine(1, 1, 0, 0) + vertexLine(2, 0, 1, 0) +
                                 "Face list:\n" + faceLine(0, 0, -1, 5)));
    EXPECT_STOPS(loadAscFile("data\\meshes\\NEG.ASC", 6), 1,
                 "ERROR: invalid faces \\(face: 0 points to invalid point: -1\\)\n$");
    // An index beyond 32 bits is held at the type's limit, never wrapped into a valid one.
    write("BIG.ASC", triMesh(3, 1, false,
                             vertexLine(0, 0, 0, 0) + vertexLine(1, 1, 0, 0) + vertexLine(2, 0, 1, 0) +
                                 "Face list:\nFace 0: A:0 B:4294967297 C:2\n"));
    EXPECT_STOPS(loadAscFile("data\\meshes\\BIG.ASC", 6), 1,
                 "ERROR: invalid faces \\(face: 0 points to invalid point: 2147483647\\)\n$");
}

TEST_F(MeshFilesDeathTest, UntrustedCountsFailAsAllocations)
{
    const struct {
        const char *header;
        const char *code;
    } cases[] = {
        {"Tri-mesh, Vertices: 3 Faces: -2", "1"},
        {"Tri-mesh, Vertices: -2 Faces: 1", "4"},
        {"Tri-mesh, Vertices: 2147483647 Faces: 1", "4"},
        {"Tri-mesh, Vertices: 3 Faces: 2147483647", "1"},
        {"Tri-mesh, Vertices: 99999999999999999999 Faces: 1", "4"},
        {"Tri-mesh, Vertices: 4000000 Faces: 1", "4"},
        // Found by fuzz_asc: the largest 64-bit count once overflowed on adding the spare entry.
        {"Tri-mesh, Vertices: 9223372036854775807 Faces: 1", "4"},
        {"Tri-mesh, Vertices: 1 Faces: 9223372036854775807", "1"},
        {"Tri-mesh, Vertices: 1 Faces: -9223372036854775808", "1"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.header);
        write("COUNT.ASC", std::string(c.header) + "\nVertex list:\n");
        EXPECT_STOPS(loadAscFile("data\\meshes\\COUNT.ASC", 6), 1,
                     std::string("Memory allotcation failure ") + c.code + "\\.\\.\\.\\.$");
    }
}

TEST_F(MeshFilesDeathTest, FullTableStops)
{
    std::string text;
    for (int i = 0; i < meshCapacity; ++i)
        text += "Tri-mesh, Vertices: 0 Faces: 0\nVertex list:\n";
    write("MANY.ASC", text);
    EXPECT_STOPS(loadAscFile("data\\meshes\\MANY.ASC", 6), 1,
                 "Error: data.meshes.MANY.ASC has more meshes than the table holds \\(511\\)\n$");
}

// The five scene files; forestMeshes and creditsFrames make them fall short of the show's needs.
void writeSceneFiles(int forestMeshes, int creditsFrames)
{
    auto put = [](const char *name, const std::string &text) {
        FILE *file = fopen((std::string("data/meshes/") + name).c_str(), "wb");
        fwrite(text.data(), 1, text.size(), file);
        fclose(file);
    };
    auto track = [](int frames) {
        std::string text = "VUE file\n\n\nframe 0\n";
        for (int i = 0; i < frames; ++i)
            text += "camera  " + std::to_string(i) + " 0 10 0 0 0 45\n";
        // No final line break: exactly one frame per camera line.
        text.pop_back();
        return text;
    };
    std::string forest;
    for (int i = 0; i < forestMeshes; ++i)
        forest += triangleMesh();
    put("CREDITS1.ASC", triangleMesh());
    put("CREDITS1.VUE", track(creditsFrames));
    put("LUMIR3D2.ASC", forest);
    put("LUMIR3D2.VUE", track(50));
    put("TREE.ASC", triangleMesh() + triangleMesh());
}

TEST_F(MeshFiles, SceneAssetsLoadInTheirOrder)
{
    writeSceneFiles(7, 1100);
    const int32_t start = meshCount;
    srand(1); // the state of a generator that was never seeded
    testing::internal::CaptureStdout();
    loadSceneAssets();
    const std::string printed = testing::internal::GetCapturedStdout();
    srand(1);
    for (int i = 0; i < treeCount; ++i) {
        const float x = float(rand() % 8000 - 4000);
        const float y = float(rand() % 8000 - 4000);
        ASSERT_EQ(treePositions[i][0], x) << i;
        ASSERT_EQ(treePositions[i][1], y) << i;
    }
    EXPECT_EQ(creditsPathFrames, 1100);
    EXPECT_EQ(lumirPathFrames, 50);
    EXPECT_EQ(meshGroups[6].first, start);
    EXPECT_EQ(meshGroups[6].last, start + 1);
    EXPECT_EQ(meshGroups[7].last, start + 8);
    EXPECT_EQ(meshGroups[4].first, start + 8);
    EXPECT_EQ(meshGroups[4].last, start + 10);
    const size_t credits = printed.find("File data\\meshes\\CREDITS1.ASC opened ok\n");
    const size_t forest = printed.find("File data\\meshes\\LUMIR3D2.ASC opened ok\n");
    const size_t tree = printed.find("File data\\meshes\\TREE.ASC opened ok\n");
    EXPECT_EQ(credits, 0u);
    EXPECT_LT(credits, forest);
    EXPECT_LT(forest, tree);
    EXPECT_NE(tree, std::string::npos);
}

TEST_F(MeshFilesDeathTest, SceneAssetsStopWhenTheScheduleWouldRunOut)
{
    writeSceneFiles(7, 1099);
    EXPECT_STOPS(loadSceneAssets(), 1,
                 "Error: data.meshes.CREDITS1.VUE holds 1099 camera frames, the show needs 1100\n$");
    writeSceneFiles(6, 1100);
    EXPECT_STOPS(loadSceneAssets(), 1,
                 "Error: data.meshes.LUMIR3D2.ASC holds 6 meshes, the show needs 7\n$");
    // A camera track that cannot be opened stops like a mesh file.
    writeSceneFiles(7, 1100);
    remove("data/meshes/LUMIR3D2.VUE");
    EXPECT_STOPS(loadSceneAssets(), 1, "Error: File not opened\n\n$");
}

} // namespace
