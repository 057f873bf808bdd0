#pragma once

#include <windows.h>

#include <string>

class TodayTabControl;

// One page of a TodayTabControl: a title drawn in its tab, a 1-based position number and the
// drawing of the page below the tab strip.
class TabPage {
public:
    TabPage(int order, const wchar_t* title, TodayTabControl* owner);
    virtual ~TabPage();

    TabPage(const TabPage&) = delete;
    TabPage& operator=(const TabPage&) = delete;

    // strip: width of the area and height of the strip just drawn (bottom line included);
    // the page draws below strip.cy inside area.
    virtual void Paint(HDC dc, SIZE strip, RECT area) = 0;
    // Called on every page whenever a page becomes current.
    virtual void OnSelectionChanged();
    // Called on every page when the item window is being destroyed.
    virtual void OnOwnerDestroyed();

    std::wstring GetTitle() const;
    TodayTabControl* GetOwner() const;
    int GetOrder() const;
    RECT GetTabRect() const;
    void SetTabRect(int left, int top, int right, int bottom);

private:
    std::wstring title;
    TodayTabControl* owner;
    int order;
    RECT tabRect = {0, 0, 0, 0};
};
