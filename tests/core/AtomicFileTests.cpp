#include "core/AtomicFile.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using Tessarin::writeFileAtomically;

namespace {

using lvtest::readText;

std::size_t entriesIn(const std::filesystem::path& dir)
{
    return std::size_t(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()));
}

} // namespace

TEST(AtomicFile, WritesNewFilesAndReplacesOldOnesWithoutLeavingATemporaryFile)
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

TEST(AtomicFile, KeepsThePermissionsOfTheFileItReplaces)
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

TEST(AtomicFile, FailsWithTheReasonWithoutTouchingAnything)
{
    lvtest::TempDir dir;
    std::error_code error;
    EXPECT_FALSE(writeFileAtomically(dir / "missing" / "voice.lvcfg", "x", &error));
    EXPECT_EQ(error, std::errc::no_such_file_or_directory);
    EXPECT_FALSE(std::filesystem::exists(dir / "missing"));

    std::filesystem::create_directories(dir / "folder" / "child");
    EXPECT_FALSE(writeFileAtomically(dir / "folder", "x", &error)) << "a folder is never replaced";
    EXPECT_EQ(error, std::errc::is_a_directory);
    EXPECT_TRUE(std::filesystem::is_directory(dir / "folder" / "child"));
    EXPECT_FALSE(writeFileAtomically("", "x"));

    // Nor is a FIFO (or a device: a log aimed at /dev/null must leave /dev/null alone).
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    EXPECT_FALSE(writeFileAtomically(dir / "pipe", "x", &error));
    EXPECT_EQ(error, std::errc::not_supported);
    EXPECT_TRUE(std::filesystem::is_fifo(std::filesystem::symlink_status(dir / "pipe")));
    EXPECT_EQ(entriesIn(dir.path()), 2u);
}
