#pragma once

// The phonetic dictionary: the six list texts of a project parsed into symbol lists, the two
// validations the user runs before building, and the serialised text the engine reads.
//
// List texts hold one entry per line; line feeds, carriage returns and spaces are dropped wherever
// they stand. Lines of the wrong shape are skipped without a message: the emptiness checks tell the
// user when nothing usable was left.

#include "model/CTsToolBoxProjModel.h"

#include <array>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class PhoneticDictionary {
public:
    // Parses all six texts of the project.
    static PhoneticDictionary fromProject(const TSTBCurrentModel::CTsToolBoxProjModel& project);

    // One parser per list; each clears its own list first.
    void parseSymbolList(std::string_view text);            // lines symbol,consonant,vowel
    void parseVowelList(std::string_view text);             // lines vowel,second symbol
    void parseVoicedConsonantList(std::string_view text);   // one symbol per line
    void parseUnvoicedConsonantList(std::string_view text);
    void parseIndependentList(std::string_view text);
    void parseTailList(std::string_view text);

    // Where a check failed: the list (1 … 6, in the order above) and the line of its text (counted
    // from 1; 0 when the failure is about the whole list, an empty one).
    struct Place {
        int list = 0;
        int line = 0;
        bool operator==(const Place&) const = default;
    };

    // No symbol may appear twice, and both the vowel and the symbol lists must hold something.
    // On failure message names the symbol and the lists involved; where, when given, the line of
    // the second occurrence.
    bool checkRepeats(std::string& message, Place* where = nullptr) const;
    // No symbol may hold a character that cannot stand in a file name or in the serialised form;
    // after all symbols, the consonant and vowel parts of symbol lines and the second field of
    // vowel lines are checked for the separators "|" and ";" of the serialised form.
    bool checkCharacters(std::string& message, Place* where = nullptr) const;

    bool isIndependent(std::string_view symbol) const;

    // Six sections separated by "|": symbols "s,c,v;…", voiced ","-list, unvoiced ","-list,
    // vowels "v,s;…", independents ","-list, tails ","-list.
    std::string serialise() const;

    std::vector<std::pair<std::string, std::string>> vowels;
    std::vector<std::array<std::string, 3>> syllables;
    std::vector<std::string> voicedConsonants;
    std::vector<std::string> unvoicedConsonants;
    std::vector<std::string> independents;
    std::vector<std::string> tails;

private:
    // The line (from 1) of each item above in its text, list by list in the order of the lists.
    std::array<std::vector<int>, 6> m_lines;
    int lineOf(int list, std::size_t item) const;
};

// The dictionary window's "Check Dictionary": checkRepeats, then checkCharacters, of the project's
// parsed texts, and nothing else. True when both pass.
bool checkDictionaryTexts(const TSTBCurrentModel::CTsToolBoxProjModel& project, std::string& message,
                          PhoneticDictionary::Place* where = nullptr);

// What the build panel checks before either build command: the three empty-text messages, then
// checkDictionaryTexts (where as there; untouched for an empty text). True when the dictionary can be
// built.
bool checkProjectDictionary(const TSTBCurrentModel::CTsToolBoxProjModel& project, std::string& message,
                            PhoneticDictionary::Place* where = nullptr);
