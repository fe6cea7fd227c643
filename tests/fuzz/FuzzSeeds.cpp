// Writes the seed corpus of one fuzz target into a folder: small valid inputs of each shape the
// target reads, made here rather than checked in.
//   lv_fuzz_seeds TARGET DIR

#include "audio/WavWriter.h"
#include "core/AnalysisRandom.h"
#include "core/MemoryStream.h"
#include "engine/ModelFile.h"
#include "model/CTsToolBoxProjModel.h"
#include "support/VoiceModelFixture.h"
#include "support/WavBytes.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

namespace {

void put32(Bytes& b, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) {
        b.push_back(std::uint8_t(v >> (8 * i)));
    }
}

// A short WAV file of the given format; extraChunks puts a LIST chunk before "fmt " and a fact chunk
// after it.
Bytes wav(std::uint16_t tag, std::uint16_t channels, std::uint16_t bits, std::uint32_t fmtSize, bool extraChunks)
{
    lvtest::WavBytes w;
    if (extraChunks) {
        w.chunk("LIST", {'I', 'N', 'F', 'O', '!'});
    }
    w.fmt({.tag = tag, .channels = channels, .bitsPerSample = bits, .bodySize = fmtSize});
    if (extraChunks) {
        w.chunk("fact", {8, 0, 0, 0});
    }
    std::vector<std::int16_t> samples;
    for (int i = 0; i < 8; ++i) {
        samples.push_back(std::int16_t(i * 4000 - 16000));
    }
    return w.data16(samples).bytes();
}

Bytes streamSeed(std::initializer_list<std::uint8_t> ops, const Tessarin::CMemoryBuffer& payload)
{
    Bytes b(ops);
    b.insert(b.end(), payload.data(), payload.data() + payload.size());
    return b;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: lv_fuzz_seeds TARGET DIR\n");
        return 2;
    }
    const std::string target = argv[1];
    const std::filesystem::path dir = argv[2];
    std::vector<Bytes> seeds;

    if (target == "fuzz_wav_reader") {
        seeds.push_back(wav(1, 1, 16, 16, false));
        seeds.push_back(wav(1, 1, 16, 18, true));
        seeds.push_back(wav(3, 1, 32, 16, false));
        seeds.push_back(wav(1, 2, 24, 16, true));
    } else if (target == "fuzz_memory_stream") {
        using namespace Tessarin;
        CMemoryBuffer series;
        CMemoryStream s(&series);
        FrameSeries fs;
        fs.appendFrame(std::vector<float>{1.0f, 2.0f, 3.0f});
        fs.appendFrame(std::vector<float>{});
        fs.appendFrame(std::vector<float>{-4.0f});
        writeFrameSeries(s, fs);
        seeds.push_back(streamSeed({0, 0, 0, 0}, series));

        CMemoryBuffer vectors;
        CMemoryStream v(&vectors);
        FastVector<float> f;
        f.push_back(0.5f);
        f.push_back(-0.5f);
        FastVector<int> n;
        n.push_back(7);
        FastVector<short> sh;
        sh.push_back(-3);
        writeCountedVector(v, f);
        writeCountedVector(v, n);
        writeShortVector(v, sh);
        writePlain(v, std::int32_t(99));
        seeds.push_back(streamSeed({1, 2, 3, 5}, vectors));
    } else if (target == "fuzz_project_payload") {
        TSTBCurrentModel::CTsToolBoxProjModel m;
        m.symbolList = "ka,k,a\r\nsa,s,a";
        m.vowelList = "a,a\r\no,o";
        m.voicedConsonantList = "n";
        m.unvoicedConsonantList = "k\r\ns";
        m.independentList = "br1";
        m.tailList = "-";
        m.wavLocations = {"/rec/a", "/rec/b"};
        m.pitchList = "C4,E4";
        TessarinWin::CMemoryBuffer payload;
        TSTBCurrentModel::writePayload(m, payload);
        Bytes current{1};
        current.insert(current.end(), payload.data(), payload.data() + payload.size());
        seeds.push_back(current);
        // Version 0: the same shape with one consonant text "n;k,s" in place of the four lists.
        Bytes old{0};
        for (const std::string s : {"", "ka,k,a", "a,a", "n;k,s"}) {
            put32(old, std::uint32_t(s.size()));
            old.insert(old.end(), s.begin(), s.end());
        }
        put32(old, 1);
        put32(old, 2);
        old.insert(old.end(), {'/', 'r'});
        old.push_back(1);
        for (int i = 0; i < 5; ++i) {
            put32(old, 0);
        }
        seeds.push_back(old);
    } else if (target == "fuzz_json_model") {
        const auto text = [](char selector, std::string_view json) {
            Bytes b{std::uint8_t(selector)};
            b.insert(b.end(), json.begin(), json.end());
            return b;
        };
        seeds.push_back(text(0, R"({"C4->ka":{"srcType":"CV","wavName":"ka.wav","symbol":"ka","pitch":"C4",)"
                                R"("startTime":0.44,"endTime":1.06,"connectPoint":0.06,"beatPoint":0.18,)"
                                R"("vowelStart":0.31,"vowelEnd":0.56,"tailPoint":0.61,"updateTime":"2024-02-29 12:00:00"},)"
                                R"("C4->a_k":{"srcType":"VC","wavName":"a.wav","symbol":"a_k","pitch":"C4",)"
                                R"("startTime":1.0,"endTime":2.0,"connectPoint":0.06,"tailPoint":0.5}})"));
        seeds.push_back(text(1, R"({"autoBackupMinute":10,"singerName":"x","isAutoVib":false,)"
                                R"("vibPreins":{"vibName":"v","vibAmp":[{"p":-1,"v":0}],"vibFreq":[{"p":3,"v":4}]}})"));
        seeds.push_back(text(2, R"({"vibName":"v","vibAmp":[{"p":1,"v":2}],"vibFreq":[]})"));
    } else if (target == "fuzz_mp3") {
        // A short tone encoded by lame, whole and cut in half.
        const auto wavPath = dir / "tone.wav.tmp";
        const auto mp3Path = dir / "tone.mp3.tmp";
        std::vector<float> tone(22050);
        for (std::size_t i = 0; i < tone.size(); ++i) {
            tone[i] = 0.3f * float(std::sin(0.0627 * double(i)));
        }
        TessarinEditor::writeWav16(wavPath, tone);
        const std::string encode = "lame --quiet -b 32 '" + wavPath.string() + "' '" + mp3Path.string() + "'";
        if (std::system(encode.c_str()) == 0) {
            std::ifstream in(mp3Path, std::ios::binary);
            Bytes mp3((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            seeds.push_back(mp3);
            seeds.push_back(Bytes(mp3.begin(), mp3.begin() + long(mp3.size() / 2)));
        }
        std::filesystem::remove(wavPath);
        std::filesystem::remove(mp3Path);
        seeds.push_back(Bytes{0xFF, 0xFB, 0x90, 0x64, 0, 0, 0, 0});
    } else if (target == "fuzz_engine_files") {
        // A model payload of two frames, its compact block, a dictionary text, an index, a language file.
        TSVM_V0::TsVoiceModelCompact compact;
        TSVM_V0::toCompact(lvtest::handBuiltModel(2), compact);
        Tessarin::CMemoryBuffer payload;
        Tessarin::AnalysisRandom random(1);
        const std::vector<std::int32_t> markers{0, 1, 2, 3, 4, 0, -1, -1};
        TSVM_V0::buildModelPayload(markers, compact, random, payload);
        seeds.push_back(streamSeed({0}, payload));
        Tessarin::CMemoryBuffer block;
        Tessarin::CMemoryStream blockStream(&block);
        TSVM_V0::writeCompact(blockStream, compact);
        seeds.push_back(streamSeed({1}, block));
        const std::string dictionary = "ka,k,a;na,n,a|n|k|a,a;i,i|br|-";
        Bytes d{2};
        d.insert(d.end(), dictionary.begin(), dictionary.end());
        seeds.push_back(d);
        Bytes index{3};
        for (const std::int32_t v : {6, 2, 0, 128}) {
            put32(index, std::uint32_t(v));
        }
        seeds.push_back(index);
        const std::string language = R"({"language":"x","Stop":"halt"})";
        Bytes l{4};
        l.insert(l.end(), language.begin(), language.end());
        seeds.push_back(l);
    } else if (target == "fuzz_pipeline_f0") {
        // A voiced tone with a steady track, the same with NaN and out-of-range frames, and silence.
        for (const float bad : {220.0f, std::nanf(""), 30000.0f, -5.0f}) {
            Bytes b{40, 20, 10, 2};
            for (int i = 0; i < 12; ++i) {
                float v = (i % 3 == 1) ? bad : 220.0f;
                std::uint32_t bits = 0;
                std::memcpy(&bits, &v, 4);
                put32(b, bits);
            }
            seeds.push_back(b);
        }
        seeds.push_back(Bytes{0, 0, 0, 2});
    } else {
        std::fprintf(stderr, "lv_fuzz_seeds: unknown target %s\n", target.c_str());
        return 2;
    }

    for (std::size_t i = 0; i < seeds.size(); ++i) {
        std::ofstream out(dir / ("seed-" + std::to_string(i)), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(seeds[i].data()), std::streamsize(seeds[i].size()));
        if (!out) {
            std::fprintf(stderr, "lv_fuzz_seeds: cannot write into %s\n", dir.c_str());
            return 1;
        }
    }
    return 0;
}
