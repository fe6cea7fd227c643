#include "cli/CliRunner.h"

#include "support/SungUnits.h"
#include "support/WavBytes.h"
#include "model/ModelTestSupport.h"
#include "support/TestSupport.h"

#include <json/json.h>

#include <gtest/gtest.h>

#include <sstream>

namespace {

using lvdemo::Segment;
using lvtest::runLvtb;

using lvtest::readText;

using lvtest::writeText;

// A folder with a one-second recording (44100 samples) and no voice.lvcfg yet.
class EntriesCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        lvtest::writeFile(dir / "ka.wav", lvtest::WavBytes::mono16(lvtest::sine16(44100)));
    }

    std::string d() const { return dir.path().string(); }
    std::filesystem::path cfg() const { return dir / "voice.lvcfg"; }

    lvtest::CliResult putCv(const std::string& markers, const std::string& symbol = "ka", const std::string& pitch = "C4")
    {
        return runLvtb({"entries", "put", d(), "--kind", "CV", "--wav", "ka.wav", "--pitch", pitch, "--symbol", symbol,
                        "--markers", markers});
    }

    lvtest::FixedClockAndZone clock{1700000000};
    lvtest::TempDir dir;
};

} // namespace

TEST_F(EntriesCommand, PutStoresAndListShowsAbsoluteMarkers)
{
    const auto put = putCv("0.5,0.625,0.75,0.9");
    ASSERT_EQ(put.status, 0) << put.err;
    EXPECT_EQ(put.out, "stored C4->ka\n");
    EXPECT_TRUE(put.err.empty());

    const auto vx = runLvtb({"entries", "put", d(), "--kind", "VX", "--wav", "ka.wav", "--pitch", "C4", "--symbol", "a_k",
                             "--markers", "0.25,0.5"});
    ASSERT_EQ(vx.status, 0) << vx.err;

    const auto list = runLvtb({"entries", "list", d()});
    EXPECT_EQ(list.status, 0);
    // The CV tail is written as the vowel end + 0.055 s: 0.9549999987 shows as 0.955000.
    EXPECT_EQ(list.out, "C4->a_k\tVX\tka.wav\t0.250000\t0.500000\n"
                        "C4->ka\tCV\tka.wav\t0.500000\t0.625000\t0.750000\t0.900000\t0.955000\n");
}

TEST_F(EntriesCommand, ListShowsMarkersAsReadWithoutResettingTheTail)
{
    writeText(cfg(), R"({"C4->ka": {"srcType":"CV","wavName":"ka.wav","symbol":"ka","pitch":"C4","startTime":1.0,
        "endTime":2.0,"connectPoint":0.25,"beatPoint":0.375,"vowelStart":0.5,"vowelEnd":0.625,"tailPoint":0.875},
        "C4->br": {"srcType":"INDIE","wavName":"br.wav","symbol":"br","pitch":"C4","startTime":0.5,
        "endTime":2.0,"startPoint":0.125,"endPoint":1.25}})");
    const auto list = runLvtb({"entries", "list", d()});
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.out, "C4->br\tINDIE\tbr.wav\t0.625000\t1.750000\n"
                        "C4->ka\tCV\tka.wav\t1.250000\t1.375000\t1.500000\t1.625000\t1.875000\n");

    const auto json = runLvtb({"entries", "list", d(), "--json"});
    EXPECT_EQ(json.status, 0);
    Json::Value v;
    ASSERT_TRUE(Json::Reader().parse(json.out, v)) << json.out;
    ASSERT_TRUE(v.isObject());
    EXPECT_EQ(v.getMemberNames(), (std::vector<std::string>{"C4->br", "C4->ka"}));
    // As the manager would write it: the tail is reset from the vowel end, markers are relative.
    EXPECT_TRUE(lvtest::near(v["C4->ka"]["tailPoint"].asDouble(), 1.625 + 0.054999998658895495 - (1.25 - 0.05999999865889549),
                             1e-12, "relative form"));
    EXPECT_EQ(v["C4->ka"]["preutterance"].asDouble(), 1.375 - (1.25 - 0.05999999865889549));
    EXPECT_FALSE(v["C4->ka"].isMember("beatPoint"));
    EXPECT_EQ(v["C4->ka"]["updateTime"].asString(), "2023-11-15 06:13:20") << "a missing time reads as now";
    EXPECT_EQ(json.out.find("\r\n") != std::string::npos, true) << "the file's own text";
    EXPECT_EQ(readText(cfg()).find("\r\n"), std::string::npos) << "listing writes nothing";

    const auto empty = runLvtb({"entries", "list", (dir / "sub").string()});
    EXPECT_EQ(empty.status, 2) << "a missing folder cannot be read";
    std::filesystem::create_directory(dir / "sub");
    const auto none = runLvtb({"entries", "list", (dir / "sub").string()});
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.out, "");
}

TEST_F(EntriesCommand, PutReplacesTheSameKindAndAnotherKindUnderTheKey)
{
    ASSERT_EQ(putCv("0.5,0.625,0.75,0.9").status, 0);
    ASSERT_EQ(putCv("0.25,0.375,0.5,0.625").status, 0);
    auto list = runLvtb({"entries", "list", d()});
    EXPECT_EQ(list.out, "C4->ka\tCV\tka.wav\t0.250000\t0.375000\t0.500000\t0.625000\t0.680000\n");

    const auto indie = runLvtb({"entries", "put", d(), "--kind", "INDIE", "--wav", "ka.wav", "--pitch", "C4", "--symbol",
                                "ka", "--markers", "0.125,0.5"});
    ASSERT_EQ(indie.status, 0);
    list = runLvtb({"entries", "list", d()});
    EXPECT_EQ(list.out, "C4->ka\tINDIE\tka.wav\t0.125000\t0.500000\n");
}

TEST_F(EntriesCommand, PutChecksOrderBeforeMarginsWithStrictComparisons)
{
    const std::string order = "The order of markers is wrong...\n";
    const std::string margin = "Markers should not in the margin ...\n";
    struct Case {
        const char* markers;
        const char* expected;
        const char* detail; // the one stderr line after the editor's message
    };
    const Case cases[] = {
        {"0.5,0.5,0.75,0.9", order.c_str(), "preutterance (0.500000 s) must come after connectPoint (0.500000 s)"},
        {"0.5,0.4,0.75,0.9", order.c_str(), "preutterance (0.400000 s) must come after connectPoint (0.500000 s)"},
        {"0.5,0.75,0.75,0.9", order.c_str(), "vowelStart (0.750000 s) must come after preutterance (0.750000 s)"},
        {"0.5,0.625,0.75,0.75", order.c_str(), "vowelEnd (0.750000 s) must come after vowelStart (0.750000 s)"},
        // out of order and in the margin: order is reported
        {"0.05,0.04,0.75,0.9", order.c_str(), "preutterance (0.040000 s) must come after connectPoint (0.050000 s)"},
        {"0.05,0.625,0.75,0.9", margin.c_str(), "connectPoint (0.050000 s) lies in the first 0.06 s of ka.wav"},
        {"0.06,0.625,0.75,0.9", margin.c_str(), "connectPoint (0.060000 s) lies in the first"}, // CP beyond 0.06 s
        {"0.5,0.625,0.75,0.95", margin.c_str(), "vowelEnd (0.950000 s) lies in the last 0.06 s of ka.wav, which "
                                                "lasts 1.000000 s; markers must lie between 0.060000 and 0.940000 s"},
        {"0.5,0.625,0.75,1.5", margin.c_str(), "vowelEnd (1.500000 s) lies in the last"},
    };
    for (const Case& c : cases) {
        const auto r = putCv(c.markers);
        EXPECT_EQ(r.status, 1) << c.markers;
        EXPECT_EQ(r.out, c.expected) << c.markers;
        EXPECT_EQ(r.err.rfind(std::string("lvtb: ") + c.detail, 0), 0u) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line";
    }
    EXPECT_FALSE(std::filesystem::exists(cfg())) << "nothing was stored";
    EXPECT_EQ(putCv("0.0601,0.625,0.75,0.9399").status, 0) << "just inside both margins";

    const auto vx = [&](const char* markers) {
        return runLvtb({"entries", "put", d(), "--kind", "VX", "--wav", "ka.wav", "--pitch", "C4", "--symbol", "a_k",
                        "--markers", markers});
    };
    EXPECT_EQ(vx("0.5,0.5").out, order);
    EXPECT_EQ(vx("0.03,0.5").out, margin);
    EXPECT_EQ(vx("0.1,0.97").out, margin);
    EXPECT_EQ(vx("0.1,0.9").status, 0);
}

TEST_F(EntriesCommand, PutNeedsALoadableRecording)
{
    lvtest::WavBytes::Format stereo;
    stereo.channels = 2;
    lvtest::writeFile(dir / "stereo.wav", lvtest::WavBytes().fmt(stereo).data16(lvtest::sine16(8000)).bytes());
    lvtest::writeFile(dir / "short.wav", lvtest::WavBytes::mono16(lvtest::sine16(100))); // 2.3 ms
    const std::pair<const char*, const char*> cases[] = {
        {"missing.wav", "no such file"},
        {"stereo.wav", "44100 Hz, 16 bit, 2 channel(s): the editor takes 44100 Hz, 16 bit, mono files named .wav"},
        {"short.wav", "shorter than 5 ms"},
    };
    for (const auto& [wav, why] : cases) {
        const auto r = runLvtb({"entries", "put", d(), "--kind", "INDIE", "--wav", wav, "--pitch", "C4", "--symbol", "x",
                                "--markers", "0.1,0.2"});
        EXPECT_EQ(r.status, 1) << wav;
        EXPECT_EQ(r.out, "Wav data not exists !\n") << wav;
        EXPECT_EQ(r.err, "lvtb: " + d() + "/" + wav + ": " + why + "\n");
    }
    EXPECT_FALSE(std::filesystem::exists(cfg()));
}

TEST_F(EntriesCommand, PutRefusesBadUsageOnStderr)
{
    const std::vector<std::vector<std::string>> bad = {
        {"entries", "put", d(), "--kind", "CV", "--wav", "ka.wav", "--pitch", "C4", "--symbol", "ka", "--markers", "0.5,0.6,0.7"},
        {"entries", "put", d(), "--kind", "INDIE", "--wav", "ka.wav", "--pitch", "C4", "--symbol", "x", "--markers", "0.5,0.6,0.7"},
        {"entries", "put", d(), "--kind", "CV", "--wav", "ka.wav", "--pitch", "C4", "--symbol", "ka", "--markers", "0.5,x,0.7,0.8"},
        {"entries", "put", d(), "--kind", "CV", "--wav", "ka.wav", "--pitch", "C4", "--symbol", "ka", "--markers", "0.5,,0.7,0.8"},
        {"entries", "put", d(), "--kind", "CV", "--wav", "ka.wav", "--pitch", "C4", "--symbol", "ka", "--markers", "0.5,nan,0.7,0.8"},
        {"entries", "put", d(), "--kind", "cv", "--wav", "ka.wav", "--pitch", "C4", "--symbol", "ka", "--markers", "0.5,0.6,0.7,0.8"},
        {"entries", "put", d(), "--kind", "CV", "--wav", "ka.wav", "--symbol", "ka", "--markers", "0.5,0.6,0.7,0.8"},
        {"entries", "put", d(), "--kind", "CV", "--wav", "ka.wav", "--pitch", "", "--symbol", "ka", "--markers", "0.5,0.6,0.7,0.8"},
        {"entries", "put", d(), "--kind", "VX", "--wav", "ka.wav", "--pitch", "C4", "--symbol", "ak", "--markers", "0.5,0.6"},
        {"entries", "put", (dir / "nowhere").string(), "--kind", "INDIE", "--wav", "ka.wav", "--pitch", "C4", "--symbol", "x",
         "--markers", "0.5,0.6"},
        {"entries", "put", d(), "--kind", "INDIE", "--wav", "ka.wav", "--pitch", "C4", "--symbol", "\xC4\xE3", "--markers", "0.5,0.6"},
        {"entries", "frobnicate", d()},
        {"entries"},
        {"entries", "list"},
        {"entries", "delete", d()},
    };
    for (const auto& argv : bad) {
        const auto r = runLvtb(argv);
        EXPECT_EQ(r.status, 2) << argv.back();
        EXPECT_TRUE(r.out.empty()) << argv.back();
        EXPECT_EQ(r.err.rfind("lvtb: ", 0), 0u) << argv.back();
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line";
    }
    EXPECT_FALSE(std::filesystem::exists(cfg()));
}

TEST_F(EntriesCommand, AnUnreadableConfigurationIsNeverWrittenOver)
{
    const std::string broken = "{\"C4->ka\": {\"srcType\": \"CV\",";
    writeText(cfg(), broken);
    const std::string path = d() + "/voice.lvcfg";
    const std::vector<std::vector<std::string>> writers = {
        {"entries", "put", d(), "--kind", "CV", "--wav", "ka.wav", "--pitch", "C4", "--symbol", "ka", "--markers", "0.5,0.6,0.7,0.8"},
        {"entries", "rename", d(), "C4->ka", "--symbol", "ki", "--pitch", "C4"},
        {"entries", "copy", d(), "C4->ka", "--symbol", "ki", "--pitch", "C4"},
        {"entries", "delete", d(), "C4->ka"},
    };
    for (const auto& argv : writers) {
        const auto r = runLvtb(argv);
        EXPECT_EQ(r.status, 2) << argv[1];
        EXPECT_EQ(r.err, "lvtb: " + path + ": not a voice configuration file; nothing written\n");
    }
    const auto list = runLvtb({"entries", "list", d()});
    EXPECT_EQ(list.status, 2);
    EXPECT_EQ(list.err, "lvtb: " + path + ": not a voice configuration file\n");
    EXPECT_EQ(readText(cfg()), broken);
}

TEST_F(EntriesCommand, RenameCopyAndDeleteAsTheListDoes)
{
    ASSERT_EQ(putCv("0.5,0.625,0.75,0.9").status, 0);
    ASSERT_EQ(runLvtb({"entries", "put", d(), "--kind", "VX", "--wav", "ka.wav", "--pitch", "C4", "--symbol", "a_k",
                       "--markers", "0.25,0.5"})
                  .status,
              0);

    auto r = runLvtb({"entries", "rename", d(), "C4->zz", "--symbol", "ki", "--pitch", "C4"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "C4 : zz is not exists!\n");
    EXPECT_TRUE(r.err.empty());
    EXPECT_EQ(runLvtb({"entries", "delete", d(), "D4->ka"}).out, "D4 : ka is not exists!\n");

    r = runLvtb({"entries", "rename", d(), "C4->ka", "--symbol", "ka", "--pitch", "C4"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "unchanged C4->ka\n");

    r = runLvtb({"entries", "rename", d(), "C4->ka", "--symbol", "ki", "--pitch", "D4"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "renamed C4->ka to D4->ki\n");
    r = runLvtb({"entries", "copy", d(), "C4->a_k", "--symbol", "e_t", "--pitch", "C4"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "copied C4->a_k to C4->e_t\n");
    r = runLvtb({"entries", "rename", d(), "C4->a_k", "--symbol", "at", "--pitch", "C4"});
    EXPECT_EQ(r.status, 2) << "a VX symbol needs its vowel_consonant form";

    EXPECT_EQ(runLvtb({"entries", "list", d()}).out,
              "C4->a_k\tVX\tka.wav\t0.250000\t0.500000\n"
              "C4->e_t\tVX\tka.wav\t0.250000\t0.500000\n"
              "D4->ki\tCV\tka.wav\t0.500000\t0.625000\t0.750000\t0.900000\t0.955000\n");

    r = runLvtb({"entries", "delete", d(), "C4->a_k"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "deleted C4->a_k\n");
    EXPECT_EQ(runLvtb({"entries", "list", d()}).out,
              "C4->e_t\tVX\tka.wav\t0.250000\t0.500000\n"
              "D4->ki\tCV\tka.wav\t0.500000\t0.625000\t0.750000\t0.900000\t0.955000\n");

    // The renamed copy is dated now; the file holds the time in local time (UTC+8 in this test).
    Json::Value v;
    ASSERT_TRUE(Json::Reader().parse(readText(cfg()), v));
    EXPECT_EQ(v["D4->ki"]["updateTime"].asString(), "2023-11-15 06:13:20");
}

TEST_F(EntriesCommand, HelpDescribesEverySubcommand)
{
    for (const char* sub : {"list", "put", "rename", "scan"}) {
        const auto r = runLvtb({"entries", sub, "--help"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out.rfind("usage: lvtb entries list DIR", 0), 0u);
        EXPECT_NE(r.out.find("lvtb entries delete DIR KEY"), std::string::npos);
        EXPECT_NE(r.out.find("lvtb entries scan FILE LOCATION --pitch P [--estimate] [--dry-run]"), std::string::npos);
    }
    EXPECT_NE(runLvtb({"--help"}).out.find("entries"), std::string::npos);
}

// A scan makes entries for the recordings without one, reading each name with the project's
// dictionary, and leaves every other file alone with a line saying why.
TEST_F(EntriesCommand, ScanMakesEntriesForRecordingsWithoutOne)
{
    const std::string project = (dir / "voice.lvtb").string();
    ASSERT_EQ(runLvtb({"project", "new", project}).status, 0);
    const std::pair<const char*, const char*> lists[] = {
        {"symbolList", "ka,k,a\r\nsa,s,a"}, {"vowelList", "a,a"}, {"unvoicedConsonantList", "k\r\ns"},
        {"independentList", "br1"},
    };
    for (const auto& [field, text] : lists) {
        ASSERT_EQ(runLvtb({"project", "set", project, field, text}).status, 0);
    }
    ASSERT_EQ(putCv("0.5,0.625,0.75,0.9").status, 0); // ka.wav is used by C4->ka
    const std::vector<unsigned char> oneSecond = lvtest::WavBytes::mono16(lvtest::sine16(44100));
    for (const char* name : {"C4_ka.wav", "C4_sa.wav", "E4_sa.wav", "a_k.WAV", "xyz.wav"}) {
        lvtest::writeFile(dir / name, oneSecond);
    }
    lvtest::writeFile(dir / "br1.wav", lvtest::WavBytes::mono16(lvtest::sine16(88200)));
    lvtest::writeFile(dir / "C4_-ka.wav", lvtest::WavBytes::mono16(lvtest::sine16(8820))); // 0.2 s
    writeText(dir / "notes.txt", "not a recording");
    std::filesystem::create_directory(dir / "sa.wav"); // a folder is no recording
    const std::string before = readText(cfg());

    // In byte order of the names.
    const std::string tooShort = "unusable C4_-ka.wav: too short (0.200000 s) for the editor's first markers to lie "
                                 "outside its 0.06 s margins\n";
    const auto dry = runLvtb({"entries", "scan", project, d(), "--pitch", "C4", "--dry-run"});
    EXPECT_EQ(dry.status, 1) << "files were left alone";
    EXPECT_EQ(dry.out, tooShort +
                           "exists C4->ka\tC4_ka.wav\n"
                           "would make C4->sa\tCV\tC4_sa.wav\n"
                           "unmatched E4_sa.wav\n"
                           "would make C4->a_k\tVX\ta_k.WAV\n"
                           "would make C4->br1\tINDIE\tbr1.wav\n"
                           "unmatched xyz.wav\n");
    EXPECT_TRUE(dry.err.empty()) << dry.err;
    EXPECT_EQ(readText(cfg()), before) << "a dry run writes nothing";

    const auto scan = runLvtb({"entries", "scan", project, d(), "--pitch", "C4"});
    EXPECT_EQ(scan.status, 1);
    std::string made = dry.out;
    for (std::size_t at = made.find("would make "); at != std::string::npos; at = made.find("would make ")) {
        made.replace(at, 11, "made ");
    }
    EXPECT_EQ(scan.out, made);
    // Markers where the editor first puts them: CV at 0.2, 0.3, 0.7, 0.8 of the duration (the tail
    // 0.055 s after the vowel end), VX and INDIE at 0.2 and 0.5. The existing entry is untouched.
    EXPECT_EQ(runLvtb({"entries", "list", d()}).out,
              "C4->a_k\tVX\ta_k.WAV\t0.200000\t0.500000\n"
              "C4->br1\tINDIE\tbr1.wav\t0.400000\t1.000000\n"
              "C4->ka\tCV\tka.wav\t0.500000\t0.625000\t0.750000\t0.900000\t0.955000\n"
              "C4->sa\tCV\tC4_sa.wav\t0.200000\t0.300000\t0.700000\t0.800000\t0.855000\n");
    Json::Value v;
    ASSERT_TRUE(Json::Reader().parse(readText(cfg()), v));
    EXPECT_EQ(v["C4->sa"]["updateTime"].asString(), "2023-11-15 06:13:20") << "made now";

    // Again: only what was left alone is reported, and the file stays as it is.
    const std::string afterScan = readText(cfg());
    const auto again = runLvtb({"entries", "scan", project, d(), "--pitch", "C4"});
    EXPECT_EQ(again.status, 1);
    EXPECT_EQ(again.out, tooShort + "exists C4->ka\tC4_ka.wav\nunmatched E4_sa.wav\nunmatched xyz.wav\n");
    EXPECT_EQ(readText(cfg()), afterScan);

    // At E4 the prefix of E4_sa.wav names the scan's pitch.
    const auto e4 = runLvtb({"entries", "scan", project, d(), "--pitch", "E4"});
    EXPECT_EQ(e4.out, "unmatched C4_-ka.wav\nunmatched C4_ka.wav\nmade E4->sa\tCV\tE4_sa.wav\nunmatched xyz.wav\n");

    // With --estimate, a sung unit's entry gets the estimator's markers, near the boundaries of its
    // timeline; background noise alone gets the first markers, and its line says so.
    const std::filesystem::path sung = dir / "sung";
    std::filesystem::create_directory(sung);
    const lvdemo::UnitPlan sa{"sa", "CV", {{Segment::Silence, "", 0.2}, {Segment::Frication, "s", 0.12}, {Segment::Vowel, "a", 0.5}, {Segment::Silence, "", 0.2}}, {}};
    lvtest::writeFile(sung / "sa.wav", lvtest::WavBytes::mono16(lvtest::recordSungUnit(sa)));
    const lvdemo::UnitPlan quiet{"br1", "INDIE", {{Segment::Silence, "", 0.8}}, {}};
    lvtest::writeFile(sung / "br1.wav", lvtest::WavBytes::mono16(lvtest::recordSungUnit(quiet)));
    const auto dryEstimate = runLvtb({"entries", "scan", project, sung.string(), "--pitch", "C4", "--estimate", "--dry-run"});
    EXPECT_EQ(dryEstimate.status, 0) << dryEstimate.err;
    EXPECT_EQ(dryEstimate.out, "would make C4->br1\tINDIE\tbr1.wav\tno proposal: first markers\n"
                               "would make C4->sa\tCV\tsa.wav\testimated markers\n");
    EXPECT_FALSE(std::filesystem::exists(sung / "voice.lvcfg")) << "a dry run writes nothing";
    const auto estimated = runLvtb({"entries", "scan", project, sung.string(), "--pitch", "C4", "--estimate"});
    EXPECT_EQ(estimated.status, 0) << estimated.err;
    EXPECT_EQ(estimated.out, "made C4->br1\tINDIE\tbr1.wav\tno proposal: first markers\n"
                             "made C4->sa\tCV\tsa.wav\testimated markers\n");
    const std::string listed = runLvtb({"entries", "list", sung.string()}).out;
    // br1: 0.2 and 0.5 of the 0.8 s file, in the editor's single precision.
    EXPECT_EQ(listed.substr(0, listed.find('\n') + 1), "C4->br1\tINDIE\tbr1.wav\t0.160000\t0.400000\n");
    std::istringstream saLine(listed.substr(listed.find('\n') + 1));
    std::string key, kind, wav;
    ASSERT_TRUE(saLine >> key >> kind >> wav);
    EXPECT_EQ(key, "C4->sa");
    // The frication from 0.2 s, the vowel from 0.32 s, its formants settled 60 ms later, its fade
    // from 0.82 s; the estimator is held to 30 ms of these.
    for (const double truth : {0.2, 0.32, 0.38, 0.82}) {
        double t = 0.0;
        ASSERT_TRUE(saLine >> t);
        EXPECT_NEAR(t, truth, 0.03);
    }

    const std::vector<std::vector<std::string>> bad = {
        {"entries", "scan", project, d()},
        {"entries", "scan", project, d(), "--pitch", ""},
        {"entries", "scan", project, (dir / "nowhere").string(), "--pitch", "C4"},
        {"entries", "scan", (dir / "br1.wav").string(), d(), "--pitch", "C4"},
        {"entries", "scan", d(), "--pitch", "C4"},
    };
    for (const auto& argv : bad) {
        const auto r = runLvtb(argv);
        EXPECT_EQ(r.status, 2) << argv[2] << " " << argv.size();
        EXPECT_TRUE(r.out.empty());
        EXPECT_EQ(r.err.rfind("lvtb: ", 0), 0u) << r.err;
    }
}
