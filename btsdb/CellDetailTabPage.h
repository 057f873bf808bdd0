#pragma once

#include "BtsRecord.h"
#include "TabPage.h"

#include <string>

// Shown on the detail page while no BTS details are known.
extern const wchar_t kDetailsNotAvailable[];

// The "Podrobnosti" page: what the BTS database knows about the serving cell, or one status
// line. The item looks the cell up and pushes the result in through the setters; the page
// only keeps the texts and paints them. A non-empty status text hides the fields; every
// field setter clears it.
class CellDetailTabPage : public TabPage {
public:
    CellDetailTabPage(int order, const wchar_t* title, TodayTabControl* owner);
    ~CellDetailTabPage() override;

    void Paint(HDC dc, SIZE strip, RECT area) override;
    virtual void Reset();

    void SetStatusText(std::wstring text);
    void SetBcch(std::wstring text);
    void SetLeadingText(std::wstring text);
    void SetDistrict(std::wstring text);
    void SetTrailingText(std::wstring text);
    void SetLatitude(std::wstring text);
    void SetLongitude(std::wstring text);

    // Shows a lookup's result after Reset: its status alone, or each of its fields 4 to 9.
    void ShowRecord(const BtsRecord& record);

    std::wstring GetStatusText() const { return statusText; }
    std::wstring GetBcch() const { return bcch; }
    std::wstring GetLeadingText() const { return leadingText; }
    std::wstring GetDistrict() const { return district; }
    std::wstring GetTrailingText() const { return trailingText; }
    std::wstring GetLatitude() const { return latitude; }
    std::wstring GetLongitude() const { return longitude; }

    // The text Paint draws: the status text, or the fields with their labels on two lines.
    std::wstring ComposeText() const;

private:
    std::wstring statusText;
    std::wstring bcch;
    std::wstring leadingText;
    std::wstring district;
    std::wstring trailingText;
    std::wstring latitude;
    std::wstring longitude;
};
