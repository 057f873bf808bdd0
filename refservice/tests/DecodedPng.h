#pragma once

#include <windows.h>
#include <wincodec.h>

#include <cstdint>
#include <string>
#include <vector>

// A PNG decoded by Windows' own codecs (Wine's windowscodecs), as the HTML view decodes it.
struct DecodedPng {
    explicit DecodedPng(const std::string& png) {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        IWICImagingFactory* factory = nullptr;
        IWICStream* stream = nullptr;
        IWICBitmapDecoder* decoder = nullptr;
        IWICBitmapFrameDecode* frame = nullptr;
        IWICFormatConverter* converter = nullptr;
        UINT w = 0, h = 0;
        if (SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_PPV_ARGS(&factory))) &&
            SUCCEEDED(factory->CreateStream(&stream)) &&
            SUCCEEDED(stream->InitializeFromMemory(
                reinterpret_cast<BYTE*>(const_cast<char*>(png.data())), DWORD(png.size()))) &&
            SUCCEEDED(factory->CreateDecoderFromStream(stream, nullptr,
                                                       WICDecodeMetadataCacheOnDemand, &decoder)) &&
            SUCCEEDED(decoder->GetFrame(0, &frame)) && SUCCEEDED(frame->GetSize(&w, &h)) &&
            SUCCEEDED(factory->CreateFormatConverter(&converter)) &&
            SUCCEEDED(converter->Initialize(frame, GUID_WICPixelFormat32bppBGR,
                                            WICBitmapDitherTypeNone, nullptr, 0,
                                            WICBitmapPaletteTypeCustom))) {
            pixels.resize(size_t(w) * h);
            if (SUCCEEDED(converter->CopyPixels(nullptr, w * 4, UINT(pixels.size() * 4),
                                                reinterpret_cast<BYTE*>(pixels.data())))) {
                width = int(w);
                height = int(h);
            }
        }
        for (IUnknown* object :
             std::initializer_list<IUnknown*>{converter, frame, decoder, stream, factory}) {
            if (object) {
                object->Release();
            }
        }
        CoUninitialize();
    }
    // 0xRRGGBB
    uint32_t At(int x, int y) const { return pixels[size_t(y) * width + x] & 0xFFFFFF; }

    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
};

// Colours within tolerance per channel.
inline bool Near(uint32_t a, uint32_t b, int tolerance = 24) {
    for (int shift = 0; shift < 24; shift += 8) {
        const int d = int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF);
        if (d > tolerance || d < -tolerance) {
            return false;
        }
    }
    return true;
}
