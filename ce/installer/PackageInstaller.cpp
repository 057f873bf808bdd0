#include "PackageInstaller.h"

#include <algorithm>

#include "RegistrySnapshot.h"
#include "SetupLibrary.h"

namespace {

// Former contents of replaced files wait here, out of the setup library's sight, until the
// step is over.
const wchar_t kSavedFolder[] = L"\\Windows\\AppMgrSaved";
// Files being removed wait beside themselves until nothing can stop the removal.
const wchar_t kRemovedSuffix[] = L".instdel";

std::wstring SystemMessage(DWORD code) {
    wchar_t* text = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = length ? std::wstring(text, length) : L"";
    LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                                message.back() == L'.' || message.back() == L' ')) {
        message.pop_back();
    }
    return message + L" (error " + std::to_wstring(code) + L")";
}

bool IsFile(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFolder(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsSharingError(DWORD code) {
    return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION ||
           code == ERROR_ACCESS_DENIED;
}

// The shell lets go of an item's library only when it handles the reload that the setup
// library asked for, which it may do after the request returned. So a file in use gets a
// bounded time to become free; false when somebody still holds it after that.
bool WaitUntilFree(const std::wstring& path, DWORD& lastError) {
    lastError = 0;
    // A read-only file is refused at once, by the copy or the move that follows.
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY)) {
        return true;
    }
    const DWORD kWaitMs = 5000;
    const DWORD kPollMs = 50;
    for (DWORD waited = 0;; waited += kPollMs) {
        HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            lastError = 0;
            return true;
        }
        lastError = GetLastError();
        if (!IsSharingError(lastError)) {
            // Gone, or a fault that the copy or the move that follows reports itself.
            lastError = 0;
            return true;
        }
        if (waited >= kWaitMs) {
            return false;
        }
        Sleep(kPollMs);
    }
}

std::wstring InUseMessage(DWORD code) {
    return L"still in use: " + SystemMessage(code);
}

bool SameText(const std::wstring& a, const std::wstring& b) {
    return _wcsicmp(a.c_str(), b.c_str()) == 0;
}

bool Contains(const std::vector<std::wstring>& list, const std::wstring& item) {
    return std::any_of(list.begin(), list.end(),
                       [&](const std::wstring& s) { return SameText(s, item); });
}

void AddOnce(std::vector<std::wstring>& list, const std::wstring& item) {
    if (!Contains(list, item)) {
        list.push_back(item);
    }
}

std::wstring ValueRecord(const PackageValue& value) {
    return value.rootName + L"\\" + value.keyPath + L"\t" + value.name;
}

// "HKLM\key" TAB "name" back into its parts; false for anything else.
bool ParseValueRecord(const std::wstring& text, HKEY& root, std::wstring& keyPath,
                      std::wstring& name) {
    size_t tab = text.find(L'\t');
    size_t slash = text.find(L'\\');
    if (tab == std::wstring::npos || slash == std::wstring::npos || slash > tab) {
        return false;
    }
    root = PackageManifest::RootFromName(text.substr(0, slash));
    keyPath = text.substr(slash + 1, tab - slash - 1);
    name = text.substr(tab + 1);
    return root && !keyPath.empty();
}

bool ParseKeyRecord(const std::wstring& text, HKEY& root, std::wstring& keyPath) {
    size_t slash = text.find(L'\\');
    if (slash == std::wstring::npos) {
        return false;
    }
    root = PackageManifest::RootFromName(text.substr(0, slash));
    keyPath = text.substr(slash + 1);
    return root && !keyPath.empty();
}

bool WriteValue(const PackageValue& value, std::wstring& why) {
    HKEY key;
    LONG result = RegCreateKeyExW(value.root, value.keyPath.c_str(), 0, nullptr, 0,
                                  KEY_SET_VALUE | KEY_QUERY_VALUE, nullptr, &key, nullptr);
    if (result == ERROR_SUCCESS && value.keep &&
        RegQueryValueExW(key, value.name.c_str(), nullptr, nullptr, nullptr, nullptr) ==
            ERROR_SUCCESS) {
        RegCloseKey(key);
        return true;
    }
    if (result == ERROR_SUCCESS) {
        if (value.type == REG_DWORD) {
            result =
                RegSetValueExW(key, value.name.c_str(), 0, REG_DWORD,
                               reinterpret_cast<const BYTE*>(&value.number), sizeof(value.number));
        } else {
            result = RegSetValueExW(key, value.name.c_str(), 0, REG_SZ,
                                    reinterpret_cast<const BYTE*>(value.text.c_str()),
                                    static_cast<DWORD>((value.text.size() + 1) * sizeof(wchar_t)));
        }
        RegCloseKey(key);
    }
    if (result != ERROR_SUCCESS) {
        why = SystemMessage(static_cast<DWORD>(result));
    }
    return result == ERROR_SUCCESS;
}

bool DeleteValue(HKEY root, const std::wstring& keyPath, const std::wstring& name) {
    HKEY key;
    LONG result = RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_SET_VALUE, &key);
    if (result == ERROR_FILE_NOT_FOUND) {
        return true;
    }
    if (result != ERROR_SUCCESS) {
        return false;
    }
    result = RegDeleteValueW(key, name.c_str());
    RegCloseKey(key);
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}

// True when the key is gone afterwards.
bool DeleteKeyIfEmpty(HKEY root, const std::wstring& keyPath) {
    HKEY key;
    LONG result = RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_QUERY_VALUE, &key);
    if (result == ERROR_FILE_NOT_FOUND) {
        return true;
    }
    if (result != ERROR_SUCCESS) {
        return false;
    }
    DWORD subKeys = 0, valueCount = 0;
    result = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr,
                              &valueCount, nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return result == ERROR_SUCCESS && subKeys == 0 && valueCount == 0 &&
           RegDeleteKeyW(root, keyPath.c_str()) == ERROR_SUCCESS;
}

} // namespace

std::wstring PackageInstaller::KeptSetupDllPath(const std::wstring& packageName) {
    return L"\\Windows\\AppMgr\\" + packageName + L".dll";
}

bool PackageInstaller::Fail(const std::wstring& message) {
    error = message;
    return false;
}

bool PackageInstaller::Install(const PackageManifest& manifest) {
    error.clear();
    warnings.clear();
    fileChanges.clear();
    createdFolders.clear();

    // Everything the package names must be there before anything on the device changes.
    for (const PackageFile& file : manifest.Files()) {
        if (!IsFile(file.source)) {
            return Fail(L"package file missing: " + file.source);
        }
    }
    SetupLibrary setup;
    if (!manifest.SetupDll().empty() && !setup.Load(manifest.SetupDll(), error)) {
        return false;
    }

    InstallRecord previous;
    bool previouslyInstalled = previous.Load(manifest.Name());
    InstallRecord record;
    record.name = manifest.Name();
    record.installDir = manifest.InstallDir();

    // Taken before the setup library runs: a failed step also undoes what it did to the
    // package's own values (it disables the item the package will enable again).
    RegistrySnapshot values;
    for (const PackageValue& value : manifest.Values()) {
        values.Capture(value.root, value.keyPath, value.name);
    }
    RegistrySnapshot recordValues;
    for (int i = 0; i < InstallRecord::kValueCount; ++i) {
        recordValues.Capture(HKEY_LOCAL_MACHINE, InstallRecord::KeyPath(record.name),
                             InstallRecord::kValueNames[i]);
    }

    if (setup.InstallInit(previouslyInstalled, manifest.InstallDir()) !=
        codeINSTALL_INIT_CONTINUE) {
        values.Restore();
        return Fail(L"the setup library cancelled the installation of " + record.name);
    }

    std::vector<std::pair<std::wstring, std::wstring>> copies;
    for (const PackageFile& file : manifest.Files()) {
        copies.emplace_back(file.source, file.destPath);
    }
    if (!manifest.SetupDll().empty()) {
        record.setupDll = KeptSetupDllPath(record.name);
        copies.emplace_back(manifest.SetupDll(), record.setupDll);
    }
    WORD failedDirs = 0, failedFiles = 0, failedValues = 0;
    for (const auto& copy : copies) {
        std::wstring folder = copy.second.substr(0, copy.second.find_last_of(L'\\'));
        if (!CreateFolders(folder)) {
            failedDirs = 1;
            break;
        }
        if (!CopyIn(copy.first, copy.second)) {
            failedFiles = 1;
            break;
        }
        record.files.push_back(copy.second);
    }
    if (!failedDirs && !failedFiles) {
        for (const PackageValue& value : manifest.Values()) {
            std::wstring why;
            if (!WriteValue(value, why)) {
                error = L"cannot write registry value " + value.name + L" of " + value.rootName +
                        L"\\" + value.keyPath + L": " + why;
                failedValues = 1;
                break;
            }
            record.values.push_back(ValueRecord(value));
        }
    }
    bool ok = !failedDirs && !failedFiles && !failedValues;
    if (ok) {
        record.folders = previouslyInstalled ? previous.folders : std::vector<std::wstring>();
        for (const std::wstring& folder : createdFolders) {
            AddOnce(record.folders, folder);
        }
        record.keys = previouslyInstalled ? previous.keys : std::vector<std::wstring>();
        for (const PackageValue& value : manifest.Values()) {
            for (const std::wstring& key : values.MissingKeys(value.root)) {
                AddOnce(record.keys, value.rootName + L"\\" + key);
            }
        }
        ok = record.Save();
        if (!ok) {
            error = L"cannot write the installation record " + InstallRecord::KeyPath(record.name);
        }
    }
    if (!ok) {
        RollBackFiles();
        values.Restore();
        recordValues.Restore();
        // The setup library learns of the failure and lets the shell reload what is back.
        setup.InstallExit(manifest.InstallDir(), failedDirs, failedFiles, 0, failedValues);
        return false;
    }
    if (setup.InstallExit(manifest.InstallDir(), 0, 0, 0, 0) != codeINSTALL_EXIT_DONE) {
        RollBackFiles();
        values.Restore();
        recordValues.Restore();
        return Fail(L"the setup library undid the installation of " + record.name);
    }
    CommitFiles();
    if (previouslyInstalled) {
        RemoveLeftovers(previous, record);
    }
    return true;
}

bool PackageInstaller::Remove(const std::wstring& packageName) {
    error.clear();
    warnings.clear();
    InstallRecord record;
    if (!record.Load(packageName)) {
        return Fail(L"package " + packageName + L" is not installed");
    }
    SetupLibrary setup;
    if (!record.setupDll.empty() && !setup.Load(record.setupDll, error)) {
        return false;
    }
    RegistrySnapshot values;
    for (const std::wstring& text : record.values) {
        HKEY root;
        std::wstring keyPath, name;
        if (ParseValueRecord(text, root, keyPath, name)) {
            values.Capture(root, keyPath, name);
        }
    }
    if (setup.UninstallInit(record.installDir) != codeUNINSTALL_INIT_CONTINUE) {
        values.Restore();
        return Fail(L"the setup library cancelled the removal of " + packageName);
    }

    // The files move aside first: one that is in use stops the removal with nothing lost.
    std::vector<FileChange> moved;
    for (const std::wstring& file : record.files) {
        if (SameText(file, record.setupDll) || !IsFile(file)) {
            continue;
        }
        std::wstring aside = file + kRemovedSuffix;
        DWORD code = 0;
        bool free = WaitUntilFree(file, code);
        if (free && !MoveFileExW(file.c_str(), aside.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            code = GetLastError();
        }
        if (!free || code) {
            error = L"cannot remove " + file + L": " +
                    (free ? SystemMessage(code) : InUseMessage(code));
            for (auto it = moved.rbegin(); it != moved.rend(); ++it) {
                MoveFileExW(it->saved.c_str(), it->path.c_str(), MOVEFILE_REPLACE_EXISTING);
            }
            values.Restore();
            setup.UninstallExit();
            return false;
        }
        moved.push_back({file, aside});
    }

    for (const std::wstring& text : record.values) {
        HKEY root;
        std::wstring keyPath, name;
        if (ParseValueRecord(text, root, keyPath, name) && !DeleteValue(root, keyPath, name)) {
            warnings.push_back(L"could not delete registry value " + text);
        }
    }
    RemoveCreatedKeys(record);
    for (const FileChange& change : moved) {
        if (!DeleteFileW(change.saved.c_str())) {
            warnings.push_back(L"could not delete " + change.saved);
        }
    }
    if (!record.Remove()) {
        warnings.push_back(L"could not delete the installation record");
    }
    setup.UninstallExit();
    setup.Unload();
    if (!record.setupDll.empty() && IsFile(record.setupDll) &&
        !DeleteFileW(record.setupDll.c_str())) {
        warnings.push_back(L"could not delete " + record.setupDll);
    }
    RemoveFolders(record.folders);
    return true;
}

bool PackageInstaller::CreateFolders(const std::wstring& folder) {
    for (size_t pos = folder.find(L'\\', 1);; pos = folder.find(L'\\', pos + 1)) {
        std::wstring level = folder.substr(0, pos);
        if (!level.empty() && !IsFolder(level)) {
            if (!CreateDirectoryW(level.c_str(), nullptr)) {
                error = L"cannot create folder " + level + L": " + SystemMessage(GetLastError());
                return false;
            }
            createdFolders.push_back(level);
        }
        if (pos == std::wstring::npos) {
            return true;
        }
    }
}

// The former content of an existing file waits in the saved folder until the step is over.
bool PackageInstaller::CopyIn(const std::wstring& source, const std::wstring& dest) {
    FileChange change{dest, L""};
    if (IsFile(dest)) {
        DWORD code = 0;
        if (!WaitUntilFree(dest, code)) {
            error = L"cannot replace " + dest + L": " + InUseMessage(code);
            return false;
        }
        if (!IsFolder(kSavedFolder) && !CreateDirectoryW(kSavedFolder, nullptr)) {
            error = L"cannot create folder " + std::wstring(kSavedFolder) + L": " +
                    SystemMessage(GetLastError());
            return false;
        }
        change.saved =
            std::wstring(kSavedFolder) + L"\\" + std::to_wstring(fileChanges.size()) + L".save";
        if (!CopyFileW(dest.c_str(), change.saved.c_str(), FALSE)) {
            error = L"cannot replace " + dest + L": " + SystemMessage(GetLastError());
            DeleteFileW(change.saved.c_str());
            return false;
        }
    }
    if (!CopyFileW(source.c_str(), dest.c_str(), FALSE)) {
        error = L"cannot write " + dest + L": " + SystemMessage(GetLastError());
        if (!change.saved.empty()) {
            DeleteFileW(change.saved.c_str());
        }
        return false;
    }
    fileChanges.push_back(change);
    return true;
}

void PackageInstaller::RollBackFiles() {
    for (auto it = fileChanges.rbegin(); it != fileChanges.rend(); ++it) {
        bool back = it->saved.empty()
                        ? DeleteFileW(it->path.c_str())
                        : MoveFileExW(it->saved.c_str(), it->path.c_str(),
                                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED);
        if (!back) {
            warnings.push_back(L"could not restore " + it->path);
        }
    }
    fileChanges.clear();
    RemoveDirectoryW(kSavedFolder);
    RemoveFolders(createdFolders);
    createdFolders.clear();
}

void PackageInstaller::CommitFiles() {
    for (const FileChange& change : fileChanges) {
        if (!change.saved.empty() && !DeleteFileW(change.saved.c_str())) {
            warnings.push_back(L"could not delete " + change.saved);
        }
    }
    fileChanges.clear();
    RemoveDirectoryW(kSavedFolder);
    createdFolders.clear();
}

// What an earlier version installed and this one does not.
void PackageInstaller::RemoveLeftovers(const InstallRecord& previous,
                                       const InstallRecord& current) {
    for (const std::wstring& file : previous.files) {
        if (!Contains(current.files, file) && IsFile(file) && !DeleteFileW(file.c_str())) {
            warnings.push_back(L"could not delete " + file + L" of the earlier version");
        }
    }
    for (const std::wstring& text : previous.values) {
        HKEY root;
        std::wstring keyPath, name;
        if (!Contains(current.values, text) && ParseValueRecord(text, root, keyPath, name) &&
            !DeleteValue(root, keyPath, name)) {
            warnings.push_back(L"could not delete registry value " + text +
                               L" of the earlier version");
        }
    }
}

// A key the package created goes with everything below the keys that held its values (the
// item's own settings, too). The levels between such a key and the one created go only when
// empty: on a fresh device "Software\Microsoft\Today" may be the level the package created,
// and other programs' Today items may have been put under it since.
void PackageInstaller::RemoveCreatedKeys(const InstallRecord& record) {
    for (const std::wstring& keyText : record.keys) {
        HKEY createdRoot;
        std::wstring created;
        if (!ParseKeyRecord(keyText, createdRoot, created)) {
            continue;
        }
        for (const std::wstring& valueText : record.values) {
            HKEY root;
            std::wstring keyPath, name;
            if (!ParseValueRecord(valueText, root, keyPath, name) || root != createdRoot ||
                !(SameText(keyPath, created) ||
                  (keyPath.size() > created.size() && keyPath[created.size()] == L'\\' &&
                   SameText(keyPath.substr(0, created.size()), created)))) {
                continue;
            }
            LONG result = RegDeleteTreeW(root, keyPath.c_str());
            if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND) {
                warnings.push_back(L"could not delete registry key " +
                                   keyText.substr(0, keyText.find(L'\\') + 1) + keyPath);
                continue;
            }
            for (std::wstring level = keyPath; level.size() > created.size();) {
                level = level.substr(0, level.find_last_of(L'\\'));
                if (!DeleteKeyIfEmpty(root, level)) {
                    break;
                }
            }
        }
    }
}

// Innermost first; a folder that still holds something (the user's files) stays.
void PackageInstaller::RemoveFolders(const std::vector<std::wstring>& folderList) {
    std::vector<std::wstring> sorted = folderList;
    std::sort(sorted.begin(), sorted.end(),
              [](const std::wstring& a, const std::wstring& b) { return a.size() > b.size(); });
    for (const std::wstring& folder : sorted) {
        if (IsFolder(folder) && !RemoveDirectoryW(folder.c_str())) {
            warnings.push_back(L"kept folder " + folder + L": not empty");
        }
    }
}
