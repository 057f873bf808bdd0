#pragma once

#include <string>
#include <vector>

#include "Scenario.h"

// The AT side of one simulated modem session: answers a command line from the scenario step in
// force, in the chosen maker's dialect and radio technology, and keeps what the host set up
// (echo, registration reports, error format, operator format). Knows nothing of sockets.
class SimModem {
public:
    enum Rat { Gsm, Umts, Lte };

    // False when the dialect or the technology is unknown.
    bool Configure(const std::string& dialect, const std::string& rat);

    // The query a command belongs to, for the scenario's noanswer and fail lines; Count when
    // it belongs to none.
    RilQuery QueryOf(const std::string& command) const;
    // The information text lines and the final result code.
    void Answer(const std::string& command, const ScenarioStep& step,
                std::vector<std::string>& lines, std::string& final);
    std::string ErrorCode() const;

    bool echo = true;

private:
    std::string dialect = "generic";
    Rat rat = Gsm;
    int registrationReports[3] = {};
    int errorFormat = 0;
    int operatorFormat = 0;

    std::string Registration(int kind, const ScenarioStep& step) const;
    std::string ServingCell(const ScenarioStep& step) const;
    std::string Operator(const ScenarioStep& step) const;
    std::string Signal(const ScenarioStep& step, bool extended) const;
};
