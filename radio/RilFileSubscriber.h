#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "ReadWriteLock.h"
#include "RilSubscriber.h"

// The cell log: appends a line to a UTF-16 text file whenever the serving cell or the network
// id differs from the last line written, and a record for every radio error.
class RilFileSubscriber : public RilSubscriber {
public:
    // Throws std::invalid_argument("Invalid filename") for an empty path.
    explicit RilFileSubscriber(const std::wstring& path);

    void OnCellInfo(CellInfo cell) override;
    void OnSignalQuality(int minimum, int maximum, int current) override;
    void OnNetworkId(std::wstring networkId) override;
    void OnRadioOn() override;
    void OnRadioOff() override;
    void OnError(std::wstring text) override;

    virtual std::wstring GetFilePath();
    // Throws std::invalid_argument("Invalid filename") for an empty path and keeps the old one.
    virtual void SetFilePath(const std::wstring& path);
    virtual bool IsEnabled();
    virtual void SetEnabled(bool flag);

    // One cell line as written to the log, for the given local time.
    static std::wstring FormatCellLine(const SYSTEMTIME& time, const CellInfo& cell,
                                       const std::wstring& networkId);

private:
    bool Append(const std::wstring& record);

    ReadWriteLock lock;
    std::wstring filePath;
    CellInfo lastCell;
    // Read without the lock on the radio layer's thread.
    std::atomic<bool> enabled{false};
    std::wstring networkId;
    std::wstring lastNetworkId;
};
