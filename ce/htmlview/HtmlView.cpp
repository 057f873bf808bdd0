#include "HtmlView.h"

#include "PageFetch.h"

#include <aygshell.h>
#include <htmlctrl.h>
#include <windowsx.h>

namespace {

// Posted by the fetch thread; lParam is the PageContent.
const UINT WM_HTMLVIEW_FETCHDONE = WM_APP + 1;

} // namespace

bool HtmlView::Register(HINSTANCE instance) {
    WNDCLASSW wc = {};
    wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = DISPLAYCLASS;
    if (RegisterClassW(&wc))
        return true;
    return GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HtmlView::HtmlView(HWND window) : window(window) {}

HtmlView::~HtmlView() {
    delete content;
}

LRESULT CALLBACK HtmlView::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    HtmlView* view = reinterpret_cast<HtmlView*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case WM_NCCREATE:
        view = new HtmlView(window);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(view));
        break;
    case WM_NCDESTROY:
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        delete view;
        view = nullptr;
        break;
    }
    if (!view)
        return DefWindowProcW(window, message, wParam, lParam);

    switch (message) {
    case DTM_NAVIGATE:
        return view->OnNavigate(reinterpret_cast<LPCWSTR>(lParam));
    case DTM_ENABLECONTEXTMENU:
        view->contextMenuEnabled = lParam != 0;
        return 0;
    case WM_HTMLVIEW_FETCHDONE:
        view->OnFetchDone(reinterpret_cast<PageContent*>(lParam));
        return 0;
    case WM_LBUTTONDOWN:
        view->OnLButtonDown(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        view->Draw(dc);
        EndPaint(window, &ps);
        return 0;
    }
    case WM_PRINTCLIENT:
        view->Draw(reinterpret_cast<HDC>(wParam));
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT HtmlView::OnNavigate(LPCWSTR newUrl) {
    if (!newUrl || !*newUrl)
        return FALSE;
    url = newUrl;
    SetWindowTextW(window, url.c_str());
    delete content;
    content = nullptr;
    ++sequence;
    loading = PageFetch::Start(window, WM_HTMLVIEW_FETCHDONE, url, sequence);
    InvalidateRect(window, nullptr, TRUE);
    return TRUE;
}

void HtmlView::OnFetchDone(PageContent* result) {
    if (result->sequence != sequence) {
        delete result;
        return;
    }
    delete content;
    content = result;
    loading = false;
    InvalidateRect(window, nullptr, TRUE);
    NM_HTMLVIEW done = {};
    done.szTarget = content->url.c_str();
    Notify(NM_DOCUMENTCOMPLETE, done.hdr);
}

void HtmlView::OnLButtonDown(int x, int y) {
    if (!contextMenuEnabled)
        return;
    SHRGINFO gesture = {};
    gesture.cbSize = sizeof(gesture);
    gesture.hwndClient = window;
    gesture.ptDown = {x, y};
    gesture.dwFlags = SHRG_RETURNCMD;
    if (SHRecognizeGesture(&gesture) != GN_CONTEXTMENU)
        return;
    NM_HTMLCONTEXT context = {};
    context.pt = {x, y};
    ClientToScreen(window, &context.pt);
    Notify(NM_CONTEXTMENU, context.hdr);
}

void HtmlView::Notify(UINT code, NMHDR& header) {
    header.hwndFrom = window;
    header.idFrom = UINT_PTR(GetDlgCtrlID(window));
    header.code = code;
    SendMessageW(GetParent(window), WM_NOTIFY, header.idFrom, reinterpret_cast<LPARAM>(&header));
}

void HtmlView::Draw(HDC dc) {
    RECT client;
    GetClientRect(window, &client);
    FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    if (content && content->image) {
        // Natural size, centred; shrunk (keeping the aspect) when larger than the control.
        LONG width = content->imageSize.cx, height = content->imageSize.cy;
        LONG areaW = client.right, areaH = client.bottom;
        if (width > areaW || height > areaH) {
            if (LONGLONG(width) * areaH > LONGLONG(height) * areaW) {
                height = LONG(LONGLONG(height) * areaW / width);
                width = areaW;
            } else {
                width = LONG(LONGLONG(width) * areaH / height);
                height = areaH;
            }
        }
        HDC source = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(source, content->image);
        SetStretchBltMode(dc, HALFTONE);
        StretchBlt(dc, (areaW - width) / 2, (areaH - height) / 2, width, height, source, 0, 0,
                   content->imageSize.cx, content->imageSize.cy, SRCCOPY);
        SelectObject(source, old);
        DeleteDC(source);
        return;
    }
    std::wstring text = url;
    if (loading)
        text += L"\r\n\r\nNačítám…";
    else if (content)
        text += L"\r\n\r\n" + content->status;
    RECT area = client;
    InflateRect(&area, -4, -4);
    HGDIOBJ oldFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    DrawTextW(dc, text.c_str(), int(text.size()), &area,
              DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX);
    SelectObject(dc, oldFont);
}
