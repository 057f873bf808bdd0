#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <sstream>

#include "ModemTestSupport.h"
#include "RadioInterface.h"
#include "RilFileSubscriber.h"
#include "TestFiles.h"

// A drive recorded through the modem backend plays back through the scenario player and
// gives the same cell log.

namespace {

const wchar_t* const RECORDING = L"rilmodem_recording.txt";

class CellCounter : public RilSubscriber {
public:
    void OnCellInfo(CellInfo) override {
        std::lock_guard<std::mutex> hold(mutex);
        ++cells;
        arrived.notify_all();
    }
    void OnSignalQuality(int, int, int) override {}
    void OnNetworkId(std::wstring) override {}
    void OnRadioOn() override {}
    void OnRadioOff() override {}
    void OnError(std::wstring) override {}

    // One polling cycle as the item runs it, until its cell has arrived.
    bool Cycle() {
        std::unique_lock<std::mutex> hold(mutex);
        int before = cells;
        hold.unlock();
        RadioInterface::Refresh();
        hold.lock();
        return arrived.wait_for(hold, std::chrono::seconds(30), [&] { return cells > before; });
    }

private:
    std::mutex mutex;
    std::condition_variable arrived;
    int cells = 0;
};

// The cell log's lines without their date and time.
std::string Drive(const wchar_t* log, int cycles) {
    DeleteFileW(log);
    RilFileSubscriber writer(log);
    writer.SetEnabled(true);
    CellCounter counter;
    RadioInterface::AddSubscriber(&counter);
    RadioInterface::AddSubscriber(&writer);
    for (int i = 0; i < cycles; ++i) {
        EXPECT_TRUE(counter.Cycle()) << "cycle " << i;
    }
    RadioInterface::Deinitialize();
    RadioInterface::RemoveAllSubscribers();
    std::string bytes = ReadFileBytes(log);
    std::wstring text(bytes.size() / 2 - 1, L'\0');
    memcpy(&text[0], bytes.data() + 2, text.size() * 2);
    std::string lines;
    std::wistringstream in(text);
    std::wstring line;
    while (std::getline(in, line)) {
        size_t fields = line.find(L';', line.find(L';') + 1) + 1;
        lines += std::string(line.begin() + fields, line.end()) + "\n";
    }
    DeleteFileW(log);
    return lines;
}

} // namespace

TEST(ModemRecording, ADriveRecordedOnTheModemReplaysToTheSameCellLog) {
    auto simulator = modemtest::StartSimulator("operator 23001\n"
                                               "cell lac=100 id=1001 bcch=62\n"
                                               "signal current=-71 min=-113 max=-51\n"
                                               "equipment 2\n"
                                               "step\nsignal current=-81 min=-113 max=-51\n"
                                               "step\ncell lac=100 id=1002 bcch=64\n"
                                               "step\noperator none\n"
                                               "step\noperator 23003\ncell lac=310 id=5101\n"
                                               "step\ncell none\nequipment 1\n",
                                               "cinterion");
    ASSERT_TRUE(simulator);
    DeleteFileW(RECORDING);
    SetEnvironmentVariableW(L"KESTREL_RIL_PORT", modemtest::TcpPort(*simulator).c_str());
    SetEnvironmentVariableW(L"KESTREL_RIL_RECORD", RECORDING);
    std::string recorded = Drive(L"rilmodem_recorded_log.txt", 7);
    SetEnvironmentVariableW(L"KESTREL_RIL_PORT", nullptr);
    SetEnvironmentVariableW(L"KESTREL_RIL_RECORD", nullptr);
    EXPECT_EQ("100;1001;62;23001; \n"
              "100;1002;64;23001; \n"
              "100;1002;64;-----; \n"
              "310;5101;-1;23003; \n"
              "-1;-1;-1;23003; \n",
              recorded);

    std::string recording = ReadFileBytes(RECORDING);
    EXPECT_EQ(0u, recording.find("# Recorded from tcp:127.0.0.1:")) << recording;
    EXPECT_NE(std::string::npos, recording.find("Cinterion")) << recording;
    EXPECT_NE(std::string::npos, recording.find("\ncell lac=100 id=1001 bcch=62\n")) << recording;
    SetEnvironmentVariableW(L"KESTREL_RIL_SCENARIO", RECORDING);
    EXPECT_EQ(recorded, Drive(L"rilmodem_replayed_log.txt", 7));
    SetEnvironmentVariableW(L"KESTREL_RIL_SCENARIO", nullptr);
    DeleteFileW(RECORDING);
}
