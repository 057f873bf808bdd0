#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The state of some registry values and of the keys that hold them, taken before the
// installer changes them, so that a failed step can put everything back.
class RegistrySnapshot {
public:
    // Remembers the value (or its absence) and which levels of its key path exist.
    void Capture(HKEY root, const std::wstring& keyPath, const std::wstring& name);
    // Writes the remembered values back, deletes values that did not exist, then deletes
    // the keys that did not exist (with whatever was put under them since). True when all
    // of that worked.
    bool Restore() const;

    // The outermost levels of the captured key paths that did not exist, as
    // "keyPath" below root: what a change under them created.
    std::vector<std::wstring> MissingKeys(HKEY root) const;

private:
    struct Value {
        HKEY root;
        std::wstring keyPath;
        std::wstring name;
        bool existed;
        DWORD type;
        std::vector<BYTE> data;
    };
    struct MissingKey {
        HKEY root;
        std::wstring keyPath;
    };

    std::vector<Value> values;
    std::vector<MissingKey> missingKeys;
};
