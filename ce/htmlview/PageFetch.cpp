#include "PageFetch.h"

#include <wincodec.h>
#include <wininet.h>

#include <vector>

namespace {

// A map tile or a page is far smaller; anything larger is refused, not buffered.
const size_t kMaxDownload = 8 * 1024 * 1024;
const UINT kMaxImageSide = 4096;
const DWORD kTimeoutMs = 30000;

struct FetchJob {
    HWND target;
    UINT doneMessage;
    std::wstring url;
    unsigned sequence;
};

std::wstring HeaderText(HINTERNET request, DWORD info) {
    wchar_t buffer[256];
    DWORD size = sizeof(buffer);
    if (!HttpQueryInfoW(request, info, buffer, &size, nullptr))
        return std::wstring();
    return std::wstring(buffer, size / sizeof(wchar_t));
}

template <class T> void Release(T*& p) {
    if (p) {
        p->Release();
        p = nullptr;
    }
}

} // namespace

PageContent::~PageContent() {
    if (image)
        DeleteObject(image);
}

bool PageFetch::Start(HWND target, UINT doneMessage, const std::wstring& url, unsigned sequence) {
    FetchJob* job = new FetchJob{target, doneMessage, url, sequence};
    HANDLE thread = CreateThread(nullptr, 0, ThreadProc, job, 0, nullptr);
    if (!thread) {
        delete job;
        return false;
    }
    CloseHandle(thread);
    return true;
}

DWORD WINAPI PageFetch::ThreadProc(LPVOID param) {
    FetchJob* job = static_cast<FetchJob*>(param);
    PageContent* content = new PageContent;
    content->url = job->url;
    content->sequence = job->sequence;
    Download(job->url, *content);
    // The window may be gone by now; then nobody takes the result.
    if (!PostMessageW(job->target, job->doneMessage, 0, reinterpret_cast<LPARAM>(content)))
        delete content;
    delete job;
    return 0;
}

void PageFetch::Download(const std::wstring& url, PageContent& content) {
    HINTERNET session = InternetOpenW(L"htmlview", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    if (!session) {
        content.status = L"Připojení k síti není k dispozici";
        return;
    }
    DWORD timeout = kTimeoutMs;
    InternetSetOptionW(session, INTERNET_OPTION_CONNECT_TIMEOUT, &timeout, sizeof(timeout));
    InternetSetOptionW(session, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof(timeout));
    HINTERNET request = InternetOpenUrlW(
        session, url.c_str(), nullptr, 0,
        INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_UI, 0);
    if (!request) {
        content.status = L"Stránku nelze načíst (chyba " + std::to_wstring(GetLastError()) + L")";
        InternetCloseHandle(session);
        return;
    }
    std::wstring code = HeaderText(request, HTTP_QUERY_STATUS_CODE);
    std::wstring type = HeaderText(request, HTTP_QUERY_CONTENT_TYPE);
    std::vector<BYTE> body;
    bool tooLarge = false;
    BYTE chunk[16384];
    DWORD read = 0;
    while (InternetReadFile(request, chunk, sizeof(chunk), &read) && read > 0) {
        if (body.size() + read > kMaxDownload) {
            tooLarge = true;
            break;
        }
        body.insert(body.end(), chunk, chunk + read);
    }
    InternetCloseHandle(request);
    InternetCloseHandle(session);

    if (!code.empty() && code != L"200") {
        content.status = L"Chyba HTTP " + code;
        return;
    }
    if (tooLarge) {
        content.status = L"Stránka je příliš velká";
        return;
    }
    if (DecodeImage(body.data(), body.size(), content))
        return;
    content.status =
        (type.empty() ? std::wstring(L"?") : type) + L", " + std::to_wstring(body.size()) + L" B";
}

bool PageFetch::DecodeImage(const BYTE* data, size_t size, PageContent& content) {
    if (size == 0 || size > kMaxDownload)
        return false;
    HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    IWICImagingFactory* factory = nullptr;
    IWICStream* stream = nullptr;
    IWICBitmapDecoder* decoder = nullptr;
    IWICBitmapFrameDecode* frame = nullptr;
    IWICFormatConverter* converter = nullptr;
    UINT width = 0, height = 0;
    bool ok =
        SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IWICImagingFactory, reinterpret_cast<void**>(&factory))) &&
        SUCCEEDED(factory->CreateStream(&stream)) &&
        SUCCEEDED(stream->InitializeFromMemory(const_cast<BYTE*>(data), DWORD(size))) &&
        SUCCEEDED(factory->CreateDecoderFromStream(stream, nullptr, WICDecodeMetadataCacheOnDemand,
                                                   &decoder)) &&
        SUCCEEDED(decoder->GetFrame(0, &frame)) && SUCCEEDED(frame->GetSize(&width, &height)) &&
        width > 0 && height > 0 && width <= kMaxImageSide && height <= kMaxImageSide &&
        SUCCEEDED(factory->CreateFormatConverter(&converter)) &&
        SUCCEEDED(converter->Initialize(frame, GUID_WICPixelFormat32bppBGRA,
                                        WICBitmapDitherTypeNone, nullptr, 0,
                                        WICBitmapPaletteTypeCustom));
    if (ok) {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = LONG(width);
        info.bmiHeader.biHeight = -LONG(height);
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        ok = bitmap && SUCCEEDED(converter->CopyPixels(nullptr, width * 4, width * height * 4,
                                                       static_cast<BYTE*>(bits)));
        if (ok) {
            // Transparent parts show the page's white background.
            BYTE* p = static_cast<BYTE*>(bits);
            for (UINT i = 0; i < width * height; ++i, p += 4) {
                UINT alpha = p[3];
                for (int c = 0; c < 3; ++c)
                    p[c] = BYTE((p[c] * alpha + 255 * (255 - alpha)) / 255);
                p[3] = 0;
            }
            content.image = bitmap;
            content.imageSize = {LONG(width), LONG(height)};
        } else if (bitmap) {
            DeleteObject(bitmap);
        }
    }
    Release(converter);
    Release(frame);
    Release(decoder);
    Release(stream);
    Release(factory);
    if (SUCCEEDED(init))
        CoUninitialize();
    return ok;
}
