#include <gtest/gtest.h>

#include <windows.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "RadioInterface.h"
#include "TestFiles.h"

namespace {

const wchar_t* const SCENARIO = L"radiointerface_scenario.txt";
const wchar_t* const TRACE = L"radiointerface_trace.txt";

std::string Narrow(const std::wstring& text) {
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string result(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &result[0], size, nullptr, nullptr);
    result.pop_back();
    return result;
}

// Records every notification as text, in arrival order, with the thread it came on.
class Recorder : public RilSubscriber {
public:
    void OnCellInfo(CellInfo cell) override {
        Add("cell " + Narrow(cell.lac) + " " + Narrow(cell.cellId) + " " + Narrow(cell.bcch));
    }
    void OnSignalQuality(int minimum, int maximum, int current) override {
        Add("signal " + std::to_string(minimum) + " " + std::to_string(maximum) + " " +
            std::to_string(current));
    }
    void OnNetworkId(std::wstring networkId) override { Add("network " + Narrow(networkId)); }
    void OnRadioOn() override { Add("on"); }
    void OnRadioOff() override { Add("off"); }
    void OnError(std::wstring text) override { Add("error " + Narrow(text)); }

    // Waits until this many cell results have arrived; the bound only stops a hang.
    bool WaitForCells(size_t count) {
        std::unique_lock<std::mutex> hold(mutex);
        return arrived.wait_for(hold, std::chrono::seconds(20), [&] { return cells >= count; });
    }
    bool WaitForEvents(size_t count) {
        std::unique_lock<std::mutex> hold(mutex);
        return arrived.wait_for(hold, std::chrono::seconds(20),
                                [&] { return events.size() >= count; });
    }
    std::vector<std::string> Events() {
        std::lock_guard<std::mutex> hold(mutex);
        return events;
    }
    DWORD FirstThread() {
        std::lock_guard<std::mutex> hold(mutex);
        return threads.empty() ? 0 : threads.front();
    }

private:
    void Add(const std::string& event) {
        std::lock_guard<std::mutex> hold(mutex);
        events.push_back(event);
        threads.push_back(GetCurrentThreadId());
        if (event.compare(0, 5, "cell ") == 0) {
            ++cells;
        }
        arrived.notify_all();
    }
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<std::string> events;
    std::vector<DWORD> threads;
    size_t cells = 0;
};

class RadioInterfaceTest : public ::testing::Test {
protected:
    void SetUp() override {
        DeleteFileW(TRACE);
        SetEnvironmentVariableW(L"KESTREL_RIL_SCENARIO", SCENARIO);
        SetEnvironmentVariableW(L"KESTREL_RIL_TRACE", TRACE);
        SetEnvironmentVariableW(L"KESTREL_RIL_ERRORLOG", L"radiointerface_errors.txt");
    }
    void TearDown() override {
        RadioInterface::Deinitialize();
        RadioInterface::RemoveAllSubscribers();
        DeleteFileW(SCENARIO);
        DeleteFileW(TRACE);
    }
    void Start(const std::string& scenario) {
        WriteFileBytes(SCENARIO, "latency 20\n" + scenario);
        RadioInterface::AddSubscriber(&first);
        RadioInterface::AddSubscriber(&second);
    }
    // Each cycle's results arrive before the next cycle replaces the pending ids.
    void Play(const std::string& scenario, size_t cycles) {
        Start(scenario);
        for (size_t i = 0; i < cycles; ++i) {
            RadioInterface::Refresh();
            ASSERT_TRUE(first.WaitForCells(i + 1)) << "cycle " << i + 1;
        }
    }
    Recorder first;
    Recorder second;
};

} // namespace

TEST(RadioInterfaceInterval, StartsAtFiveAndIgnoresValuesBelowOne) {
    EXPECT_EQ(5, RadioInterface::GetCheckInterval());
    RadioInterface::SetCheckInterval(0);
    RadioInterface::SetCheckInterval(-5);
    EXPECT_EQ(5, RadioInterface::GetCheckInterval());
    RadioInterface::SetCheckInterval(12);
    EXPECT_EQ(12, RadioInterface::GetCheckInterval());
    RadioInterface::SetCheckInterval(5);
}

TEST_F(RadioInterfaceTest, OneCycleSendsStartFourTimesThenFourQueriesInOrder) {
    Play("operator 23001\ncell lac=2051 id=13962 bcch=1\nsignal current=-75 min=-113 max=-51\n"
         "equipment 2\n",
         1);
    EXPECT_EQ("RIL_Initialize\n"
              "RIL_DevSpecific 26\n"
              "RIL_DevSpecific 26\n"
              "RIL_GetCurrentOperator 3\n"
              "RIL_DevSpecific 26\n"
              "RIL_GetEquipmentState\n"
              "RIL_DevSpecific 26\n"
              "RIL_GetSignalQuality\n"
              "RIL_GetCellTowerInfo\n",
              ReadFileBytes(TRACE));
    std::vector<std::string> expected = {"network 23001", "on", "signal -113 -51 -75",
                                         "cell 2051 13962 1"};
    EXPECT_EQ(expected, first.Events());
    EXPECT_EQ(expected, second.Events());
    // Delivered on the radio layer's thread, not the caller's.
    EXPECT_NE(GetCurrentThreadId(), first.FirstThread());

    RadioInterface::Deinitialize();
    EXPECT_EQ(
        "RIL_DevSpecific 27\nRIL_Deinitialize\n",
        ReadFileBytes(TRACE).substr(ReadFileBytes(TRACE).rfind("RIL_GetCellTowerInfo\n") + 21));
}

TEST_F(RadioInterfaceTest, DecodesMissingFieldsOperatorIdsAndEquipmentStates) {
    Play("cell id=13962\noperator 23001\nequipment 3\n"
         "step\ncell lac=2051 id=1 bcch=0 bcchchannel=99\noperator 230011\nequipment 4\n"
         "step\ncell lac=-1 id=0xFFFFFFFF\noperator none\nequipment 5\n"
         "step\ncell none\noperator 2300\nequipment 0\n"
         "step\noperator \"\"\nequipment 1\n"
         "step\noperator \"23 01\"\nequipment none\n",
         6);
    std::vector<std::string> expected = {
        "network 23001", "signal 0 0 0", "cell -1 13962 -1",                  // only the cell id
        "network -----", "signal 0 0 0", "cell 2051 1 0",                     // six digits; BCCH 0
        "network -----", "signal 0 0 0", "cell -1 -1 -1",                     // no name; all ones
        "network -----", "off",          "signal 0 0 0",     "cell -1 -1 -1", // four digits
        "network -----", "off",          "signal 0 0 0",     "cell -1 -1 -1", // empty name
        "network 23 01", "off",          "signal 0 0 0",     "cell -1 -1 -1"};
    EXPECT_EQ(expected, first.Events());
}

TEST_F(RadioInterfaceTest, FailedOpenReportsErrorAndSendsNothing) {
    Start("init fail 1\noperator 23001\n");
    RadioInterface::Refresh();
    std::vector<std::string> expected = {"error Nepodařilo se inicializovat knihovnu RIL"};
    EXPECT_EQ(expected, first.Events());
    EXPECT_EQ(expected, second.Events());
    EXPECT_EQ("RIL_Initialize\n", ReadFileBytes(TRACE));
    // The next cycle opens the radio layer.
    RadioInterface::Refresh();
    ASSERT_TRUE(first.WaitForCells(1));
    EXPECT_EQ("network 23001", first.Events()[1]);
}

TEST_F(RadioInterfaceTest, UnansweredAndFailedQueriesLeaveTheirValueOut) {
    Start("operator 23001\nequipment 2\nnoanswer cell\nfail operator\nfail signal 2\n"
          "step\ncell lac=1 id=2 bcch=3\nnoanswer equipment\n");
    RadioInterface::Refresh();
    ASSERT_TRUE(first.WaitForEvents(1));
    RadioInterface::Refresh();
    ASSERT_TRUE(first.WaitForCells(1));
    std::vector<std::string> expected = {"on", "network 23001", "signal 0 0 0", "cell 1 2 3"};
    EXPECT_EQ(expected, first.Events());
}

TEST_F(RadioInterfaceTest, ResultsWithoutSubscribersAreDropped) {
    WriteFileBytes(SCENARIO, "latency 20\noperator 23001\ncell lac=1 id=2 bcch=3\nequipment 2\n");
    RadioInterface::Refresh();
    // Given time to arrive; closing the radio layer ends whatever is still on its way.
    Sleep(200);
    RadioInterface::Deinitialize();
    // A subscriber added afterwards hears of its own cycle only: nothing was kept for it.
    RadioInterface::AddSubscriber(&first);
    RadioInterface::Refresh();
    ASSERT_TRUE(first.WaitForCells(1));
    RadioInterface::Deinitialize();
    EXPECT_EQ((std::vector<std::string>{"network 23001", "on", "signal 0 0 0", "cell 1 2 3"}),
              first.Events());
}

TEST_F(RadioInterfaceTest, PlaysACellLog) {
    std::wstring log = L"09.03.2008;07:05:03;2051;13962;1;23001; \n"
                       L"ERROR:: Nepodařilo se inicializovat knihovnu RIL\n"
                       L"09.03.2008;07:06:10;2051;-1;7;-----; \n";
    std::string bytes = "\xFF\xFE";
    bytes.append(reinterpret_cast<const char*>(log.data()), log.size() * 2);
    WriteFileBytes(SCENARIO, bytes);
    RadioInterface::AddSubscriber(&first);
    RadioInterface::Refresh();
    ASSERT_TRUE(first.WaitForCells(1));
    RadioInterface::Refresh();
    ASSERT_TRUE(first.WaitForCells(2));
    std::vector<std::string> expected = {"network 23001", "on", "signal 0 0 0", "cell 2051 13962 1",
                                         "network -----", "on", "signal 0 0 0", "cell 2051 -1 7"};
    EXPECT_EQ(expected, first.Events());
}
