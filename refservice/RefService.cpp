#include "RefService.h"

#include <windows.h>
#include <wincrypt.h>

#include <cstdlib>
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

HttpReply NotFound() {
    HttpReply reply;
    reply.status = 404;
    reply.body = "not found\n";
    return reply;
}

} // namespace

void RefService::AddKey(const std::string& keyName, const std::string& accessCode, int quota) {
    std::lock_guard<std::mutex> guard(lock);
    keys[keyName] = Key{accessCode, quota};
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
        if (key->second.day != now.wDay) {
            key->second.day = now.wDay;
            key->second.usedToday = 0;
        }
        if (key->second.quota >= 0 && key->second.usedToday >= key->second.quota) {
            reply.body = Reply(QuotaExceeded, nullptr);
            return reply;
        }
        ++key->second.usedToday;
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
    if (filesFolder.empty() || name.empty() || name.find("..") != std::string::npos ||
        name.find('\\') != std::string::npos || name.find(':') != std::string::npos) {
        return NotFound();
    }
    std::wstring path = filesFolder + L"\\";
    for (char c : name) {
        path += c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
    }
    std::ifstream file(path.c_str(), std::ios::binary);
    if (!file) {
        return NotFound();
    }
    HttpReply reply;
    std::ostringstream content;
    content << file.rdbuf();
    reply.body = content.str();
    reply.contentType = EndsWith(name, ".xml")   ? "application/xml"
                        : EndsWith(name, ".csv") ? "text/csv"
                                                 : "application/octet-stream";
    return reply;
}

HttpReply RefService::Handle(const std::string& target) {
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
        if (!cells.BtsDatabase(path.substr(7, path.size() - 11), reply.body)) {
            return NotFound();
        }
        return reply;
    }
    return NotFound();
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
