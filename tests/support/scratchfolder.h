// Content paths are relative to the working directory: a fixture whose tests each run in a fresh
// folder holding data/meshes and data/images, removed afterwards.
#pragma once
#include <gtest/gtest.h>

#include <string>

class ScratchFolderTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::string folder;

private:
    std::string previous;
};
