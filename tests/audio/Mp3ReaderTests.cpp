#include "audio/AudioReader.h"
#include "audio/CWavData.h"
#include "support/WavBytes.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace TessarinEditor;

namespace {

class Mp3Reader : public ::testing::Test {
protected:
    // Encodes a one-second 440 Hz tone with lame.
    std::filesystem::path makeMp3()
    {
        const auto wavPath = m_dir / "tone.wav";
        const auto mp3Path = m_dir / "tone.mp3";
        lvtest::writeFile(wavPath, lvtest::WavBytes::mono16(lvtest::sine16(44100)));
        const std::string command = "lame --quiet -b 64 '" + wavPath.string() + "' '" + mp3Path.string() + "'";
        if (std::system(command.c_str()) != 0) {
            ADD_FAILURE() << "lame failed: " << command;
        }
        return mp3Path;
    }

    lvtest::TempDir m_dir;
};

} // namespace

TEST_F(Mp3Reader, DecodesToSixteenBitSamplesButNeverPassesTheGate)
{
    const auto path = makeMp3();
    CWavBuf wav;
    ASSERT_TRUE(readAudioFile(path, wav));
    EXPECT_EQ(wav.sampleRate, 44100);
    EXPECT_EQ(wav.channels, 1);
    EXPECT_EQ(wav.bytesPerSample, 2);
    EXPECT_FALSE(wav.isFloat);
    // Gapless trimming gives back about the encoded second.
    EXPECT_TRUE(lvtest::near(wav.sampleCount(), 44100, 2000, "encoder padding that gapless mode does not remove"));

    float peak = 0.0f;
    for (std::uint32_t i = 0; i < wav.sampleCount(); ++i) {
        peak = std::max(peak, std::fabs(wav.sampleAt(i)));
    }
    EXPECT_TRUE(lvtest::near(peak, 20000.0 / 32767.0, 0.1, "lossy coding changes the peak a little"));

    EXPECT_FALSE(passesFormatGate(wav, path.native()));
    CWavData data;
    EXPECT_EQ(loadForEditor(path, data), WavLoadStatus::FormatError);
    EXPECT_EQ(data.duration, 0.0f);
    // Probed without keeping the samples: the same count.
    AudioFileInfo probed;
    ASSERT_TRUE(probeAudioFile(path, probed));
    EXPECT_EQ(probed.sampleCount(), wav.sampleCount());
    EXPECT_EQ(probed.sampleRate, 44100);
    // Its format is right; the message says what is wrong with it.
    EXPECT_EQ(wavFormatErrorText(path),
              std::string(kWavFormatErrorMessage) + "\ntone.mp3: 44100 Hz, 16-bit, mono, MP3");
}

TEST_F(Mp3Reader, DamagedOrForeignFilesFailAndLeaveTheTarget)
{
    const auto good = lvtest::readFile(makeMp3());
    CWavBuf wav;
    ASSERT_TRUE(readAudioFile(m_dir / "tone.wav", wav));
    const std::uint32_t before = wav.sampleCount();

    const auto wavAsMp3 = m_dir / "wave.mp3";
    lvtest::writeFile(wavAsMp3, lvtest::readFile(m_dir / "tone.wav"));
    EXPECT_FALSE(readAudioFile(wavAsMp3, wav));

    const auto empty = m_dir / "empty.mp3";
    lvtest::writeFile(empty, {});
    EXPECT_FALSE(readAudioFile(empty, wav));

    std::vector<std::uint8_t> noise(20000);
    std::uint32_t x = 12345;
    for (auto& b : noise) {
        x = x * 1664525u + 1013904223u;
        b = std::uint8_t(x >> 24);
    }
    const auto random = m_dir / "noise.mp3";
    lvtest::writeFile(random, noise);
    CWavBuf scratch;
    readAudioFile(random, scratch); // may find a sync word by chance; it must simply not crash

    EXPECT_EQ(wav.sampleCount(), before);

    // A file cut short still decodes the frames it holds.
    const auto half = m_dir / "half.mp3";
    lvtest::writeFile(half, std::vector<std::uint8_t>(good.begin(), good.begin() + long(good.size() / 2)));
    CWavBuf partial;
    ASSERT_TRUE(readAudioFile(half, partial));
    EXPECT_GT(partial.sampleCount(), 10000u);
    EXPECT_LT(partial.sampleCount(), 35000u);
}
