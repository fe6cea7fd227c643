#include "model/CTsVoiceCfg.h"

#include "model/ModelTestSupport.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using lvtest::FixedClockAndZone;
using lvtest::near;

constexpr double kRoundTrip = 1e-12; // one subtraction and one addition of numbers below 10 [s]

Json::Value parsed(const std::string& text)
{
    Json::Value v;
    EXPECT_TRUE(lvjson::parse(text, v)) << text;
    return v;
}

CTsVoiceCfg_CV sampleCv()
{
    CTsVoiceCfg_CV cv;
    cv.wavName = "ka.wav";
    cv.symbol = "ka";
    cv.pitch = "C4";
    cv.connectPoint = 0.5;
    cv.preutterance = 0.625;
    cv.vowelStart = 0.75;
    cv.vowelEnd = 1.0;
    cv.tailPoint = 5.0; // stale: the tail is reset from the vowel end on writing
    cv.updateTime = 0;
    return cv;
}

} // namespace

TEST(VoiceCfgWriting, CvTextIsStyledSortedWithCrLfAndRelativeMarkers)
{
    FixedClockAndZone clock(0);
    CTsVoiceCfg_CV cv = sampleCv();
    // startTime = 0.5 - 0.05999999865889549; markers minus startTime; 17 significant digits.
    const std::string expected =
        "{\r\n"
        "   \"connectPoint\" : 0.059999998658895493,\r\n"
        "   \"endTime\" : 1.0599999986588955,\r\n"
        "   \"pitch\" : \"C4\",\r\n"
        "   \"preutterance\" : 0.18499999865889549,\r\n"
        "   \"srcType\" : \"CV\",\r\n"
        "   \"startTime\" : 0.44000000134110451,\r\n"
        "   \"symbol\" : \"ka\",\r\n"
        "   \"tailPoint\" : 0.61499999731779109,\r\n"
        "   \"updateTime\" : \"1970-01-01 08:00:00\",\r\n"
        "   \"vowelEnd\" : 0.55999999865889549,\r\n"
        "   \"vowelStart\" : 0.30999999865889549,\r\n"
        "   \"wavName\" : \"ka.wav\"\r\n"
        "}\r\n";
    EXPECT_EQ(cv.toJsonText(), expected);
}

TEST(VoiceCfgWriting, RegionAndCvTailAreRecomputedInTheEntry)
{
    CTsVoiceCfg_CV cv = sampleCv();
    cv.startTime = 9.0;
    cv.endTime = 9.5;
    cv.toJsonValue();
    EXPECT_EQ(cv.startTime, 0.5 - 0.05999999865889549);
    EXPECT_EQ(cv.endTime, 1.0 + 0.05999999865889549);
    EXPECT_EQ(cv.tailPoint, 1.0 + 0.054999998658895495);
    EXPECT_EQ(cv.connectPoint, 0.5) << "markers themselves are not moved";

    CTsVoiceCfg_VC vx;
    vx.connectPoint = 1.25;
    vx.tailPoint = 1.5;
    const Json::Value v = vx.toJsonValue();
    EXPECT_EQ(vx.startTime, 1.25 - 0.05999999865889549);
    EXPECT_EQ(vx.endTime, 1.5 + 0.05999999865889549);
    EXPECT_EQ(v["srcType"].asString(), "VX");
    EXPECT_EQ(v["tailPoint"].asDouble(), 1.5 - vx.startTime);
    EXPECT_FALSE(v.isMember("vowelEnd"));

    CTsVoiceCfg_INDIE in;
    in.startPoint = 2.0;
    in.endPoint = 2.75;
    const Json::Value w = in.toJsonValue();
    EXPECT_EQ(w["srcType"].asString(), "INDIE");
    EXPECT_EQ(w["startTime"].asDouble(), 2.0 - 0.05999999865889549);
    EXPECT_EQ(w["endTime"].asDouble(), 2.75 + 0.05999999865889549);
    EXPECT_EQ(w["endPoint"].asDouble(), 2.75 - (2.0 - 0.05999999865889549));
}

TEST(VoiceCfgWriting, MarginsAreTheWidenedSinglePrecisionConstants)
{
    EXPECT_EQ(kVoiceCfgMargin, double(0.06f));
    EXPECT_EQ(kVoiceCfgTailMargin, double(0.06f) - 0.005);
}

TEST(VoiceCfgReading, WriteThenReadReproducesMarkersAndRegion)
{
    FixedClockAndZone clock(1700000000);
    CTsVoiceCfg_CV cv = sampleCv();
    cv.updateTime = 1700000000;
    const std::string text = cv.toJsonText();

    CTsVoiceCfg_CV back;
    ASSERT_TRUE(back.fromJsonText(text));
    EXPECT_EQ(back.srcType, "CV");
    EXPECT_EQ(back.wavName, "ka.wav");
    EXPECT_EQ(back.symbol, "ka");
    EXPECT_EQ(back.pitch, "C4");
    EXPECT_EQ(back.updateTime, 1700000000);
    EXPECT_TRUE(near(back.connectPoint, 0.5, kRoundTrip, "relative form"));
    EXPECT_TRUE(near(back.preutterance, 0.625, kRoundTrip, "relative form"));
    EXPECT_TRUE(near(back.vowelStart, 0.75, kRoundTrip, "relative form"));
    EXPECT_TRUE(near(back.vowelEnd, 1.0, kRoundTrip, "relative form"));
    EXPECT_TRUE(near(back.tailPoint, 1.0 + 0.054999998658895495, kRoundTrip, "reset tail"));
    EXPECT_TRUE(near(back.startTime, 0.44000000134110451, kRoundTrip, "absolute"));
    EXPECT_TRUE(near(back.endTime, 1.0599999986588955, kRoundTrip, "absolute"));
}

TEST(VoiceCfgReading, MarkersFollowAHandEditedStartTime)
{
    CTsVoiceCfg_INDIE in;
    ASSERT_TRUE(in.fromJsonText(R"({"srcType":"INDIE","wavName":"b.wav","symbol":"br1","pitch":"C4",
        "startTime":10.0,"endTime":11.0,"startPoint":0.25,"endPoint":0.75,"updateTime":"2024-02-29 12:00:00"})"));
    EXPECT_EQ(in.startPoint, 10.25);
    EXPECT_EQ(in.endPoint, 10.75);
    EXPECT_EQ(in.endTime, 11.0);
}

TEST(VoiceCfgReading, BeatPointIsTheOldNameOfThePreutterance)
{
    const std::string common = R"("srcType":"CV","wavName":"w.wav","symbol":"ka","pitch":"C4","startTime":1.0,
        "endTime":2.0,"connectPoint":0.0625,"vowelStart":0.5,"vowelEnd":0.75,"tailPoint":0.8)";
    CTsVoiceCfg_CV legacy;
    ASSERT_TRUE(legacy.fromJsonText("{" + common + R"(,"beatPoint":0.25})"));
    EXPECT_EQ(legacy.preutterance, 1.25);

    CTsVoiceCfg_CV both;
    ASSERT_TRUE(both.fromJsonText("{" + common + R"(,"beatPoint":0.25,"preutterance":0.375})"));
    EXPECT_EQ(both.preutterance, 1.375);

    CTsVoiceCfg_CV neither;
    EXPECT_FALSE(neither.fromJsonText("{" + common + "}"));

    CTsVoiceCfg_CV written = legacy;
    const Json::Value out = written.toJsonValue();
    EXPECT_TRUE(out.isMember("preutterance"));
    EXPECT_FALSE(out.isMember("beatPoint")) << "only the current name is written";
}

TEST(VoiceCfgReading, VcIsReadAsVxAndWrittenBackAsVx)
{
    const std::string text = R"({"srcType":"VC","wavName":"w.wav","symbol":"a_k","pitch":"C4","startTime":1.0,
        "endTime":2.0,"connectPoint":0.25,"tailPoint":0.5})";
    CTsVoiceCfg probe;
    ASSERT_TRUE(probe.fromJsonText(text));
    EXPECT_EQ(probe.srcType, "VX");
    EXPECT_EQ(probe.kind(), 2);

    CTsVoiceCfg_VC vx;
    ASSERT_TRUE(vx.fromJsonText(text));
    EXPECT_EQ(vx.srcType, "VX");
    EXPECT_EQ(vx.toJsonValue()["srcType"].asString(), "VX");
}

TEST(VoiceCfgReading, UpdateTimeIsLocalTimeAndDefaultsToNow)
{
    FixedClockAndZone clock(1234567);
    const std::string base = R"("srcType":"INDIE","wavName":"w.wav","symbol":"s","pitch":"C4","startTime":1.0,
        "endTime":2.0,"startPoint":0.25,"endPoint":0.5)";
    const auto readTime = [&](const std::string& extra) {
        CTsVoiceCfg_INDIE e;
        EXPECT_TRUE(e.fromJsonText("{" + base + extra + "}")) << extra;
        return e.updateTime;
    };
    // 2024-02-29 12:00:00 at UTC+8 is 04:00:00 UTC.
    EXPECT_EQ(readTime(R"(,"updateTime":"2024-02-29 12:00:00")"), 1709179200);
    EXPECT_EQ(readTime(R"(,"updateTime":"1970-01-01 08:00:00")"), 0);
    EXPECT_EQ(readTime(""), 1234567) << "missing: now";
    EXPECT_EQ(readTime(R"(,"updateTime":null)"), 1234567) << "null counts as missing";
    EXPECT_EQ(readTime(R"(,"updateTime":"1899-12-31 23:59:59")"), 0) << "before 1900";
    EXPECT_EQ(readTime(R"(,"updateTime":"yesterday")"), 1234567) << "unreadable: as if missing";
    EXPECT_EQ(readTime(R"(,"updateTime":"2024-13-01 00:00:00")"), 1234567);
    EXPECT_EQ(readTime(R"(,"updateTime":"2024-02-29 12:00:00 extra")"), 1234567);
}

TEST(VoiceCfgReading, UpdateTimeTextIsLocal)
{
    FixedClockAndZone clock(0);
    CTsVoiceCfg e;
    e.updateTime = 1700000000; // 2023-11-14 22:13:20 UTC
    EXPECT_EQ(e.updateTimeText(), "2023-11-15 06:13:20");
    e.touch();
    EXPECT_EQ(e.updateTime, 0);
    EXPECT_EQ(e.updateTimeText(), "1970-01-01 08:00:00");
}

TEST(VoiceCfgReading, IncompleteOrMistypedObjectsFailWithoutThrowing)
{
    const std::string full = R"("srcType":"VX","wavName":"w.wav","symbol":"a_k","pitch":"C4","startTime":1.0,
        "endTime":2.0,"connectPoint":0.25,"tailPoint":0.5)";
    CTsVoiceCfg_VC ok;
    EXPECT_TRUE(ok.fromJsonText("{" + full + "}"));

    for (const char* member : {"srcType", "wavName", "symbol", "pitch", "startTime", "endTime", "connectPoint", "tailPoint"}) {
        Json::Value v = parsed("{" + full + "}");
        v.removeMember(member);
        CTsVoiceCfg_VC e;
        EXPECT_FALSE(e.fromJsonValue(v)) << "without " << member;
        v[member] = Json::Value(Json::nullValue);
        EXPECT_FALSE(e.fromJsonValue(v)) << member << " null";
    }
    Json::Value mistyped = parsed("{" + full + "}");
    mistyped["startTime"] = "1.0";
    CTsVoiceCfg_VC e;
    EXPECT_FALSE(e.fromJsonValue(mistyped)) << "a time must be a number";
    mistyped = parsed("{" + full + "}");
    mistyped["symbol"] = Json::Value(Json::arrayValue);
    EXPECT_FALSE(e.fromJsonValue(mistyped));

    for (const char* notAnObject : {"[1,2]", "3", "\"text\"", "null"}) {
        CTsVoiceCfg_CV cv;
        EXPECT_FALSE(cv.fromJsonText(notAnObject)) << notAnObject;
    }
    CTsVoiceCfg_CV cv;
    EXPECT_FALSE(cv.fromJsonText("{\"srcType\":"));
    EXPECT_FALSE(cv.fromJsonText(std::string(5000, '['))) << "deep nesting is refused, not a crash";
}

TEST(VoiceCfgSymbols, SplitAndJoinVcSymbols)
{
    const auto split = [](const std::string& symbol) {
        CTsVoiceCfg_VC vx;
        vx.symbol = symbol;
        std::string vowel = "old", consonant = "old";
        vx.splitVcSymbol(vowel, consonant);
        return std::make_pair(vowel, consonant);
    };
    EXPECT_EQ(split("a_k"), std::make_pair(std::string("a"), std::string("k")));
    EXPECT_EQ(split("a_"), std::make_pair(std::string("a"), std::string("")));
    EXPECT_EQ(split("_k"), std::make_pair(std::string(""), std::string("k")));
    EXPECT_EQ(split("a"), std::make_pair(std::string(""), std::string("")));
    EXPECT_EQ(split(""), std::make_pair(std::string(""), std::string("")));
    EXPECT_EQ(split("a_b_c"), std::make_pair(std::string("a"), std::string("b_c")));

    CTsVoiceCfg_VC vx;
    vx.joinVcSymbol("a", "k");
    EXPECT_EQ(vx.symbol, "a_k");
    vx.joinVcSymbol("", "");
    EXPECT_EQ(vx.symbol, "_");
}

TEST(VoiceCfgSymbols, KindsAndKeys)
{
    EXPECT_EQ(CTsVoiceCfg_CV().kind(), 1);
    EXPECT_EQ(CTsVoiceCfg_VC().kind(), 2);
    EXPECT_EQ(CTsVoiceCfg_INDIE().kind(), 3);
    CTsVoiceCfg bare;
    EXPECT_EQ(bare.kind(), 0);
    bare.srcType = "cv";
    EXPECT_EQ(bare.kind(), 0) << "kind names are case-sensitive";

    CTsVoiceCfg_CV cv;
    cv.pitch = "C4";
    cv.symbol = "ka";
    EXPECT_EQ(entryKey(cv), "C4->ka");
    EXPECT_EQ(cv.entryKey(), "C4->ka");
}

TEST(VoiceCfgCopy, CloneAndAssignCopyEveryFieldOfTheSameKindOnly)
{
    CTsVoiceCfg_CV cv = sampleCv();
    cv.updateTime = 77;
    cv.startTime = 0.1;
    const auto copy = cv.clone();
    const auto* c = dynamic_cast<const CTsVoiceCfg_CV*>(copy.get());
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->updateTime, 77);
    EXPECT_EQ(c->startTime, 0.1);
    EXPECT_EQ(c->tailPoint, 5.0);
    EXPECT_EQ(c->vowelStart, 0.75);
    EXPECT_EQ(c->wavName, "ka.wav");

    CTsVoiceCfg_INDIE in;
    in.symbol = "keep";
    EXPECT_FALSE(in.assignFrom(cv));
    EXPECT_EQ(in.symbol, "keep");
    EXPECT_EQ(in.srcType, "INDIE");
}

TEST(VoiceCfgReading, InfiniteAndNotANumberTimesCountAsMissing)
{
    // jsoncpp reads 1e999 as infinity and, leniently, NaN and Infinity literals; none is a time.
    for (const char* bad : {"1e999", "-1e999", "NaN", "-Infinity"}) {
        const std::string text = std::string(R"({"srcType":"VX","wavName":"w.wav","symbol":"a_k","pitch":"C4",)") +
                                 R"("startTime":1.0,"endTime":2.0,"connectPoint":)" + bad + R"(,"tailPoint":0.5})";
        CTsVoiceCfg_VC e;
        EXPECT_FALSE(e.fromJsonText(text)) << bad;
        EXPECT_TRUE(std::isfinite(e.connectPoint)) << bad;
    }
}
