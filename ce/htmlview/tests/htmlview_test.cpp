#include "LocalHttpServer.h"

#include <htmlctrl.h>

#include <gtest/gtest.h>

#include <vector>

namespace {

// The control's parent: records the notifications it receives.
struct Parent {
    HWND window = nullptr;
    std::vector<UINT> codes;
    std::wstring completedUrl;
    POINT contextPoint = {0, 0};
};

Parent* g_parent = nullptr;

LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NOTIFY && g_parent) {
        NMHDR* header = reinterpret_cast<NMHDR*>(lParam);
        g_parent->codes.push_back(header->code);
        if (header->code == NM_DOCUMENTCOMPLETE)
            g_parent->completedUrl = reinterpret_cast<NM_HTMLVIEW*>(lParam)->szTarget;
        if (header->code == NM_CONTEXTMENU)
            g_parent->contextPoint = reinterpret_cast<NM_HTMLCONTEXT*>(lParam)->pt;
        return 1;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

std::string Bmp(int width, int height, COLORREF colour) {
    int stride = (width * 3 + 3) & ~3;
    BITMAPFILEHEADER file = {};
    BITMAPINFOHEADER info = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(info);
    file.bfSize = file.bfOffBits + stride * height;
    info.biSize = sizeof(info);
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    std::string data(reinterpret_cast<char*>(&file), sizeof(file));
    data.append(reinterpret_cast<char*>(&info), sizeof(info));
    std::string row(stride, '\0');
    for (int x = 0; x < width; ++x) {
        row[x * 3] = char(GetBValue(colour));
        row[x * 3 + 1] = char(GetGValue(colour));
        row[x * 3 + 2] = char(GetRValue(colour));
    }
    for (int y = 0; y < height; ++y)
        data += row;
    return data;
}

// A 400x100 blue PNG (RGB, 8 bits per channel).
const char kBluePng[] =
    "\x89\x50\x4e\x47\x0d\x0a\x1a\x0a\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x01\x90\x00\x00"
    "\x00\x64\x08\x02\x00\x00\x00\x27\xa9\xf1\x20\x00\x00\x01\x0d\x49\x44\x41\x54\x78\xda\xed"
    "\xd4\x31\x0d\x00\x00\x08\xc0\xb0\xf9\x37\x0d\x3a\x20\x4d\xaa\x60\xc7\xaa\x01\x38\x42\x02"
    "\xc0\xb0\x00\x0c\x0b\x30\x2c\x00\xc3\x02\x30\x2c\xc0\xb0\x00\x0c\x0b\xc0\xb0\x00\xc3\x02"
    "\x30\x2c\x00\xc3\x02\x0c\x0b\xc0\xb0\x00\x0c\x0b\x30\x2c\x00\xc3\x02\x30\x2c\xc0\xb0\x00"
    "\x0c\x0b\xc0\xb0\x00\xc3\x02\x30\x2c\x00\xc3\x02\x0c\x0b\xc0\xb0\x00\x0c\x0b\x30\x2c\x00"
    "\xc3\x02\x0c\x4b\x02\xc0\xb0\x00\x0c\x0b\x30\x2c\x00\xc3\x02\x30\x2c\xc0\xb0\x00\x0c\x0b"
    "\xc0\xb0\x00\xc3\x02\x30\x2c\x00\xc3\x02\x0c\x0b\xc0\xb0\x00\x0c\x0b\x30\x2c\x00\xc3\x02"
    "\x30\x2c\xc0\xb0\x00\x0c\x0b\xc0\xb0\x00\xc3\x02\x30\x2c\x00\xc3\x02\x0c\x0b\xc0\xb0\x00"
    "\x0c\x0b\x30\x2c\x00\xc3\x02\x0c\x0b\xc0\xb0\x00\x0c\x0b\x30\x2c\x00\xc3\x02\x30\x2c\xc0"
    "\xb0\x00\x0c\x0b\xc0\xb0\x00\xc3\x02\x30\x2c\x00\xc3\x02\x0c\x0b\xc0\xb0\x00\x0c\x0b\x30"
    "\x2c\x00\xc3\x02\x30\x2c\xc0\xb0\x00\x0c\x0b\xc0\xb0\x00\xc3\x02\x30\x2c\x00\xc3\x02\x0c"
    "\x0b\xc0\xb0\x00\x0c\x0b\x30\x2c\x00\xc3\x02\x0c\x0b\xc0\xb0\x00\x0c\x0b\x30\x2c\x00\xc3"
    "\x02\x30\x2c\xc0\xb0\x00\x0c\x0b\xc0\xb0\x00\xc3\x02\x30\x2c\x00\xc3\x02\xde\x5a\xb3\xd2"
    "\xac\xd6\x83\x69\xad\xc0\x00\x00\x00\x00\x49\x45\x4e\x44\xae\x42\x60\x82";

class HtmlViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        instance = GetModuleHandleW(nullptr);
        WNDCLASSW wc = {};
        wc.lpfnWndProc = ParentProc;
        wc.hInstance = instance;
        wc.lpszClassName = L"HtmlViewTestParent";
        RegisterClassW(&wc);
        g_parent = &parent;
        parent.window = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 200, 200, nullptr,
                                        nullptr, instance, nullptr);
        ASSERT_TRUE(InitHTMLControl(instance));
        control = CreateWindowExW(0, DISPLAYCLASS, L"", WS_CHILD | WS_VISIBLE, 0, 0, 200, 200,
                                  parent.window, reinterpret_cast<HMENU>(7), instance, nullptr);
        ASSERT_NE(nullptr, control);
        ASSERT_TRUE(server.Start());
    }

    void TearDown() override {
        DestroyWindow(parent.window);
        g_parent = nullptr;
    }

    std::wstring Text() {
        wchar_t text[512] = L"";
        GetWindowTextW(control, text, 512);
        return text;
    }

    // Pumps messages until the control reports a finished page; the guard only stops a hang.
    bool WaitForDocument() {
        DWORD guard = GetTickCount() + 20000;
        while (GetTickCount() < guard) {
            for (UINT code : parent.codes)
                if (code == NM_DOCUMENTCOMPLETE)
                    return true;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageW(&msg);
        }
        return false;
    }

    // What the control draws, read back from a bitmap it painted into.
    COLORREF PixelAt(int x, int y) {
        HDC screen = GetDC(nullptr);
        HDC dc = CreateCompatibleDC(screen);
        HBITMAP bitmap = CreateCompatibleBitmap(screen, 200, 200);
        HGDIOBJ old = SelectObject(dc, bitmap);
        SendMessageW(control, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
        COLORREF colour = GetPixel(dc, x, y);
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
        ReleaseDC(nullptr, screen);
        return colour;
    }

    HINSTANCE instance = nullptr;
    Parent parent;
    HWND control = nullptr;
    LocalHttpServer server;
};

TEST_F(HtmlViewTest, NavigateShowsTheUrlAndRejectsAMissingOne) {
    EXPECT_TRUE(InitHTMLControl(instance)); // a second initialisation is harmless
    server.SetReply("/page", {200, "text/html", "<html><body>mapa</body></html>"});
    std::wstring url = server.Url("/page");
    EXPECT_TRUE(SendMessageW(control, DTM_NAVIGATE, NAVIGATEFLAG_REFRESH,
                             reinterpret_cast<LPARAM>(url.c_str())));
    EXPECT_EQ(url, Text());
    EXPECT_FALSE(SendMessageW(control, DTM_NAVIGATE, 0, 0));
    EXPECT_FALSE(SendMessageW(control, DTM_NAVIGATE, 0, reinterpret_cast<LPARAM>(L"")));
    EXPECT_EQ(url, Text());

    ASSERT_TRUE(WaitForDocument());
    EXPECT_EQ(url, parent.completedUrl);
    EXPECT_EQ(RGB(255, 255, 255), PixelAt(100, 150)); // text page: no image
}

TEST_F(HtmlViewTest, DrawsABitmapFetchedFromTheServer) {
    server.SetReply("/map.bmp", {200, "image/bmp", Bmp(40, 20, RGB(255, 0, 0))});
    std::wstring url = server.Url("/map.bmp");
    PostMessageW(control, DTM_NAVIGATE, NAVIGATEFLAG_REFRESH,
                 reinterpret_cast<LPARAM>(url.c_str()));
    ASSERT_TRUE(WaitForDocument());
    EXPECT_EQ(url, Text());
    EXPECT_EQ(RGB(255, 0, 0), PixelAt(100, 100)); // centred at its own size
    EXPECT_EQ(RGB(255, 0, 0), PixelAt(81, 91));
    EXPECT_EQ(RGB(255, 255, 255), PixelAt(100, 120));
    EXPECT_EQ(RGB(255, 255, 255), PixelAt(5, 5));
}

TEST_F(HtmlViewTest, ShrinksALargePngToTheControl) {
    server.SetReply("/tile.png", {200, "image/png", std::string(kBluePng, sizeof(kBluePng) - 1)});
    std::wstring url = server.Url("/tile.png");
    SendMessageW(control, DTM_NAVIGATE, 0, reinterpret_cast<LPARAM>(url.c_str()));
    ASSERT_TRUE(WaitForDocument());
    // 400x100 shrinks to 200x50, centred vertically.
    EXPECT_EQ(RGB(0, 0, 255), PixelAt(2, 100));
    EXPECT_EQ(RGB(0, 0, 255), PixelAt(197, 80));
    EXPECT_EQ(RGB(255, 255, 255), PixelAt(100, 60));
    EXPECT_EQ(RGB(255, 255, 255), PixelAt(100, 140));
}

TEST_F(HtmlViewTest, ErrorsAndBrokenImagesShowNoImage) {
    std::string broken = Bmp(10, 10, RGB(255, 0, 0)).substr(0, 30);
    server.SetReply("/broken.bmp", {200, "image/bmp", broken});
    server.SetReply("/gone.bmp", {404, "image/bmp", Bmp(10, 10, RGB(255, 0, 0))});
    for (const char* path : {"/broken.bmp", "/gone.bmp"}) {
        parent.codes.clear();
        std::wstring url = server.Url(path);
        SendMessageW(control, DTM_NAVIGATE, 0, reinterpret_cast<LPARAM>(url.c_str()));
        ASSERT_TRUE(WaitForDocument()) << path;
        EXPECT_EQ(RGB(255, 255, 255), PixelAt(100, 100)) << path;
    }
    parent.codes.clear();
    std::wstring nowhere = L"http://127.0.0.1:1/nothing.png"; // nothing listens there
    SendMessageW(control, DTM_NAVIGATE, 0, reinterpret_cast<LPARAM>(nowhere.c_str()));
    ASSERT_TRUE(WaitForDocument());
    EXPECT_EQ(nowhere, Text());
}

TEST_F(HtmlViewTest, TapAndHoldNotifiesTheParentOnlyWhenEnabled) {
    // Held: the button goes down and stays there.
    PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(30, 40));
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&msg);
    EXPECT_TRUE(parent.codes.empty()); // context menu not enabled yet

    SendMessageW(control, DTM_ENABLECONTEXTMENU, 0, TRUE);
    PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(30, 40));
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&msg);
    ASSERT_EQ(1u, parent.codes.size());
    EXPECT_EQ(UINT(NM_CONTEXTMENU), parent.codes[0]);
    POINT expected = {30, 40};
    ClientToScreen(control, &expected);
    EXPECT_EQ(expected.x, parent.contextPoint.x);
    EXPECT_EQ(expected.y, parent.contextPoint.y);

    // A tap: the button comes up again at once.
    parent.codes.clear();
    PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(30, 40));
    PostMessageW(control, WM_LBUTTONUP, 0, MAKELPARAM(30, 40));
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&msg);
    EXPECT_TRUE(parent.codes.empty());
}

} // namespace
