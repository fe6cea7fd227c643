#include "cli/CliRunner.h"

#include "support/WavBytes.h"
#include "support/TestSupport.h"

#include <json/json.h>

#include <gtest/gtest.h>

using lvtest::runLvtb;

TEST(WavInfoCommand, AGoodFilePassesTheGate)
{
    lvtest::TempDir dir;
    lvtest::writeFile(dir / "a.wav", lvtest::WavBytes::mono16(lvtest::sine16(22050)));
    const auto r = runLvtb({"wav-info", (dir / "a.wav").string()});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "channels: 1\n"
                     "sample rate: 44100\n"
                     "bits per sample: 16\n"
                     "float: no\n"
                     "samples: 22050\n"
                     "duration: 0.500000\n"
                     "gate: pass\n");
    EXPECT_TRUE(r.err.empty());

    const auto j = runLvtb({"wav-info", (dir / "a.wav").string(), "--json"});
    EXPECT_EQ(j.status, 0);
    Json::Value v;
    ASSERT_TRUE(Json::Reader().parse(j.out, v));
    EXPECT_EQ(v["channels"].asInt(), 1);
    EXPECT_EQ(v["sampleRate"].asInt(), 44100);
    EXPECT_EQ(v["bitsPerSample"].asInt(), 16);
    EXPECT_FALSE(v["isFloat"].asBool());
    EXPECT_EQ(v["sampleCount"].asUInt(), 22050u);
    EXPECT_EQ(v["duration"].asDouble(), 0.5);
    EXPECT_TRUE(v["gate"].asBool());
    EXPECT_EQ(v["message"].asString(), "");
    EXPECT_EQ(v.size(), 8u);
}

TEST(WavInfoCommand, FilesThatFailTheGateShowTheEditorsMessage)
{
    lvtest::TempDir dir;
    lvtest::WavBytes::Format stereo;
    stereo.channels = 2;
    lvtest::writeFile(dir / "stereo.wav", lvtest::WavBytes().fmt(stereo).data16(lvtest::sine16(1000)).bytes());
    const auto r = runLvtb({"wav-info", (dir / "stereo.wav").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "channels: 2\n"
                     "sample rate: 44100\n"
                     "bits per sample: 16\n"
                     "float: no\n"
                     "samples: 1000\n"
                     "duration: 0.000000\n"
                     "gate: Wav format error! Format must be 44100Hz 16bit mono.\n");

    lvtest::WavBytes::Format floats;
    floats.tag = 3;
    floats.bitsPerSample = 32;
    floats.sampleRate = 48000;
    lvtest::writeFile(dir / "float.wav", lvtest::WavBytes().fmt(floats).chunk("data", std::vector<std::uint8_t>(400, 0)).bytes());
    const auto j = runLvtb({"wav-info", (dir / "float.wav").string(), "--json"});
    EXPECT_EQ(j.status, 1);
    Json::Value v;
    ASSERT_TRUE(Json::Reader().parse(j.out, v));
    EXPECT_TRUE(v["isFloat"].asBool());
    EXPECT_EQ(v["bitsPerSample"].asInt(), 32);
    EXPECT_EQ(v["sampleRate"].asInt(), 48000);
    EXPECT_EQ(v["sampleCount"].asUInt(), 100u);
    EXPECT_EQ(v["duration"].asDouble(), 0.0);
    EXPECT_FALSE(v["gate"].asBool());
    EXPECT_EQ(v["message"].asString(), "Wav format error! Format must be 44100Hz 16bit mono.");

    // The gate also asks for the extension "wav".
    lvtest::writeFile(dir / "a.raw", lvtest::WavBytes::mono16(lvtest::sine16(1000)));
    EXPECT_EQ(runLvtb({"wav-info", (dir / "a.raw").string()}).status, 2) << "no reader for the extension";
}

TEST(WavInfoCommand, AFileUnderFiveMillisecondsPassesWithDurationZero)
{
    lvtest::TempDir dir;
    lvtest::writeFile(dir / "short.wav", lvtest::WavBytes::mono16(lvtest::sine16(200))); // 4.5 ms
    const auto r = runLvtb({"wav-info", (dir / "short.wav").string()});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("samples: 200\nduration: 0.000000\ngate: pass\n"), std::string::npos) << r.out;
}

TEST(WavInfoCommand, UnreadableFilesAreUsageErrors)
{
    lvtest::TempDir dir;
    lvtest::writeFile(dir / "junk.wav", {'n', 'o', 't', ' ', 'r', 'i', 'f', 'f'});
    for (const auto& [f, why] : {std::pair{(dir / "junk.wav").string(), "cannot be read as a WAV or MP3 file"},
                                 std::pair{(dir / "missing.wav").string(), "no such file"}}) {
        const auto r = runLvtb({"wav-info", f});
        EXPECT_EQ(r.status, 2) << f;
        EXPECT_TRUE(r.out.empty());
        EXPECT_EQ(r.err, "lvtb: " + f + ": " + why + "\n");
    }
    EXPECT_EQ(runLvtb({"wav-info"}).status, 2);
    const auto help = runLvtb({"wav-info", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: lvtb wav-info FILE [--json]", 0), 0u);
}

// A data chunk that declares more than the file holds is read as far as it goes, and every command
// that reads the recording says so on stderr; the samples that are there are used as they are.
TEST(WavInfoCommand, ADataChunkCutShortIsReadAsFarAsItGoesAndSaidSo)
{
    lvtest::TempDir dir;
    std::vector<std::uint8_t> body;
    for (const std::int16_t s : lvtest::sine16(22050)) {
        body.push_back(std::uint8_t(s & 0xFF));
        body.push_back(std::uint8_t((s >> 8) & 0xFF));
    }
    const auto path = (dir / "cut.wav").string();
    lvtest::writeFile(path, lvtest::WavBytes().fmt({}).chunkDeclaring("data", body, 100000).bytes());
    const std::string note = "lvtb: " + path + ": data chunk truncated: 44100 of 100000 bytes\n";

    const auto info = runLvtb({"wav-info", path});
    EXPECT_EQ(info.status, 0);
    EXPECT_NE(info.out.find("samples: 22050\n"), std::string::npos) << info.out;
    EXPECT_EQ(info.err, note);

    const auto f0 = runLvtb({"f0", path, "--from", "0.1", "--to", "0.2"});
    EXPECT_EQ(f0.status, 0) << f0.err;
    EXPECT_FALSE(f0.out.empty());
    EXPECT_EQ(f0.err, note);

    const auto put = runLvtb({"entries", "put", dir.path().string(), "--kind", "INDIE", "--wav", "cut.wav", "--pitch", "C4",
                              "--symbol", "br", "--markers", "0.1,0.2"});
    EXPECT_EQ(put.status, 0) << put.out << put.err;
    EXPECT_EQ(put.err, note);

    // The commands that read recordings through the builder say it once per recording, however many
    // entries use it.
    ASSERT_EQ(runLvtb({"entries", "put", dir.path().string(), "--kind", "INDIE", "--wav", "cut.wav", "--pitch", "D4",
                       "--symbol", "br", "--markers", "0.2,0.3"})
                  .status,
              0);
    const auto project = (dir / "p.lvtb").string();
    ASSERT_EQ(runLvtb({"project", "new", project}).status, 0);
    for (const auto& [field, value] : std::vector<std::pair<std::string, std::string>>{
             {"symbolList", "ka,k,a"}, {"vowelList", "a,a"}, {"unvoicedConsonantList", "k"},
             {"independentList", "br"}, {"modelFolder", (dir / "models").string()}}) {
        ASSERT_EQ(runLvtb({"project", "set", project, field, value}).status, 0) << field;
    }
    ASSERT_EQ(runLvtb({"project", "add-location", project, dir.path().string()}).status, 0);
    for (const std::string command : {"check", "build-models"}) {
        const auto r = runLvtb({command, project});
        EXPECT_NE(r.out.find("br"), std::string::npos) << command << r.out;
        EXPECT_EQ(r.err, note) << command;
    }

    // A whole file says nothing.
    lvtest::writeFile(path, lvtest::WavBytes().fmt({}).chunk("data", body).bytes());
    EXPECT_EQ(runLvtb({"wav-info", path}).err, "");
    EXPECT_EQ(runLvtb({"f0", path, "--from", "0.1", "--to", "0.2"}).err, "");
}
