#include "TimerRecorder.h"

#include "ImportPatch.h"

namespace {

std::map<HWND, std::map<UINT_PTR, UINT>>& Live() {
    static std::map<HWND, std::map<UINT_PTR, UINT>> timers;
    return timers;
}

UINT_PTR WINAPI RecordSetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC procedure) {
    UINT_PTR result = SetTimer(window, id, elapse, procedure);
    if (result && window)
        Live()[window][id] = elapse;
    return result;
}

BOOL WINAPI RecordKillTimer(HWND window, UINT_PTR id) {
    auto found = Live().find(window);
    if (found != Live().end())
        found->second.erase(id);
    return KillTimer(window, id);
}

const ImportRedirect redirects[] = {
    {"SetTimer", reinterpret_cast<void*>(RecordSetTimer)},
    {"KillTimer", reinterpret_cast<void*>(RecordKillTimer)},
};

} // namespace

int TimerRecorder::Patch(HMODULE module) {
    return RedirectImports(module, redirects, sizeof(redirects) / sizeof(redirects[0]));
}

std::map<UINT_PTR, UINT> TimerRecorder::Timers(HWND window) {
    auto found = Live().find(window);
    return found == Live().end() ? std::map<UINT_PTR, UINT>() : found->second;
}

void TimerRecorder::Forget(HWND window) {
    Live().erase(window);
}
