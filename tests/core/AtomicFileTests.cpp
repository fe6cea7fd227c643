#include "core/AtomicFile.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <set>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

// Writers killed mid-write leave their temporary files; the next writer of the same file removes
// those, and never the temporary file of a writer still at work (in this process or another), nor
// the temporary files of other targets.
TEST(AtomicFile, TheNextWriterRemovesTemporaryFilesOfKilledWritersOnly)
{
    lvtest::TempDir dir;
    const auto target = dir / "voice.lvcfg";
    const auto other = dir / "other.lvcfg";
    ASSERT_TRUE(writeFileAtomically(target, "old"));
    auto temporariesOf = [&](const std::filesystem::path& t) {
        std::set<std::filesystem::path> found;
        for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
            const std::string name = e.path().filename().string();
            if (name.rfind(t.filename().string() + ".", 0) == 0 && name.size() > 4 &&
                name.compare(name.size() - 4, 4, ".tmp") == 0) {
                found.insert(e.path());
            }
        }
        return found;
    };
    // A writer killed while writing, one killed after flushing (just before the rename), and one of
    // another file.
    // Names are told apart by what they hold: a forked child draws the same random names as its parent.
    auto contentsOf = [&](const std::set<std::filesystem::path>& files) {
        std::multiset<std::string> texts;
        for (const auto& f : files) {
            texts.insert(readText(f));
        }
        return texts;
    };
    auto killedWriter = [&](const std::filesystem::path& t, bool flushed, const char* text) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            Tessarin::AtomicFileWriter w;
            if (!w.open(t) || !w.append(text) || (flushed && !w.finish())) {
                ::_exit(1);
            }
            ::_exit(0); // no destructor runs: as if killed
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    };
    killedWriter(target, false, "first");
    ASSERT_EQ(contentsOf(temporariesOf(target)), std::multiset<std::string>{"first"});
    killedWriter(target, true, "second");
    EXPECT_EQ(contentsOf(temporariesOf(target)), std::multiset<std::string>{"second"})
        << "the second writer removed the first one's";
    killedWriter(other, false, "other");

    // A writer at work in another process, and one in this process.
    int toChild[2];
    int fromChild[2];
    ASSERT_EQ(::pipe(toChild), 0);
    ASSERT_EQ(::pipe(fromChild), 0);
    const pid_t busy = ::fork();
    ASSERT_GE(busy, 0);
    if (busy == 0) {
        ::alarm(30); // never outlives a failed test
        ::close(toChild[1]);
        ::close(fromChild[0]);
        Tessarin::AtomicFileWriter w;
        const bool opened = w.open(target) && w.append("from the other process");
        char c = opened ? 'o' : 'x';
        (void)!::write(fromChild[1], &c, 1);
        (void)!::read(toChild[0], &c, 1); // until the parent has saved
        ::_exit(w.finish() && w.replace() ? 0 : 1);
    }
    ::close(toChild[0]);
    ::close(fromChild[1]);
    char c = 0;
    ASSERT_EQ(::read(fromChild[0], &c, 1), 1);
    ASSERT_EQ(c, 'o');
    Tessarin::AtomicFileWriter here;
    ASSERT_TRUE(here.open(target));
    ASSERT_TRUE(here.append("from this process"));
    ASSERT_TRUE(here.finish());

    ASSERT_TRUE(writeFileAtomically(target, "new"));
    EXPECT_EQ(readText(target), "new");
    EXPECT_EQ(contentsOf(temporariesOf(target)),
              (std::multiset<std::string>{"from the other process", "from this process"}))
        << "the killed writer's is gone, the two writers at work keep theirs";
    EXPECT_EQ(contentsOf(temporariesOf(other)), std::multiset<std::string>{"other"})
        << "another file's are not this writer's to judge";

    // Both writers at work still finish.
    ASSERT_TRUE(here.replace());
    EXPECT_EQ(readText(target), "from this process");
    ASSERT_EQ(::write(toChild[1], "g", 1), 1);
    int status = 0;
    ::waitpid(busy, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(readText(target), "from the other process");
    EXPECT_TRUE(temporariesOf(target).empty());
    ::close(toChild[1]);
    ::close(fromChild[0]);
}
