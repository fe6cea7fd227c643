#pragma once

// Voice configuration entries: one sound unit of the voice bank, the WAV file it is cut from, its
// symbol and pitch, and its marker times.
//
// All times are seconds from the first sample of the WAV file, as doubles. The JSON form stores
// the region bounds absolutely and the markers relative to the region start; writing an entry
// recomputes the region (and, for CV, the tail) from the markers first.

#include "model/JsonInfo.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

// Region margin: the single-precision 0.06 widened to double, kept exactly as the files carry it.
inline constexpr double kVoiceCfgMargin = 0.05999999865889549;
// CV tail after the vowel end: that margin less 0.005, computed in double.
inline constexpr double kVoiceCfgTailMargin = 0.054999998658895495;

class CTsVoiceCfg : public JsonInfo {
public:
    enum Kind : int { kNoKind = 0, kCV = 1, kVX = 2, kINDIE = 3 };

    CTsVoiceCfg() = default;

    std::string srcType;         // "CV", "VX" or "INDIE"; empty in a bare entry
    std::int64_t updateTime = 0; // [s] since 1970-01-01 00:00 UTC
    std::string wavName;         // relative to the folder of the voice.lvcfg
    std::string symbol;          // for VX: vowel + "_" + consonant
    std::string pitch;
    double startTime = 0.0; // [s] region cut out for analysis, derived from the markers
    double endTime = 0.0;   // [s]

    // The base members only; the kinds add their markers.
    Json::Value& toJsonValue() override;
    // True when "srcType", "wavName", "symbol", "pitch", "startTime" and "endTime" are present.
    bool fromJsonValue(const Json::Value& value) override;

    // A new entry of the same class with every field copied.
    virtual std::unique_ptr<CTsVoiceCfg> clone() const;
    // Copies every field of other when it is of the same class; false (nothing copied) otherwise.
    virtual bool assignFrom(const CTsVoiceCfg& other);

    int kind() const;
    // pitch + "->" + symbol.
    std::string entryKey() const;
    // updateTime in local time, "%Y-%m-%d %H:%M:%S"; empty when it cannot be converted.
    std::string updateTimeText() const;
    void touch();
    // For VX entries. One "_" splits into vowel and consonant; none gives two empty texts; more
    // split at the first.
    void splitVcSymbol(std::string& vowel, std::string& consonant) const;
    void joinVcSymbol(const std::string& vowel, const std::string& consonant);

protected:
    void copyBaseFrom(const CTsVoiceCfg& other);
};

std::string entryKey(const CTsVoiceCfg& entry);

// Reads a local date and time of the form updateTimeText() writes: seconds since 1970, 0 for a year
// before 1900, none when the text is not such a date.
std::optional<std::int64_t> parseLocalTimeText(const std::string& text);

// Consonant–vowel unit.
class CTsVoiceCfg_CV : public CTsVoiceCfg {
public:
    CTsVoiceCfg_CV() { srcType = "CV"; }

    double connectPoint = 0.0;
    double preutterance = 0.0;
    double vowelStart = 0.0;
    double vowelEnd = 0.0;
    double tailPoint = 0.0; // reset to vowelEnd + kVoiceCfgTailMargin whenever the entry is written

    Json::Value& toJsonValue() override;
    bool fromJsonValue(const Json::Value& value) override;
    std::unique_ptr<CTsVoiceCfg> clone() const override;
    bool assignFrom(const CTsVoiceCfg& other) override;
};

// Vowel-to-consonant or vowel-to-vowel transition ("VC" in older files).
class CTsVoiceCfg_VC : public CTsVoiceCfg {
public:
    CTsVoiceCfg_VC() { srcType = "VX"; }

    double connectPoint = 0.0;
    double tailPoint = 0.0;

    Json::Value& toJsonValue() override;
    bool fromJsonValue(const Json::Value& value) override;
    std::unique_ptr<CTsVoiceCfg> clone() const override;
    bool assignFrom(const CTsVoiceCfg& other) override;
};

// Independent unit.
class CTsVoiceCfg_INDIE : public CTsVoiceCfg {
public:
    CTsVoiceCfg_INDIE() { srcType = "INDIE"; }

    double startPoint = 0.0;
    double endPoint = 0.0;

    Json::Value& toJsonValue() override;
    bool fromJsonValue(const Json::Value& value) override;
    std::unique_ptr<CTsVoiceCfg> clone() const override;
    bool assignFrom(const CTsVoiceCfg& other) override;
};

// A new, empty entry of the class that srcType names ("CV", "VX", "INDIE"); none for another text.
std::unique_ptr<CTsVoiceCfg> makeVoiceCfg(const std::string& srcType);

// The marker positions of entry's kind in label order (CV: connect point, preutterance, vowel start,
// vowel end; VX: connect point, tail point; INDIE: start, end), as single-precision times; none for a
// bare entry.
std::vector<float> entryMarkerTimes(const CTsVoiceCfg& entry);
// Writes positions back into the entry's marker fields, in the same order (as many as the kind has,
// when positions holds that many).
void storeMarkerTimes(std::span<const float> positions, CTsVoiceCfg& entry);
