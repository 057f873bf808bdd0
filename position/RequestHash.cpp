#include "RequestHash.h"

#include <windows.h>
#include <wincrypt.h>

#include <stdexcept>

namespace {

void DebugLine(const char* format, DWORD error) {
    char line[128];
    wsprintfA(line, format, error);
    OutputDebugStringA(line);
}

std::string Utf8(const std::wstring& text) {
    if (text.empty()) {
        return std::string();
    }
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(n > 0 ? n : 0, '\0');
    if (n > 0) {
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n,
                            nullptr, nullptr);
    }
    return out;
}

} // namespace

std::string Md5Digest(const std::string& bytes) {
    HCRYPTPROV provider = 0;
    if (!CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL, 0) &&
        !CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) {
        // Without a default key container only a verify context opens; a digest needs no keys.
        DebugLine("Error %x during CryptAcquireContext!\n", GetLastError());
        return std::string();
    }
    std::string digest;
    HCRYPTHASH hash = 0;
    if (!CryptCreateHash(provider, CALG_MD5, 0, 0, &hash)) {
        DebugLine("Error %x during CryptBeginHash!\n", GetLastError());
    } else {
        DWORD size = 0;
        DWORD sizeLength = sizeof(size);
        if (!CryptHashData(hash, reinterpret_cast<const BYTE*>(bytes.data()),
                           static_cast<DWORD>(bytes.size()), 0)) {
            DebugLine("Error %x during CryptHashData!\n", GetLastError());
        } else if (!CryptGetHashParam(hash, HP_HASHSIZE, reinterpret_cast<BYTE*>(&size),
                                      &sizeLength, 0)) {
            DebugLine("Error %x during reading hash size!\n", GetLastError());
        } else if (size < 16 || size > 64) {
            OutputDebugStringA("Out of memory!\n");
        } else {
            BYTE value[64];
            if (!CryptGetHashParam(hash, HP_HASHVAL, value, &size, 0)) {
                DebugLine("Error %x during reading hash value!\n", GetLastError());
            } else {
                digest.assign(reinterpret_cast<const char*>(value), 16);
            }
        }
        CryptDestroyHash(hash);
    }
    CryptReleaseContext(provider, 0);
    return digest;
}

std::string HashText(const std::wstring& text) {
    if (text.empty()) {
        return std::string();
    }
    std::string utf8 = Utf8(text);
    if (utf8.size() >= 1000) {
        throw std::range_error("String size must be less then 1000");
    }
    return Md5Digest(utf8);
}

std::string EncodeBase64Url(const std::string& digest) {
    static const char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < digest.size(); i += 3) {
        unsigned value = static_cast<unsigned char>(digest[i]) << 16;
        size_t n = digest.size() - i;
        if (n > 1) {
            value |= static_cast<unsigned char>(digest[i + 1]) << 8;
        }
        if (n > 2) {
            value |= static_cast<unsigned char>(digest[i + 2]);
        }
        out += alphabet[(value >> 18) & 63];
        out += alphabet[(value >> 12) & 63];
        out += n > 1 ? alphabet[(value >> 6) & 63] : '=';
        out += n > 2 ? alphabet[value & 63] : '=';
    }
    while (!out.empty() && out.back() == '=') {
        out.pop_back();
    }
    for (char& c : out) {
        if (c == '/') {
            c = '_';
        } else if (c == '+') {
            c = '-';
        }
    }
    return out;
}
