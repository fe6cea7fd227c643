#include "engine/SourceChecker.h"
#include "support/SyntheticVoice.h"
#include "engine/VoiceSources.h"
#include "engine/ModelFile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <vector>

using namespace TessarinEngineV6;

namespace {

// ka, na and -na are CV symbols; n is voiced, k unvoiced; a and i are vowels; "ah" is independent.
const std::string kDictionary = "ka,k,a;na,n,a;-na,n,a|n|k|a,a;i,i|ah|";

std::unique_ptr<SrcMaterial> materialWith(std::vector<float> f0)
{
    auto m = std::make_unique<SrcMaterial>("x", "C4");
    for (const float v : f0) {
        m->f0.push_back(v);
    }
    return m;
}

VoiceSrc voiceSource(const std::string& symbol, std::array<std::int32_t, 5> markers, std::vector<float> f0)
{
    VoiceSrc s(symbol, "C4");
    for (std::size_t i = 0; i < 5; ++i) {
        s.p[i] = markers[i];
    }
    s.material = materialWith(std::move(f0));
    return s;
}

std::vector<float> voiced(std::size_t n, std::initializer_list<std::size_t> unvoicedFrames = {})
{
    std::vector<float> f0(n, 220.0f);
    for (const std::size_t i : unvoicedFrames) {
        f0[i] = 0.0f;
    }
    return f0;
}

struct Outcome {
    bool ok;
    std::vector<std::int32_t> codes;
    std::vector<std::string> messages;
};

Outcome checkVoice(const VoiceSrc& s)
{
    SourceChecker c;
    c.load(kDictionary);
    const bool ok = c.checkVoiceSource(s.symbol, s.pitch, &s, false);
    return {ok, c.codes, c.messages};
}

Outcome checkContinuant(const std::string& symbol, std::int32_t q0, std::int32_t q1, std::vector<float> f0,
                        const std::string& pitch = "C4")
{
    ContinuantSrc s(symbol, pitch);
    s.q[0] = q0;
    s.q[1] = q1;
    s.material = materialWith(std::move(f0));
    SourceChecker c;
    c.load(kDictionary);
    const bool ok = c.checkContinuantSource(symbol, pitch, &s, false);
    return {ok, c.codes, c.messages};
}

} // namespace

TEST(SourceCheckRules, PitchNames)
{
    for (const char* good : {"C4", "D#4", "Db4", "G0", "A9"}) {
        EXPECT_TRUE(isValidPitchName(good)) << good;
    }
    for (const char* bad : {"C10", "H4", "c4", "D#", "C", "", "C#44", "Cb", "C x", "B#a"}) {
        EXPECT_FALSE(isValidPitchName(bad)) << bad;
    }
}

TEST(SourceCheckRules, Symbols)
{
    EXPECT_TRUE(isValidVoiceSymbol("ka"));
    EXPECT_TRUE(isValidVoiceSymbol("")); // nothing forbidden in it
    for (const char c : std::string("_.\\/:*?\"<>|,;")) {
        EXPECT_FALSE(isValidVoiceSymbol(std::string("k") + c + "a")) << c;
    }
    EXPECT_TRUE(isValidContinuantSymbol("a_n"));
    EXPECT_FALSE(isValidContinuantSymbol("a_"));    // empty second part
    EXPECT_FALSE(isValidContinuantSymbol("_n"));
    EXPECT_FALSE(isValidContinuantSymbol("a_n_i")); // three parts
    EXPECT_FALSE(isValidContinuantSymbol("an"));
    EXPECT_FALSE(isValidContinuantSymbol("a_n?"));
}

TEST(VoiceSourceCheck, MarkerOrderAndLengthComeFirst)
{
    EXPECT_TRUE(checkVoice(voiceSource("ka", {1, 5, 10, 30, 18}, voiced(48))).ok);
    const auto equal = checkVoice(voiceSource("ka", {1, 10, 10, 30, 18}, voiced(48)));
    EXPECT_FALSE(equal.ok);
    EXPECT_EQ(equal.codes, std::vector<std::int32_t>{0});
    EXPECT_EQ(equal.messages, std::vector<std::string>{"type=CV  pitch=C4  symbol= ka"});
    EXPECT_EQ(checkVoice(voiceSource("ka", {1, 5, 10, 30, 18}, voiced(47))).codes, std::vector<std::int32_t>{0});
    EXPECT_EQ(checkVoice(voiceSource("ka", {-1, 5, 10, 30, 18}, voiced(48))).codes, std::vector<std::int32_t>{0});
}

TEST(VoiceSourceCheck, VoicingOfTheConsonantStartAndTheWholeVowel)
{
    // na: n is voiced, so frames p0 and p0 + 1 must be voiced.
    EXPECT_EQ(checkVoice(voiceSource("na", {1, 5, 10, 30, 18}, voiced(48, {2}))).codes, std::vector<std::int32_t>{1});
    // -na: the hyphen skips the consonant test.
    EXPECT_TRUE(checkVoice(voiceSource("-na", {1, 5, 10, 30, 18}, voiced(48, {2}))).ok);
    // ka: k is not voiced; only the vowel is tested, both ends included.
    EXPECT_TRUE(checkVoice(voiceSource("ka", {1, 5, 10, 30, 18}, voiced(48, {1, 2, 9, 31}))).ok);
    EXPECT_EQ(checkVoice(voiceSource("ka", {1, 5, 10, 30, 18}, voiced(48, {30}))).codes, std::vector<std::int32_t>{2});
    EXPECT_EQ(checkVoice(voiceSource("ka", {1, 5, 10, 30, 18}, voiced(48, {10}))).codes, std::vector<std::int32_t>{2});
}

TEST(VoiceSourceCheck, IndependentUnitsOnlyNeedTheirRange)
{
    const auto ok = checkVoice(voiceSource("ah", {3, 40, 40, 40, 0}, std::vector<float>(40, 0.0f)));
    EXPECT_TRUE(ok.ok);
    const auto bad = checkVoice(voiceSource("ah", {40, 40, 40, 40, 0}, std::vector<float>(40, 0.0f)));
    EXPECT_EQ(bad.codes, std::vector<std::int32_t>{0});
    EXPECT_EQ(bad.messages, std::vector<std::string>{"type=INDIE  pitch=C4  symbol= ah"});
}

TEST(VoiceSourceCheck, PitchIsCheckedBeforeSymbolAndAMissingSourceIsReported)
{
    SourceChecker c;
    c.load(kDictionary);
    EXPECT_FALSE(c.checkVoiceSource("k_a", "D#", nullptr, true));
    EXPECT_EQ(c.codes, std::vector<std::int32_t>{5});
    EXPECT_FALSE(c.checkVoiceSource("k_a", "D#4", nullptr, true));
    EXPECT_TRUE(c.checkVoiceSource("ka", "D#4", nullptr, true));
    EXPECT_FALSE(c.checkVoiceSource("ka", "D#4", nullptr, false));
    EXPECT_EQ(c.codes, (std::vector<std::int32_t>{5, 4, -2}));
    EXPECT_EQ(c.messages.back(), "type=CV  pitch=D#4  symbol= ka");
}

TEST(ContinuantSourceCheck, CodesInTheirOrder)
{
    EXPECT_TRUE(checkContinuant("a_n", 2, 10, voiced(20)).ok);
    EXPECT_EQ(checkContinuant("a_", 2, 10, voiced(20)).codes, std::vector<std::int32_t>{4});
    EXPECT_EQ(checkContinuant("a_n_i", 2, 10, voiced(20)).codes, std::vector<std::int32_t>{4});
    EXPECT_EQ(checkContinuant("a_n", -1, 10, voiced(20)).codes, std::vector<std::int32_t>{0});
    EXPECT_EQ(checkContinuant("a_n", 12, 10, voiced(20)).codes, std::vector<std::int32_t>{0});
    EXPECT_EQ(checkContinuant("a_n", 2, 10, voiced(20, {3})).codes, std::vector<std::int32_t>{3});
    // Into a voiced consonant or a vowel the whole continuant must be voiced: frames q0 … q0 + q1 − 1.
    EXPECT_EQ(checkContinuant("a_n", 2, 10, voiced(20, {11})).codes, std::vector<std::int32_t>{7});
    EXPECT_EQ(checkContinuant("a_i", 2, 10, voiced(20, {11})).codes, std::vector<std::int32_t>{6});
    EXPECT_TRUE(checkContinuant("a_i", 2, 10, voiced(20, {12})).ok);
    EXPECT_TRUE(checkContinuant("a_k", 2, 10, voiced(20, {11})).ok); // k is unvoiced: no test
    const auto line = checkContinuant("a_n", 2, 10, voiced(20), "Db3");
    EXPECT_TRUE(line.ok);
    EXPECT_EQ(checkContinuant("a_n", 2, 10, voiced(20, {2}), "Db3").messages,
              std::vector<std::string>{"type=VX  pitch=Db3  symbol= a_n"});
}

TEST(VoiceSourceFrames, TimesBecomeTruncatedFrames)
{
    EXPECT_EQ(frameOfTime(0.0029f), 0);
    EXPECT_EQ(frameOfTime(1.0f), 344);
    EXPECT_EQ(framesBetween(1.0f, 1.0f + 0.055f), 18);
    EXPECT_EQ(frameOfTime(0.0f), 0);
    EXPECT_EQ(frameOfTime(std::nanf("")), INT32_MIN);
}

TEST(VoiceUnitAnalysis, WritesTheModelWithItsMarkersOnlyWhenTheChecksPass)
{
    lvtest::TempDir dir;
    lvtest::SungVowel v;
    v.seconds = 1.2;
    const auto samples = lvtest::singVowel(v);
    const F0Stage steady = [](std::span<const float> s, bool independent, Tessarin::FastVector<float>& f0) {
        f0.assign(std::uint32_t(s.size() / 128 + 1), independent ? 0.0f : 220.0f);
    };
    TSSrcCheckResult result;
    analyseVoiceUnit(kDictionary, samples, result, dir.path(), "ka", "C4", 0.05f, 0.1f, 0.2f, 1.0f, 1.055f, false,
                     steady);
    ASSERT_TRUE(result.ok);
    EXPECT_TRUE(result.codes.empty());
    ASSERT_TRUE(modelExists(dir.path(), "ka", "C4"));
    const auto source = loadVoiceSource(dir.path(), "ka", "C4");
    ASSERT_TRUE(source);
    EXPECT_EQ(source->p, (std::array<std::int32_t, 8>{17, 34, 68, 344, 18, 0, -1, -1}));
    EXPECT_EQ(source->material->f0.size(), samples.size() / 128 + 1);
    EXPECT_EQ(source->material->packedPeaks.frameCount, 0); // the file carries no peaks

    // INDIE: p1 = p2 = p3 and p4 = 0.
    analyseVoiceUnit(kDictionary, samples, result, dir.path(), "ah", "C4", 0.05f, 1.0f, 1.0f, 1.0f, 1.0f, true,
                     steady);
    ASSERT_TRUE(result.ok);
    const auto indie = loadVoiceSource(dir.path(), "ah", "C4");
    ASSERT_TRUE(indie);
    EXPECT_EQ(indie->p, (std::array<std::int32_t, 8>{17, 344, 344, 344, 0, 0, -1, -1}));

    // A model that cannot be written is an error of its own, not a success that goes missing later.
    analyseVoiceUnit(kDictionary, samples, result, dir / "no" / "folder", "ka", "C4", 0.05f, 0.1f, 0.2f, 1.0f,
                     1.055f, false, steady);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.codes, std::vector<std::int32_t>{-1});
    EXPECT_EQ(result.messages, std::vector<std::string>{"type=CV  pitch=C4  symbol= ka"});

    // A failed check writes nothing and reports its code; a failed pre-check analyses nothing.
    analyseVoiceUnit(kDictionary, samples, result, dir.path(), "na", "D4", 0.05f, 0.1f, 0.1f, 1.0f, 1.055f, false,
                     steady);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.codes, std::vector<std::int32_t>{0});
    EXPECT_FALSE(modelExists(dir.path(), "na", "D4"));
    bool analysed = false;
    const F0Stage watching = [&](std::span<const float>, bool, Tessarin::FastVector<float>& f0) {
        analysed = true;
        f0.assign(1, 0.0f);
    };
    analyseVoiceUnit(kDictionary, samples, result, dir.path(), "ka", "H4", 0.05f, 0.1f, 0.2f, 1.0f, 1.055f, false,
                     watching);
    EXPECT_FALSE(analysed);
    EXPECT_EQ(result.codes, std::vector<std::int32_t>{5});
    EXPECT_EQ(result.messages, std::vector<std::string>{"type=CV  pitch=H4  symbol= ka"});
}

TEST(ContinuantUnitAnalysis, WritesSevenMarkers)
{
    lvtest::TempDir dir;
    lvtest::SungVowel v;
    v.seconds = 0.6;
    const auto samples = lvtest::singVowel(v);
    const F0Stage steady = [](std::span<const float> s, bool, Tessarin::FastVector<float>& f0) {
        f0.assign(std::uint32_t(s.size() / 128 + 1), 220.0f);
    };
    TSSrcCheckResult result;
    analyseContinuantUnit(kDictionary, samples, result, dir.path(), "a_n", "C4", 0.1f, 0.4f, steady);
    ASSERT_TRUE(result.ok);
    const auto source = loadContinuantSource(dir.path(), "a_n", "C4");
    ASSERT_TRUE(source);
    EXPECT_EQ(source->q, (std::array<std::int32_t, 7>{34, 103, -1, -1, -2, -3, -4}));
    EXPECT_FALSE(loadContinuantSource(dir.path(), "a_i", "C4"));
}
