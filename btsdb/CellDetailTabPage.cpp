#include "CellDetailTabPage.h"

#include "CTodayWindow.h"
#include "TodayTabControl.h"

#include <utility>

const wchar_t kDetailsNotAvailable[] = L"Detaily nejsou dostupné!";

namespace {

// The left edge lines up with the texts of the basic page.
const int kTextLeft = 26;
const int kRightMargin = 10;

} // namespace

CellDetailTabPage::CellDetailTabPage(int order, const wchar_t* title, TodayTabControl* owner)
    : TabPage(order, title, owner), statusText(kDetailsNotAvailable) {}

CellDetailTabPage::~CellDetailTabPage() = default;

void CellDetailTabPage::Paint(HDC dc, SIZE strip, RECT area) {
    const std::wstring text = ComposeText();
    const CTodayWindow* window = GetOwner()->GetOwnerWindow();
    SetTextColor(dc, window->GetTextColor());
    HGDIOBJ previousFont = SelectObject(dc, window->GetNormalFont());
    RECT rect = {kTextLeft, area.top + strip.cy + 1, area.right - kRightMargin, area.bottom};
    DrawTextW(dc, text.c_str(), -1, &rect, DT_LEFT | DT_TOP | DT_WORDBREAK | DT_EXPANDTABS);
    SelectObject(dc, previousFont);
}

void CellDetailTabPage::Reset() {
    statusText = kDetailsNotAvailable;
    bcch.clear();
    leadingText.clear();
    district.clear();
    trailingText.clear();
    latitude.clear();
    longitude.clear();
}

void CellDetailTabPage::ShowRecord(const BtsRecord& record) {
    const auto status = record.find(kBtsStatusKey);
    if (status != record.end()) {
        SetStatusText(status->second);
        return;
    }
    void (CellDetailTabPage::*const setters[])(std::wstring) = {
        &CellDetailTabPage::SetBcch,     &CellDetailTabPage::SetLeadingText,
        &CellDetailTabPage::SetDistrict, &CellDetailTabPage::SetTrailingText,
        &CellDetailTabPage::SetLatitude, &CellDetailTabPage::SetLongitude};
    int key = 4;
    for (auto setter : setters) {
        const auto field = record.find(key++);
        if (field != record.end()) {
            (this->*setter)(field->second);
        }
    }
}

std::wstring CellDetailTabPage::ComposeText() const {
    if (!statusText.empty()) {
        return statusText;
    }
    return leadingText + L"  BCCH: " + bcch + L"  Okres: " + district + L"\r\nLAT: " + latitude +
           L"  LON: " + longitude + L"  " + trailingText;
}

void CellDetailTabPage::SetStatusText(std::wstring text) {
    statusText = std::move(text);
}

void CellDetailTabPage::SetBcch(std::wstring text) {
    bcch = std::move(text);
    statusText.clear();
}

void CellDetailTabPage::SetLeadingText(std::wstring text) {
    leadingText = std::move(text);
    statusText.clear();
}

void CellDetailTabPage::SetDistrict(std::wstring text) {
    district = std::move(text);
    statusText.clear();
}

void CellDetailTabPage::SetTrailingText(std::wstring text) {
    trailingText = std::move(text);
    statusText.clear();
}

void CellDetailTabPage::SetLatitude(std::wstring text) {
    latitude = std::move(text);
    statusText.clear();
}

void CellDetailTabPage::SetLongitude(std::wstring text) {
    longitude = std::move(text);
    statusText.clear();
}
