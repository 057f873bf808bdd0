#include "TodayTabControl.h"

#include <algorithm>
#include <stdexcept>

TodayTabControl::TodayTabControl(CTodayWindow* owner) : ownerWindow(owner) {}

TodayTabControl::~TodayTabControl() = default;

void TodayTabControl::UserHook(WPARAM, LPARAM) {}

void TodayTabControl::DrawTabs(HDC dc, SIZE& strip, const RECT& area) {
    HPEN pen = CreatePen(PS_SOLID, 0, ownerWindow->GetTextColor());
    HGDIOBJ oldPen = SelectObject(dc, pen);
    HGDIOBJ oldFont = SelectObject(dc, ownerWindow->GetNormalFont());

    TabPage* current = GetCurrentPage();
    if (!Tabs.empty() && current) {
        int width = area.right - area.left;
        strip.cx = width;
        int count = static_cast<int>(Tabs.size());
        int tabWidth = (width - count - 14) / count;

        std::wstring firstTitle = Tabs[0]->GetTitle();
        SIZE extent = {0, 0};
        GetTextExtentExPointW(dc, firstTitle.c_str(), static_cast<int>(firstTitle.size()), 0,
                              nullptr, nullptr, &extent);
        int h = extent.cy;
        strip.cy = h + 1;

        // Room for the item icon at x = 2.
        int x = area.left + 17;
        bool first = true;
        for (TabPage* page : Tabs) {
            if (first) {
                MoveToEx(dc, x - 1, 0, nullptr);
                LineTo(dc, x - 1, h + 1);
                first = false;
            }
            // The current tab stays open towards its page.
            if (page != current) {
                MoveToEx(dc, x - 1, h + 1, nullptr);
                LineTo(dc, x + tabWidth + 1, h + 1);
            }
            MoveToEx(dc, x + tabWidth + 1, 0, nullptr);
            LineTo(dc, x + tabWidth + 1, h + 1);

            RECT tab = {x, 0, x + tabWidth, h};
            std::wstring title = page->GetTitle();
            if (HasFocus() && !contentMode && page->GetOrder() == focusIndex + 1) {
                HBRUSH brush = CreateSolidBrush(ownerWindow->GetHighlightColor());
                FillRect(dc, &tab, brush);
                SetTextColor(dc, ownerWindow->GetHighlightedTextColor());
                DrawTextW(dc, title.c_str(), -1, &tab, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
                DeleteObject(brush);
                SetTextColor(dc, ownerWindow->GetTextColor());
            } else {
                DrawTextW(dc, title.c_str(), -1, &tab, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
            }
            page->SetTabRect(tab.left, tab.top, tab.right, tab.bottom);
            x += tabWidth + 2;
        }
    }

    SelectObject(dc, oldPen);
    SelectObject(dc, oldFont);
    DeleteObject(pen);
}

void TodayTabControl::PaintPage(HDC dc, SIZE strip, const RECT& area, TabPage* page) {
    page->Paint(dc, strip, area);
}

bool TodayTabControl::EnterPage() {
    contentMode = true;
    return true;
}

bool TodayTabControl::LeavePage() {
    contentMode = false;
    return true;
}

bool TodayTabControl::ResetFocus() {
    focusIndex = -1;
    contentMode = false;
    return true;
}

bool TodayTabControl::FocusFirstTab() {
    if (Tabs.empty())
        return false;
    focusIndex = 0;
    return true;
}

bool TodayTabControl::FocusLastTab() {
    if (Tabs.empty())
        return false;
    focusIndex = static_cast<int>(Tabs.size()) - 1;
    return true;
}

bool TodayTabControl::IsFocusOnLastTab() {
    return HasFocus() && !contentMode && focusIndex == static_cast<int>(Tabs.size()) - 1;
}

bool TodayTabControl::IsFocusOnFirstTab() {
    return HasFocus() && !contentMode && focusIndex == 0;
}

bool TodayTabControl::CanMoveLeft() {
    return HasFocus() && !contentMode && focusIndex >= 1;
}

bool TodayTabControl::CanMoveRight() {
    return HasFocus() && !contentMode && focusIndex < static_cast<int>(Tabs.size()) - 1;
}

bool TodayTabControl::CanMoveUp() {
    return false;
}

bool TodayTabControl::CanMoveDown() {
    return false;
}

bool TodayTabControl::CanFocusFirst() {
    return !Tabs.empty();
}

bool TodayTabControl::CanFocusLast() {
    return !Tabs.empty();
}

bool TodayTabControl::MoveLeft() {
    if (contentMode || !CanMoveLeft())
        return false;
    --focusIndex;
    return true;
}

bool TodayTabControl::MoveRight() {
    if (contentMode || !CanMoveRight())
        return false;
    ++focusIndex;
    return true;
}

bool TodayTabControl::MoveUp() {
    return false;
}

bool TodayTabControl::MoveDown() {
    return false;
}

bool TodayTabControl::ActivateFocusedTab() {
    if (!HasFocus() || contentMode)
        return false;
    // Content mode off with focus means the focus is on a tab of the strip.
    if (focusIndex < 0 || focusIndex >= static_cast<int>(Tabs.size()))
        return false;
    TabPage* current = GetCurrentPage();
    if (current && current->GetOrder() == focusIndex + 1)
        return false;
    SelectPage(Tabs[focusIndex]);
    return true;
}

bool TodayTabControl::HasFocus() {
    return contentMode || focusIndex != -1;
}

void TodayTabControl::CallUserHook(WPARAM a, LPARAM b) {
    UserHook(a, b);
}

std::vector<TabPage*>& TodayTabControl::GetTabs() {
    return Tabs;
}

bool TodayTabControl::OnClick(int x, int y) {
    POINT point = {x, y};
    TabPage* current = GetCurrentPage();
    for (TabPage* page : Tabs) {
        RECT tab = page->GetTabRect();
        if (PtInRect(&tab, point) && page != current) {
            SelectPage(page);
            return true;
        }
    }
    return false;
}

void TodayTabControl::Paint(HDC dc, const RECT& area) {
    std::sort(Tabs.begin(), Tabs.end(),
              [](TabPage* a, TabPage* b) { return a->GetOrder() < b->GetOrder(); });
    SetTextColor(dc, ownerWindow->GetTextColor());
    SetBkMode(dc, TRANSPARENT);
    SIZE strip = {0, 0};
    DrawTabs(dc, strip, area);
    if (TabPage* current = GetCurrentPage())
        PaintPage(dc, strip, area, current);
}

void TodayTabControl::SelectPage(TabPage* page) {
    if (std::find(Tabs.begin(), Tabs.end(), page) == Tabs.end())
        throw std::domain_error("TabPage not found in Tabs collection");
    selectedPage = page;
    for (TabPage* each : Tabs)
        each->OnSelectionChanged();
}

TabPage* TodayTabControl::GetCurrentPage() const {
    if (selectedPage)
        return selectedPage;
    return Tabs.empty() ? nullptr : Tabs.front();
}

void TodayTabControl::NotifyOwnerDestroyed() {
    for (TabPage* page : Tabs)
        page->OnOwnerDestroyed();
}
