#include <gtest/gtest.h>

#include <thread>

#include "ModemTestSupport.h"
#include "TestFiles.h"

#include <psapi.h>

// ril.dll on the modem simulator over TCP: the same calls and results as on the scenario
// player, whatever the modem sends, and back on its own after the modem went away.

using namespace modemtest;

namespace {

const wchar_t* const ERRORS = L"rilmodem_errors.txt";
const char* const DRIVE = "operator 23001\n"
                          "cell lac=2051 id=13962 bcch=62\n"
                          "signal current=-75 min=-113 max=-51\n"
                          "equipment 2\n";

// Ends the process when a call that must return does not, so that a hang is a failure.
class Watchdog {
public:
    explicit Watchdog(const char* what) : done(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
        watcher = std::thread([this, what] {
            if (WaitForSingleObject(done, 20000) != WAIT_OBJECT_0) {
                fprintf(stderr, "%s does not return\n", what);
                TerminateProcess(GetCurrentProcess(), 3);
            }
        });
    }
    ~Watchdog() {
        SetEvent(done);
        watcher.join();
        CloseHandle(done);
    }

private:
    HANDLE done;
    std::thread watcher;
};

SIZE_T PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof(counters));
    return counters.PrivateUsage;
}

class ModemRadio : public ::testing::Test {
protected:
    void SetUp() override {
        Results::Get().Clear();
        DeleteFileW(ERRORS);
        SetEnvironmentVariableW(L"KESTREL_RIL_ERRORLOG", ERRORS);
        SetEnvironmentVariableW(L"KESTREL_RIL_TIMEOUT_MS", L"1000");
    }
    void TearDown() override {
        Close();
        for (const wchar_t* name : {L"KESTREL_RIL_PORT", L"KESTREL_RIL_TIMEOUT_MS",
                                    L"KESTREL_RIL_DIALECT", L"KESTREL_RIL_ERRORLOG"}) {
            SetEnvironmentVariableW(name, nullptr);
        }
        DeleteFileW(ERRORS);
    }
    HRESULT Open(const std::wstring& port) {
        SetEnvironmentVariableW(L"KESTREL_RIL_PORT", port.c_str());
        HRESULT opened = RIL_Initialize(1, Results::OnResult, Results::OnNotify, 0, 0, &handle);
        if (FAILED(opened)) {
            handle = nullptr;
        }
        return opened;
    }
    void Close() {
        if (handle) {
            EXPECT_EQ(S_OK, RIL_Deinitialize(handle));
            handle = nullptr;
        }
    }
    Result Ask(HRESULT (*query)(HRIL)) {
        Result result = {};
        HRESULT id = query(handle);
        EXPECT_GT(id, 0);
        EXPECT_TRUE(Results::Get().WaitFor(id, result)) << "no result for command " << id;
        return result;
    }
    RILCELLTOWERINFO Cell() {
        Result result = Ask(RIL_GetCellTowerInfo);
        EXPECT_EQ(static_cast<DWORD>(RIL_RESULT_OK), result.code);
        return As<RILCELLTOWERINFO>(result);
    }
    static HRESULT Operator(HRIL handle) { return RIL_GetCurrentOperator(handle, 3); }

    HRIL handle = nullptr;
};

} // namespace

TEST_F(ModemRadio, AnswersEveryQueryLaterOnItsOwnThreadInEachDialect) {
    for (const char* dialect : {"generic", "quectel", "simcom", "telit", "cinterion"}) {
        for (const char* rat : {"gsm", "umts", "lte"}) {
            SCOPED_TRACE(std::string(dialect) + " " + rat);
            auto simulator = StartSimulator(DRIVE, dialect, rat);
            ASSERT_TRUE(simulator);
            ASSERT_EQ(S_OK, Open(TcpPort(*simulator)));
            BYTE request[4] = {26, 0, 0, 0};
            Result special = {};
            ASSERT_TRUE(Results::Get().WaitFor(RIL_DevSpecific(handle, request, 4), special));
            EXPECT_EQ(static_cast<DWORD>(RIL_RESULT_OK), special.code);
            EXPECT_NE(GetCurrentThreadId(), special.thread);

            Result names = Ask(Operator);
            EXPECT_STREQ("23001", As<RILOPERATORNAMES>(names).szNumName);
            EXPECT_EQ(static_cast<DWORD>(RIL_EQSTATE_FULL),
                      As<RILEQUIPMENTSTATE>(Ask(RIL_GetEquipmentState)).dwEqState);
            RILSIGNALQUALITY signal = As<RILSIGNALQUALITY>(Ask(RIL_GetSignalQuality));
            EXPECT_EQ(-75, signal.nSignalStrength);
            EXPECT_TRUE(signal.dwParams & RIL_PARAM_SQ_SIGNALSTRENGTH);
            RILCELLTOWERINFO cell = Cell();
            EXPECT_EQ(2051u, cell.dwLocationAreaCode);
            EXPECT_EQ(13962u, cell.dwCellID);
            bool channel = std::string(dialect) != "generic";
            EXPECT_EQ(channel, (cell.dwParams & RIL_PARAM_CTI_NUMBCCH) != 0);
            EXPECT_EQ(channel ? 62u : 0u, cell.dwNumBCCH);
            Close();
        }
    }
}

TEST_F(ModemRadio, ADialectTheModemDoesNotSpeakLosesOnlyTheChannel) {
    auto simulator = StartSimulator(DRIVE, "cinterion");
    ASSERT_TRUE(simulator);
    SetEnvironmentVariableW(L"KESTREL_RIL_DIALECT", L"quectel");
    ASSERT_EQ(S_OK, Open(TcpPort(*simulator)));
    for (int cycle = 0; cycle < 3; ++cycle) {
        RILCELLTOWERINFO cell = Cell();
        EXPECT_EQ(13962u, cell.dwCellID);
        EXPECT_EQ(2051u, cell.dwLocationAreaCode);
        EXPECT_FALSE(cell.dwParams & RIL_PARAM_CTI_NUMBCCH);
    }
}

TEST_F(ModemRadio, NotRegisteredLeavesTheCellFlagsUnsetAndFailuresFail) {
    auto simulator = StartSimulator("operator none\ncell none\nsignal min=-113 max=-51\n"
                                    "equipment 1\nfail operator\nnoanswer equipment\n",
                                    "quectel");
    ASSERT_TRUE(simulator);
    ASSERT_EQ(S_OK, Open(TcpPort(*simulator)));
    // Each query gets its result: a failure, a time-out, then the queue goes on.
    HRESULT op = Operator(handle);
    HRESULT eq = RIL_GetEquipmentState(handle);
    HRESULT sq = RIL_GetSignalQuality(handle);
    HRESULT ct = RIL_GetCellTowerInfo(handle);
    Result result;
    ASSERT_TRUE(Results::Get().WaitFor(op, result));
    EXPECT_EQ(static_cast<DWORD>(RIL_RESULT_ERROR), result.code);
    ASSERT_TRUE(Results::Get().WaitFor(eq, result));
    EXPECT_EQ(static_cast<DWORD>(RIL_RESULT_ERROR), result.code);
    ASSERT_TRUE(Results::Get().WaitFor(sq, result));
    EXPECT_EQ(static_cast<DWORD>(RIL_RESULT_OK), result.code);
    EXPECT_FALSE(As<RILSIGNALQUALITY>(result).dwParams & RIL_PARAM_SQ_SIGNALSTRENGTH);
    ASSERT_TRUE(Results::Get().WaitFor(ct, result));
    EXPECT_EQ(static_cast<DWORD>(RIL_RESULT_OK), result.code);
    EXPECT_EQ(0u, As<RILCELLTOWERINFO>(result).dwParams);
}

TEST_F(ModemRadio, EchoNoiseGarbageAndSplitLinesNeverSpoilTheAnswer) {
    SimFaults faults;
    faults.echo = faults.noise = faults.garbage = faults.split = true;
    faults.slowMs = 30;
    for (const char* dialect : {"quectel", "cinterion"}) {
        auto simulator = StartSimulator(
            DRIVE + std::string("step\ncell lac=2052 id=20417 bcch=3\n"), dialect, "gsm", faults);
        ASSERT_TRUE(simulator);
        ASSERT_EQ(S_OK, Open(TcpPort(*simulator)));
        for (DWORD expected : {13962u, 20417u}) {
            EXPECT_STREQ("23001", As<RILOPERATORNAMES>(Ask(Operator)).szNumName);
            EXPECT_EQ(-75, As<RILSIGNALQUALITY>(Ask(RIL_GetSignalQuality)).nSignalStrength);
            RILCELLTOWERINFO cell = Cell();
            EXPECT_EQ(expected, cell.dwCellID) << dialect;
            EXPECT_EQ(expected == 13962u ? 62u : 3u, cell.dwNumBCCH) << dialect;
        }
        Close();
    }
}

TEST_F(ModemRadio, InitializeFailsWhenThePortOrTheModemIsNotThere) {
    SetEnvironmentVariableW(L"KESTREL_RIL_TIMEOUT_MS", L"200");
    EXPECT_EQ(E_FAIL, Open(L"COM77"));
    EXPECT_NE(std::string::npos,
              ReadFileBytes(ERRORS).find("ril.dll: COM77: cannot open the port"));
    auto simulator = StartSimulator(DRIVE);
    ASSERT_TRUE(simulator);
    std::wstring closed = TcpPort(*simulator);
    simulator.reset();
    EXPECT_EQ(E_FAIL, Open(closed));
    EXPECT_NE(std::string::npos, ReadFileBytes(ERRORS).find(": cannot connect"));
    // A modem that is there but silent.
    auto silent = StartSimulator("init fail\n" + std::string(DRIVE));
    ASSERT_TRUE(silent);
    EXPECT_EQ(E_FAIL, Open(TcpPort(*silent)));
    const std::string silence = ": the modem does not answer AT";
    EXPECT_NE(std::string::npos, ReadFileBytes(ERRORS).find(silence));
    // Tried again at once, it fails at once: the port is not opened again, nor the log lengthened.
    EXPECT_EQ(E_FAIL, Open(TcpPort(*silent)));
    const std::string errors = ReadFileBytes(ERRORS);
    EXPECT_EQ(errors.find(silence), errors.rfind(silence)) << errors;
    EXPECT_EQ(1u, silent->Connections());
    EXPECT_EQ(E_FAIL, Open(L"tcp:nowhere"));
    SetEnvironmentVariableW(L"KESTREL_RIL_DIALECT", L"nokia");
    EXPECT_EQ(E_FAIL, Open(TcpPort(*silent)));
    EXPECT_NE(std::string::npos, ReadFileBytes(ERRORS).find("unknown modem dialect 'nokia'"));
}

TEST_F(ModemRadio, QueriesFailWhileTheModemIsGoneAndResumeWhenItIsBack) {
    auto simulator = StartSimulator(DRIVE, "telit");
    ASSERT_TRUE(simulator);
    ASSERT_EQ(S_OK, Open(TcpPort(*simulator)));
    EXPECT_EQ(13962u, Cell().dwCellID);
    simulator->SetOnline(false);
    EXPECT_EQ(static_cast<DWORD>(RIL_RESULT_ERROR), Ask(RIL_GetCellTowerInfo).code);
    EXPECT_EQ(static_cast<DWORD>(RIL_RESULT_ERROR), Ask(RIL_GetSignalQuality).code);
    simulator->SetOnline(true);
    // The radio layer opens the port again by itself; the next queries are answered.
    ASSERT_TRUE(simulator->WaitForConnections(2, 30000));
    Result result = {};
    for (int i = 0; i < 100 && result.code != RIL_RESULT_OK; ++i) {
        result = Ask(RIL_GetCellTowerInfo);
    }
    ASSERT_EQ(static_cast<DWORD>(RIL_RESULT_OK), result.code);
    EXPECT_EQ(13962u, As<RILCELLTOWERINFO>(result).dwCellID);
    EXPECT_EQ(62u, As<RILCELLTOWERINFO>(result).dwNumBCCH);
}

TEST_F(ModemRadio, AModemThatRestartedIsSetUpAgain) {
    auto simulator = StartSimulator(DRIVE, "quectel");
    ASSERT_TRUE(simulator);
    ASSERT_EQ(S_OK, Open(TcpPort(*simulator)));
    EXPECT_EQ(2051u, Cell().dwLocationAreaCode);
    // Echo back on, registration reports without location, long operator names.
    simulator->Restart();
    for (int i = 0; i < 1000 && simulator->RestartsAnnounced() == 0; ++i) {
        Sleep(10);
    }
    ASSERT_EQ(1u, simulator->RestartsAnnounced());
    RILCELLTOWERINFO cell = Cell();
    EXPECT_EQ(2051u, cell.dwLocationAreaCode);
    EXPECT_EQ(13962u, cell.dwCellID);
    EXPECT_STREQ("23001", As<RILOPERATORNAMES>(Ask(Operator)).szNumName);
}

TEST_F(ModemRadio, ASilentModemTimesOutAndClosesWithoutWaitingForIt) {
    SetEnvironmentVariableW(L"KESTREL_RIL_TIMEOUT_MS", L"600000");
    auto simulator = StartSimulator(DRIVE);
    ASSERT_TRUE(simulator);
    ASSERT_EQ(S_OK, Open(TcpPort(*simulator)));
    simulator->SetSilent(true);
    RIL_GetCellTowerInfo(handle);
    RIL_GetSignalQuality(handle);
    HANDLE closed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread watchdog([closed] {
        if (WaitForSingleObject(closed, 10000) != WAIT_OBJECT_0) {
            fprintf(stderr, "RIL_Deinitialize waits for the silent modem\n");
            TerminateProcess(GetCurrentProcess(), 3);
        }
    });
    Close();
    SetEvent(closed);
    watchdog.join();
    CloseHandle(closed);
}

TEST_F(ModemRadio, PollingFasterThanTheModemAnswersEveryIdOnceWithoutPilingUp) {
    SimFaults slow;
    slow.slowMs = 100;
    auto simulator = StartSimulator(DRIVE, "simcom", "gsm", slow);
    ASSERT_TRUE(simulator);
    ASSERT_EQ(S_OK, Open(TcpPort(*simulator)));
    DWORD before = simulator->Commands();
    std::vector<HRESULT> ids;
    for (int cycle = 0; cycle < 10; ++cycle) {
        ids.push_back(Operator(handle));
        ids.push_back(RIL_GetSignalQuality(handle));
        ids.push_back(RIL_GetCellTowerInfo(handle));
    }
    for (HRESULT id : ids) {
        Result result;
        ASSERT_TRUE(Results::Get().WaitFor(id, result));
    }
    // The newest query of each kind is answered from the modem; older ones that were still
    // waiting failed at once instead of each costing a round trip.
    Result last;
    Results::Get().WaitFor(ids.back(), last);
    EXPECT_EQ(static_cast<DWORD>(RIL_RESULT_OK), last.code);
    EXPECT_EQ(13962u, As<RILCELLTOWERINFO>(last).dwCellID);
    EXPECT_LT(simulator->Commands() - before, 20u);
    std::vector<Result> all = Results::Get().Snapshot();
    EXPECT_EQ(ids.size(), all.size());
}

TEST_F(ModemRadio, APortThatStreamsFailsInitializeNamingWhatItHeard) {
    const struct {
        SimFaults::Stream stream;
        const char* heard;
    } ports[] = {
        {SimFaults::Nmea, ": NMEA sentences: the modem's GPS port, try another"},
        {SimFaults::Binary, ": binary data: a diagnostic port or a wrong speed"},
        {SimFaults::NoLineEnds, ": bytes without line ends"},
        {SimFaults::ShortLines, ": lines that answer no AT command"},
    };
    for (const auto& port : ports) {
        SimFaults faults;
        faults.stream = port.stream;
        auto simulator = StartSimulator(DRIVE, "quectel", "gsm", faults);
        ASSERT_TRUE(simulator);
        Watchdog watchdog("RIL_Initialize on a streaming port");
        EXPECT_EQ(E_FAIL, Open(TcpPort(*simulator)));
        EXPECT_NE(std::string::npos, ReadFileBytes(ERRORS).find(port.heard)) << port.heard;
    }
}

// Before: the look for unasked codes read the stream for ever, so no query was answered and
// closing waited for the modem thread.
TEST_F(ModemRadio, AModemThatStartsStreamingIsLostKeepsMemoryFlatAndClosesAtOnce) {
    auto simulator = StartSimulator(DRIVE, "quectel");
    ASSERT_TRUE(simulator);
    ASSERT_EQ(S_OK, Open(TcpPort(*simulator)));
    EXPECT_EQ(13962u, Cell().dwCellID);
    SIZE_T before = PrivateBytes();
    simulator->SetStream(SimFaults::Binary);
    EXPECT_EQ(static_cast<DWORD>(RIL_RESULT_ERROR), Ask(RIL_GetCellTowerInfo).code);
    // Reconnections meet the stream too, and are told what it is.
    ASSERT_TRUE(simulator->WaitForConnections(simulator->Connections() + 3, 30000));
    EXPECT_EQ(static_cast<DWORD>(RIL_RESULT_ERROR), Ask(RIL_GetSignalQuality).code);
    EXPECT_LT(PrivateBytes(), before + (4u << 20));
    std::string errors = ReadFileBytes(ERRORS);
    EXPECT_NE(std::string::npos, errors.find(": the port streams more than any answer")) << errors;
    EXPECT_NE(std::string::npos, errors.find(": binary data: a diagnostic port")) << errors;
    Watchdog watchdog("RIL_Deinitialize on a streaming port");
    Close();
}

// Before: one ERROR switched the signal and registration reads off for the connection.
TEST_F(ModemRadio, ACommandThatFailedOnceIsAskedAgainNextCycle) {
    SimFaults faults;
    faults.errorOnce = true;
    SetEnvironmentVariableW(L"KESTREL_RIL_DIALECT", L"quectel");
    auto simulator = StartSimulator(DRIVE, "quectel", "gsm", faults);
    ASSERT_TRUE(simulator);
    ASSERT_EQ(S_OK, Open(TcpPort(*simulator)));
    HRESULT(*const queries[])
    (HRIL) = {Operator, RIL_GetEquipmentState, RIL_GetSignalQuality, RIL_GetCellTowerInfo};
    for (auto query : queries) {
        EXPECT_EQ(static_cast<DWORD>(RIL_RESULT_ERROR), Ask(query).code);
    }
    // The next cycle is answered, though the set-up's ERRORs left the long operator name and
    // registrations without location, and the serving-cell command meets its first ERROR.
    for (auto query : queries) {
        EXPECT_EQ(static_cast<DWORD>(RIL_RESULT_OK), Ask(query).code);
    }
    // Those set-up commands were asked again.
    EXPECT_STREQ("23001", As<RILOPERATORNAMES>(Ask(Operator)).szNumName);
    EXPECT_EQ(-75, As<RILSIGNALQUALITY>(Ask(RIL_GetSignalQuality)).nSignalStrength);
    RILCELLTOWERINFO cell = Cell();
    EXPECT_EQ(13962u, cell.dwCellID);
    EXPECT_EQ(2051u, cell.dwLocationAreaCode);
    EXPECT_EQ(62u, cell.dwNumBCCH);
}

namespace {

HRIL closing = nullptr;
HRESULT closedWith = E_PENDING;
HANDLE closed = nullptr;

void CALLBACK CloseOnResult(DWORD, HRESULT, const void*, DWORD, DWORD) {
    if (closing) {
        closedWith = RIL_Deinitialize(closing);
        closing = nullptr;
        SetEvent(closed);
    }
}

} // namespace

TEST_F(ModemRadio, ACallbackMayCloseTheRadioLayer) {
    auto simulator = StartSimulator(DRIVE, "telit");
    ASSERT_TRUE(simulator);
    SetEnvironmentVariableW(L"KESTREL_RIL_PORT", TcpPort(*simulator).c_str());
    closed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_EQ(S_OK, RIL_Initialize(1, CloseOnResult, Results::OnNotify, 0, 0, &closing));
    HRIL opened = closing;
    RIL_GetCellTowerInfo(opened);
    RIL_GetSignalQuality(opened);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(closed, 30000));
    EXPECT_EQ(S_OK, closedWith);
    EXPECT_EQ(E_INVALIDARG, RIL_GetCellTowerInfo(opened));
    CloseHandle(closed);
    // The radio layer opens again as before.
    ASSERT_EQ(S_OK, Open(TcpPort(*simulator)));
    EXPECT_EQ(13962u, Cell().dwCellID);
}
