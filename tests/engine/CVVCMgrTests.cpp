#include "engine/CVVCMgr.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using TessarinEngineV6::CVVCMgr;
using TessarinEngineV6::splitItems;

namespace {

using Strings = std::vector<std::string>;

CVVCMgr loaded(std::string_view text)
{
    CVVCMgr m;
    m.load(text);
    return m;
}

bool isEmpty(const CVVCMgr& m)
{
    return m.symbols.empty() && m.consonantOf.empty() && m.vowelOf.empty() && m.voicedConsonants.empty() &&
           m.unvoicedConsonants.empty() && m.vowels.empty() && m.vowelMap.empty() && m.independents.empty() &&
           m.tails.empty();
}

} // namespace

TEST(EngineSplit, NoItemForAnEmptyTextOtherwiseSeparatorsPlusOne)
{
    EXPECT_EQ(splitItems("", ','), Strings{});
    EXPECT_EQ(splitItems(",", ','), (Strings{"", ""}));
    EXPECT_EQ(splitItems("a,,b", ','), (Strings{"a", "", "b"}));
    EXPECT_EQ(splitItems("a", ','), (Strings{"a"}));
    EXPECT_EQ(splitItems("a;b,c", ';'), (Strings{"a", "b,c"}));
}

TEST(CVVCMgrLoad, OnlyFiveOrSixSectionsLoad)
{
    const char* const rejected[] = {"", "ka,k,a", "ka,k,a|k||a,a", "ka,k,a|k||a,a|br1|t|x"};
    for (const char* text : rejected) {
        const CVVCMgr m = loaded(text);
        EXPECT_TRUE(isEmpty(m)) << text;
        std::string c = "x";
        std::string v = "x";
        m.splitCV("ka", c, v);
        EXPECT_EQ(c, "");
        EXPECT_EQ(v, "");
        bool self = true;
        EXPECT_FALSE(m.isVowel("a", self));
        EXPECT_FALSE(self);
        EXPECT_FALSE(m.isVoicedConsonant("k"));
        EXPECT_FALSE(m.isKnown("ka"));
        EXPECT_EQ(m.vowelValue("a"), "");
    }
    const CVVCMgr five = loaded("ka,k,a|k||a,a|br1");
    EXPECT_EQ(five.symbols, Strings{"ka"});
    EXPECT_TRUE(five.tails.empty()) << "no tail section, no tails";
    const CVVCMgr six = loaded("ka,k,a|k||a,a|br1|-,~");
    EXPECT_EQ(six.tails, (Strings{"-", "~"}));
}

TEST(CVVCMgrLoad, ReloadingClearsTheOldTables)
{
    CVVCMgr m = loaded("ka,k,a|k||a,a|br1|-");
    m.load("sa,s,a||s|o,o||");
    EXPECT_EQ(m.symbols, Strings{"sa"});
    EXPECT_TRUE(m.voicedConsonants.empty());
    EXPECT_EQ(m.vowels, Strings{"o"});
    EXPECT_FALSE(m.isTail("-"));
    EXPECT_FALSE(m.isIndependent("br1"));
    m.load("broken");
    EXPECT_TRUE(isEmpty(m));
}

TEST(CVVCMgrLoad, TheDictionarysSerialisedText)
{
    // The serialised form of: symbols ka,k,a and sa,s,a; vowel a,a; unvoiced s and k; independent br1.
    const CVVCMgr m = loaded("ka,k,a;sa,s,a||s,k|a,a|br1|");
    EXPECT_EQ(m.symbols, (Strings{"ka", "sa"}));
    EXPECT_TRUE(m.voicedConsonants.empty());
    EXPECT_EQ(m.unvoicedConsonants, (Strings{"s", "k"}));
    EXPECT_EQ(m.vowels, Strings{"a"});
    EXPECT_EQ(m.independents, Strings{"br1"});
    EXPECT_TRUE(m.tails.empty()) << "an empty last section gives no item";
}

TEST(CVVCMgrLoad, MalformedEntriesAndRepeats)
{
    const CVVCMgr m = loaded("ka,k;sa,s,a,x;;ta,t,a;ta,d,o|k,,g||a,a;o;a,e|br1,|");
    EXPECT_EQ(m.symbols, (Strings{"ta", "ta"})) << "the list keeps both, the maps keep the first";
    EXPECT_EQ(m.consonantOf.at("ta"), "t");
    EXPECT_EQ(m.vowelOf.at("ta"), "a");
    EXPECT_EQ(m.consonantOf.count("ka"), 0u);
    EXPECT_EQ(m.voicedConsonants, (Strings{"k", "", "g"}));
    EXPECT_EQ(m.vowels, (Strings{"a", "a"}));
    EXPECT_EQ(m.vowelValue("a"), "a");
    EXPECT_EQ(m.independents, (Strings{"br1", ""}));
    EXPECT_TRUE(m.isIndependent(""));
}

TEST(CVVCMgrQueries, SplitCV)
{
    const CVVCMgr m = loaded("ka,k,a;sa,s,a;na,n,a|k||a,a;o,o|br1|-");
    std::string c;
    std::string v;
    m.splitCV("ka", c, v);
    EXPECT_EQ(c, "k");
    EXPECT_EQ(v, "a");
    EXPECT_TRUE(m.isVoicedConsonant("k"));
    EXPECT_FALSE(m.isVoicedConsonant("K"));

    m.splitCV("a", c, v); // a vowel
    EXPECT_EQ(c, "a");
    EXPECT_EQ(v, "a");
    m.splitCV("-", c, v); // a tail
    EXPECT_EQ(c, "-");
    EXPECT_EQ(v, "-");
    m.splitCV("br1", c, v); // independent: not in the symbol maps
    EXPECT_EQ(c, "");
    EXPECT_EQ(v, "");

    const CVVCMgr unvoiced = loaded("sa,s,a|||a,a|");
    EXPECT_FALSE(unvoiced.isUnvoicedConsonant("s"));
    unvoiced.splitCV("s", c, v);
    EXPECT_EQ(c, "") << "s is no unvoiced consonant here";
    const CVVCMgr withS = loaded("s,x,y||s|a,a|");
    withS.splitCV("s", c, v);
    EXPECT_EQ(c, "s") << "an unvoiced consonant stands alone even when it is also a symbol";
    EXPECT_EQ(v, "s");
}

TEST(CVVCMgrQueries, VowelsAndSelfMapping)
{
    const CVVCMgr m = loaded("ka,k,a||k|o,o;oo,o;N,n|br1");
    bool self = false;
    EXPECT_TRUE(m.isVowel("o", self));
    EXPECT_TRUE(self);
    self = true;
    EXPECT_TRUE(m.isVowel("oo", self));
    EXPECT_FALSE(self);
    EXPECT_TRUE(m.isSelfMappedVowel("o"));
    EXPECT_FALSE(m.isSelfMappedVowel("oo"));
    EXPECT_FALSE(m.isSelfMappedVowel("a"));
    EXPECT_EQ(m.vowelValue("N"), "n");
    EXPECT_EQ(m.vowelValue("n"), "");
    self = true;
    EXPECT_FALSE(m.isVowel("a", self)) << "a is only the vowel part of ka";
    EXPECT_FALSE(self);
}

TEST(CVVCMgrQueries, KnownSymbolsAndTheFixedAnswers)
{
    const CVVCMgr m = loaded("ka,k,a|g|s|a,a|br1|-");
    EXPECT_TRUE(m.isKnown("ka"));
    EXPECT_TRUE(m.isKnown("a"));
    EXPECT_TRUE(m.isKnown("br1"));
    EXPECT_FALSE(m.isKnown("g")) << "consonants alone are not units";
    EXPECT_FALSE(m.isKnown("s"));
    EXPECT_FALSE(m.isKnown("-"));
    EXPECT_FALSE(m.reservedQuery("ka"));
    EXPECT_EQ(m.canonical("Ka_1"), "Ka_1");
    EXPECT_TRUE(m.isUnvoicedConsonant("s"));
    EXPECT_TRUE(m.isTail("-"));

    const Tessarin::ISymbolMgr& asInterface = m; // the calls go through the interface's slots
    EXPECT_TRUE(asInterface.isUnvoicedConsonant("s"));
    EXPECT_TRUE(asInterface.isIndependent("br1"));
}
