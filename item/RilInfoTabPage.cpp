#include "RilInfoTabPage.h"

#include <cstdlib>

#include "TodayTabControl.h"

namespace {

const COLORREF SignalGreen = RGB(51, 255, 0);

// Radio values are short; anything longer is cut so the fixed line buffers always hold it.
const size_t FieldChars = 40;
// "Cell Id: %s LAC: %s BCCH: %s" with three cut fields, and its terminator.
const size_t Line1Chars = 22 + 3 * FieldChars + 1;

std::wstring Field(const std::wstring& text) {
    return text.substr(0, FieldChars);
}

RECT DrawLine(HDC dc, const wchar_t* text, int top) {
    SIZE extent = {0, 0};
    GetTextExtentExPointW(dc, text, lstrlenW(text), 0, nullptr, nullptr, &extent);
    RECT line = {26, top, 26 + extent.cx, top + extent.cy};
    DrawTextW(dc, text, -1, &line, 0);
    return line;
}

} // namespace

RilInfoTabPage::RilInfoTabPage(int order, const wchar_t* title, TodayTabControl* owner)
    : TabPage(order, title, owner) {}

void RilInfoTabPage::Paint(HDC dc, SIZE strip, RECT area) {
    CTodayWindow* window = GetOwner()->GetOwnerWindow();
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, window->GetTextColor());
    HGDIOBJ oldFont = SelectObject(dc, window->GetNormalFont());

    wchar_t line1[Line1Chars];
    wchar_t line2[300];
    line2[0] = L'\0';
    if (messageMode) {
        lstrcpynW(line1, message.c_str(), 128);
    } else {
        wsprintfW(line1, L"Cell Id: %s LAC: %s BCCH: %s", Field(cell.cellId).c_str(),
                  Field(cell.lac).c_str(), Field(cell.bcch).c_str());
        wsprintfW(line2, L"Net Id: %s Aktualizace: %02u:%02u:%02u", Field(networkId).c_str(),
                  updateTime.wHour, updateTime.wMinute, updateTime.wSecond);
    }

    RECT last = DrawLine(dc, line1, area.top + strip.cy + 2);
    if (line2[0])
        last = DrawLine(dc, line2, last.bottom + 1);
    PaintSignalBar(dc, area, last);
    SelectObject(dc, oldFont);
}

void RilInfoTabPage::PaintSignalBar(HDC dc, const RECT& area, const RECT& lastLine) {
    RECT bar = {26, lastLine.bottom + 2, area.right - 10, lastLine.bottom + 14};
    HBRUSH black = CreateSolidBrush(RGB(0, 0, 0));
    FillRect(dc, &bar, black);
    barRect = bar;
    SetRectEmpty(&fillRect);

    wchar_t text[64];
    HBRUSH green = nullptr;
    if (signalCurrent == 0 || signalCurrent == 1 || signalCurrent == -1) {
        lstrcpyW(text, L"N/A");
    } else {
        wsprintfW(text, L"%d/%d minimum=%d", signalCurrent, signalMax, signalMin);
        int range = std::abs(std::abs(signalMax) - std::abs(signalMin));
        int width = bar.right - bar.left;
        if (range >= 1 && width >= 1) {
            int step = width / range;
            if (step >= 1) {
                int value = signalMax > signalMin ? signalCurrent - signalMin
                                                  : std::abs(signalMin) - std::abs(signalCurrent);
                RECT fill = bar;
                fill.right = value == range ? bar.right : bar.left + value * step;
                // A value below the minimum leaves an empty rectangle, as FillRect does on the
                // device.
                if (fill.right > fill.left) {
                    green = CreateSolidBrush(SignalGreen);
                    FillRect(dc, &fill, green);
                    fillRect = fill;
                }
            }
        }
    }
    DrawTextW(dc, text, -1, &bar, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    DeleteObject(black);
    if (green)
        DeleteObject(green);
}

void RilInfoTabPage::SetCell(const CellInfo& newCell) {
    cell = newCell;
    messageMode = false;
}

void RilInfoTabPage::SetNetworkId(const std::wstring& text) {
    networkId = text;
    messageMode = false;
}

std::wstring RilInfoTabPage::GetNetworkId() const {
    return networkId;
}

void RilInfoTabPage::SetMessage(const std::wstring& text) {
    message = text;
    messageMode = true;
}

void RilInfoTabPage::GetSignal(int& minimum, int& maximum, int& current) const {
    minimum = signalMin;
    maximum = signalMax;
    current = signalCurrent;
}

void RilInfoTabPage::SetSignal(int minimum, int maximum, int current) {
    signalMin = minimum;
    signalMax = maximum;
    signalCurrent = current;
}

void RilInfoTabPage::SetTime(const SYSTEMTIME& time) {
    updateTime = time;
}
