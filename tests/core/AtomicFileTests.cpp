#include "core/AtomicFile.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

using Tessarin::AtomicWriteStatus;
using Tessarin::writeFileAtomically;

TEST(AtomicFile, ReplacesTheTargetAndLeavesNoTemporaryFile)
{
    lvtest::TempDir dir;
    lvtest::writeFile(dir / "t.bin", {9, 9, 9, 9, 9, 9, 9, 9});
    EXPECT_EQ(writeFileAtomically(dir / "t.bin", dir / "t.bin.part", std::string_view("\x01\x00\x02", 3)),
              AtomicWriteStatus::written);
    EXPECT_EQ(lvtest::readFile(dir / "t.bin"), (std::vector<std::uint8_t>{1, 0, 2}));
    EXPECT_FALSE(std::filesystem::exists(dir / "t.bin.part"));
}

TEST(AtomicFile, ReportsWhichStepFailed)
{
    lvtest::TempDir dir;
    EXPECT_EQ(writeFileAtomically(dir / "no" / "t.bin", dir / "no" / "t.tmp", "x"), AtomicWriteStatus::cannotCreate);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));

    std::filesystem::create_directories(dir / "busy" / "child");
    EXPECT_EQ(writeFileAtomically(dir / "busy", dir / "busy.tmp", "xyz"), AtomicWriteStatus::replaceFailed);
    EXPECT_EQ(lvtest::readFile(dir / "busy.tmp"), (std::vector<std::uint8_t>{'x', 'y', 'z'}));
    EXPECT_TRUE(std::filesystem::is_directory(dir / "busy" / "child"));
}

TEST(AtomicFile, KeepsThePermissionsOfTheFileItReplaces)
{
    lvtest::TempDir dir;
    lvtest::writeFile(dir / "t.bin", {1});
    namespace fs = std::filesystem;
    fs::permissions(dir / "t.bin", fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_EQ(writeFileAtomically(dir / "t.bin", dir / "t.tmp", "ab"), AtomicWriteStatus::written);
    EXPECT_EQ(fs::status(dir / "t.bin").permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
}
