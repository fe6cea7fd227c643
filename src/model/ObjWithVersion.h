#pragma once

// Versioned persisted objects. A file records the version of the object that wrote it; a reader
// that meets an older version builds the older object and upgrades it into the current one.

#include <cstdint>

class ObjWithVersion {
public:
    explicit ObjWithVersion(std::int32_t version = 0) : version(version) {}
    virtual ~ObjWithVersion() = default;
    ObjWithVersion(const ObjWithVersion&) = default;
    ObjWithVersion& operator=(const ObjWithVersion&) = default;

    // Fills this object from an object of an older version. Objects without a predecessor cannot.
    virtual bool upgradeFrom(const ObjWithVersion& older)
    {
        static_cast<void>(older);
        return false;
    }

    std::int32_t version;
};

// An object whose previous version is Previous. Only one step of upgrade exists: an older object of
// any other version is replaced by a default Previous, as if the older data were not there.
template <class Previous>
class UpgradableObj : public ObjWithVersion {
public:
    UpgradableObj(std::int32_t version, std::int32_t previousVersion)
        : ObjWithVersion(version), previousVersion(previousVersion)
    {
    }

    bool upgradeFrom(const ObjWithVersion& older) override
    {
        if (older.version >= version) {
            return false;
        }
        if (older.version == previousVersion) {
            // A caller passing an object of another class with that version number is a misuse,
            // not data to convert.
            const auto* previous = dynamic_cast<const Previous*>(&older);
            return previous != nullptr && convertFrom(*previous);
        }
        const Previous defaults;
        return convertFrom(defaults);
    }

    // Copies and converts the fields of the previous version.
    virtual bool convertFrom(const Previous& previous) = 0;

    std::int32_t previousVersion;
};
