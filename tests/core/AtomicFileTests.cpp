#include "core/AtomicFile.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

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

namespace {

std::string readText(const std::filesystem::path& p)
{
    const auto bytes = lvtest::readFile(p);
    return std::string(bytes.begin(), bytes.end());
}

std::size_t entriesIn(const std::filesystem::path& dir)
{
    return std::size_t(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()));
}

} // namespace

TEST(AtomicFileWithTmpName, WritesNewFilesAndReplacesOldOnes)
{
    lvtest::TempDir dir;
    const auto target = dir / "voice.lvcfg";
    const std::string bytes("a\0b\r\n", 5);
    ASSERT_TRUE(writeFileAtomically(target, bytes));
    EXPECT_EQ(readText(target), bytes);

    ASSERT_TRUE(writeFileAtomically(target, "shorter"));
    EXPECT_EQ(readText(target), "shorter");
    ASSERT_TRUE(writeFileAtomically(target, ""));
    EXPECT_EQ(readText(target), "");
    EXPECT_EQ(entriesIn(dir.path()), 1u) << "no temporary file is left";
}

TEST(AtomicFileWithTmpName, KeepsThePermissionsOfTheFileItReplaces)
{
    lvtest::TempDir dir;
    const auto target = dir / "app.cfg";
    ASSERT_TRUE(writeFileAtomically(target, "one"));
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    ASSERT_TRUE(writeFileAtomically(target, "two"));
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(AtomicFileWithTmpName, FailsWithoutTouchingAnything)
{
    lvtest::TempDir dir;
    EXPECT_FALSE(writeFileAtomically(dir / "missing" / "voice.lvcfg", "x"));
    EXPECT_FALSE(std::filesystem::exists(dir / "missing"));

    std::filesystem::create_directory(dir / "folder");
    EXPECT_FALSE(writeFileAtomically(dir / "folder", "x")) << "a folder is never replaced";
    EXPECT_TRUE(std::filesystem::is_directory(dir / "folder"));
    EXPECT_FALSE(writeFileAtomically("", "x"));
    EXPECT_EQ(entriesIn(dir.path()), 1u);
}
