#pragma once

// Keeps a command that keeps failing from being asked every time, without ever giving it up:
// after one failure it is asked again at the next chance; each further failure in a row
// doubles the chances it lets pass, up to MAX_SKIPS.
class CommandBackoff {
public:
    static const int MAX_SKIPS = 31;

    // True when the command is to be asked now; otherwise one chance has passed.
    bool Due();
    void Failed();
    void Succeeded();

private:
    int failures = 0;
    int skips = 0;
};
