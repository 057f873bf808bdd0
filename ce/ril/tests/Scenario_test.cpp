#include <gtest/gtest.h>

#include "Scenario.h"

namespace {

std::wstring ParseError(const std::string& text) {
    Scenario scenario;
    std::wstring error;
    EXPECT_FALSE(scenario.Parse(text, L"s.txt", error));
    EXPECT_TRUE(scenario.steps.empty());
    return error;
}

std::string Utf16(const std::wstring& text) {
    std::string bytes = "\xFF\xFE";
    bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * 2);
    return bytes;
}

} // namespace

TEST(Scenario, ParsesSettingsAndCarriesValuesIntoLaterSteps) {
    Scenario scenario;
    std::wstring error;
    ASSERT_TRUE(scenario.Parse("# demo\r\n"
                               "mode time 1500\n"
                               "latency 0\n"
                               "loop\n"
                               "init fail 2\n"
                               "operator 23001   # O2\n"
                               "cell mcc=230 mnc=1 lac=2051 id=13962 bcch=1 bcchchannel=0x3F\n"
                               "signal current=-75 min=-113\n"
                               "equipment 2\n"
                               "fail signal 7\n"
                               "step\n"
                               "operator none\n"
                               "cell params=0x8 id=-1\n"
                               "noanswer cell\n"
                               "step\n"
                               "equipment 0x7FFFFFFF\n",
                               L"s.txt", error))
        << std::string(error.begin(), error.end());
    EXPECT_TRUE(scenario.timed);
    EXPECT_EQ(1500u, scenario.stepMs);
    EXPECT_EQ(0u, scenario.latencyMs);
    EXPECT_TRUE(scenario.loop);
    EXPECT_EQ(2u, scenario.initFailures);
    ASSERT_EQ(3u, scenario.steps.size());

    const ScenarioStep& first = scenario.steps[0];
    EXPECT_EQ(static_cast<DWORD>(RIL_PARAM_ON_NUMNAME), first.operatorNames.dwParams);
    EXPECT_STREQ("23001", first.operatorNames.szNumName);
    EXPECT_EQ(0x1002Fu, first.cellTower.dwParams);
    EXPECT_EQ(2051u, first.cellTower.dwLocationAreaCode);
    EXPECT_EQ(13962u, first.cellTower.dwCellID);
    EXPECT_EQ(1u, first.cellTower.dwNumBCCH);
    EXPECT_EQ(0x3Fu, first.cellTower.dwBroadcastControlChannel);
    EXPECT_EQ(-75, first.signalQuality.nSignalStrength);
    EXPECT_EQ(-113, first.signalQuality.nMinSignalStrength);
    EXPECT_EQ(static_cast<DWORD>(RIL_PARAM_SQ_SIGNALSTRENGTH | RIL_PARAM_SQ_MINSIGNALSTRENGTH),
              first.signalQuality.dwParams);
    EXPECT_EQ(2u, first.equipmentState.dwEqState);
    EXPECT_EQ(Answer::Failure, first.answers[static_cast<int>(RilQuery::Signal)]);
    EXPECT_EQ(7u, first.failureCodes[static_cast<int>(RilQuery::Signal)]);

    const ScenarioStep& second = scenario.steps[1];
    EXPECT_EQ(0u, second.operatorNames.dwParams);
    EXPECT_EQ(static_cast<DWORD>(RIL_PARAM_CTI_CELLID), second.cellTower.dwParams);
    EXPECT_EQ(0xFFFFFFFFu, second.cellTower.dwCellID);
    EXPECT_EQ(-75, second.signalQuality.nSignalStrength);
    EXPECT_EQ(Answer::Result, second.answers[static_cast<int>(RilQuery::Signal)]);
    EXPECT_EQ(Answer::Never, second.answers[static_cast<int>(RilQuery::CellTower)]);

    const ScenarioStep& third = scenario.steps[2];
    EXPECT_EQ(0x7FFFFFFFu, third.equipmentState.dwEqState);
    EXPECT_EQ(Answer::Result, third.answers[static_cast<int>(RilQuery::CellTower)]);
    EXPECT_EQ(0xFFFFFFFFu, third.cellTower.dwCellID);
}

TEST(Scenario, SteppingClampsOrLoops) {
    Scenario scenario;
    std::wstring error;
    ASSERT_TRUE(scenario.Parse("equipment 0\nstep\nequipment 1\nstep\nequipment 2\n", L"s", error));
    EXPECT_EQ(0u, scenario.StepForCycle(0).equipmentState.dwEqState);
    EXPECT_EQ(2u, scenario.StepForCycle(2).equipmentState.dwEqState);
    EXPECT_EQ(2u, scenario.StepForCycle(50).equipmentState.dwEqState);
    EXPECT_EQ(1u, scenario.StepForTime(2000).equipmentState.dwEqState);
    scenario.loop = true;
    EXPECT_EQ(1u, scenario.StepForCycle(4).equipmentState.dwEqState);
    EXPECT_EQ(0u, scenario.StepForTime(6000).equipmentState.dwEqState);
}

TEST(Scenario, BadLinesAreNamed) {
    EXPECT_EQ(L"s.txt(3): unknown keyword 'cel'", ParseError("step\n\ncel lac=1\n"));
    EXPECT_EQ(L"s.txt(1): bad number in 'lac=12x'", ParseError("cell lac=12x\n"));
    EXPECT_EQ(L"s.txt(1): unknown field 'rssi=3'", ParseError("signal rssi=3\n"));
    EXPECT_EQ(L"s.txt(2): operator name longer than 15 characters",
              ParseError("step\noperator 1234567890123456\n"));
    EXPECT_NE(std::wstring::npos, ParseError("noanswer radio\n").find(L"s.txt(1): expected"));
    EXPECT_NE(std::wstring::npos, ParseError("mode fast\n").find(L"s.txt(1): expected"));
    EXPECT_NE(std::wstring::npos, ParseError("mode time 0\n").find(L"s.txt(1): expected"));
    EXPECT_NE(std::wstring::npos, ParseError("latency -1\n").find(L"s.txt(1): expected"));
    EXPECT_NE(std::wstring::npos, ParseError("init maybe\n").find(L"s.txt(1): expected"));
    EXPECT_NE(std::wstring::npos, ParseError("equipment on\n").find(L"s.txt(1): expected"));
    EXPECT_EQ(L"s.txt(1): 'step' takes no value", ParseError("step 2\n"));
    EXPECT_EQ(L"s.txt(1): bad number in 'id=99999999999999'",
              ParseError("cell id=99999999999999\n"));
    EXPECT_EQ(L"s.txt: the scenario has no step", ParseError("mode cycle\n"));
    EXPECT_EQ(L"s.txt: the scenario has no step", ParseError(""));
    EXPECT_EQ(0u, ParseError(std::string("\0\0\xFF", 3)).find(L"s.txt(1): unknown keyword"));
}

TEST(Scenario, PlaysACellLogLineByLine) {
    Scenario scenario;
    std::wstring error;
    ASSERT_TRUE(scenario.Parse(Utf16(L"09.03.2008;07:05:03;2051;13962;1;23001; \n"
                                     L"ERROR:: Nepodařilo se inicializovat knihovnu RIL\n"
                                     L"\r\n"
                                     L"09.03.2008;07:06:10;-1;13963;-1;-----; \r\n"),
                               L"log", error));
    ASSERT_EQ(2u, scenario.steps.size());
    const ScenarioStep& first = scenario.steps[0];
    EXPECT_EQ(static_cast<DWORD>(RIL_PARAM_CTI_LOCATIONAREACODE | RIL_PARAM_CTI_CELLID |
                                 RIL_PARAM_CTI_NUMBCCH),
              first.cellTower.dwParams);
    EXPECT_EQ(13962u, first.cellTower.dwCellID);
    EXPECT_STREQ("23001", first.operatorNames.szNumName);
    EXPECT_EQ(static_cast<DWORD>(RIL_EQSTATE_FULL), first.equipmentState.dwEqState);
    const ScenarioStep& second = scenario.steps[1];
    EXPECT_EQ(static_cast<DWORD>(RIL_PARAM_CTI_CELLID), second.cellTower.dwParams);
    EXPECT_EQ(0u, second.operatorNames.dwParams);
    EXPECT_FALSE(scenario.timed);
}

TEST(Scenario, BadCellLogLineIsNamed) {
    std::wstring expected = L"log(2): not a cell log line (date;time;lac;cell;bcch;network;)";
    Scenario scenario;
    std::wstring error;
    EXPECT_FALSE(scenario.Parse(Utf16(L"09.03.2008;07:05:03;1;2;3;23001; \n"
                                      L"09.03.2008;07:05:03;1;x;3;23001; \n"),
                                L"log", error));
    EXPECT_EQ(expected, error);
    EXPECT_FALSE(scenario.Parse(Utf16(L"\n09.03.2008;07:05:03;1;2;3;2300; \n"), L"log", error));
    EXPECT_EQ(expected, error);
    // An odd trailing byte is ignored.
    EXPECT_TRUE(scenario.Parse(Utf16(L"09.03.2008;07:05:03;1;2;3;23001; \n") + "x", L"log", error));
}

TEST(Scenario, ShippedScenariosLoad) {
    Scenario scenario;
    std::wstring error;
    // Wine maps the build machine's root to drive Z:.
    EXPECT_TRUE(scenario.Load(std::wstring(L"Z:") + KESTREL_RIL_SCENARIOS L"/drive.txt", error))
        << std::string(error.begin(), error.end());
    EXPECT_EQ(7u, scenario.steps.size());
    EXPECT_TRUE(scenario.timed);
}
