#include "model/PhoneticDictionary.h"

#include "model/TextSplit.h"

#include <algorithm>
#include <cstdint>
#include <map>

namespace {

// Names of the six lists in their fixed order, as the repeat messages quote them.
constexpr std::array<std::string_view, 7> kRepeatNames = {
    "", "'Symbol list'", "'Vowel list'", "'Voiced Consonant list'", "'Unvoiced Consonant list'",
    "'Independent symbol list'", "'Tail symbol list'",
};

// The same names as the character messages use them (the message adds the quotes).
constexpr std::array<std::string_view, 7> kCharacterNames = {
    "", "Symbol list", "Vowel list", "Voiced Consonant list", "Unvoiced Consonant list",
    "Independent symbol list", "Tail symbol list",
};

// Tested in this order; the first one found is the one reported.
constexpr std::string_view kAllForbidden = "_.\\/:*?\"<>|,;";
// The separators of the serialised dictionary that can survive parsing (a "," cannot).
constexpr std::string_view kSeparators = "|;";

std::vector<std::string> cleanLines(std::string_view text)
{
    std::vector<std::string> lines = splitText(text, '\n');
    for (std::string& line : lines) {
        line = removeBlanks(line);
    }
    return lines;
}

void parseSymbols(std::string_view text, std::vector<std::string>& out, std::vector<int>& lines)
{
    out.clear();
    lines.clear();
    std::vector<std::string> all = cleanLines(text);
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (!all[i].empty()) {
            out.push_back(std::move(all[i]));
            lines.push_back(int(i) + 1);
        }
    }
}

// A set of symbols remembering the list (1 … 6) where each was first seen.
class SeenSymbols {
public:
    bool enter(const std::string& symbol, int list, std::string& message)
    {
        const auto [it, inserted] = m_firstList.emplace(symbol, list);
        if (inserted) {
            return true;
        }
        message = "Error! Repeat '" + symbol + "' in " + std::string(kRepeatNames[it->second]);
        if (it->second != list) {
            message += " and " + std::string(kRepeatNames[list]);
        }
        return false;
    }

private:
    std::map<std::string, int> m_firstList;
};

std::string joinSymbols(const std::vector<std::string>& symbols)
{
    return joinText(symbols, ",");
}

} // namespace

PhoneticDictionary PhoneticDictionary::fromProject(const TSTBCurrentModel::CTsToolBoxProjModel& project)
{
    PhoneticDictionary d;
    d.parseSymbolList(project.symbolList);
    d.parseVowelList(project.vowelList);
    d.parseVoicedConsonantList(project.voicedConsonantList);
    d.parseUnvoicedConsonantList(project.unvoicedConsonantList);
    d.parseIndependentList(project.independentList);
    d.parseTailList(project.tailList);
    return d;
}

void PhoneticDictionary::parseSymbolList(std::string_view text)
{
    syllables.clear();
    m_lines[0].clear();
    const std::vector<std::string> lines = cleanLines(text);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::vector<std::string> f = splitText(lines[i], ',');
        if (f.size() == 3) {
            syllables.push_back({std::move(f[0]), std::move(f[1]), std::move(f[2])});
            m_lines[0].push_back(int(i) + 1);
        }
    }
}

void PhoneticDictionary::parseVowelList(std::string_view text)
{
    vowels.clear();
    m_lines[1].clear();
    const std::vector<std::string> lines = cleanLines(text);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::vector<std::string> f = splitText(lines[i], ',');
        if (f.size() == 2) {
            vowels.emplace_back(std::move(f[0]), std::move(f[1]));
            m_lines[1].push_back(int(i) + 1);
        }
    }
}

void PhoneticDictionary::parseVoicedConsonantList(std::string_view text)
{
    parseSymbols(text, voicedConsonants, m_lines[2]);
}

void PhoneticDictionary::parseUnvoicedConsonantList(std::string_view text)
{
    parseSymbols(text, unvoicedConsonants, m_lines[3]);
}

void PhoneticDictionary::parseIndependentList(std::string_view text)
{
    parseSymbols(text, independents, m_lines[4]);
}

void PhoneticDictionary::parseTailList(std::string_view text)
{
    parseSymbols(text, tails, m_lines[5]);
}

int PhoneticDictionary::lineOf(int list, std::size_t item) const
{
    // Lists filled by hand rather than parsed have no lines to name.
    const std::vector<int>& lines = m_lines[std::size_t(list - 1)];
    return item < lines.size() ? lines[item] : 0;
}

bool PhoneticDictionary::checkRepeats(std::string& message, Place* where) const
{
    // Symbols of the symbol list and vowels live in separate sets, so a CV symbol may be spelt
    // like a vowel; consonants, independents and tails must differ from everything.
    SeenSymbols symbolSet;
    SeenSymbols vowelSet;
    const auto failAt = [&](int list, std::size_t item) {
        if (where != nullptr) {
            *where = Place{list, lineOf(list, item)};
        }
        return false;
    };
    for (std::size_t k = 0; k < syllables.size(); ++k) {
        if (!symbolSet.enter(syllables[k][0], 1, message)) {
            return failAt(1, k);
        }
    }
    for (std::size_t k = 0; k < vowels.size(); ++k) {
        if (!vowelSet.enter(vowels[k].first, 2, message)) {
            return failAt(2, k);
        }
    }
    const std::array<const std::vector<std::string>*, 4> singles = {&voicedConsonants, &unvoicedConsonants,
                                                                    &independents, &tails};
    for (std::size_t i = 0; i < singles.size(); ++i) {
        const int list = static_cast<int>(i) + 3;
        for (std::size_t k = 0; k < singles[i]->size(); ++k) {
            const std::string& symbol = (*singles[i])[k];
            if (!symbolSet.enter(symbol, list, message) || !vowelSet.enter(symbol, list, message)) {
                return failAt(list, k);
            }
        }
    }
    if (vowels.empty()) {
        message = "Error! Vowel list is empty, there might be format error. Please refer to the manual.";
        return failAt(2, SIZE_MAX);
    }
    if (syllables.empty()) {
        message = "Error! Symbol list is empty, there might be format error. Please refer to the manual.";
        return failAt(1, SIZE_MAX);
    }
    return true;
}

bool PhoneticDictionary::checkCharacters(std::string& message, Place* where) const
{
    const auto check = [&](const std::string& symbol, int list, std::size_t item, std::string_view forbidden) {
        for (const char c : forbidden) {
            if (symbol.find(c) != std::string::npos) {
                message = "Error symbol!  '" + std::string(1, c) + "' exists in symbol: " + symbol + " , in '" +
                          std::string(kCharacterNames[list]) + "'";
                if (where != nullptr) {
                    *where = Place{list, lineOf(list, item)};
                }
                return false;
            }
        }
        return true;
    };
    for (std::size_t k = 0; k < syllables.size(); ++k) {
        if (!check(syllables[k][0], 1, k, kAllForbidden)) {
            return false;
        }
    }
    for (std::size_t k = 0; k < vowels.size(); ++k) {
        if (!check(vowels[k].first, 2, k, kAllForbidden)) {
            return false;
        }
    }
    const std::array<const std::vector<std::string>*, 4> singles = {&voicedConsonants, &unvoicedConsonants,
                                                                    &independents, &tails};
    for (std::size_t i = 0; i < singles.size(); ++i) {
        for (std::size_t k = 0; k < singles[i]->size(); ++k) {
            if (!check((*singles[i])[k], static_cast<int>(i) + 3, k, kAllForbidden)) {
                return false;
            }
        }
    }
    // The parts of a symbol line and the second field of a vowel line may hold any character but
    // the separators of the serialised text: a "|" or ";" there would shift the engine's sections
    // and entries, and the build would run on a dictionary other than the one that passed.
    for (std::size_t k = 0; k < syllables.size(); ++k) {
        if (!check(syllables[k][1], 1, k, kSeparators) || !check(syllables[k][2], 1, k, kSeparators)) {
            return false;
        }
    }
    for (std::size_t k = 0; k < vowels.size(); ++k) {
        if (!check(vowels[k].second, 2, k, kSeparators)) {
            return false;
        }
    }
    return true;
}

bool PhoneticDictionary::isIndependent(std::string_view symbol) const
{
    return std::find(independents.begin(), independents.end(), symbol) != independents.end();
}

std::string PhoneticDictionary::serialise() const
{
    std::string text;
    const auto section = [&text](const std::string& body) {
        text += '|';
        text += body;
    };
    std::vector<std::string> entries;
    for (const auto& s : syllables) {
        entries.push_back(joinText({s[0], s[1], s[2]}, ","));
    }
    text += joinText(entries, ";");
    section(joinSymbols(voicedConsonants));
    section(joinSymbols(unvoicedConsonants));
    entries.clear();
    for (const auto& v : vowels) {
        entries.push_back(joinText({v.first, v.second}, ","));
    }
    section(joinText(entries, ";"));
    section(joinSymbols(independents));
    section(joinSymbols(tails));
    return text;
}

bool checkDictionaryTexts(const TSTBCurrentModel::CTsToolBoxProjModel& project, std::string& message,
                          PhoneticDictionary::Place* where)
{
    const PhoneticDictionary dictionary = PhoneticDictionary::fromProject(project);
    return dictionary.checkRepeats(message, where) && dictionary.checkCharacters(message, where);
}

bool checkProjectDictionary(const TSTBCurrentModel::CTsToolBoxProjModel& project, std::string& message,
                            PhoneticDictionary::Place* where)
{
    if (project.symbolList.empty()) {
        message = "Error: Symbol list is empty...";
        return false;
    }
    if (project.vowelList.empty()) {
        message = "Error: Vowel list is empty...";
        return false;
    }
    if (project.voicedConsonantList.empty() && project.unvoicedConsonantList.empty()) {
        message = "Error: Consonant list is empty...";
        return false;
    }
    return checkDictionaryTexts(project, message, where);
}
