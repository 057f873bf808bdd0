#pragma once

#include <string>

// The unsolicited result codes the backend knows by name, and what each one means to it: the one
// place that knows them, for telling them from an answer and for acting on them.
class AtUnsolicited {
public:
    enum Effect {
        Ignored, // calls, messages and the makers' status lines
        Restart  // the modem started afresh and lost its settings
    };

    // False when the line is none of the known codes.
    static bool Find(const std::string& line, Effect& effect);
};
