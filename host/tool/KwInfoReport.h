// How `kwjpeg info` shows what the host learned from a file: one stable JSON
// object per line (--json), or a readable summary for people.
#pragma once

#include <string>

#include "KwToolSession.h"

class KwInfoReport {
public:
    static std::string Json(const std::string& file, const KwLoadOutcome& outcome);
    static std::string Text(const std::string& file, const KwLoadOutcome& outcome);
    // An EXIF entry in the units people read ("0.0080 s", "f/2.8", "ISO 100"); the raw text when unknown.
    static std::string HumanExifValue(const std::string& name, const std::string& raw);
    // The line for standard error that tells of damaged data the load went past; "" when none.
    static std::string DamageWarning(const std::string& file, const std::string& damage);
};
