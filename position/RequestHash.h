#pragma once

#include <string>

// The 16 raw bytes of the MD5 digest of text's UTF-8 form; empty when hashing failed.
// Throws std::range_error for 1000 UTF-8 bytes or more.
std::string HashText(const std::wstring& text);
// MD5 of bytes through CryptoAPI; empty on failure (reported to the debug console).
std::string Md5Digest(const std::string& bytes);
// base64url of a 16-byte digest without padding: 22 characters.
std::string EncodeBase64Url(const std::string& digest);
