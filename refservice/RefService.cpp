#include "RefService.h"

#include <windows.h>
#include <wincrypt.h>

#include <algorithm>
#include <cstdlib>
#include <cwctype>
#include <fstream>
#include <sstream>

#include "MapRenderer.h"

namespace {

const char kReplyOpen[] =
    "<GsmQueryResult xmlns=\"http://schemas.datacontract.org/2004/07/Kestrel.CellService\" "
    "xmlns:i=\"http://www.w3.org/2001/XMLSchema-instance\">";
const char kGpsNamespace[] = "http://schemas.datacontract.org/2004/07/Kestrel.CellService.Gps";

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::string UrlDecode(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            out += ' ';
        } else if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
                   HexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::map<std::string, std::string> ParseQuery(const std::string& query) {
    std::map<std::string, std::string> values;
    std::istringstream parts(query);
    std::string part;
    while (std::getline(parts, part, '&')) {
        size_t eq = part.find('=');
        if (eq != std::string::npos) {
            values[UrlDecode(part.substr(0, eq))] = UrlDecode(part.substr(eq + 1));
        }
    }
    return values;
}

bool ParseDecimal(const std::string& text, uint64_t& value) {
    if (text.empty() || text.size() > 12) {
        return false;
    }
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + (c - '0');
    }
    return true;
}

bool EndsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The cryptographic provider, acquired once: acquiring it takes milliseconds, far longer than
// the rest of a request.
class HashProvider {
public:
    static HashProvider& Instance() {
        static HashProvider provider;
        return provider;
    }
    HCRYPTPROV Handle() const { return handle; }

private:
    HashProvider() {
        if (!CryptAcquireContextW(&handle, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) {
            handle = 0;
        }
    }
    ~HashProvider() {
        if (handle) {
            CryptReleaseContext(handle, 0);
        }
    }
    HCRYPTPROV handle = 0;
};

// Larger files are not read into memory whole.
const uint64_t kMaxFileBytes = uint64_t(1) << 30;

// Names Windows takes as devices in any folder, with any extension: CON, PRN, AUX, NUL, COM0
// to COM9 and LPT0 to LPT9 (also with a superscript digit), CONIN$, CONOUT$, CLOCK$.
bool DeviceName(const std::wstring& component) {
    std::wstring base = component.substr(0, component.find(L'.'));
    base.erase(base.find_last_not_of(L' ') + 1);
    for (wchar_t& c : base) {
        c = static_cast<wchar_t>(towupper(c));
    }
    if (base == L"CON" || base == L"PRN" || base == L"AUX" || base == L"NUL" || base == L"CONIN$" ||
        base == L"CONOUT$" || base == L"CLOCK$") {
        return true;
    }
    return base.size() == 4 &&
           (base.compare(0, 3, L"COM") == 0 || base.compare(0, 3, L"LPT") == 0) &&
           ((base[3] >= L'0' && base[3] <= L'9') || base[3] == L'\u00B9' || base[3] == L'\u00B2' ||
            base[3] == L'\u00B3');
}

// The UTF-8 name below /files/ as a relative path, when each of its '/'-separated parts is an
// ordinary file or folder name: not empty, no "." or "..", no device, none of the characters
// Windows gives a meaning (\ : * ? " < > | and control characters) and no trailing dot or
// blank (Windows drops them, so such a name opens another file).
bool PlainFileName(const std::string& name, std::wstring& relative) {
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name.data(),
                                           static_cast<int>(name.size()), nullptr, 0);
    if (name.empty() || length <= 0) {
        return false;
    }
    std::wstring wide(length, L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name.data(), static_cast<int>(name.size()),
                        &wide[0], length);
    relative.clear();
    size_t begin = 0;
    for (;;) {
        const size_t end = std::min(wide.find(L'/', begin), wide.size());
        const std::wstring part = wide.substr(begin, end - begin);
        if (part.empty() || part.back() == L'.' || part.back() == L' ' || DeviceName(part) ||
            part.find_first_of(L"\\:*?\"<>|") != std::wstring::npos ||
            std::any_of(part.begin(), part.end(), [](wchar_t c) { return c < 0x20; })) {
            return false;
        }
        relative += part;
        if (end == wide.size()) {
            return true;
        }
        relative += L'\\';
        begin = end + 1;
    }
}

bool FullPath(const std::wstring& path, std::wstring& full) {
    wchar_t buffer[MAX_PATH];
    const DWORD length = GetFullPathNameW(path.c_str(), MAX_PATH, buffer, nullptr);
    if (length == 0 || length >= MAX_PATH) {
        return false;
    }
    full.assign(buffer, length);
    return true;
}

HttpReply NotFound() {
    HttpReply reply;
    reply.status = 404;
    reply.body = "not found\n";
    return reply;
}

} // namespace

void RefService::AddKey(const std::string& keyName, const std::string& accessCode, int quota) {
    std::lock_guard<std::mutex> guard(lock);
    keys[keyName] = Key{accessCode, DailyQuota(quota)};
}

bool RefService::LoadKeys(const std::wstring& path) {
    std::ifstream file(path.c_str());
    if (!file) {
        return false;
    }
    std::string line;
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::istringstream parts(line);
        std::string name, code, quota;
        std::getline(parts, name, ';');
        std::getline(parts, code, ';');
        std::getline(parts, quota, ';');
        if (!name.empty() && !code.empty()) {
            AddKey(name, code, quota.empty() ? -1 : std::atoi(quota.c_str()));
        }
    }
    return true;
}

std::string RefService::ExpectedHash(const std::string& accessCode, const std::string& cellId) {
    std::string text = accessCode + cellId;
    BYTE digest[16] = {};
    DWORD size = sizeof(digest);
    const HCRYPTPROV provider = HashProvider::Instance().Handle();
    HCRYPTHASH hash = 0;
    bool ok = provider != 0;
    if (ok) {
        ok = CryptCreateHash(provider, CALG_MD5, 0, 0, &hash) &&
             CryptHashData(hash, reinterpret_cast<const BYTE*>(text.data()),
                           static_cast<DWORD>(text.size()), 0) &&
             CryptGetHashParam(hash, HP_HASHVAL, digest, &size, 0);
        if (hash) {
            CryptDestroyHash(hash);
        }
    }
    if (!ok) {
        return std::string();
    }
    static const char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    std::string out;
    for (int i = 0; i < 16; i += 3) {
        unsigned value = digest[i] << 16;
        if (i + 1 < 16) {
            value |= digest[i + 1] << 8;
        }
        if (i + 2 < 16) {
            value |= digest[i + 2];
        }
        out += alphabet[(value >> 18) & 63];
        out += alphabet[(value >> 12) & 63];
        if (i + 1 < 16) {
            out += alphabet[(value >> 6) & 63];
        }
        if (i + 2 < 16) {
            out += alphabet[value & 63];
        }
    }
    return out;
}

std::string RefService::Reply(int code, const CellDatabase::Position* position) {
    std::string xml = kReplyOpen;
    xml += "<ErrorCode>" + std::to_string(code) + "</ErrorCode>";
    if (position) {
        xml += std::string("<GpsPosition xmlns:a=\"") + kGpsNamespace + "\"><a:LAT>" +
               position->lat + "</a:LAT><a:LON>" + position->lon + "</a:LON></GpsPosition>";
    } else {
        xml += std::string("<GpsPosition i:nil=\"true\" xmlns:a=\"") + kGpsNamespace + "\"/>";
    }
    xml += "</GsmQueryResult>";
    return xml;
}

HttpReply RefService::Query(const std::map<std::string, std::string>& query) {
    HttpReply reply;
    reply.contentType = "application/xml; charset=utf-8";
    auto value = [&query](const char* name) {
        auto it = query.find(name);
        return it == query.end() ? std::string() : it->second;
    };
    uint64_t lac = 0, cellId = 0, network = 0;
    const std::string networkCode = value("networkCode");
    if (value("keyName").empty() || value("hash").empty() || !ParseDecimal(value("lac"), lac) ||
        !ParseDecimal(value("cellId"), cellId) || networkCode.size() < 5 ||
        networkCode.size() > 6 || !ParseDecimal(networkCode, network)) {
        reply.body = Reply(MalformedRequest, nullptr);
        return reply;
    }
    {
        std::lock_guard<std::mutex> guard(lock);
        auto key = keys.find(value("keyName"));
        if (key == keys.end() ||
            ExpectedHash(key->second.accessCode, value("cellId")) != value("hash")) {
            reply.body = Reply(BadAccessCode, nullptr);
            return reply;
        }
        SYSTEMTIME now;
        GetSystemTime(&now);
        if (!key->second.quota.Take(now)) {
            reply.body = Reply(QuotaExceeded, nullptr);
            return reply;
        }
    }
    CellDatabase::Position position;
    if (!cells.Find(networkCode, lac, cellId, position)) {
        reply.body = Reply(CellNotFound, nullptr);
        return reply;
    }
    reply.body = Reply(Ok, &position);
    return reply;
}

HttpReply RefService::File(const std::string& name) {
    std::wstring relative;
    if (filesFolder.empty() || !PlainFileName(name, relative)) {
        return NotFound();
    }
    // What the name comes to must still lie inside the folder, and be a file on a disk.
    std::wstring folder, path;
    if (!FullPath(filesFolder, folder) || !FullPath(filesFolder + L"\\" + relative, path) ||
        path.compare(0, folder.size(), folder) != 0 || path.size() <= folder.size() ||
        (folder.back() != L'\\' && path[folder.size()] != L'\\')) {
        return NotFound();
    }
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes &
         (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
        return NotFound();
    }
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return NotFound();
    }
    HttpReply reply;
    LARGE_INTEGER size;
    bool read = GetFileType(file) == FILE_TYPE_DISK && GetFileSizeEx(file, &size) &&
                uint64_t(size.QuadPart) < kMaxFileBytes;
    if (read) {
        reply.body.resize(static_cast<size_t>(size.QuadPart));
        DWORD got = 0;
        for (size_t at = 0; read && at < reply.body.size(); at += got) {
            const DWORD chunk =
                static_cast<DWORD>(std::min<size_t>(reply.body.size() - at, 1 << 20));
            read = ReadFile(file, &reply.body[at], chunk, &got, nullptr) && got > 0;
        }
    }
    CloseHandle(file);
    if (!read) {
        return NotFound();
    }
    reply.contentType = EndsWith(name, ".xml")   ? "application/xml"
                        : EndsWith(name, ".csv") ? "text/csv"
                                                 : "application/octet-stream";
    return reply;
}

HttpReply RefService::Answer(const std::string& target) {
    std::string path = target;
    // Absolute form, as a client sends it through a proxy.
    size_t scheme = path.find("://");
    if (scheme != std::string::npos && scheme < path.find('/')) {
        size_t slash = path.find('/', scheme + 3);
        path = slash == std::string::npos ? "/" : path.substr(slash);
    }
    std::string query;
    size_t mark = path.find('?');
    if (mark != std::string::npos) {
        query = path.substr(mark + 1);
        path.erase(mark);
    }
    if (EndsWith(path, "/GsmQuery")) {
        return Query(ParseQuery(query));
    }
    if (path == "/map") {
        return Map(ParseQuery(query));
    }
    if (path.compare(0, 7, "/files/") == 0) {
        return File(UrlDecode(path.substr(7)));
    }
    if (path.compare(0, 7, "/gsmdb/") == 0 && EndsWith(path, ".csv")) {
        HttpReply reply;
        reply.contentType = "text/csv";
        reply.sharedBody = cells.BtsDatabase(path.substr(7, path.size() - 11));
        if (!reply.sharedBody) {
            return NotFound();
        }
        return reply;
    }
    return NotFound();
}

HttpReply RefService::Handle(const std::string& target) {
    HttpReply reply = Answer(target);
    if (reply.sharedBody) {
        reply.body = *reply.sharedBody;
        reply.sharedBody.reset();
    }
    return reply;
}

size_t RefService::IndexTowers() {
    std::lock_guard<std::mutex> guard(towersLock);
    if (indexedCells != cells.Size() || towers.Size() != cells.Size()) {
        towers.Build(cells.Records());
        indexedCells = cells.Size();
    }
    return towers.MemoryBytes();
}

HttpReply RefService::Map(const std::map<std::string, std::string>& query) {
    HttpReply reply;
    MapView view;
    std::string error;
    if (!map_request::Parse(query, view, error)) {
        reply.status = 400;
        reply.body = "bad parameter " + error + "\n";
        return reply;
    }
    IndexTowers();
    const MapRenderer renderer(&geo, &cells.Records(), &towers);
    if (!renderer.Render(view, reply.body)) {
        reply.status = 500;
        reply.body = "the map could not be drawn\n";
        return reply;
    }
    reply.contentType = "image/png";
    return reply;
}
