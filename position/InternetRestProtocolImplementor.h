#pragma once

#include <windows.h>

#include <string>

#include "InternetAccessComponent.h"

// HTTP GET through WinInet on a connection of its own.
class InternetRestProtocolImplementor : public InternetAccessComponent {
public:
    // A web service that stops answering must not hold the request for ever: every connect,
    // send and receive gives up after OperationTimeoutMs, the body is read only until
    // BodyDeadlineMs after the request went out, and a body larger than MaxBodyBytes is refused
    // (the service's answer is a few hundred bytes).
    static const DWORD OperationTimeoutMs = 20000;
    static const DWORD BodyDeadlineMs = 40000;
    static const size_t MaxBodyBytes = 256 * 1024;

    // Tests use shorter limits.
    void SetLimits(DWORD operationTimeoutMs, DWORD bodyDeadlineMs) {
        operationTimeout = operationTimeoutMs;
        bodyDeadline = bodyDeadlineMs;
    }

    // Connects, fetches the URL bypassing the cache and returns the body's bytes.
    // Throws std::runtime_error("Download form url error").
    virtual std::string GetResource(const std::wstring& url);

private:
    DWORD operationTimeout = OperationTimeoutMs;
    DWORD bodyDeadline = BodyDeadlineMs;
};

extern const wchar_t* const KestrelUserAgent;
