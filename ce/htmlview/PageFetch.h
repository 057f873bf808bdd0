#pragma once

#include <windows.h>

#include <string>

// What a page fetch brought back: a decoded image or a line describing the answer.
struct PageContent {
    std::wstring url;
    unsigned sequence = 0;
    HBITMAP image = nullptr; // 32-bit top-down DIB section, owned
    SIZE imageSize = {0, 0};
    std::wstring status;

    ~PageContent();
};

// Downloads a URL on a worker thread of its own and posts the result to a window, so that the
// window's thread never waits for the network.
class PageFetch {
public:
    // The result arrives as message `doneMessage` with lParam a heap PageContent* that the
    // window takes over. Returns false when the thread could not be started.
    static bool Start(HWND target, UINT doneMessage, const std::wstring& url, unsigned sequence);

    // Decodes an image (BMP, PNG, GIF, JPEG, ...) from memory. Used by the worker thread.
    static bool DecodeImage(const BYTE* data, size_t size, PageContent& content);

private:
    static DWORD WINAPI ThreadProc(LPVOID param);
    static void Download(const std::wstring& url, PageContent& content);
};
