#pragma once

// A fixed clock and a fixed local time zone for the duration of a test, so that stored dates and
// their texts do not depend on when and where the tests run.

#include "model/Clock.h"

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace lvtest {

inline std::int64_t g_fixedNow = 0;

inline std::int64_t fixedNow()
{
    return g_fixedNow;
}

class FixedClockAndZone {
public:
    // zone is a POSIX TZ text; "XST-8" is a zone eight hours east of UTC without summer time.
    explicit FixedClockAndZone(std::int64_t now, const char* zone = "XST-8")
    {
        if (const char* old = std::getenv("TZ")) {
            m_oldZone = old;
        }
        ::setenv("TZ", zone, 1);
        ::tzset();
        g_fixedNow = now;
        m_oldSource = lvmodel::setUnixTimeSource(&fixedNow);
    }
    ~FixedClockAndZone()
    {
        lvmodel::setUnixTimeSource(m_oldSource);
        if (m_oldZone) {
            ::setenv("TZ", m_oldZone->c_str(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
    }
    FixedClockAndZone(const FixedClockAndZone&) = delete;
    FixedClockAndZone& operator=(const FixedClockAndZone&) = delete;

    void set(std::int64_t now) { g_fixedNow = now; }

private:
    std::optional<std::string> m_oldZone;
    lvmodel::UnixTimeSource m_oldSource = nullptr;
};

} // namespace lvtest
