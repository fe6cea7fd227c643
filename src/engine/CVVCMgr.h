#pragma once

// Symbol tables built from the serialised dictionary the builder hands to the engine:
//   symbols "ka,k,a;sa,s,a" | voiced "n,m" | unvoiced "k,s" | vowels "a,a;o,o" | independents | tails
// The tail section is optional. A text with any other number of sections leaves every table empty.

#include "engine/ISymbolMgr.h"

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace TessarinEngineV6 {

class CVVCMgr : public Tessarin::ISymbolMgr {
public:
    CVVCMgr() = default;

    // Clears every table, then fills them from text.
    void load(std::string_view text);

    void splitCV(const std::string& symbol, std::string& consonant, std::string& vowel) const override;
    bool isVoicedConsonant(const std::string& symbol) const override;
    bool isSelfMappedVowel(const std::string& symbol) const override;
    bool isVowel(const std::string& symbol, bool& selfMapped) const override;
    std::string vowelValue(const std::string& symbol) const override;
    bool reservedQuery(const std::string& symbol) const override;
    bool isIndependent(const std::string& symbol) const override;
    bool isUnvoicedConsonant(const std::string& symbol) const override;
    bool isTail(const std::string& symbol) const override;
    bool isKnown(const std::string& symbol) const override;
    std::string canonical(const std::string& symbol) const override;

    std::vector<std::string> symbols;
    std::map<std::string, std::string> consonantOf;
    std::map<std::string, std::string> vowelOf;
    std::vector<std::string> voicedConsonants;
    std::vector<std::string> unvoicedConsonants;
    std::vector<std::string> vowels;
    std::map<std::string, std::string> vowelMap;
    std::vector<std::string> independents;
    std::vector<std::string> tails;
};

// The engine's splitting: an empty text gives no items; otherwise a text with n separators gives
// n + 1 items, empty ones included.
std::vector<std::string> splitItems(std::string_view text, char separator);

} // namespace TessarinEngineV6
