// The raw 8x16 font file.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "effects/voxeltext.h"
#include "support/scratchfolder.h"

namespace {

class FontFile : public ScratchFolderTest {
protected:
    void SetUp() override
    {
        ScratchFolderTest::SetUp();
        memset(fontGlyphs, 0, sizeof fontGlyphs);
    }
    static void write(size_t size)
    {
        std::vector<uint8_t> bytes(size);
        for (size_t i = 0; i < size; ++i)
            bytes[i] = uint8_t(i * 13 + 5);
        FILE *file = fopen("data/images/f1.fnt", "wb");
        ASSERT_NE(file, nullptr);
        fwrite(bytes.data(), 1, size, file);
        fclose(file);
    }
    static std::string load()
    {
        testing::internal::CaptureStdout();
        loadFont();
        return testing::internal::GetCapturedStdout();
    }
};

TEST_F(FontFile, MissingFileIsReportedAndLeavesTheTableZero)
{
    EXPECT_EQ(load(), "Oh shit: data\\images\\f1.fnt\ngah: 0\n");
    for (uint8_t byte : fontGlyphs)
        ASSERT_EQ(byte, 0);
}

TEST_F(FontFile, ShortFileFillsOnlyItsLength)
{
    write(200);
    // Byte 128 is the top row of glyph 8, printed unsigned: 128 * 13 + 5 = 1669 -> 133.
    EXPECT_EQ(load(), "gah: 133\n");
    EXPECT_EQ(fontGlyphs[199], uint8_t(199 * 13 + 5));
    for (size_t i = 200; i < sizeof fontGlyphs; ++i)
        ASSERT_EQ(fontGlyphs[i], 0) << i;
}

TEST_F(FontFile, LongFileGivesItsFirst4096Bytes)
{
    write(5000);
    EXPECT_EQ(load(), "gah: 133\n");
    for (size_t i = 0; i < sizeof fontGlyphs; ++i)
        ASSERT_EQ(fontGlyphs[i], uint8_t(i * 13 + 5)) << i;
}

} // namespace
