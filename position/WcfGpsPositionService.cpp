#include "WcfGpsPositionService.h"

#include <stdexcept>
#include <vector>

#include "GpsPositionRecord.h"
#include "InternetRestProtocolImplementor.h"
#include "RequestHash.h"
#include "XmlDocument.h"

const wchar_t* const WcfGpsPositionService::DefaultServiceUrl =
    L"http://127.0.0.1:8080/KestrelService.Svc/GSMTEST/GsmQuery"
    L"?keyName={APPNAME}&hash={HASH}&networkCode={NC}&lac={LAC}&cellId={CELLID}";

namespace {

std::wstring FromUtf8(const std::string& text) {
    if (text.empty()) {
        return std::wstring();
    }
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(n > 0 ? n : 0, L'\0');
    if (n > 0) {
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    }
    return out;
}

// The element's first text, decoded; false when it has none.
bool ReadText(XmlDocument& doc, XmlElement* element, size_t bufferSize, std::wstring& text) {
    if (!element || element->texts.empty()) {
        return false;
    }
    std::vector<char> buffer(bufferSize);
    doc.GetText(element, buffer.data(), buffer.size());
    text = FromUtf8(buffer.data());
    return true;
}

} // namespace

WcfGpsPositionService::WcfGpsPositionService() : serviceUrl(DefaultServiceUrl) {}

std::wstring WcfGpsPositionService::RequestHash(const std::wstring& appKey,
                                                const std::wstring& cellId) {
    std::string digest = HashText(appKey + cellId);
    if (digest.size() != 16) {
        // No defined bytes to encode: the request must not go out with a made-up hash.
        throw std::runtime_error("no digest");
    }
    return FromUtf8(EncodeBase64Url(digest));
}

std::wstring WcfGpsPositionService::BuildRequestUrl(std::wstring url, const std::wstring& hash,
                                                    const std::wstring& appName,
                                                    const std::wstring& networkCode,
                                                    const std::wstring& lac,
                                                    const std::wstring& cellId) {
    const std::pair<const wchar_t*, const std::wstring*> fills[] = {{L"{HASH}", &hash},
                                                                    {L"{APPNAME}", &appName},
                                                                    {L"{NC}", &networkCode},
                                                                    {L"{LAC}", &lac},
                                                                    {L"{CELLID}", &cellId}};
    for (const auto& fill : fills) {
        size_t at = url.find(fill.first);
        if (at != std::wstring::npos) {
            url.replace(at, wcslen(fill.first), *fill.second);
        }
    }
    return url;
}

bool WcfGpsPositionService::ParseReply(const std::string& reply, GpsPositionResult& result) {
    XmlDocument doc;
    doc.LoadFromString(reply.c_str());
    if (doc.GetErrorCode() > XmlDocument::NoDeclarationOrElement) {
        return false;
    }
    const size_t bufferSize = reply.size() + 1;
    XmlElement* root = doc.GetRoot();
    std::wstring code;
    if (!ReadText(doc, doc.FindChild(root, "ErrorCode"), bufferSize, code)) {
        return false;
    }
    result.errorCode = code;
    if (ErrorCodeNumber(code, -1) != 0) {
        return true;
    }
    std::wstring latitude;
    std::wstring longitude;
    if (!ReadText(doc, doc.FindChild(doc.FindChild(root, "GpsPosition"), "a:LAT"), bufferSize,
                  latitude) ||
        !ReadText(doc, doc.FindChild(doc.FindChild(root, "GpsPosition"), "a:LON"), bufferSize,
                  longitude)) {
        return false;
    }
    result.latitude = latitude;
    result.longitude = longitude;
    return true;
}

void WcfGpsPositionService::GetPosition(const CellInfo& cell, const std::wstring& networkCode,
                                        GpsPositionResult& result) {
    try {
        std::wstring hash = RequestHash(appKey, cell.cellId);
        std::wstring url =
            BuildRequestUrl(serviceUrl, hash, appEmail, networkCode, cell.lac, cell.cellId);
        std::string reply;
        {
            InternetRestProtocolImplementor rest;
            reply = rest.GetResource(url);
        }
        if (!ParseReply(reply, result)) {
            result.errorCode = L"-1000";
        }
    } catch (...) {
        result.errorCode = L"-1000";
    }
}
