#include "builder/BuildTextRenderer.h"
#include "builder/VoiceBankBuilder.h"

#include <gtest/gtest.h>

TEST(BuilderTexts, PitchNormalisationAndCodeTexts)
{
    EXPECT_EQ(normalisePitch("f#4"), "F#4");
    EXPECT_EQ(normalisePitch("EB3"), "Eb3");
    EXPECT_EQ(normalisePitch("e4"), "E4");
    EXPECT_EQ(normalisePitch("c"), "c");
    EXPECT_EQ(normalisePitch(""), "");
    EXPECT_EQ(resultCodeText(-2), "Model file not exists.");
    EXPECT_EQ(resultCodeText(-1), "File create failed.");
    EXPECT_EQ(resultCodeText(2), "Unvoiced part exists in vowel.");
    EXPECT_EQ(resultCodeText(7), "Unvoiced part exists in continuant to voiced consonant.");
    EXPECT_EQ(resultCodeText(8), "");
}
