#pragma once

#include <string>
#include <vector>

#include "InstallRecord.h"
#include "PackageManifest.h"

// Installs and removes packages as the device's CAB installer does: the setup library's
// Init entry, the files, the registry values, its Exit entry. A step that fails leaves the
// device as it was before the step and says why in Error().
class PackageInstaller {
public:
    bool Install(const PackageManifest& manifest);
    bool Remove(const std::wstring& packageName);

    const std::wstring& Error() const { return error; }
    // Things that did not stop the step (a leftover that could not be deleted).
    const std::vector<std::wstring>& Warnings() const { return warnings; }

    // Where the setup library of an installed package is kept for its removal.
    static std::wstring KeptSetupDllPath(const std::wstring& packageName);

private:
    // A file the step wrote or moved, and where its former content waits meanwhile.
    struct FileChange {
        std::wstring path;
        std::wstring saved; // empty: the file did not exist before
    };

    bool Fail(const std::wstring& message);
    bool CreateFolders(const std::wstring& folder);
    bool CopyIn(const std::wstring& source, const std::wstring& dest);
    void RollBackFiles();
    void CommitFiles();
    void RemoveCreatedKeys(const InstallRecord& record);
    void RemoveLeftovers(const InstallRecord& previous, const InstallRecord& current);
    void RemoveFolders(const std::vector<std::wstring>& folderList);

    std::wstring error;
    std::vector<std::wstring> warnings;
    std::vector<FileChange> fileChanges;
    std::vector<std::wstring> createdFolders;
};
