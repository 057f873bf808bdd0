#include "AtLineReader.h"

void AtLineReader::Feed(const char* data, size_t size, std::vector<std::string>& lines) {
    for (size_t i = 0; i < size; ++i) {
        char c = data[i];
        if (c == '\r' || c == '\n') {
            if (!discarding && !partial.empty()) {
                lines.push_back(partial);
            }
            partial.clear();
            discarding = false;
        } else if (c >= 0x20 && c < 0x7F && !discarding) {
            if (partial.size() == MAX_LINE) {
                partial.clear();
                discarding = true;
                ++dropped;
            } else {
                partial += c;
            }
        }
    }
}

void AtLineReader::Clear() {
    partial.clear();
    discarding = false;
}
