#include "audio/AudioReader.h"
#include "audio/CWavData.h"
#include "support/WavBytes.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace TessarinEditor;
using lvtest::WavBytes;

namespace {

class WavReader : public ::testing::Test {
protected:
    std::filesystem::path write(const std::string& name, const std::vector<std::uint8_t>& bytes)
    {
        const auto path = m_dir / name;
        lvtest::writeFile(path, bytes);
        return path;
    }

    lvtest::TempDir m_dir;
};

std::vector<std::int16_t> samples(std::size_t n) { return lvtest::sine16(n); }

} // namespace

TEST_F(WavReader, ReadsFormatAndBytesOfAPlainFile)
{
    const auto path = write("a.wav", WavBytes::mono16({0, 1, -1, 32767, -32768}));
    CWavBuf wav;
    ASSERT_TRUE(readAudioFile(path, wav));
    EXPECT_EQ(wav.bytesPerSample, 2);
    EXPECT_EQ(wav.channels, 1);
    EXPECT_EQ(wav.sampleRate, 44100);
    EXPECT_FALSE(wav.isFloat);
    EXPECT_EQ(wav.sampleCount(), 5u);
    EXPECT_TRUE(passesFormatGate(wav, path.native()));
}

TEST_F(WavReader, SixteenBitSamplesAreDividedBy32767)
{
    const auto path = write("a.wav", WavBytes::mono16({0, 1, -1, 32767, -32768, 16384}));
    CWavBuf wav;
    ASSERT_TRUE(readAudioFile(path, wav));
    EXPECT_EQ(wav.sampleAt(0), 0.0f);
    EXPECT_EQ(wav.sampleAt(1), 1.0f / 32767.0f);
    EXPECT_EQ(wav.sampleAt(2), -1.0f / 32767.0f);
    EXPECT_EQ(wav.sampleAt(3), 1.0f);
    EXPECT_EQ(wav.sampleAt(4), -1.0000305f);
    EXPECT_EQ(wav.sampleAt(5), 16384.0f / 32767.0f);
    EXPECT_EQ(wav.sampleAt(6), 0.0f); // past the end
    EXPECT_EQ(wav.sampleAt(UINT32_MAX), 0.0f);
}

TEST_F(WavReader, ExtensionDecidesTheReaderWhateverItsCase)
{
    const auto bytes = WavBytes::mono16(samples(300));
    CWavBuf wav;
    EXPECT_TRUE(readAudioFile(write("upper.WAV", bytes), wav));
    EXPECT_TRUE(readAudioFile(write("mixed.Wav", bytes), wav));
    EXPECT_FALSE(readAudioFile(write("other.wave", bytes), wav));
    EXPECT_FALSE(readAudioFile(write("noext", bytes), wav));

    EXPECT_EQ(audioFileExtension("a/b.c/d.WAV"), "wav");
    EXPECT_EQ(audioFileExtension("take.1.Mp3"), "mp3");
    EXPECT_EQ(audioFileExtension("NOEXT"), "noext"); // taken whole
    EXPECT_EQ(audioFileExtension("dir.x/file"), "x/file");
    EXPECT_EQ(audioFileExtension("trailing."), "");
}

TEST_F(WavReader, ExtraChunksAreSkippedBySizeWithOrWithoutPadBytes)
{
    const std::vector<std::uint8_t> listBody{'I', 'N', 'F', 'O', 'x', 'y', 'z'}; // odd size
    std::vector<std::uint8_t> paddedList = listBody;
    paddedList.push_back(0); // the pad byte RIFF asks for after an odd-sized chunk
    const std::vector<std::uint8_t> oddFact{1, 2, 3};
    const std::vector<std::uint8_t> paddedFact{1, 2, 3, 0};
    CWavBuf wav;
    for (const bool padded : {false, true}) {
        const auto bytes = WavBytes()
                               .chunkDeclaring("LIST", padded ? paddedList : listBody, 7)
                               .fmt({})
                               .chunkDeclaring("fact", padded ? paddedFact : oddFact, 3)
                               .data16({100, -100, 200})
                               .bytes();
        ASSERT_TRUE(readAudioFile(write("chunks.wav", bytes), wav)) << "padded " << padded;
        EXPECT_EQ(wav.sampleCount(), 3u) << "padded " << padded;
        EXPECT_EQ(wav.sampleAt(1), -100.0f / 32767.0f) << "padded " << padded;
    }
    // A pad byte that is itself text is not a pad byte: the chunk is taken where the size says,
    // and a file whose next chunk starts one byte later than that does not read.
    std::vector<std::uint8_t> textPad = listBody;
    textPad.push_back('Q');
    EXPECT_FALSE(readAudioFile(write("textpad.wav", WavBytes().chunkDeclaring("LIST", textPad, 7).fmt({}).data16({1}).bytes()), wav));
}

TEST_F(WavReader, FormatChunkIsMatchedOnItsFirstThreeBytesAndItsTailSkipped)
{
    WavBytes::Format f;
    f.bodySize = 18;
    const auto eighteen = WavBytes().fmt(f, "fmtX").data16({5, 6}).bytes();
    CWavBuf wav;
    ASSERT_TRUE(readAudioFile(write("fmt18.wav", eighteen), wav));
    EXPECT_EQ(wav.sampleCount(), 2u);
    EXPECT_EQ(wav.sampleAt(0), 5.0f / 32767.0f);

    f.bodySize = 14;
    EXPECT_FALSE(readAudioFile(write("fmt14.wav", WavBytes().fmt(f).data16({5, 6}).bytes()), wav));
}

TEST_F(WavReader, FormatTagsAndWidthsGiveTheFloatFlagOnlyWhereItFits)
{
    WavBytes::Format f;
    f.tag = 3;
    f.bitsPerSample = 32;
    CWavBuf wav;
    ASSERT_TRUE(readAudioFile(write("float.wav", WavBytes().fmt(f).chunk("data", std::vector<std::uint8_t>(16, 0)).bytes()), wav));
    EXPECT_TRUE(wav.isFloat);
    EXPECT_EQ(wav.bytesPerSample, 4);
    EXPECT_EQ(wav.sampleCount(), 4u);
    EXPECT_FALSE(passesFormatGate(wav, "float.wav"));

    f.bitsPerSample = 16;
    ASSERT_TRUE(readAudioFile(write("float16.wav", WavBytes().fmt(f).data16({1}).bytes()), wav));
    EXPECT_FALSE(wav.isFloat);

    for (const std::uint16_t tag : {0, 2, 0xFFFE}) {
        f.tag = tag;
        EXPECT_FALSE(readAudioFile(write("tag.wav", WavBytes().fmt(f).data16({1}).bytes()), wav)) << tag;
    }
}

TEST_F(WavReader, WidthsBelowOneByteReadButCountNoSamples)
{
    WavBytes::Format f;
    f.bitsPerSample = 4;
    CWavBuf wav;
    ASSERT_TRUE(readAudioFile(write("nibble.wav", WavBytes().fmt(f).chunk("data", {1, 2, 3}).bytes()), wav));
    EXPECT_EQ(wav.bytesPerSample, 0);
    EXPECT_EQ(wav.sampleCount(), 0u);
    EXPECT_EQ(wav.sampleAt(0), 0.0f);
    EXPECT_FALSE(passesFormatGate(wav, "nibble.wav"));
}

TEST_F(WavReader, BrokenHeadersFailAndLeaveTheTargetAsItWas)
{
    CWavBuf wav;
    ASSERT_TRUE(readAudioFile(write("good.wav", WavBytes::mono16({11, 22})), wav));

    std::vector<std::vector<std::uint8_t>> broken;
    broken.push_back(WavBytes().riffHeader(-5).fmt({}).data16({1}).bytes());              // RIFF size not positive
    broken.push_back(WavBytes().fmt({}).chunkDeclaring("data", {1, 2}, 0).bytes());         // data size 0
    broken.push_back(WavBytes().fmt({}).chunkDeclaring("data", {1, 2}, 0x80000000).bytes()); // data size negative
    broken.push_back(WavBytes().data16({1, 2}).bytes());                                    // no format chunk
    broken.push_back(WavBytes().fmt({}).chunk("junk", {1, 2}).bytes());                      // no data chunk
    auto notRiff = WavBytes::mono16({1, 2});
    notRiff[0] = 'X';
    broken.push_back(notRiff);
    auto notWave = WavBytes::mono16({1, 2});
    notWave[8] = 'X';
    broken.push_back(notWave);
    WavBytes::Format huge;
    huge.declaredSize = 0x7FFFFFF0;
    broken.push_back(WavBytes().fmt(huge).data16({1}).bytes()); // format chunk reaching past the end
    broken.push_back(WavBytes().chunkDeclaring("LIST", {1, 2}, 0xFFFFFFF0).fmt({}).data16({1}).bytes()); // skip past end
    broken.push_back({});

    for (std::size_t i = 0; i < broken.size(); ++i) {
        EXPECT_FALSE(readAudioFile(write("broken.wav", broken[i]), wav)) << "case " << i;
        ASSERT_EQ(wav.sampleCount(), 2u) << "case " << i;
        EXPECT_EQ(wav.sampleAt(1), 22.0f / 32767.0f);
    }
    EXPECT_FALSE(readAudioFile(m_dir / "missing.wav", wav));
    EXPECT_FALSE(readAudioFile(m_dir.path(), wav)); // a folder
    EXPECT_EQ(wav.sampleCount(), 2u);
}

TEST_F(WavReader, EveryTruncationEitherFailsOrKeepsTheBytesReallyThere)
{
    const auto whole = WavBytes().chunk("LIST", {1, 2, 3, 4}).fmt({}).data16(samples(50)).bytes();
    const std::size_t dataStart = whole.size() - 100;
    for (std::size_t cut = 0; cut < whole.size(); ++cut) {
        const std::vector<std::uint8_t> part(whole.begin(), whole.begin() + long(cut));
        CWavBuf fromFile;
        CWavBuf fromMemory;
        const bool okFile = readRiffFile(write("cut.wav", part), fromFile);
        const bool okMemory = readRiffBytes(part, fromMemory);
        // The header-only probe (wav-info, the entry checks) agrees with the full read.
        TessarinEditor::AudioFileInfo probed;
        const bool okProbe = TessarinEditor::probeAudioFile(write("cut.wav", part), probed);
        EXPECT_EQ(okFile, okMemory) << cut;
        EXPECT_EQ(okFile, okProbe) << cut;
        EXPECT_EQ(okFile, cut >= dataStart) << cut; // header complete: the data chunk counts what is there
        if (okFile) {
            EXPECT_EQ(fromFile.bytes.size(), cut - dataStart);
            EXPECT_EQ(fromMemory.bytes.size(), cut - dataStart);
            EXPECT_EQ(probed.dataBytes, cut - dataStart);
            EXPECT_EQ(probed.sampleCount(), fromFile.sampleCount());
        }
    }
}

TEST_F(WavReader, ADataSizeBeyondTheFileAllocatesOnlyWhatIsThere)
{
    const auto bytes = WavBytes().fmt({}).chunkDeclaring("data", {1, 0, 2, 0, 3}, 0x7FFFFFFF).bytes();
    CWavBuf wav;
    ASSERT_TRUE(readAudioFile(write("long.wav", bytes), wav));
    EXPECT_EQ(wav.bytes.size(), 5u);
    EXPECT_EQ(wav.sampleCount(), 2u);
    EXPECT_LE(wav.bytes.capacityInBytes(), 512u);
}

TEST_F(WavReader, EditorLoadsGoodFilesAndShowsTheMessageOnlyForWrongFormats)
{
    CWavData data;
    const auto voice = write("voice.wav", WavBytes::mono16(samples(4410)));
    ASSERT_EQ(loadForEditor(voice, data), WavLoadStatus::Loaded);
    EXPECT_FLOAT_EQ(data.duration, 0.1f);
    EXPECT_EQ(data.viewStart, 0.0f);
    EXPECT_EQ(data.viewLength, data.duration);
    EXPECT_EQ(data.sampleRate, 44100.0f);
    ASSERT_EQ(data.pcm.size(), 4410u);
    CWavBuf raw;
    ASSERT_TRUE(readAudioFile(voice, raw));
    for (const std::uint32_t i : {0u, 100u, 4409u}) {
        EXPECT_EQ(data.sampleAt(i), raw.sampleAt(i));
    }

    struct Case {
        const char* name;
        WavBytes::Format format;
    };
    WavBytes::Format rate48k;
    rate48k.sampleRate = 48000;
    WavBytes::Format stereo;
    stereo.channels = 2;
    WavBytes::Format eightBit;
    eightBit.bitsPerSample = 8;
    WavBytes::Format twentyFour;
    twentyFour.bitsPerSample = 24;
    WavBytes::Format everything; // 48 kHz 24-bit stereo
    everything.sampleRate = 48000;
    everything.bitsPerSample = 24;
    everything.channels = 2;
    struct Said {
        Case file;
        const char* secondLine;
    };
    for (const Said& c : {Said{{"48k", rate48k}, "48k.wav: 48000 Hz, 16-bit, mono"},
                          Said{{"stereo", stereo}, "stereo.wav: 44100 Hz, 16-bit, stereo"},
                          Said{{"8bit", eightBit}, "8bit.wav: 44100 Hz, 8-bit, mono"},
                          Said{{"24bit", twentyFour}, "24bit.wav: 44100 Hz, 24-bit, mono"},
                          Said{{"ka", everything}, "ka.wav: 48000 Hz, 24-bit, stereo"}}) {
        CWavData d;
        const auto path =
            write(std::string(c.file.name) + ".wav", WavBytes().fmt(c.file.format).data16(samples(4410)).bytes());
        EXPECT_EQ(loadForEditor(path, d), WavLoadStatus::FormatError) << c.file.name;
        EXPECT_EQ(d.duration, 0.0f);
        EXPECT_TRUE(d.pcm.empty());
        // The message keeps its words and says on a second line what the file really is.
        EXPECT_EQ(wavFormatErrorText(path), std::string(kWavFormatErrorMessage) + "\n" + c.secondLine);
    }
    EXPECT_EQ(kWavFormatErrorMessage, "Wav format error! Format must be 44100Hz 16bit mono.");
    // A file gone since it was read gives its name alone.
    EXPECT_EQ(wavFormatErrorText(m_dir / "gone.wav"), std::string(kWavFormatErrorMessage) + "\ngone.wav");

    // A failed read clears what was loaded before and shows nothing.
    EXPECT_EQ(loadForEditor(write("bad.wav", {'R', 'I', 'F', 'F'}), data), WavLoadStatus::ReadFailed);
    EXPECT_EQ(data.duration, 0.0f);
    EXPECT_TRUE(data.pcm.empty());
    EXPECT_EQ(data.pcm.capacity(), 0u) << "the memory goes back, not only the samples";
}

TEST_F(WavReader, RecordingsUnderFiveMillisecondsAreNotUsable)
{
    CWavData data;
    EXPECT_EQ(loadForEditor(write("220.wav", WavBytes::mono16(samples(220))), data), WavLoadStatus::TooShort);
    EXPECT_EQ(data.duration, 0.0f);
    EXPECT_TRUE(data.pcm.empty());
    EXPECT_EQ(data.viewLength, 0.0f);

    EXPECT_EQ(loadForEditor(write("221.wav", WavBytes::mono16(samples(221))), data), WavLoadStatus::Loaded);
    EXPECT_EQ(data.duration, 221.0f / 44100.0f);
    EXPECT_EQ(data.pcm.size(), 221u);
}

TEST_F(WavReader, ATenMinuteRecordingLoadsWhole)
{
    const std::uint32_t n = 44100u * 600u;
    std::vector<std::int16_t> samples(n);
    for (std::uint32_t i = 0; i < n; i += 997) {
        samples[i] = std::int16_t(i % 20000);
    }
    const auto path = write("long.wav", WavBytes::mono16(samples));
    CWavData data;
    ASSERT_EQ(loadForEditor(path, data), WavLoadStatus::Loaded);
    EXPECT_EQ(data.duration, 600.0f);
    ASSERT_EQ(data.pcm.size(), n);
    EXPECT_EQ(data.pcm.capacity(), n) << "one copy of the samples, of their size";
    EXPECT_EQ(data.sampleAt(997 * 1000), float((997 * 1000) % 20000) / 32767.0f);
}

// A recording longer than the editor takes is refused from its header, with the limit in the
// message, before its samples take any memory: a 2 GB take opens in a process allowed 1 GB.
TEST_F(WavReader, TheEditorRefusesARecordingTooLongToEditBeforeReadingIt)
{
    CWavData data;
    std::uint32_t count = 0;
    const auto small = write("small.wav", WavBytes::mono16(samples(1000)));
    EXPECT_EQ(loadForEditor(small, data, 999, &count), WavLoadStatus::TooLong);
    EXPECT_EQ(count, 1000u);
    EXPECT_TRUE(data.pcm.empty());
    EXPECT_EQ(data.duration, 0.0f);
    EXPECT_EQ(loadForEditor(small, data, 1000), WavLoadStatus::Loaded);
    EXPECT_EQ(data.pcm.size(), 1000u);

    // 2 GiB: a 44-byte header and a sparse data chunk of zeros (no disk space used).
    constexpr std::uint64_t kFileBytes = std::uint64_t(1) << 31;
    const std::uint32_t dataBytes = std::uint32_t(kFileBytes - 44);
    std::vector<std::uint8_t> header = WavBytes().fmt({}).chunkDeclaring("data", {}, dataBytes).bytes();
    header.resize(44);
    const auto big = write("two-gigabytes.wav", header);
    std::filesystem::resize_file(big, kFileBytes);

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const rlimit limit{1u << 30, 1u << 30};
        ::setrlimit(RLIMIT_AS, &limit);
        CWavData wav;
        std::uint32_t n = 0;
        const bool refused = loadForEditor(big, wav, kLongestEditableSamples, &n) == WavLoadStatus::TooLong;
        ::_exit(refused && n == dataBytes / 2 && wav.pcm.empty() ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "refused in bounded memory; status " << status;

    // (2^31 - 44) / 2 samples = 24347.9 s: 405 min 47 s.
    EXPECT_EQ(editorTooLongMessage(dataBytes / 2),
              "The recording is 405 min 47 s long; the wave editor opens recordings of up to 30 minutes. Cut it into "
              "shorter takes to mark them.");
}
