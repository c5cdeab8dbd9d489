#include "effects/voxeltext.h"

#include <cstdio>

#include "assets/contentfiles.h"

uint8_t fontGlyphs[4096];

void loadFont()
{
    static const char path[] = "data\\images\\f1.fnt";
    FILE *file = openContentFile(path, "rb");
    // A missing font is reported and the show goes on with invisible text.
    if (file == nullptr) {
        printf("Oh shit: %s\n", path);
    } else {
        fread(fontGlyphs, 1, sizeof fontGlyphs, file);
        fclose(file);
    }
    printf("gah: %i\n", unsigned(fontGlyphs[128]));
}
