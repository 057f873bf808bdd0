#include "CommandBackoff.h"

bool CommandBackoff::Due() {
    if (skips > 0) {
        --skips;
        return false;
    }
    return true;
}

void CommandBackoff::Failed() {
    skips = failures >= 5 ? MAX_SKIPS : (1 << failures) - 1;
    ++failures;
}

void CommandBackoff::Succeeded() {
    failures = 0;
    skips = 0;
}
