#include "AtUnsolicited.h"

#include <cstring>

namespace {

const struct {
    const char* text;
    bool prefix; // the code begins the line; otherwise it is the whole line
    AtUnsolicited::Effect effect;
} CODES[] = {
    {"RING", false, AtUnsolicited::Ignored},
    {"NO CARRIER", false, AtUnsolicited::Ignored},
    {"BUSY", false, AtUnsolicited::Ignored},
    {"NO ANSWER", false, AtUnsolicited::Ignored},
    {"NO DIALTONE", false, AtUnsolicited::Ignored},
    {"Call Ready", false, AtUnsolicited::Ignored},
    {"SMS Ready", false, AtUnsolicited::Ignored},
    {"POWERED DOWN", false, AtUnsolicited::Ignored},
    // The makers' start-up announcements.
    {"RDY", false, AtUnsolicited::Restart},
    {"^SYSSTART", true, AtUnsolicited::Restart},
    {"+CFUN: 1", false, AtUnsolicited::Restart},
};

} // namespace

bool AtUnsolicited::Find(const std::string& line, Effect& effect) {
    for (const auto& code : CODES) {
        if (code.prefix ? line.compare(0, strlen(code.text), code.text) == 0 : line == code.text) {
            effect = code.effect;
            return true;
        }
    }
    return false;
}
