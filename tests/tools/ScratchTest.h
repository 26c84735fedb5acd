// A fresh, empty folder for each test under the build tree (SCRATCH_ROOT),
// removed when the test passed and kept for a look when it failed. Paths
// are UTF-8. Builds for Linux and for Windows.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

class ScratchTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    std::string Path(const std::string& name) const { return mDir + "/" + name; }
    const std::string& Dir() const { return mDir; }
    // Names in the test's folder, or in `folder`, sorted.
    std::vector<std::string> Entries(const std::string& folder = "") const;

  private:
    std::string mDir;
};

std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);
bool Exists(const std::string& path);
