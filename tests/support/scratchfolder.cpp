#include "support/scratchfolder.h"

#include <unistd.h>

#include <filesystem>

void ScratchFolderTest::SetUp()
{
    char pattern[] = "/tmp/show-scratch-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder = pattern;
    previous = std::filesystem::current_path();
    ASSERT_EQ(chdir(folder.c_str()), 0);
    std::filesystem::create_directories("data/meshes");
    std::filesystem::create_directories("data/images");
}

void ScratchFolderTest::TearDown()
{
    ASSERT_EQ(chdir(previous.c_str()), 0);
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}
