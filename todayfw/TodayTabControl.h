#pragma once

#include <windows.h>

#include <vector>

#include "CTodayWindow.h"
#include "TabPage.h"

// Owner-drawn tab strip with pages, painted inside a Today item and driven by the item's
// messages (paint, taps, the shell's keyboard navigation). Navigation operations return true
// when the step was taken and the item has to repaint. The order of the virtual operations is
// part of the contract: derived controls override by position.
class TodayTabControl {
public:
    explicit TodayTabControl(CTodayWindow* owner);

    TodayTabControl(const TodayTabControl&) = delete;
    TodayTabControl& operator=(const TodayTabControl&) = delete;

    virtual void UserHook(WPARAM a, LPARAM b);
    virtual void DrawTabs(HDC dc, SIZE& strip, const RECT& area);
    virtual void PaintPage(HDC dc, SIZE strip, const RECT& area, TabPage* page);
    virtual bool EnterPage();
    virtual bool LeavePage();
    virtual bool ResetFocus();
    virtual bool FocusFirstTab();
    virtual bool FocusLastTab();
    virtual bool IsFocusOnLastTab();
    virtual bool IsFocusOnFirstTab();
    virtual bool CanMoveLeft();
    virtual bool CanMoveRight();
    virtual bool CanMoveUp();
    virtual bool CanMoveDown();
    virtual bool CanFocusFirst();
    virtual bool CanFocusLast();
    virtual bool MoveLeft();
    virtual bool MoveRight();
    virtual bool MoveUp();
    virtual bool MoveDown();
    virtual bool ActivateFocusedTab();
    virtual bool HasFocus();
    virtual void CallUserHook(WPARAM a, LPARAM b);
    virtual std::vector<TabPage*>& GetTabs();
    virtual bool OnClick(int x, int y);
    virtual void Paint(HDC dc, const RECT& area);
    virtual ~TodayTabControl();

    // Throws std::domain_error when the page is not in Tabs.
    void SelectPage(TabPage* page);
    TabPage* GetCurrentPage() const;
    void NotifyOwnerDestroyed();

    int GetFocusIndex() const { return focusIndex; }
    bool IsContentMode() const { return contentMode; }
    CTodayWindow* GetOwnerWindow() const { return ownerWindow; }

protected:
    // Not owned: the derived control holds the pages and appends them.
    std::vector<TabPage*> Tabs;
    TabPage* selectedPage = nullptr;
    CTodayWindow* ownerWindow;
    int focusIndex = -1;
    bool contentMode = false;
};
