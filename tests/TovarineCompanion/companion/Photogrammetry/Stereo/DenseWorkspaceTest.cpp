#include "DenseWorkspace.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace tovarine::stereo {
namespace {

TEST(DenseWorkspace, MapArraysRoundTripAndAHeaderThatLiesIsRefused)
{
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() /
        ("tovarine-dense-array-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "map.bin").string();
    const std::vector<float> planar{1, 2, 3, 4, 5, 6};
    ASSERT_TRUE(writeColmapArray(path, 3, 1, 2, planar));
    int width = 0, height = 0, channels = 0;
    std::vector<float> read;
    ASSERT_TRUE(readColmapArray(path, width, height, channels, read));
    EXPECT_EQ(width, 3);
    EXPECT_EQ(height, 1);
    EXPECT_EQ(channels, 2);
    EXPECT_EQ(read, planar);

    // Headers that promise more or fewer values than follow, or a size no map has; a huge promise must not be
    // allocated before the file is checked.
    for (const std::string header : {"99999&99999&4&", "3&1&1&", "3&1&2&", "0&1&1&", "3&1&5&", "x&1&1&"}) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << header;
        out.write(reinterpret_cast<const char*>(planar.data()),
                  std::streamsize((planar.size() - 1) * sizeof(float)));
        out.close();
        EXPECT_FALSE(readColmapArray(path, width, height, channels, read)) << header;
    }
    EXPECT_FALSE(readColmapArray((dir / "missing.bin").string(), width, height, channels, read));
    std::filesystem::remove_all(dir);
}

} // namespace
} // namespace tovarine::stereo
