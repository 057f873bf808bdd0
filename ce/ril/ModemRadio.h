#pragma once

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "AtChannel.h"
#include "ModemDialect.h"
#include "ModemPort.h"
#include "ModemRecorder.h"
#include "RadioBackend.h"
#include "ril.h"

struct ModemSettings {
    std::wstring port; // "COM5" or "tcp:HOST:PORT"
    DWORD baud = 115200;
    DWORD timeoutMs = 5000; // for each AT command
    std::wstring record;    // scenario file the reports are appended to; empty: none
    std::string dialect;    // a dialect's name; empty: chosen by +CGMI
};

// The radio read from a real modem with 27.007 AT commands. Queries wait in one queue and go
// to the modem one command at a time on the modem thread; their results are handed to the
// caller's callback on a second thread, so a slow modem never delays an answer that is ready.
// A query of a kind that is still waiting is replaced by the newer one, which fails the older
// at once: the caller only keeps the newest id of each kind, and nothing piles up when it
// polls faster than the modem answers. When the modem goes away, queries fail, and the modem
// thread keeps opening the port again until the modem is back and set up afresh.
class ModemRadio : public RadioBackend {
public:
    ModemRadio(const ModemSettings& settings, RILRESULTCALLBACK result, DWORD parameter);
    ~ModemRadio() override;
    // Opens the port and sets the modem up; false with the reason when it cannot.
    bool Open(std::wstring& error);
    HRESULT Query(RilQuery query) override;

private:
    struct Result {
        DWORD code;
        HRESULT commandId;
        std::vector<BYTE> data;
    };
    struct Pending {
        RilQuery query;
        HRESULT commandId;
    };
    enum Registrations { CEREG, CREG, CGREG, REGISTRATIONS };

    static Result Failure(HRESULT commandId);
    template <typename T> static Result Success(HRESULT commandId, const T& data);

    bool Connect(std::wstring& error);
    bool SetUp();
    void Disconnect();
    AtReply Send(const std::string& command, const std::string& prefix);
    Result Execute(const Pending& pending);
    template <typename T> Result Read(bool (ModemRadio::*reader)(T&), HRESULT commandId);
    bool ReadOperator(RILOPERATORNAMES& names);
    bool ReadEquipment(RILEQUIPMENTSTATE& state);
    bool ReadSignal(RILSIGNALQUALITY& signal);
    bool ReadCell(RILCELLTOWERINFO& cell);
    void ReadChannel(RILCELLTOWERINFO& cell);
    void RunModem();
    void RunResults();

    ModemSettings settings;
    RILRESULTCALLBACK resultCallback;
    DWORD parameter;
    std::unique_ptr<ModemRecorder> recorder;

    // Modem thread only (and Open, before it starts).
    std::unique_ptr<ModemPort> port;
    std::unique_ptr<AtChannel> channel;
    const ModemDialect* dialect = nullptr;
    bool connected = false;
    bool resync = false;
    int timeouts = 0;
    int dialectFailures = 0;
    bool unsupported[REGISTRATIONS] = {};
    bool csqUnsupported = false;
    bool cesqUnsupported = false;

    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Pending> queue;
    std::deque<Result> results;
    std::atomic<bool> stopping{false};
    std::thread modemThread;
    std::thread resultThread;
};
