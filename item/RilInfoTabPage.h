#pragma once

#include <windows.h>

#include <string>

#include "CellInfo.h"
#include "TabPage.h"

// The basic page "Základní údaje": serving cell, network id with the time of the last update,
// and a signal bar; or a single message instead of the data.
class RilInfoTabPage : public TabPage {
public:
    RilInfoTabPage(int order, const wchar_t* title, TodayTabControl* owner);

    void Paint(HDC dc, SIZE strip, RECT area) override;

    void SetCell(const CellInfo& newCell);
    void SetNetworkId(const std::wstring& text);
    std::wstring GetNetworkId() const;
    void SetMessage(const std::wstring& text);
    void GetSignal(int& minimum, int& maximum, int& current) const;
    void SetSignal(int minimum, int maximum, int current);
    void SetTime(const SYSTEMTIME& time);

    const CellInfo& GetCell() const { return cell; }
    bool IsMessageMode() const { return messageMode; }
    const std::wstring& GetMessageText() const { return message; }
    // Bar and green part of the last paint, for checking the drawing.
    RECT GetBarRect() const { return barRect; }
    RECT GetFillRect() const { return fillRect; }

private:
    void PaintSignalBar(HDC dc, const RECT& area, const RECT& lastLine);

    CellInfo cell;
    int signalMin = 0;
    int signalMax = 0;
    int signalCurrent = 0;
    std::wstring networkId;
    std::wstring message;
    bool messageMode = false;
    SYSTEMTIME updateTime = {};
    RECT barRect = {0, 0, 0, 0};
    RECT fillRect = {0, 0, 0, 0};
};
