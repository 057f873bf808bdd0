#pragma once

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ModemConnection.h"
#include "ModemRecorder.h"
#include "RadioBackend.h"
#include "ril.h"

// The radio read from a real modem with 27.007 AT commands. Queries wait in one queue and go
// to the modem one command at a time on the modem thread; their results are handed to the
// caller's callback on the delivery thread, so a slow modem never delays an answer that is
// ready. A query of a kind that is still waiting is replaced by the newer one, which fails the
// older at once: the caller only keeps the newest id of each kind, and nothing piles up when it
// polls faster than the modem answers. When the modem goes away, queries fail, and the modem
// thread keeps opening the port again until the modem is back and set up afresh.
class ModemRadio : public RadioBackend {
public:
    // report: where the reasons of lost connections and failed reconnections go.
    ModemRadio(const ModemSettings& settings, RILRESULTCALLBACK result, DWORD parameter,
               std::function<void(const std::wstring&)> report);
    ~ModemRadio() override;
    // Opens the port and sets the modem up; false with the reason when it cannot.
    bool Open(std::wstring& error);
    HRESULT Query(RilQuery query) override;

private:
    struct Pending {
        RilQuery query;
        HRESULT commandId;
    };

    void PostFailure(HRESULT commandId);
    template <typename T> void PostSuccess(HRESULT commandId, const T& data);

    bool Connect(std::wstring& error);
    void Reconnect();
    void Lose();
    void Execute(const Pending& pending);
    void RunModem();

    ModemSettings settings;
    std::function<void(const std::wstring&)> report;
    std::unique_ptr<ModemRecorder> recorder;

    // Modem thread only (and Open, before it starts).
    std::unique_ptr<ModemConnection> connection;
    std::wstring reported;

    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Pending> queue;
    std::atomic<bool> stopping{false};
    std::thread modemThread;
};
