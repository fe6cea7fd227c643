// lvtb against inputs a user or a shared archive can hand it: things that are not regular files,
// concurrent runs on one folder, logs aimed at the build's own files, outputs that cannot be
// written. Commands that could hang or abort run in a child process with a time limit, so a fault
// fails the test instead of stopping the suite.

#include "cli/CliRunner.h"

#include "support/WavBytes.h"
#include "demo/DemoSinger.h"
#include "engine/VoiceBankFiles.h"
#include "model/CTsVoiceCfgMgr.h"
#include "model/ProjectFile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fstream>
#include <map>
#include <sstream>
#include <streambuf>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using lvtest::runLvtb;

namespace {

using lvtest::readText;

struct ChildResult {
    bool finished = false; // exited on its own (not killed by the time limit or a signal)
    int status = -1;
    std::string out;
    std::string err;
};

// The process's data segment now [bytes] (heap and private mappings: what an allocation grows).
std::uint64_t dataBytesInUse()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmData:", 0) == 0) {
            return std::stoull(line.substr(7)) * 1024;
        }
    }
    return 0;
}

// Runs lvtb in a forked child, killed after `seconds`; stdout goes to `stdoutPath` when given. With
// extraData, the child may grow its data by at most that many bytes: a command that needs more
// fails its allocation.
ChildResult runInChild(const std::vector<std::string>& argv, unsigned seconds = 20, const fs::path& stdoutPath = {},
                       std::uint64_t extraData = 0)
{
    lvtest::TempDir scratch;
    const fs::path out = stdoutPath.empty() ? scratch / "out" : stdoutPath;
    const fs::path err = scratch / "err";
    const pid_t child = ::fork();
    if (child == 0) {
        ::alarm(seconds);
        if (extraData > 0) {
            const rlimit limit{dataBytesInUse() + extraData, RLIM_INFINITY};
            ::setrlimit(RLIMIT_DATA, &limit);
        }
        std::ofstream o(out, std::ios::binary);
        std::ofstream e(err, std::ios::binary);
        std::istringstream in;
        lvtb::Io io{in, o, e};
        const int status = lvtb::run(argv, io);
        o.close();
        e.close();
        ::_exit(status);
    }
    ChildResult r;
    int wstatus = 0;
    ::waitpid(child, &wstatus, 0);
    r.finished = WIFEXITED(wstatus);
    r.status = r.finished ? WEXITSTATUS(wstatus) : -1;
    if (stdoutPath.empty()) {
        r.out = readText(out);
    }
    r.err = readText(err);
    return r;
}

// A demo of one pitch: eight units with their recordings, voice.lvcfg and project.
struct SmallDemo {
    SmallDemo()
    {
        const lvdemo::DemoOptions o = lvdemo::smallDemoOptions();
        std::string error;
        const auto written = lvdemo::writeDemoProject(dir.path(), error, o);
        EXPECT_TRUE(written) << error;
        demo = *written;
        project = demo.projectFile.string();
    }
    lvtest::TempDir dir;
    lvdemo::DemoProject demo;
    std::string project;
};

// A stream buffer that fails like a full disk.
class FullDevice : public std::streambuf {
protected:
    int_type overflow(int_type) override
    {
        errno = ENOSPC;
        return traits_type::eof();
    }
    std::streamsize xsputn(const char*, std::streamsize) override
    {
        errno = ENOSPC;
        return 0;
    }
};

} // namespace

// A FIFO, a folder or a device where a file is expected is refused at once with its reason: no
// command blocks on it, none aborts.
TEST(LvtbSafety, OnlyRegularFilesAreReadAndNothingBlocksOrAborts)
{
    SmallDemo d;
    const fs::path dir = d.dir / "odd";
    fs::create_directories(dir / "C4.ka.LVModel");
    fs::create_directories(dir / "bank" / "TSI");
    ASSERT_EQ(::mkfifo((dir / "voice.lvcfg").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((dir / "take.wav").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((dir / "p.lvtb").c_str(), 0600), 0);
    const std::string D = dir.string();
    const std::vector<std::vector<std::string>> commands = {
        {"entries", "list", D},
        {"entries", "put", D, "--kind", "INDIE", "--wav", "take.wav", "--pitch", "C4", "--symbol", "br", "--markers", "0.1,0.2"},
        {"wav-info", D + "/take.wav"},
        {"f0", D + "/take.wav"},
        {"project", "show", D + "/p.lvtb"},
        {"build-models", D + "/p.lvtb"},
        {"inspect", "model", D + "/C4.ka.LVModel"},
        {"inspect", "bank", D + "/bank"},
    };
    for (const auto& argv : commands) {
        const ChildResult r = runInChild(argv, 10);
        const std::string name = argv[0] + " " + argv[1];
        ASSERT_TRUE(r.finished) << name << ": hung or aborted";
        EXPECT_EQ(r.status, 2) << name << ": " << r.out << r.err;
        EXPECT_EQ(r.err.rfind("lvtb: ", 0), 0u) << name << ": " << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << name << ": one line: " << r.err;
    }
    EXPECT_NE(runInChild(commands[0]).err.find("voice.lvcfg: is not a regular file"), std::string::npos);
    EXPECT_NE(runInChild(commands[6]).err.find("is a folder"), std::string::npos);
    // Whatever its name: a FIFO or a device given as a recording is named for what it is, not for
    // its extension.
    ASSERT_EQ(::mkfifo((dir / "take").c_str(), 0600), 0);
    for (const std::string& notAFile : {D + "/take.wav", D + "/take", std::string("/dev/null")}) {
        for (const char* command : {"wav-info", "f0"}) {
            const ChildResult r = runInChild({command, notAFile}, 10);
            ASSERT_TRUE(r.finished) << command << " " << notAFile << ": hung or aborted";
            EXPECT_EQ(r.status, 2) << command << " " << notAFile;
            EXPECT_EQ(r.err, "lvtb: " + notAFile + ": is not a regular file (a FIFO, device or socket)\n") << command;
        }
    }

    // In a build, a FIFO recording and a FIFO voice.lvcfg are reported like any unreadable input.
    fs::create_directories(d.dir / "fifo wav");
    fs::copy_file(d.demo.wavLocations[0] / "voice.lvcfg", d.dir / "fifo wav" / "voice.lvcfg");
    CTsVoiceCfgMgr mgr;
    mgr.loadFolder(d.dir / "fifo wav");
    for (const CTsVoiceCfg* e : mgr.entries()) {
        ::mkfifo((d.dir / "fifo wav" / e->wavName).c_str(), 0600);
    }
    ASSERT_EQ(runLvtb({"project", "add-location", d.project, dir.string()}).status, 0);
    ASSERT_EQ(runLvtb({"project", "add-location", d.project, (d.dir / "fifo wav").string()}).status, 0);
    const ChildResult build = runInChild({"build-models", d.project, "--jobs", "2", "--symbols", "ka", "--overwrite"}, 60);
    ASSERT_TRUE(build.finished) << "build-models hung or aborted";
    EXPECT_EQ(build.status, 1) << build.out;
    EXPECT_NE(build.out.find("voice.lvcfg reading error:" + D + "/voice.lvcfg (is not a regular file"), std::string::npos)
        << build.out;
    EXPECT_NE(build.out.find(" wav reading error:" + (d.dir / "fifo wav").string() + "/"), std::string::npos) << build.out << build.err;
}

// Writers that run at once on one folder take turns (puts, scans, additions to the project): every
// change reported stored is on disk, and two bank builds into one folder never mix their files.
TEST(LvtbSafety, ConcurrentWritersLoseNothing)
{
    SmallDemo d;
    ASSERT_EQ(runLvtb({"build-models", d.project, "--jobs", "1"}).status, 0);
    const fs::path folder = d.dir / "takes";
    fs::create_directories(folder);
    lvtest::writeFile(folder / "take.wav", lvtest::WavBytes::mono16(lvtest::sine16(44100)));
    // Recordings for a third writer that scans for them, one pitch at a time, while the others put.
    const std::vector<std::string> pitches = {"C4", "D4", "E4", "F4", "G4", "A4"};
    const std::vector<std::string> units = {"ka", "na", "a_k", "a_n"};
    for (const std::string& pitch : pitches) {
        for (const std::string& unit : units) {
            lvtest::writeFile(folder / (pitch + "_" + unit + ".wav"), lvtest::WavBytes::mono16(lvtest::sine16(22050)));
        }
    }
    constexpr int kEach = 12;
    std::vector<pid_t> children;
    if (const pid_t scanner = ::fork(); scanner == 0) {
        ::alarm(60);
        int failures = 0;
        for (const std::string& pitch : pitches) {
            const auto r = runLvtb({"entries", "scan", d.project, folder.string(), "--pitch", pitch});
            std::istringstream lines(r.out);
            std::size_t made = 0;
            for (std::string line; std::getline(lines, line);) {
                made += line.rfind("made ", 0) == 0;
            }
            failures += made != units.size();
        }
        ::_exit(failures == 0 ? 0 : 1);
    } else {
        children.push_back(scanner);
    }
    for (int writer = 0; writer < 2; ++writer) {
        const pid_t child = ::fork();
        if (child == 0) {
            ::alarm(60);
            int failures = 0;
            for (int i = 0; i < kEach; ++i) {
                const std::string symbol = "s" + std::to_string(writer) + "_" + std::to_string(i);
                failures += runLvtb({"entries", "put", folder.string(), "--kind", "INDIE", "--wav", "take.wav", "--pitch",
                                     "C4", "--symbol", symbol, "--markers", "0.1,0.2"})
                                .status != 0;
                failures += runLvtb({"project", "add-location", d.project, (d.dir / symbol).string()}).status != 0;
            }
            ::_exit(failures == 0 ? 0 : 1);
        }
        children.push_back(child);
    }
    for (const pid_t child : children) {
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "every change was reported stored";
    }
    CTsVoiceCfgMgr mgr;
    ASSERT_EQ(mgr.loadFolder(folder), CTsVoiceCfgMgr::LoadStatus::Loaded);
    EXPECT_EQ(mgr.entries().size(), std::size_t(2 * kEach) + pitches.size() * units.size());
    EXPECT_NE(mgr.findKey("A4->a_n"), nullptr);
    const auto project = readProjectFile(d.project);
    ASSERT_EQ(project.status, ProjectReadStatus::ok);
    EXPECT_EQ(project.model->wavLocations.size(), d.demo.wavLocations.size() + 2 * kEach);

    // Two bank builds at once into one folder: the second waits for the first.
    std::vector<pid_t> builds;
    for (int b = 0; b < 2; ++b) {
        const pid_t child = ::fork();
        if (child == 0) {
            ::alarm(60);
            const auto r = runLvtb({"build-bank", d.project});
            ::_exit(r.status == 0 && r.out.find("File create failed.") == std::string::npos ? 0 : 1);
        }
        builds.push_back(child);
    }
    for (const pid_t child : builds) {
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const auto index = TessarinEngineV6::readBankIndex(d.demo.bankFolder);
    ASSERT_TRUE(index);
    EXPECT_TRUE(index->complete);
    EXPECT_EQ(index->records.size(), 8u);
    for (const auto& record : index->records) {
        EXPECT_GT(record.length, 0) << record.unit;
    }
}

// --log is written whole when the build ends, and never over a file the build reads or writes.
TEST(LvtbSafety, ALogNeverReplacesWhatTheBuildReadsOrWrites)
{
    SmallDemo d;
    const fs::path location = d.demo.wavLocations[0];
    const std::string projectBytes = readText(d.project);
    const std::string cfgBytes = readText(location / "voice.lvcfg");
    fs::create_directories(d.demo.modelFolder);
    fs::create_directories(d.demo.bankFolder);
    fs::create_symlink(d.project, d.dir / "link to project");
    const std::vector<std::string> refused = {
        d.project,
        (d.dir / "link to project").string(),
        (location / "voice.lvcfg").string(),
        (location / "C4_ka.wav").string(),
        (d.demo.modelFolder / "C4.ka.LVModel").string(),
        (d.demo.modelFolder / "build-models.manifest").string(),
        (d.demo.bankFolder / "TSI").string(),
        (d.demo.bankFolder / "TSC_3").string(),
        (d.demo.bankFolder / ".lvset" / "TSI").string(), // the bank's current set, reached through its pointer
    };
    for (const std::string& log : refused) {
        for (const char* command : {"build-models", "build-bank", "build"}) {
            const auto r = runLvtb({command, d.project, "--log", log});
            EXPECT_EQ(r.status, 2) << command << " --log " << log;
            EXPECT_TRUE(r.out.empty()) << "nothing built";
            EXPECT_NE(r.err.find("the log must not replace a file the build reads or writes"), std::string::npos) << r.err;
        }
    }
    EXPECT_EQ(readText(d.project), projectBytes);
    EXPECT_EQ(readText(location / "voice.lvcfg"), cfgBytes);
    EXPECT_TRUE(fs::is_empty(d.demo.modelFolder));
    EXPECT_TRUE(fs::is_empty(d.demo.bankFolder));

    // A log that cannot be written (a folder in the way) fails the command after the build.
    fs::create_directories(d.dir / "busy.log" / "x");
    const auto r = runLvtb({"build-bank", d.project, "--log", (d.dir / "busy.log").string()});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("busy.log: cannot write the log file"), std::string::npos) << r.err;
}

// lvtb render --out never replaces what it reads or what a build reads or writes; it is refused
// before anything is read, and the file stays as it was.
TEST(LvtbSafety, ARenderedWavNeverReplacesAnInput)
{
    SmallDemo d;
    const fs::path location = d.demo.wavLocations[0];
    fs::create_directories(d.demo.modelFolder);
    fs::create_directories(d.demo.bankFolder);
    const fs::path model = d.demo.modelFolder / "C4.ka.LVModel";
    lvtest::writeFile(model, std::vector<std::uint8_t>{1, 2, 3});
    lvtest::writeFile(d.demo.bankFolder / "notes.txt", std::vector<std::uint8_t>{4, 5});
    fs::create_symlink(d.project, d.dir / "link to project");
    const std::vector<fs::path> refusedForEntry = {
        d.project,
        d.dir / "link to project",
        location / "voice.lvcfg",
        location / "C4_ka.wav",
        model,
        d.demo.modelFolder / "new.wav",
        d.demo.bankFolder / "notes.txt",
        d.demo.bankFolder / "TSI",
        d.dir / "voice.lvcfg",
    };
    std::map<fs::path, std::string> before;
    for (const fs::path& p : refusedForEntry) {
        before[p] = fs::exists(p) ? readText(p) : std::string("(none)");
    }
    const auto check = [&](const std::vector<std::string>& argv, const fs::path& out) {
        const auto r = runLvtb(argv);
        EXPECT_EQ(r.status, 2) << out;
        EXPECT_NE(r.err.find("must not replace a file that render or a build reads or writes"), std::string::npos) << r.err;
        EXPECT_EQ(fs::exists(out) ? readText(out) : std::string("(none)"), before[out]) << out;
    };
    for (const fs::path& out : refusedForEntry) {
        check({"render", d.project, "--entry", "C4->ka", "--out", out.string()}, out);
    }
    lvtest::writeFile(d.demo.modelFolder / "C4.a_n.LVModel", std::vector<std::uint8_t>{6});
    before[d.demo.modelFolder / "C4.a_n.LVModel"] = readText(d.demo.modelFolder / "C4.a_n.LVModel");
    before[d.demo.modelFolder / "build-models.manifest"] = "(none)";
    for (const fs::path& out : {model, d.demo.modelFolder / "C4.a_n.LVModel", d.demo.modelFolder / "build-models.manifest",
                                d.dir / "voice.lvcfg"}) {
        check({"render", model.string(), "--out", out.string()}, out);
    }
    // Elsewhere it writes (the entry analysed in memory, once the stand-in model file is gone).
    fs::remove(model);
    const auto r = runLvtb({"render", d.project, "--entry", "C4->ka", "--out", (d.dir / "ka.wav").string()});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(fs::is_regular_file(d.dir / "ka.wav"));
}

// Output that cannot be written (a full disk, a closed pipe) is exit 2 with one line, never a
// silent success.
TEST(LvtbSafety, OutputThatCannotBeWrittenIsAFailure)
{
    SmallDemo d;
    FullDevice full;
    std::ostream out(&full);
    std::ostringstream err;
    std::istringstream in;
    lvtb::Io io{in, out, err};
    EXPECT_EQ(lvtb::run({"entries", "list", d.demo.wavLocations[0].string()}, io), 2);
    EXPECT_EQ(err.str().rfind("lvtb: cannot write the output", 0), 0u) << err.str();
    EXPECT_EQ(err.str().find('\n'), err.str().size() - 1) << "one line";

    struct stat st {};
    if (::stat("/dev/full", &st) != 0) {
        GTEST_SKIP() << "no /dev/full here";
    }
    const auto log = runLvtb({"build-bank", d.project, "--log", "/dev/full"});
    EXPECT_EQ(log.status, 2) << log.err;
    const ChildResult listed = runInChild({"entries", "list", d.demo.wavLocations[0].string()}, 10, "/dev/full");
    EXPECT_TRUE(listed.finished);
    EXPECT_EQ(listed.status, 2);
    EXPECT_NE(listed.err.find("No space left on device"), std::string::npos) << listed.err;
}

// What entries list cannot use is said on stderr; what copy and rename replace is said too.
TEST(LvtbSafety, SkippedMembersAndReplacedEntriesAreNamed)
{
    SmallDemo d;
    const fs::path folder = d.demo.wavLocations[0];
    std::string text = readText(folder / "voice.lvcfg");
    const std::size_t open = text.find('{');
    text.insert(open + 1, "\r\n   \"C4->xy\" : { \"srcType\" : \"XY\" },");
    lvtest::writeFile(folder / "voice.lvcfg", std::vector<std::uint8_t>(text.begin(), text.end()));
    const auto list = runLvtb({"entries", "list", folder.string()});
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.err, "skipped: C4->xy: no \"wavName\"\n");

    const auto copy = runLvtb({"entries", "copy", folder.string(), "C4->ka", "--symbol", "na", "--pitch", "C4"});
    EXPECT_EQ(copy.status, 0) << copy.err;
    EXPECT_EQ(copy.err, "lvtb: replaced the entry that was stored under C4->na\n");
    const auto rename = runLvtb({"entries", "rename", folder.string(), "C4->na", "--symbol", "xy", "--pitch", "C4"});
    EXPECT_EQ(rename.status, 0) << rename.err;
    EXPECT_EQ(rename.err, "lvtb: replaced the entry that was stored under C4->xy\n");
    const auto fresh = runLvtb({"entries", "copy", folder.string(), "C4->ka", "--symbol", "zz", "--pitch", "C4"});
    EXPECT_TRUE(fresh.err.empty()) << fresh.err;
}

// Memory follows what a command needs, not the size of its input: the format and duration of an
// hour of audio, a part of it, an index of millions of records. Each runs with 64 MB more data than
// the test process holds.
TEST(LvtbSafety, MemoryFollowsWhatIsNeededNotTheSizeOfTheInput)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a data limit cannot be combined with the sanitizers' shadow memory";
#endif
    constexpr std::uint64_t kExtra = 64ull * 1024 * 1024;
    lvtest::TempDir dir;
    // An hour of 16-bit mono audio, 317 MB of (sparse) silence.
    const std::uint32_t hourBytes = 3600u * 44100u * 2u;
    std::vector<std::uint8_t> header = lvtest::WavBytes::mono16({});
    for (int i = 0; i < 4; ++i) {
        header[4 + i] = std::uint8_t((36 + hourBytes) >> (8 * i));
        header[40 + i] = std::uint8_t(hourBytes >> (8 * i));
    }
    const fs::path hour = dir / "hour.wav";
    lvtest::writeFile(hour, header);
    fs::resize_file(hour, header.size() + hourBytes);

    const ChildResult info = runInChild({"wav-info", hour.string()}, 30, {}, kExtra);
    EXPECT_TRUE(info.finished && info.status == 0) << info.err;
    EXPECT_NE(info.out.find("duration: 3600.000000\n"), std::string::npos) << info.out;
    const ChildResult put = runInChild({"entries", "put", dir.path().string(), "--kind", "INDIE", "--wav", "hour.wav",
                                        "--pitch", "C4", "--symbol", "br", "--markers", "1800,1801"},
                                       30, {}, kExtra);
    EXPECT_TRUE(put.finished && put.status == 0) << put.out << put.err;
    const ChildResult part = runInChild({"f0", hour.string(), "--from", "1800", "--to", "1801", "--method", "harvest"},
                                        60, {}, kExtra);
    EXPECT_TRUE(part.finished && part.status == 0) << part.err;
    EXPECT_EQ(std::count(part.out.begin(), part.out.end(), '\n'), 345) << "one line per frame of the second";
    // The whole hour is more than one run analyses: said, not attempted.
    const auto whole = runLvtb({"f0", hour.string()});
    EXPECT_EQ(whole.status, 2);
    EXPECT_NE(whole.err.find("the region is 3600.0 s long; lvtb f0 analyses at most 1800 s at once"), std::string::npos)
        << whole.err;

    // A build whose one entry needs more memory than there is: that entry reports it, the others build.
    SmallDemo d;
    const ChildResult built = [&] {
        CTsVoiceCfgMgr mgr;
        mgr.loadFolder(dir.path());
        auto breath = std::make_unique<CTsVoiceCfg_INDIE>();
        breath->symbol = "br";
        breath->pitch = "D4";
        breath->wavName = "hour.wav";
        breath->startPoint = 600.0;
        breath->endPoint = 1800.0; // twenty minutes of samples: 212 MB as floats
        const std::string key = breath->entryKey();
        mgr.put(key, std::move(breath));
        EXPECT_TRUE(mgr.save());
        EXPECT_EQ(runLvtb({"project", "add-location", d.project, dir.path().string()}).status, 0);
        return runInChild({"build-models", d.project, "--symbols", "br", "--jobs", "1", "--overwrite"}, 120, {}, 2 * kExtra);
    }();
    EXPECT_TRUE(built.finished) << built.err;
    EXPECT_EQ(built.status, 1) << built.out << built.err;
    EXPECT_NE(built.out.find("pitch=D4  symbol=br    >> Error  >  analysis error: out of memory"), std::string::npos)
        << built.out;
    EXPECT_NE(built.out.find("pitch=C4  symbol=br    >> OK "), std::string::npos) << built.out;

    // An index of 4.4 million (empty) records after a real header.
    const fs::path bank = dir / "bank";
    fs::create_directories(bank);
    TSSrcCheckResult result;
    TessarinEngineV6::assembleVoiceBank("ka,k,a|||a,a|", result, dir / "no models", bank, {"C4"});
    const auto headerBytes = fs::file_size(bank / "TSI");
    fs::resize_file(bank / "TSI", headerBytes + 24ull * 4400000);
    const ChildResult index = runInChild({"inspect", "bank", bank.string()}, 120, "/dev/null", kExtra);
    EXPECT_TRUE(index.finished) << index.err;
    EXPECT_EQ(index.status, 1) << index.err; // the records point into an empty content file
}
