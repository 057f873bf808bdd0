// The Today screen reloads its items whenever settings change or a package is installed: each
// reload frees the item's library and loads it again. A library that leaves a kernel handle
// behind at every unload makes the shell's process grow for as long as the phone runs.

#include <gtest/gtest.h>

#include "HostHarness.h"

using host_harness::Host;

namespace {

const char Scenario[] = "operator \"23001\"\ncell lac=100 id=1001 bcch=17\nequipment 2\n";

// Wine counts no handles of a process: every handle value is tried.
long CountHandles() {
    long count = 0;
    ULONG_PTR lastValid = 0;
    for (ULONG_PTR value = 4; value - lastValid < 16384; value += 4) {
        DWORD flags;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
            ++count;
            lastValid = value;
        }
    }
    return count;
}

bool ReloadAndWait(Host& host) {
    HWND before = host.ItemWindow();
    host.Reload();
    return harness::PumpUntil([&] { return host.ItemWindow() && host.ItemWindow() != before; });
}

} // namespace

TEST(LibraryReload, UnloadLeavesNoKernelHandleBehind) {
    // The library's save-file dialog brings comdlg32 and with it Wine's winspool.drv, which
    // leaves a named mutex behind whenever it is unloaded. The device's shell keeps the
    // common dialogs loaded anyway.
    HMODULE dialogs = LoadLibraryW(L"comdlg32.dll");
    Host host(Scenario);
    ASSERT_TRUE(host.Start());
    ASSERT_TRUE(host.ItemWindow());
    // The first reload may make what the process keeps once (Wine's own caches).
    ASSERT_TRUE(ReloadAndWait(host));
    const long before = CountHandles();
    for (int reload = 0; reload < 5; ++reload) {
        ASSERT_TRUE(ReloadAndWait(host)) << "reload " << reload;
    }
    EXPECT_EQ(before, CountHandles());
    FreeLibrary(dialogs);
}
