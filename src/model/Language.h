#pragma once

// The language table: user-interface texts keyed by their English wording. Two tables are compiled
// into the program: English (every text as it is; the default, so that a program without a
// language file shows every text in one language) and Simplified Chinese, chosen by naming it in
// app.cfg's "langFilePath" as kSimplifiedChineseTable. A table loaded from a language file takes
// precedence; the English table fills every text it lacks or leaves empty. All texts are UTF-8.

#include <string>
#include <string_view>

// The "langFilePath" that selects the compiled-in Simplified Chinese table instead of a file.
inline constexpr std::string_view kSimplifiedChineseTable = "SIMPLIFIED_CHINESE";

// Chooses the table for path: empty or "DEFAULT_PATH", the English table; kSimplifiedChineseTable,
// the compiled-in Chinese one; otherwise the JSON object in the file at path over the English
// table (a missing file or one that is not a JSON object leaves the English table alone). True
// when a table other than English was chosen.
bool loadLanguage(const std::string& path);

// The translation of key: the chosen table's text when it is a non-empty string, else the English
// table's (the key itself for every text the program has), else empty.
std::string translate(const std::string& key);

// The compiled-in Simplified Chinese table as JSON text (its member "language" names the language).
std::string_view simplifiedChineseLanguageText();
