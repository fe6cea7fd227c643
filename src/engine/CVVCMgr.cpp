#include "engine/CVVCMgr.h"

#include <algorithm>

namespace TessarinEngineV6 {

namespace {

bool contains(const std::vector<std::string>& list, const std::string& symbol)
{
    return std::find(list.begin(), list.end(), symbol) != list.end();
}

std::string valueOr(const std::map<std::string, std::string>& map, const std::string& key)
{
    const auto it = map.find(key);
    return it == map.end() ? std::string() : it->second;
}

} // namespace

std::vector<std::string> splitItems(std::string_view text, char separator)
{
    std::vector<std::string> items;
    if (text.empty()) {
        return items;
    }
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(separator, start);
        if (end == std::string_view::npos) {
            items.emplace_back(text.substr(start));
            return items;
        }
        items.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
}

void CVVCMgr::load(std::string_view text)
{
    symbols.clear();
    consonantOf.clear();
    vowelOf.clear();
    voicedConsonants.clear();
    unvoicedConsonants.clear();
    vowels.clear();
    vowelMap.clear();
    independents.clear();
    tails.clear();

    const std::vector<std::string> sections = splitItems(text, '|');
    if (sections.size() != 5 && sections.size() != 6) {
        return;
    }
    for (const std::string& entry : splitItems(sections[0], ';')) {
        const std::vector<std::string> f = splitItems(entry, ',');
        if (f.size() == 3) {
            symbols.push_back(f[0]);
            consonantOf.emplace(f[0], f[1]); // emplace keeps the first value of a repeated key
            vowelOf.emplace(f[0], f[2]);
        }
    }
    voicedConsonants = splitItems(sections[1], ',');
    unvoicedConsonants = splitItems(sections[2], ',');
    for (const std::string& entry : splitItems(sections[3], ';')) {
        const std::vector<std::string> f = splitItems(entry, ',');
        if (f.size() == 2) {
            vowelMap.emplace(f[0], f[1]);
            vowels.push_back(f[0]);
        }
    }
    independents = splitItems(sections[4], ',');
    if (sections.size() == 6) {
        tails = splitItems(sections[5], ',');
    }
}

void CVVCMgr::splitCV(const std::string& symbol, std::string& consonant, std::string& vowel) const
{
    // Vowels, tails and unvoiced consonants stand alone: both parts are the symbol itself.
    if (vowelMap.count(symbol) != 0 || isTail(symbol) || isUnvoicedConsonant(symbol)) {
        consonant = symbol;
        vowel = symbol;
        return;
    }
    consonant = valueOr(consonantOf, symbol);
    vowel = valueOr(vowelOf, symbol);
}

bool CVVCMgr::isVoicedConsonant(const std::string& symbol) const
{
    return contains(voicedConsonants, symbol);
}

bool CVVCMgr::isSelfMappedVowel(const std::string& symbol) const
{
    const auto it = vowelMap.find(symbol);
    return it != vowelMap.end() && it->second == symbol;
}

bool CVVCMgr::isVowel(const std::string& symbol, bool& selfMapped) const
{
    const auto it = vowelMap.find(symbol);
    selfMapped = it != vowelMap.end() && it->second == symbol;
    return it != vowelMap.end();
}

std::string CVVCMgr::vowelValue(const std::string& symbol) const
{
    return valueOr(vowelMap, symbol);
}

bool CVVCMgr::reservedQuery(const std::string& symbol) const
{
    static_cast<void>(symbol);
    return false;
}

bool CVVCMgr::isIndependent(const std::string& symbol) const
{
    return contains(independents, symbol);
}

bool CVVCMgr::isUnvoicedConsonant(const std::string& symbol) const
{
    return contains(unvoicedConsonants, symbol);
}

bool CVVCMgr::isTail(const std::string& symbol) const
{
    return contains(tails, symbol);
}

bool CVVCMgr::isKnown(const std::string& symbol) const
{
    return contains(symbols, symbol) || vowelMap.count(symbol) != 0 || isIndependent(symbol);
}

std::string CVVCMgr::canonical(const std::string& symbol) const
{
    return symbol;
}

} // namespace TessarinEngineV6
