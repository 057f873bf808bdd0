#include "RegistrySnapshot.h"

namespace {

bool KeyExists(HKEY root, const std::wstring& keyPath) {
    HKEY key;
    if (RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

} // namespace

void RegistrySnapshot::Capture(HKEY root, const std::wstring& keyPath, const std::wstring& name) {
    Value value{root, keyPath, name, false, REG_NONE, {}};
    HKEY key;
    if (RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
        DWORD size = 0;
        if (RegQueryValueExW(key, name.c_str(), nullptr, &value.type, nullptr, &size) ==
            ERROR_SUCCESS) {
            value.data.resize(size);
            if (RegQueryValueExW(key, name.c_str(), nullptr, &value.type,
                                 size ? value.data.data() : nullptr, &size) == ERROR_SUCCESS) {
                value.data.resize(size);
                value.existed = true;
            }
        }
        RegCloseKey(key);
    } else {
        // The outermost missing level: deleting it removes everything created below.
        size_t pos = 0;
        while (pos != std::wstring::npos) {
            pos = keyPath.find(L'\\', pos + 1);
            std::wstring level = keyPath.substr(0, pos);
            if (!KeyExists(root, level)) {
                bool known = false;
                for (const MissingKey& missing : missingKeys) {
                    known = known || (missing.root == root &&
                                      _wcsicmp(missing.keyPath.c_str(), level.c_str()) == 0);
                }
                if (!known) {
                    missingKeys.push_back({root, level});
                }
                break;
            }
        }
    }
    values.push_back(value);
}

bool RegistrySnapshot::Restore() const {
    bool ok = true;
    for (auto it = values.rbegin(); it != values.rend(); ++it) {
        HKEY key;
        if (!it->existed) {
            if (RegOpenKeyExW(it->root, it->keyPath.c_str(), 0, KEY_SET_VALUE, &key) ==
                ERROR_SUCCESS) {
                LONG result = RegDeleteValueW(key, it->name.c_str());
                ok = ok && (result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND);
                RegCloseKey(key);
            }
            continue;
        }
        if (RegCreateKeyExW(it->root, it->keyPath.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                            &key, nullptr) != ERROR_SUCCESS) {
            ok = false;
            continue;
        }
        ok = RegSetValueExW(key, it->name.c_str(), 0, it->type,
                            it->data.empty() ? nullptr : it->data.data(),
                            static_cast<DWORD>(it->data.size())) == ERROR_SUCCESS &&
             ok;
        RegCloseKey(key);
    }
    for (const MissingKey& missing : missingKeys) {
        LONG result = RegDeleteTreeW(missing.root, missing.keyPath.c_str());
        ok = ok && (result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND);
    }
    return ok;
}

std::vector<std::wstring> RegistrySnapshot::MissingKeys(HKEY root) const {
    std::vector<std::wstring> keys;
    for (const MissingKey& missing : missingKeys) {
        if (missing.root == root) {
            keys.push_back(missing.keyPath);
        }
    }
    return keys;
}
