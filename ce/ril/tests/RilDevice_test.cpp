#include <gtest/gtest.h>

#include <windows.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "ril.h"

namespace {

const wchar_t* const SCENARIO = L"rildevice_scenario.txt";
const wchar_t* const ERRORS = L"rildevice_errors.txt";

struct Result {
    DWORD code;
    HRESULT commandId;
    std::string data;
    DWORD thread;
};

std::mutex resultsMutex;
std::condition_variable resultArrived;
std::vector<Result> results;

void CALLBACK OnResult(DWORD code, HRESULT commandId, const void* data, DWORD size, DWORD param) {
    EXPECT_EQ(0x1234u, param);
    std::lock_guard<std::mutex> hold(resultsMutex);
    results.push_back({code, commandId,
                       data ? std::string(static_cast<const char*>(data), size) : std::string(),
                       GetCurrentThreadId()});
    resultArrived.notify_all();
}

void CALLBACK OnNotify(DWORD, const void*, DWORD, DWORD) {}

class RilDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::lock_guard<std::mutex> hold(resultsMutex);
        results.clear();
        DeleteFileW(ERRORS);
        SetEnvironmentVariableW(L"KESTREL_RIL_SCENARIO", SCENARIO);
        SetEnvironmentVariableW(L"KESTREL_RIL_ERRORLOG", ERRORS);
        SetEnvironmentVariableW(L"KESTREL_RIL_MODE", nullptr);
    }
    void TearDown() override {
        if (handle) {
            EXPECT_EQ(S_OK, RIL_Deinitialize(handle));
        }
        DeleteFileW(SCENARIO);
        DeleteFileW(ERRORS);
    }
    HRESULT Open(const std::string& scenario) {
        WriteFileBytes(SCENARIO, scenario);
        HRESULT opened = RIL_Initialize(1, OnResult, OnNotify, 0x80C20007, 0x1234, &handle);
        if (FAILED(opened)) {
            handle = nullptr;
        }
        return opened;
    }
    // Results arrive in the order asked; the bound only stops a hang.
    std::vector<Result> WaitForResults(size_t count) {
        std::unique_lock<std::mutex> hold(resultsMutex);
        resultArrived.wait_for(hold, std::chrono::seconds(20),
                               [&] { return results.size() >= count; });
        return results;
    }
    static DWORD CellId(const Result& result) {
        EXPECT_EQ(sizeof(RILCELLTOWERINFO), result.data.size());
        RILCELLTOWERINFO info;
        memcpy(&info, result.data.data(), sizeof(info));
        return info.dwCellID;
    }
    HRIL handle = nullptr;
};

} // namespace

TEST_F(RilDeviceTest, AnswersEachQueryLaterOnItsOwnThread) {
    ASSERT_EQ(S_OK, Open("latency 0\noperator 23001\nequipment 5\n"
                         "signal current=-75 min=-113 max=-51\ncell lac=2051 id=13962\n"));
    BYTE request[4] = {26, 0, 0, 0};
    HRESULT ids[] = {RIL_DevSpecific(handle, request, 4), RIL_GetCurrentOperator(handle, 3),
                     RIL_GetEquipmentState(handle), RIL_GetSignalQuality(handle),
                     RIL_GetCellTowerInfo(handle)};
    std::vector<Result> got = WaitForResults(5);
    ASSERT_EQ(5u, got.size());
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_GT(ids[i], 0);
        EXPECT_EQ(ids[i], got[i].commandId);
        EXPECT_EQ(static_cast<DWORD>(RIL_RESULT_OK), got[i].code);
        EXPECT_NE(GetCurrentThreadId(), got[i].thread);
    }
    EXPECT_TRUE(got[0].data.empty());
    RILOPERATORNAMES names;
    ASSERT_EQ(sizeof(names), got[1].data.size());
    memcpy(&names, got[1].data.data(), sizeof(names));
    EXPECT_STREQ("23001", names.szNumName);
    RILEQUIPMENTSTATE state;
    ASSERT_EQ(sizeof(state), got[2].data.size());
    memcpy(&state, got[2].data.data(), sizeof(state));
    EXPECT_EQ(5u, state.dwEqState);
    RILSIGNALQUALITY signal;
    ASSERT_EQ(sizeof(signal), got[3].data.size());
    memcpy(&signal, got[3].data.data(), sizeof(signal));
    EXPECT_EQ(-113, signal.nMinSignalStrength);
    EXPECT_EQ(-51, signal.nMaxSignalStrength);
    EXPECT_EQ(-75, signal.nSignalStrength);
    EXPECT_EQ(13962u, CellId(got[4]));
}

TEST_F(RilDeviceTest, EachCellQueryEndsACycle) {
    ASSERT_EQ(S_OK, Open("latency 0\ncell id=1\nnoanswer signal\nstep\ncell id=2\nfail operator\n"
                         "step\ncell id=3\n"));
    RIL_GetSignalQuality(handle); // never answered in the first cycle
    RIL_GetCellTowerInfo(handle);
    HRESULT failed = RIL_GetCurrentOperator(handle, 3);
    RIL_GetCellTowerInfo(handle);
    RIL_GetCellTowerInfo(handle);
    RIL_GetCellTowerInfo(handle); // the last step stays
    HRESULT signal = RIL_GetSignalQuality(handle);
    std::vector<Result> got = WaitForResults(6);
    ASSERT_EQ(6u, got.size());
    EXPECT_EQ(1u, CellId(got[0]));
    EXPECT_EQ(failed, got[1].commandId);
    EXPECT_EQ(static_cast<DWORD>(RIL_RESULT_ERROR), got[1].code);
    EXPECT_EQ(2u, CellId(got[2]));
    EXPECT_EQ(3u, CellId(got[3]));
    EXPECT_EQ(3u, CellId(got[4]));
    EXPECT_EQ(signal, got[5].commandId);
}

TEST_F(RilDeviceTest, TimedModeFromTheSettingsHoldsTheFirstStep) {
    SetEnvironmentVariableW(L"KESTREL_RIL_MODE", L"time");
    SetEnvironmentVariableW(L"KESTREL_RIL_STEP_MS", L"600000");
    ASSERT_EQ(S_OK, Open("latency 0\ncell id=1\nstep\ncell id=2\n"));
    RIL_GetCellTowerInfo(handle);
    RIL_GetCellTowerInfo(handle);
    std::vector<Result> got = WaitForResults(2);
    SetEnvironmentVariableW(L"KESTREL_RIL_STEP_MS", nullptr);
    ASSERT_EQ(2u, got.size());
    EXPECT_EQ(1u, CellId(got[0]));
    EXPECT_EQ(1u, CellId(got[1]));
}

TEST_F(RilDeviceTest, InitializeFailsAsScenarioSays) {
    EXPECT_EQ(E_FAIL, Open("init fail\ncell id=1\n"));
    EXPECT_EQ(E_FAIL, Open("init fail\ncell id=1\n"));
    EXPECT_EQ(E_FAIL, Open("init fail 1\ncell id=2\n"));
    EXPECT_EQ(S_OK, Open("init fail 1\ncell id=2\n"));
    EXPECT_EQ(S_OK, RIL_Deinitialize(handle));
    // A changed file counts again.
    EXPECT_EQ(E_FAIL, Open("init fail 1\ncell id=3\n"));
    EXPECT_EQ("", ReadFileBytes(ERRORS));
}

TEST_F(RilDeviceTest, BadScenarioFailsInitializeAndNamesTheLine) {
    EXPECT_EQ(E_FAIL, Open("cell id=1\nsignal strength=3\n"));
    EXPECT_EQ("ril.dll: rildevice_scenario.txt(2): unknown field 'strength=3'\n",
              ReadFileBytes(ERRORS));
    SetEnvironmentVariableW(L"KESTREL_RIL_SCENARIO", L"no_such_scenario.txt");
    HRIL other = nullptr;
    EXPECT_EQ(E_FAIL, RIL_Initialize(1, OnResult, OnNotify, 0, 0x1234, &other));
    EXPECT_NE(std::string::npos,
              ReadFileBytes(ERRORS).find("no_such_scenario.txt: cannot open the scenario"));
}

TEST_F(RilDeviceTest, UnknownHandlesAreRefused) {
    int local = 0;
    EXPECT_EQ(E_INVALIDARG, RIL_GetCellTowerInfo(&local));
    EXPECT_EQ(E_INVALIDARG, RIL_Deinitialize(&local));
    EXPECT_EQ(E_INVALIDARG, RIL_Deinitialize(nullptr));
    ASSERT_EQ(S_OK, Open("cell id=1\n"));
    HRIL closed = handle;
    EXPECT_EQ(S_OK, RIL_Deinitialize(handle));
    handle = nullptr;
    EXPECT_EQ(E_INVALIDARG, RIL_GetCellTowerInfo(closed));
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

// The instance goes once the callback has returned, on the thread that called it.
TEST_F(RilDeviceTest, ACallbackMayCloseTheRadioLayer) {
    WriteFileBytes(SCENARIO, "latency 0\ncell id=1\n");
    closed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_EQ(S_OK, RIL_Initialize(1, CloseOnResult, OnNotify, 0, 0x1234, &closing));
    HRIL opened = closing;
    for (int i = 0; i < 3; ++i) {
        RIL_GetCellTowerInfo(opened);
    }
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(closed, 20000));
    EXPECT_EQ(S_OK, closedWith);
    EXPECT_EQ(E_INVALIDARG, RIL_GetCellTowerInfo(opened));
    CloseHandle(closed);
    ASSERT_EQ(S_OK, Open("latency 0\ncell id=2\n"));
    RIL_GetCellTowerInfo(handle);
    EXPECT_EQ(2u, CellId(WaitForResults(1).at(0)));
}
