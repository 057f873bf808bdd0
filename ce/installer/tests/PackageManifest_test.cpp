#include <gtest/gtest.h>

#include "PackageManifest.h"

namespace {

const wchar_t kGood[] = L"\ufeff; comment\n"
                        L"[Package]\n"
                        L"Name = Demo\n"
                        L"SetupDll=setup\\hook.dll\n"
                        L"\n"
                        L"[Files]\n"
                        L"bin\\Item.dll=\\Program Files\\Demo\\\n"
                        L"readme.txt = \\\n"
                        L"# other comment\n"
                        L"[Registry]\n"
                        L"HKLM\\Software\\Demo,Enabled,dword,0x10\n"
                        L"hkcu\\Software\\Demo\\Sub\\,Path,sz  KEEP,\\a, b,c\n"
                        L"HKLM\\Software\\Demo,,sz,\n";

struct ParseResult {
    bool ok;
    std::wstring error;
};

ParseResult Parse(PackageManifest& manifest, const std::wstring& text) {
    ParseResult result;
    result.ok = manifest.Parse(text, L"C:\\pkg", L"demo.manifest", result.error);
    return result;
}

TEST(PackageManifestTest, ReadsFilesValuesAndSettings) {
    PackageManifest manifest;
    ParseResult result = Parse(manifest, kGood);
    ASSERT_TRUE(result.ok) << std::string(result.error.begin(), result.error.end());
    EXPECT_EQ(manifest.Name(), L"Demo");
    EXPECT_EQ(manifest.SetupDll(), L"C:\\pkg\\setup\\hook.dll");
    // Without InstallDir the first file's folder is the install folder.
    EXPECT_EQ(manifest.InstallDir(), L"\\Program Files\\Demo");

    ASSERT_EQ(manifest.Files().size(), 2u);
    EXPECT_EQ(manifest.Files()[0].source, L"C:\\pkg\\bin\\Item.dll");
    EXPECT_EQ(manifest.Files()[0].destPath, L"\\Program Files\\Demo\\Item.dll");
    EXPECT_EQ(manifest.Files()[1].destPath, L"\\readme.txt");

    ASSERT_EQ(manifest.Values().size(), 3u);
    const PackageValue& enabled = manifest.Values()[0];
    EXPECT_EQ(enabled.root, HKEY_LOCAL_MACHINE);
    EXPECT_EQ(enabled.keyPath, L"Software\\Demo");
    EXPECT_EQ(enabled.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(enabled.number, 16u);
    EXPECT_FALSE(enabled.keep);
    const PackageValue& path = manifest.Values()[1];
    EXPECT_EQ(path.root, HKEY_CURRENT_USER);
    EXPECT_EQ(path.keyPath, L"Software\\Demo\\Sub");
    EXPECT_EQ(path.text, L"\\a, b,c");
    EXPECT_EQ(path.type, static_cast<DWORD>(REG_SZ));
    EXPECT_TRUE(path.keep);
    EXPECT_EQ(manifest.Values()[2].name, L"");
    EXPECT_EQ(manifest.Values()[2].text, L"");
}

TEST(PackageManifestTest, RejectsBadLinesNamingTheLine) {
    const struct {
        const wchar_t* text;
        const wchar_t* error;
    } cases[] = {
        {L"Name=X\n", L"demo.manifest:1: line outside a section"},
        {L"[Package]\nName=X\n[Shortcuts]\n", L"demo.manifest:3: unknown section [Shortcuts]"},
        {L"[Package]\nName=a\\b\n", L"demo.manifest:2: Name must be a plain name"},
        {L"[Package]\nInstallDir=C:\\x\n",
         L"demo.manifest:2: InstallDir must be a device path starting with \\"},
        {L"[Files]\na.dll\n", L"demo.manifest:2: expected name=value"},
        {L"[Files]\na.dll=Windows\n",
         L"demo.manifest:2: destination of a.dll must be a device folder starting with \\"},
        {L"[Files]\nx\\a.dll=\\W\ny\\A.DLL=\\w\\\n",
         L"demo.manifest:3: two files go to \\w\\A.DLL"},
        {L"[Registry]\nHKLM\\Software\\X,V,dword\n",
         L"demo.manifest:2: expected root\\key,name,type,data"},
        {L"[Registry]\nHKXX\\Software\\X,V,dword,1\n",
         L"demo.manifest:2: unknown registry root HKXX"},
        {L"[Registry]\nHKLM\\X,V,dword,12x\n", L"demo.manifest:2: \"12x\" is not a 32-bit number"},
        {L"[Registry]\nHKLM\\X,V,dword,0x100000000\n",
         L"demo.manifest:2: \"0x100000000\" is not a 32-bit number"},
        {L"[Registry]\nHKLM\\X,V,binary,00\n",
         L"demo.manifest:2: unknown value type binary (dword or sz)"},
        {L"[Registry]\nHKLM\\X,V,dword always,1\n",
         L"demo.manifest:2: unknown value flag always (keep)"},
        {L"[Registry]\nHKLM\\X,V,sz,a\nHKLM\\x,v,dword,1\n",
         L"demo.manifest:3: value v of HKLM\\x is set twice"},
        {L"[Files]\na=\\b\n", L"demo.manifest: the package has no Name"},
    };
    for (const auto& c : cases) {
        PackageManifest manifest;
        ParseResult result = Parse(manifest, c.text);
        EXPECT_FALSE(result.ok) << std::string(c.error, c.error + wcslen(c.error));
        EXPECT_EQ(result.error, c.error);
    }
    // The largest number that fits is fine.
    PackageManifest manifest;
    EXPECT_TRUE(Parse(manifest, L"[Package]\nName=X\n[Registry]\nHKLM\\X,V,dword,4294967295\n").ok);
    EXPECT_EQ(manifest.Values()[0].number, 0xFFFFFFFFu);
}

TEST(PackageManifestTest, RejectsFilesThatAreNoDescription) {
    wchar_t folder[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, folder);
    std::wstring path = std::wstring(folder) + L"\\manifest_test.bin";
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const char notUtf8[] = "[Package]\nName=\xff\xfe\n";
    DWORD written = 0;
    WriteFile(file, notUtf8, sizeof(notUtf8) - 1, &written, nullptr);
    CloseHandle(file);

    PackageManifest manifest;
    std::wstring error;
    EXPECT_FALSE(manifest.Load(path, error));
    EXPECT_EQ(error, path + L": not UTF-8 text");
    DeleteFileW(path.c_str());

    EXPECT_FALSE(manifest.Load(path, error));
    EXPECT_EQ(error, L"cannot open the package description " + path);
}

} // namespace
