#pragma once

// The language table: user-interface texts keyed by their English wording. A table loaded from a
// language file takes precedence; the table compiled into the program (Simplified Chinese) fills
// every text the loaded one lacks or leaves empty. All texts are UTF-8.

#include <string>
#include <string_view>

// Replaces the loaded table with the JSON object in the file at path (UTF-8). An empty path or
// "DEFAULT_PATH" loads nothing; so does a missing file or one that is not a JSON object. True when
// a table was loaded.
bool loadLanguage(const std::string& path);

// The translation of key: the loaded table's text when it is a non-empty string, else the
// compiled-in table's, else empty.
std::string translate(const std::string& key);

// The compiled-in table as JSON text (its member "language" names the language).
std::string_view defaultLanguageText();
