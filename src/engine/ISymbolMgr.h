#pragma once

// The questions the analysis checks ask about phonetic symbols. All comparisons are exact and
// case-sensitive.

#include <string>

namespace Tessarin {

class ISymbolMgr {
public:
    virtual ~ISymbolMgr() = default;

    // The consonant and vowel that make up a symbol.
    virtual void splitCV(const std::string& symbol, std::string& consonant, std::string& vowel) const = 0;
    virtual bool isVoicedConsonant(const std::string& symbol) const = 0;
    virtual bool isSelfMappedVowel(const std::string& symbol) const = 0;
    // Whether symbol is a vowel; selfMapped tells whether the vowel maps to itself.
    virtual bool isVowel(const std::string& symbol, bool& selfMapped) const = 0;
    virtual std::string vowelValue(const std::string& symbol) const = 0;
    virtual bool reservedQuery(const std::string& symbol) const = 0;
    virtual bool isIndependent(const std::string& symbol) const = 0;
    virtual bool isUnvoicedConsonant(const std::string& symbol) const
    {
        static_cast<void>(symbol);
        return false;
    }
    virtual bool isTail(const std::string& symbol) const = 0;
    virtual bool isKnown(const std::string& symbol) const = 0;
    virtual std::string canonical(const std::string& symbol) const = 0;

protected:
    ISymbolMgr() = default;
    ISymbolMgr(const ISymbolMgr&) = default;
    ISymbolMgr& operator=(const ISymbolMgr&) = default;
};

} // namespace Tessarin
