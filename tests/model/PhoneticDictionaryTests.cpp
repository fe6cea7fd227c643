#include "model/PhoneticDictionary.h"

#include "model/EntryNaming.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using Triple = std::array<std::string, 3>;
using Pair = std::pair<std::string, std::string>;

// A dictionary that passes both checks, for tests that spoil one list.
PhoneticDictionary goodDictionary()
{
    PhoneticDictionary d;
    d.parseSymbolList("ka,k,a\r\nsa,s,a\r\na,,a");
    d.parseVowelList("a,a\r\no,o");
    d.parseVoicedConsonantList("n");
    d.parseUnvoicedConsonantList("k\r\ns");
    d.parseIndependentList("br1");
    d.parseTailList("-");
    return d;
}

using Place = PhoneticDictionary::Place;

std::string repeatsMessage(const PhoneticDictionary& d, Place* where = nullptr)
{
    std::string message = "untouched";
    EXPECT_FALSE(d.checkRepeats(message, where));
    return message;
}

std::string charactersMessage(const PhoneticDictionary& d, Place* where = nullptr)
{
    std::string message = "untouched";
    EXPECT_FALSE(d.checkCharacters(message, where));
    return message;
}

} // namespace

TEST(DictionaryParsing, SymbolLinesNeedExactlyThreeFields)
{
    PhoneticDictionary d;
    d.parseSymbolList("ka, k, a\r\nk a,k,a,x\n\nsa,s\r\n ta , t ,a \r\n,,");
    EXPECT_EQ(d.syllables, (std::vector<Triple>{{"ka", "k", "a"}, {"ta", "t", "a"}, {"", "", ""}}));
    d.parseSymbolList("");
    EXPECT_TRUE(d.syllables.empty()) << "each parse starts from an empty list";
}

TEST(DictionaryParsing, VowelLinesNeedExactlyTwoFields)
{
    PhoneticDictionary d;
    d.parseVowelList("a,a\r\no\r\ni,i,i\r\n e , \r\n");
    EXPECT_EQ(d.vowels, (std::vector<Pair>{{"a", "a"}, {"e", ""}}));
}

TEST(DictionaryParsing, SingleSymbolListsKeepCommasAndDropBlankLines)
{
    PhoneticDictionary d;
    d.parseVoicedConsonantList("k,g\r\n\r\n n \r\n");
    EXPECT_EQ(d.voicedConsonants, (std::vector<std::string>{"k,g", "n"}));
    d.parseTailList("\r\n");
    EXPECT_TRUE(d.tails.empty());
}

TEST(DictionaryParsing, FromProjectReadsTheSixFields)
{
    TSTBCurrentModel::CTsToolBoxProjModel p;
    p.symbolList = "ka,k,a";
    p.vowelList = "a,a";
    p.voicedConsonantList = "g";
    p.unvoicedConsonantList = "k";
    p.independentList = "br1\r\nbr2";
    p.tailList = "-";
    const PhoneticDictionary d = PhoneticDictionary::fromProject(p);
    EXPECT_EQ(d.serialise(), "ka,k,a|g|k|a,a|br1,br2|-");
    EXPECT_TRUE(d.isIndependent("br2"));
    EXPECT_FALSE(d.isIndependent("br"));
    EXPECT_FALSE(d.isIndependent("BR1"));
}

TEST(DictionaryRepeats, AGoodDictionaryPasses)
{
    std::string message = "untouched";
    EXPECT_TRUE(goodDictionary().checkRepeats(message));
    EXPECT_TRUE(goodDictionary().checkCharacters(message));
    EXPECT_EQ(message, "untouched");
}

TEST(DictionaryRepeats, NamesTheListsInvolved)
{
    PhoneticDictionary d = goodDictionary();
    d.parseSymbolList("ka,k,a\r\nka,g,a");
    EXPECT_EQ(repeatsMessage(d), "Error! Repeat 'ka' in 'Symbol list'");

    d = goodDictionary();
    d.parseVowelList("a,a\r\na,o");
    EXPECT_EQ(repeatsMessage(d), "Error! Repeat 'a' in 'Vowel list'");

    d = goodDictionary(); // vowel a and symbol a coexist; a voiced a clashes with the vowel
    d.parseSymbolList("ka,k,a");
    d.parseVoicedConsonantList("a");
    EXPECT_EQ(repeatsMessage(d), "Error! Repeat 'a' in 'Vowel list' and 'Voiced Consonant list'");
    d.parseSymbolList("ka,k,a\r\na,,a"); // the symbol set is asked first
    EXPECT_EQ(repeatsMessage(d), "Error! Repeat 'a' in 'Symbol list' and 'Voiced Consonant list'");

    d = goodDictionary();
    d.parseIndependentList("ka");
    EXPECT_EQ(repeatsMessage(d), "Error! Repeat 'ka' in 'Symbol list' and 'Independent symbol list'");

    d = goodDictionary();
    d.parseTailList("s");
    EXPECT_EQ(repeatsMessage(d), "Error! Repeat 's' in 'Unvoiced Consonant list' and 'Tail symbol list'");

    d = goodDictionary();
    d.parseUnvoicedConsonantList("k\r\nk");
    EXPECT_EQ(repeatsMessage(d), "Error! Repeat 'k' in 'Unvoiced Consonant list'");

    d = goodDictionary(); // the first repeat in list order is the one reported
    d.parseVoicedConsonantList("n\r\nn");
    d.parseTailList("br1");
    EXPECT_EQ(repeatsMessage(d), "Error! Repeat 'n' in 'Voiced Consonant list'");
}

TEST(DictionaryRepeats, ThePlaceIsTheLineOfTheSecondOccurrenceInItsText)
{
    // Blank and malformed lines count as lines of the text, though they give no symbol.
    PhoneticDictionary d = goodDictionary();
    d.parseSymbolList("ka,k,a\r\n\r\nbad line\r\nka,g,a");
    Place where;
    repeatsMessage(d, &where);
    EXPECT_EQ(where, (Place{1, 4}));

    d = goodDictionary();
    d.parseTailList("\r\n-\r\n s ");
    repeatsMessage(d, &where);
    EXPECT_EQ(where, (Place{6, 3})); // s of the unvoiced list met again in the tail list

    d = goodDictionary();
    d.parseVowelList("a\r\no"); // no line of two fields: the list as a whole
    repeatsMessage(d, &where);
    EXPECT_EQ(where, (Place{2, 0}));
}

TEST(DictionaryRepeats, EmptyListsVowelsFirst)
{
    EXPECT_EQ(repeatsMessage(PhoneticDictionary()),
              "Error! Vowel list is empty, there might be format error. Please refer to the manual.");

    PhoneticDictionary d = goodDictionary();
    d.parseSymbolList("ka,k\r\nsa,s"); // every line has two fields: nothing left
    EXPECT_EQ(repeatsMessage(d),
              "Error! Symbol list is empty, there might be format error. Please refer to the manual.");

    d = goodDictionary(); // a repeat is reported before emptiness
    d.parseVowelList("");
    d.parseTailList("n");
    EXPECT_EQ(repeatsMessage(d), "Error! Repeat 'n' in 'Voiced Consonant list' and 'Tail symbol list'");
}

TEST(DictionaryCharacters, EachForbiddenCharacterIsNamed)
{
    const std::string forbidden = "_.\\/:*?\"<>|,;";
    for (const char c : forbidden) {
        PhoneticDictionary d = goodDictionary();
        const std::string symbol = std::string("b") + c + "r";
        d.independents = {symbol}; // set directly: a comma could not come through the parser's lists 1 and 2
        EXPECT_EQ(charactersMessage(d),
                  "Error symbol!  '" + std::string(1, c) + "' exists in symbol: " + symbol + " , in 'Independent symbol list'");
    }
}

TEST(DictionaryCharacters, OrderOfCharactersAndLists)
{
    PhoneticDictionary d = goodDictionary();
    d.parseIndependentList("br.1");
    EXPECT_EQ(charactersMessage(d), "Error symbol!  '.' exists in symbol: br.1 , in 'Independent symbol list'");

    d = goodDictionary(); // ";" stands before "_" in the symbol but after it in the test order
    d.parseTailList("x;y_z");
    EXPECT_EQ(charactersMessage(d), "Error symbol!  '_' exists in symbol: x;y_z , in 'Tail symbol list'");

    d = goodDictionary(); // a comma-joined line of a single-symbol list
    d.parseVoicedConsonantList("k,g");
    EXPECT_EQ(charactersMessage(d), "Error symbol!  ',' exists in symbol: k,g , in 'Voiced Consonant list'");

    d = goodDictionary(); // the earlier list is reported first
    d.parseSymbolList("k:a,k,a");
    d.parseVowelList("a/,a");
    EXPECT_EQ(charactersMessage(d), "Error symbol!  ':' exists in symbol: k:a , in 'Symbol list'");
    d.parseSymbolList("ka,k,a");
    EXPECT_EQ(charactersMessage(d), "Error symbol!  '/' exists in symbol: a/ , in 'Vowel list'");

    d = goodDictionary(); // only the first field of symbol and vowel lines is checked
    d.parseSymbolList("ka,k_,a.");
    d.parseVowelList("a,a?");
    std::string message;
    EXPECT_TRUE(d.checkCharacters(message));
}

TEST(DictionaryCharacters, PartsMustNotBreakTheSerialisedText)
{
    // "ka,k|x,a" would serialise to "ka,k|x,a|…" and give the engine seven sections.
    PhoneticDictionary d = goodDictionary();
    d.parseSymbolList("ka,k|x,a");
    EXPECT_EQ(charactersMessage(d), "Error symbol!  '|' exists in symbol: k|x , in 'Symbol list'");
    d.parseSymbolList("ka,k,a;");
    EXPECT_EQ(charactersMessage(d), "Error symbol!  ';' exists in symbol: a; , in 'Symbol list'");
    d.parseSymbolList("ka,k,a");
    d.parseVowelList("a,a|");
    EXPECT_EQ(charactersMessage(d), "Error symbol!  '|' exists in symbol: a| , in 'Vowel list'");

    d.parseTailList("t.");  // every symbol field is checked before any part
    EXPECT_EQ(charactersMessage(d), "Error symbol!  '.' exists in symbol: t. , in 'Tail symbol list'");

    // The place of the line that holds the character.
    Place where;
    d = goodDictionary();
    d.parseSymbolList("ka,k,a\r\n\r\nsa,s|x,a");
    charactersMessage(d, &where);
    EXPECT_EQ(where, (Place{1, 3}));
    d = goodDictionary();
    d.parseIndependentList("br1\r\n\r\n\r\nbr.2");
    charactersMessage(d, &where);
    EXPECT_EQ(where, (Place{5, 4}));
}

TEST(DictionarySerialise, SectionsInTheEnginesOrder)
{
    PhoneticDictionary d;
    d.parseSymbolList("ka,k,a\r\nsa,s,a");
    d.parseVowelList("a,a");
    d.parseUnvoicedConsonantList("s\r\nk");
    d.parseIndependentList("br1");
    EXPECT_EQ(d.serialise(), "ka,k,a;sa,s,a||s,k|a,a|br1|");

    PhoneticDictionary one;
    one.parseSymbolList("ka,k,a");
    one.parseVowelList("a,a");
    EXPECT_EQ(one.serialise(), "ka,k,a|||a,a||");
    EXPECT_EQ(PhoneticDictionary().serialise(), "|||||");
}

TEST(DictionaryProjectCheck, EmptyTextsBeforeTheDictionaryChecks)
{
    TSTBCurrentModel::CTsToolBoxProjModel p;
    std::string message;
    EXPECT_FALSE(checkProjectDictionary(p, message));
    EXPECT_EQ(message, "Error: Symbol list is empty...");
    p.symbolList = "ka,k";
    EXPECT_FALSE(checkProjectDictionary(p, message));
    EXPECT_EQ(message, "Error: Vowel list is empty...");
    p.vowelList = "a,a";
    EXPECT_FALSE(checkProjectDictionary(p, message));
    EXPECT_EQ(message, "Error: Consonant list is empty...");
    p.unvoicedConsonantList = "\r\n"; // not empty as a text, though it holds no symbol
    EXPECT_FALSE(checkProjectDictionary(p, message));
    EXPECT_EQ(message, "Error! Symbol list is empty, there might be format error. Please refer to the manual.");
    p.symbolList = "ka,k,a";
    p.tailList = "a_";
    EXPECT_FALSE(checkProjectDictionary(p, message));
    EXPECT_EQ(message, "Error symbol!  '_' exists in symbol: a_ , in 'Tail symbol list'");
    p.tailList = "";
    message.clear();
    EXPECT_TRUE(checkProjectDictionary(p, message));
}

// A recording's file name read as a unit: the stem, less a prefix naming the scan's pitch, looked
// up in the dictionary's lists.
TEST(DictionaryFileNames, StemAndPitchPrefixNameTheUnit)
{
    const PhoneticDictionary d = goodDictionary(); // CV ka sa a; vowels a o; n; k s; br1; tail -
    struct Case {
        const char* file;
        const char* pitch;
        const char* srcType; // "" for no match
        const char* symbol;
    };
    const Case cases[] = {
        {"ka.wav", "C4", "CV", "ka"},
        {"C4_ka.wav", "C4", "CV", "ka"},
        {"C4_ka.wav", "E4", "", ""},        // the prefix names another pitch: "C4_ka" is no unit
        {"E4_C4_ka.wav", "E4", "", ""},     // one prefix only
        {"-sa.WAV", "C4", "CV", "-sa"},
        {"C4_-ka.wav", "C4", "CV", "-ka"},
        {"a.wav", "C4", "CV", "a"},          // a symbol-list line spelt like the vowel
        {"a_k.wav", "C4", "VX", "a_k"},      // unvoiced consonant
        {"o_n.wav", "C4", "VX", "o_n"},      // voiced consonant
        {"a_o.wav", "C4", "VX", "a_o"},      // vowel
        {"C4_o_-.wav", "C4", "VX", "o_-"},   // tail
        {"br1.wav", "C4", "INDIE", "br1"},
        {"C4_br1.wav", "C4", "INDIE", "br1"},
        {"a_ka.wav", "C4", "", ""},          // a CV symbol does not end a VX unit
        {"k_a.wav", "C4", "", ""},
        {"ka_.wav", "C4", "", ""},
        {"C4_.wav", "C4", "", ""},
        {"C4.wav", "C4", "", ""},
        {"-.wav", "C4", "", ""},
        {"--ka.wav", "C4", "", ""},
        {"Ka.wav", "C4", "", ""},            // symbols compare exactly
        {"ka.x.wav", "C4", "", ""},
        {"ka.wav", "", "CV", "ka"},
    };
    for (const Case& c : cases) {
        const std::optional<EntryName> name = entryNameFromWav(c.file, c.pitch, d);
        if (*c.srcType == '\0') {
            EXPECT_FALSE(name) << c.file << " at " << c.pitch << " read as " << name->symbol;
            continue;
        }
        ASSERT_TRUE(name) << c.file << " at " << c.pitch;
        EXPECT_EQ(name->srcType, c.srcType) << c.file;
        EXPECT_EQ(name->symbol, c.symbol) << c.file;
    }

    for (const char* wav : {"ka.wav", "ka.WAV", "x.Wav", ".wav"}) {
        EXPECT_TRUE(isWavFileName(wav)) << wav;
    }
    for (const char* other : {"ka.wave", "ka.mp3", "wav", "ka.wav.bak", "ka_wav"}) {
        EXPECT_FALSE(isWavFileName(other)) << other;
    }
}

// A new entry's markers start where the editor puts them in a newly loaded file: CV at 0.2, 0.3,
// 0.7 and 0.8 of the duration, the two markers of VX and INDIE at 0.2 and 0.5, in single precision.
TEST(DictionaryFileNames, NewEntriesStartWithTheEditorsMarkers)
{
    const float d = 1.25f;
    CTsVoiceCfg_CV cv;
    placeDefaultMarkers(cv, d);
    EXPECT_EQ(cv.connectPoint, double(0.25f));
    EXPECT_EQ(cv.preutterance, double(0.3f * d));
    EXPECT_EQ(cv.vowelStart, double(0.875f));
    EXPECT_EQ(cv.vowelEnd, double(1.0f));
    CTsVoiceCfg_VC vx;
    placeDefaultMarkers(vx, d);
    EXPECT_EQ(vx.connectPoint, double(0.25f));
    EXPECT_EQ(vx.tailPoint, double(0.625f));
    CTsVoiceCfg_INDIE indie;
    placeDefaultMarkers(indie, 2.0f);
    EXPECT_EQ(indie.startPoint, double(0.4f));
    EXPECT_EQ(indie.endPoint, 1.0);
    EXPECT_TRUE(defaultMarkerFractions(CTsVoiceCfg::kNoKind).empty());
}
