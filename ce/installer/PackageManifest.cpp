#include "PackageManifest.h"

#include <cerrno>
#include <cwctype>

namespace {

// A package description is a few lines; anything bigger is not one.
const DWORD kMaxManifestBytes = 1024 * 1024;

std::wstring Trim(const std::wstring& s) {
    size_t first = 0, last = s.size();
    while (first < last && iswspace(s[first])) {
        ++first;
    }
    while (last > first && iswspace(s[last - 1])) {
        --last;
    }
    return s.substr(first, last - first);
}

bool IsDevicePath(const std::wstring& path) {
    return !path.empty() && path[0] == L'\\' && (path.size() < 2 || path[1] != L'\\');
}

std::wstring WithoutTrailingBackslash(std::wstring path) {
    while (path.size() > 1 && path.back() == L'\\') {
        path.pop_back();
    }
    return path;
}

bool ParseNumber(const std::wstring& text, DWORD& number) {
    if (text.empty()) {
        return false;
    }
    wchar_t* end = nullptr;
    errno = 0;
    unsigned long long value = wcstoull(text.c_str(), &end, 0);
    if (*end != 0 || errno != 0 || value > 0xFFFFFFFFull || text[0] == L'-') {
        return false;
    }
    number = static_cast<DWORD>(value);
    return true;
}

std::wstring FullPath(const std::wstring& path) {
    wchar_t buffer[MAX_PATH * 2];
    DWORD length = GetFullPathNameW(path.c_str(), MAX_PATH * 2, buffer, nullptr);
    if (length == 0 || length >= MAX_PATH * 2) {
        return path;
    }
    return buffer;
}

} // namespace

HKEY PackageManifest::RootFromName(const std::wstring& rootName) {
    if (_wcsicmp(rootName.c_str(), L"HKLM") == 0) {
        return HKEY_LOCAL_MACHINE;
    }
    if (_wcsicmp(rootName.c_str(), L"HKCU") == 0) {
        return HKEY_CURRENT_USER;
    }
    if (_wcsicmp(rootName.c_str(), L"HKCR") == 0) {
        return HKEY_CLASSES_ROOT;
    }
    return nullptr;
}

bool PackageManifest::Load(const std::wstring& path, std::wstring& error) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = L"cannot open the package description " + path;
        return false;
    }
    LARGE_INTEGER size = {};
    GetFileSizeEx(file, &size);
    if (size.QuadPart > kMaxManifestBytes) {
        CloseHandle(file);
        error = path + L": too large for a package description";
        return false;
    }
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    BOOL ok = bytes.empty() ||
              ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr);
    CloseHandle(file);
    if (!ok || read != bytes.size()) {
        error = L"cannot read the package description " + path;
        return false;
    }
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        bytes.erase(0, 3);
    }
    std::wstring text;
    if (!bytes.empty()) {
        int chars = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                                        static_cast<int>(bytes.size()), nullptr, 0);
        if (chars <= 0) {
            error = path + L": not UTF-8 text";
            return false;
        }
        text.resize(chars);
        MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0],
                            chars);
    }
    std::wstring full = FullPath(path);
    size_t slash = full.find_last_of(L"\\/");
    std::wstring dir = slash == std::wstring::npos ? L"." : full.substr(0, slash);
    return Parse(text, dir, path, error);
}

bool PackageManifest::Parse(const std::wstring& text, const std::wstring& sourceFolder,
                            const std::wstring& origin, std::wstring& error) {
    folder = sourceFolder;
    name.clear();
    installDir.clear();
    setupDll.clear();
    files.clear();
    values.clear();

    std::wstring section;
    size_t start = !text.empty() && text[0] == L'\ufeff' ? 1 : 0;
    for (int lineNumber = 1; start <= text.size(); ++lineNumber) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) {
            end = text.size();
        }
        std::wstring line = Trim(text.substr(start, end - start));
        start = end + 1;
        if (line.empty() || line[0] == L';' || line[0] == L'#') {
            continue;
        }
        std::wstring what;
        if (line[0] == L'[') {
            if (line.back() != L']') {
                what = L"unfinished section name";
            } else {
                section = Trim(line.substr(1, line.size() - 2));
                if (_wcsicmp(section.c_str(), L"Package") != 0 &&
                    _wcsicmp(section.c_str(), L"Files") != 0 &&
                    _wcsicmp(section.c_str(), L"Registry") != 0) {
                    what = L"unknown section [" + section + L"]";
                }
            }
        } else if (_wcsicmp(section.c_str(), L"Registry") == 0) {
            ParseRegistryLine(line, what);
        } else {
            size_t eq = line.find(L'=');
            if (eq == std::wstring::npos) {
                what = section.empty() ? L"line outside a section" : L"expected name=value";
            } else {
                std::wstring key = Trim(line.substr(0, eq));
                std::wstring value = Trim(line.substr(eq + 1));
                if (_wcsicmp(section.c_str(), L"Package") == 0) {
                    ParsePackageLine(key, value, what);
                } else if (_wcsicmp(section.c_str(), L"Files") == 0) {
                    ParseFileLine(key, value, what);
                } else {
                    what = L"line outside a section";
                }
            }
        }
        if (!what.empty()) {
            error = origin + L":" + std::to_wstring(lineNumber) + L": " + what;
            return false;
        }
    }
    if (name.empty()) {
        error = origin + L": the package has no Name";
        return false;
    }
    if (installDir.empty()) {
        installDir = files.empty() ? L"\\" : files.front().destFolder;
    }
    return true;
}

bool PackageManifest::ParsePackageLine(const std::wstring& key, const std::wstring& value,
                                       std::wstring& what) {
    if (_wcsicmp(key.c_str(), L"Name") == 0) {
        if (value.empty() || value.find_first_of(L"\\/:*?\"<>|") != std::wstring::npos) {
            what = L"Name must be a plain name";
        } else {
            name = value;
        }
    } else if (_wcsicmp(key.c_str(), L"InstallDir") == 0) {
        if (!IsDevicePath(value)) {
            what = L"InstallDir must be a device path starting with \\";
        } else {
            installDir = WithoutTrailingBackslash(value);
        }
    } else if (_wcsicmp(key.c_str(), L"SetupDll") == 0) {
        if (value.empty()) {
            what = L"SetupDll names no file";
        } else {
            setupDll = FullPath(folder + L"\\" + value);
        }
    } else {
        what = L"unknown setting " + key;
    }
    return what.empty();
}

bool PackageManifest::ParseFileLine(const std::wstring& key, const std::wstring& value,
                                    std::wstring& what) {
    if (key.empty()) {
        what = L"file entry without a source";
        return false;
    }
    if (!IsDevicePath(value)) {
        what = L"destination of " + key + L" must be a device folder starting with \\";
        return false;
    }
    PackageFile file;
    file.source = FullPath(folder + L"\\" + key);
    file.destFolder = WithoutTrailingBackslash(value);
    size_t slash = key.find_last_of(L"\\/");
    std::wstring fileName = slash == std::wstring::npos ? key : key.substr(slash + 1);
    if (fileName.empty() || fileName == L"." || fileName == L"..") {
        what = L"file entry " + key + L" names no file";
        return false;
    }
    file.destPath = (file.destFolder == L"\\" ? L"" : file.destFolder) + L"\\" + fileName;
    for (const PackageFile& other : files) {
        if (_wcsicmp(other.destPath.c_str(), file.destPath.c_str()) == 0) {
            what = L"two files go to " + file.destPath;
            return false;
        }
    }
    files.push_back(file);
    return true;
}

// root\key,name,type,data -- the data is the rest of the line, commas included.
bool PackageManifest::ParseRegistryLine(const std::wstring& line, std::wstring& what) {
    size_t c1 = line.find(L',');
    size_t c2 = c1 == std::wstring::npos ? c1 : line.find(L',', c1 + 1);
    size_t c3 = c2 == std::wstring::npos ? c2 : line.find(L',', c2 + 1);
    if (c3 == std::wstring::npos) {
        what = L"expected root\\key,name,type,data";
        return false;
    }
    std::wstring fullKey = Trim(line.substr(0, c1));
    PackageValue value;
    value.name = Trim(line.substr(c1 + 1, c2 - c1 - 1));
    std::wstring type = Trim(line.substr(c2 + 1, c3 - c2 - 1));
    std::wstring data = Trim(line.substr(c3 + 1));
    // "dword keep": the installer leaves a value that is already there alone.
    size_t space = type.find_first_of(L" \t");
    std::wstring flag = space == std::wstring::npos ? L"" : Trim(type.substr(space));
    type = type.substr(0, space);
    value.keep = _wcsicmp(flag.c_str(), L"keep") == 0;
    if (!flag.empty() && !value.keep) {
        what = L"unknown value flag " + flag + L" (keep)";
        return false;
    }

    size_t slash = fullKey.find(L'\\');
    value.rootName = fullKey.substr(0, slash);
    value.root = RootFromName(value.rootName);
    if (!value.root) {
        what = L"unknown registry root " + value.rootName;
        return false;
    }
    value.keyPath = slash == std::wstring::npos ? L"" : fullKey.substr(slash + 1);
    while (!value.keyPath.empty() && value.keyPath.back() == L'\\') {
        value.keyPath.pop_back();
    }
    if (value.keyPath.empty() || value.keyPath.find(L"\\\\") != std::wstring::npos) {
        what = L"registry key " + fullKey + L" is not a key below the root";
        return false;
    }
    if (_wcsicmp(type.c_str(), L"dword") == 0) {
        value.type = REG_DWORD;
        value.number = 0;
        if (!ParseNumber(data, value.number)) {
            what = L"\"" + data + L"\" is not a 32-bit number";
            return false;
        }
    } else if (_wcsicmp(type.c_str(), L"sz") == 0) {
        value.type = REG_SZ;
        value.number = 0;
        value.text = data;
    } else {
        what = L"unknown value type " + type + L" (dword or sz)";
        return false;
    }
    for (const PackageValue& other : values) {
        if (other.root == value.root &&
            _wcsicmp(other.keyPath.c_str(), value.keyPath.c_str()) == 0 &&
            _wcsicmp(other.name.c_str(), value.name.c_str()) == 0) {
            what = L"value " + value.name + L" of " + fullKey + L" is set twice";
            return false;
        }
    }
    values.push_back(value);
    return true;
}
