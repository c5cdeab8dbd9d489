// The raw 8x16 font file: missing, short and long.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "effects/voxeltext.h"
#include "support/scratchfolder.h"

namespace {

using FontFile = ScratchFolderTest;

TEST_F(FontFile, FillsWhatTheFileHoldsUpTo4096BytesAndReportsAMissingOne)
{
    const struct {
        long size; // -1: no file
        const char *printed;
    } cases[] = {{-1, "Oh shit: data\\images\\f1.fnt\ngah: 0\n"},
                 // Byte 128, the top row of glyph 8, printed unsigned: (128 * 13 + 5) & 255 = 133.
                 {200, "gah: 133\n"},
                 {5000, "gah: 133\n"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.size);
        remove("data/images/f1.fnt");
        if (c.size >= 0) {
            FILE *file = fopen("data/images/f1.fnt", "wb");
            for (long i = 0; i < c.size; ++i)
                fputc(int(i * 13 + 5) & 255, file);
            fclose(file);
        }
        memset(fontGlyphs, 0, sizeof fontGlyphs);
        testing::internal::CaptureStdout();
        loadFont();
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.printed);
        for (long i = 0; i < long(sizeof fontGlyphs); ++i)
            ASSERT_EQ(fontGlyphs[i], i < c.size ? uint8_t(i * 13 + 5) : 0) << i;
    }
}

} // namespace
