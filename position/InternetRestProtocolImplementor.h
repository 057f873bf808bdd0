#pragma once

#include <string>

#include "InternetAccessComponent.h"

// HTTP GET through WinInet on a connection of its own.
class InternetRestProtocolImplementor : public InternetAccessComponent {
public:
    // Connects, fetches the URL bypassing the cache and returns the body's bytes.
    // Throws std::runtime_error("Download form url error").
    virtual std::string GetResource(const std::wstring& url);
};

extern const wchar_t* const KestrelUserAgent;
