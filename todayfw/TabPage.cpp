#include "TabPage.h"

TabPage::TabPage(int order, const wchar_t* title, TodayTabControl* owner)
    : title(title ? title : L""), owner(owner), order(order) {}

TabPage::~TabPage() = default;

void TabPage::OnSelectionChanged() {}

void TabPage::OnOwnerDestroyed() {}

std::wstring TabPage::GetTitle() const {
    return title;
}

TodayTabControl* TabPage::GetOwner() const {
    return owner;
}

int TabPage::GetOrder() const {
    return order;
}

RECT TabPage::GetTabRect() const {
    return tabRect;
}

void TabPage::SetTabRect(int left, int top, int right, int bottom) {
    SetRect(&tabRect, left, top, right, bottom);
}
