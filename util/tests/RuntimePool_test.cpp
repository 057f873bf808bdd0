// Each of our libraries carries its own C++ runtime, which takes an emergency pool for
// exceptions (some 70 KB) when the library is loaded. The Today shell unloads and loads the
// item's library at every settings change; a pool left behind at each unload makes the
// shell's process grow for as long as the phone runs.

#include <windows.h>

#include <gtest/gtest.h>

namespace {

// Heap blocks of this size or more: the pool is one, and little else in a test is.
const SIZE_T LargeBlock = 32 * 1024;

long CountLargeBlocks() {
    HANDLE heaps[256];
    DWORD count = GetProcessHeaps(256, heaps);
    long large = 0;
    for (DWORD i = 0; i < count && i < 256; ++i) {
        HeapLock(heaps[i]);
        PROCESS_HEAP_ENTRY entry = {};
        while (HeapWalk(heaps[i], &entry)) {
            if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) && entry.cbData >= LargeBlock) {
                ++large;
            }
        }
        HeapUnlock(heaps[i]);
    }
    return large;
}

TEST(RuntimePool, UnloadingALibraryGivesBackWhatItsRuntimeTook) {
    // The system's libraries that ours import stay loaded, as they do in the shell.
    for (const wchar_t* system : {L"comctl32.dll", L"comdlg32.dll", L"wininet.dll", L"urlmon.dll",
                                  L"ole32.dll", L"windowscodecs.dll", L"ws2_32.dll"}) {
        LoadLibraryW(system);
    }
    for (const wchar_t* name :
         {L"KestrelToday.dll", L"KestrelSetupDll.dll", L"ril.dll", L"aygshell.dll", L"cellcore.dll",
          L"htmlview.dll", L"note_prj.dll", L"shellexec.dll"}) {
        SCOPED_TRACE(testing::Message() << name);
        HMODULE first = LoadLibraryW(name);
        ASSERT_NE(nullptr, first);
        FreeLibrary(first);
        const long before = CountLargeBlocks();
        for (int round = 0; round < 5; ++round) {
            HMODULE library = LoadLibraryW(name);
            ASSERT_NE(nullptr, library);
            FreeLibrary(library);
        }
        EXPECT_EQ(before, CountLargeBlocks());
    }
}

} // namespace
