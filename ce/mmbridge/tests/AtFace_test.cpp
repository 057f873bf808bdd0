#include <gtest/gtest.h>

#include <ModemManager.h>

#include "AtFace.h"

// ModemManager's values as ril.dll's AT backend reads them: every command's answer for each
// kind of network, and a modem that goes away.

namespace {

class FakeModem : public ModemSource {
public:
    bool Read(ModemPart, ModemSnapshot& snapshot) override {
        snapshot = modem;
        return present;
    }
    ModemSnapshot modem;
    bool present = true;
};

class Face : public ::testing::Test {
protected:
    std::string Ask(const std::string& command) {
        std::string answer;
        EXPECT_TRUE(face.Answer(command, answer)) << command;
        return answer;
    }
    static std::string Line(const std::string& line) { return "\r\n" + line + "\r\n\r\nOK\r\n"; }

    FakeModem fake;
    AtFace face{fake};
};

} // namespace

TEST_F(Face, LteRegistrationNamesTheTrackingAreaInTheEpsReportOnly) {
    fake.modem.accessTech = MM_MODEM_ACCESS_TECHNOLOGY_LTE;
    fake.modem.registration = MM_MODEM_3GPP_REGISTRATION_STATE_ROAMING;
    fake.modem.location = "230,01,0000,01A2B3C,00AB";
    fake.modem.operatorCode = "23001";
    fake.modem.lteRsrp = -95.4;
    EXPECT_EQ(Line("+CEREG: 2,5,\"00AB\",\"001A2B3C\",7"), Ask("AT+CEREG?"));
    EXPECT_EQ(Line("+CREG: 2,0"), Ask("at+creg?"));
    EXPECT_EQ(Line("+CGREG: 2,0"), Ask("AT+CGREG?"));
    EXPECT_EQ(Line("+C5GREG: 2,0"), Ask("AT+C5GREG?"));
    EXPECT_EQ(Line("+COPS: 0,2,\"23001\",7"), Ask("AT+COPS?"));
    EXPECT_EQ(Line("+CSQ: 99,99"), Ask("AT+CSQ"));
    EXPECT_EQ(Line("+CESQ: 99,99,255,255,255,46"), Ask("AT+CESQ"));
    // Non-standalone 5G is anchored on the LTE cell.
    fake.modem.accessTech |= MM_MODEM_ACCESS_TECHNOLOGY_5GNR;
    EXPECT_EQ(Line("+CEREG: 2,5,\"00AB\",\"001A2B3C\",7"), Ask("AT+CEREG?"));
}

TEST_F(Face, StandaloneNrReportsItsWideAreaCellAndChannel) {
    fake.modem.accessTech = MM_MODEM_ACCESS_TECHNOLOGY_5GNR;
    fake.modem.registration = MM_MODEM_3GPP_REGISTRATION_STATE_HOME;
    fake.modem.location = "230,01,0000,ABCDEF012,01E240";
    fake.modem.nrRsrp = -80;
    fake.modem.cellType = MM_CELL_TYPE_5GNR;
    fake.modem.cellArea = "1E240";
    fake.modem.cellId = "ABCDEF012";
    fake.modem.hasChannel = true;
    fake.modem.channel = 627264;
    EXPECT_EQ(Line("+C5GREG: 2,1,\"01E240\",\"ABCDEF012\",11"), Ask("AT+C5GREG?"));
    EXPECT_EQ(Line("+CEREG: 2,0"), Ask("AT+CEREG?"));
    EXPECT_EQ(Line("+CESQ: 99,99,255,255,255,255,255,77,255"), Ask("AT+CESQ"));
    EXPECT_EQ(Line("+MMCELL: 11,\"1E240\",\"ABCDEF012\",627264"), Ask("AT+MMCELL?"));
}

TEST_F(Face, GsmAndUmtsRegisterForCircuitAndPacketServices) {
    fake.modem.accessTech = MM_MODEM_ACCESS_TECHNOLOGY_EDGE;
    fake.modem.registration = MM_MODEM_3GPP_REGISTRATION_STATE_HOME;
    fake.modem.location = "230,01,0064,3E9,0000";
    fake.modem.gsmRssi = -71;
    EXPECT_EQ(Line("+CREG: 2,1,\"0064\",\"000003E9\",0"), Ask("AT+CREG?"));
    EXPECT_EQ(Line("+CGREG: 2,1,\"0064\",\"000003E9\",0"), Ask("AT+CGREG?"));
    EXPECT_EQ(Line("+CEREG: 2,0"), Ask("AT+CEREG?"));
    EXPECT_EQ(Line("+CSQ: 21,99"), Ask("AT+CSQ"));
    EXPECT_EQ(Line("+CESQ: 40,99,255,255,255,255"), Ask("AT+CESQ"));
    fake.modem.accessTech = MM_MODEM_ACCESS_TECHNOLOGY_HSPA_PLUS;
    fake.modem.gsmRssi = NAN;
    fake.modem.umtsRssi = -140; // below the scale: its lowest step, not a wrapped number
    EXPECT_EQ(Line("+CREG: 2,1,\"0064\",\"000003E9\",2"), Ask("AT+CREG?"));
    EXPECT_EQ(Line("+CSQ: 0,99"), Ask("AT+CSQ"));
}

TEST_F(Face, NoRegistrationOrAnUnreadableLocationGivesTheStateAlone) {
    fake.modem.accessTech = MM_MODEM_ACCESS_TECHNOLOGY_LTE;
    fake.modem.registration = MM_MODEM_3GPP_REGISTRATION_STATE_SEARCHING;
    fake.modem.location = "230,01,0000,01A2B3C,00AB";
    EXPECT_EQ(Line("+CEREG: 2,2"), Ask("AT+CEREG?"));
    fake.modem.registration = MM_MODEM_3GPP_REGISTRATION_STATE_HOME;
    for (const char* location : {"", "230,01,0000,01A2B3C", "230,01,zz,01A2B3C,00AB",
                                 "230,01,0000,,00AB", "230,01,0000,1234567890ABCDEF0,00AB"}) {
        fake.modem.location = location;
        EXPECT_EQ(Line("+CEREG: 2,1"), Ask("AT+CEREG?")) << location;
    }
    fake.modem.registration = 77; // a state of a later daemon
    EXPECT_EQ(Line("+CEREG: 2,4"), Ask("AT+CEREG?"));
    EXPECT_EQ(Line("+COPS: 0"), Ask("AT+COPS?"));
    EXPECT_EQ(Line("+MMCELL: ,,,"), Ask("AT+MMCELL?"));
}

TEST_F(Face, EquipmentStateFollowsPowerAndEnabling) {
    const struct {
        uint32_t power;
        int32_t state;
        const char* cfun;
    } cases[] = {{MM_MODEM_POWER_STATE_ON, MM_MODEM_STATE_REGISTERED, "+CFUN: 1"},
                 {MM_MODEM_POWER_STATE_ON, MM_MODEM_STATE_DISABLED, "+CFUN: 4"},
                 {MM_MODEM_POWER_STATE_LOW, MM_MODEM_STATE_ENABLED, "+CFUN: 4"},
                 {MM_MODEM_POWER_STATE_OFF, MM_MODEM_STATE_DISABLED, "+CFUN: 0"}};
    for (const auto& c : cases) {
        fake.modem.power = c.power;
        fake.modem.state = c.state;
        EXPECT_EQ(Line(c.cfun), Ask("AT+CFUN?")) << c.power << " " << c.state;
    }
}

TEST_F(Face, SetUpIsAcceptedUnknownCommandsFailAndAGoneModemEndsTheConnection) {
    for (const char* command : {"AT", "ATE0", "AT+CMEE=1", "AT+CEREG=2", "AT+COPS=3,2"}) {
        EXPECT_EQ("\r\nOK\r\n", Ask(command)) << command;
    }
    EXPECT_EQ("\r\nERROR\r\n", Ask("AT+QENG=\"servingcell\""));
    EXPECT_EQ(Line("ModemManager"), Ask("AT+CGMI"));
    fake.modem.manufacturer = "Quectel";
    fake.modem.model = "EG25";
    EXPECT_EQ(Line("Quectel EG25"), Ask("AT+CGMM"));
    fake.present = false;
    std::string answer;
    for (const char* command :
         {"AT+CGMM", "AT+COPS?", "AT+CFUN?", "AT+CSQ", "AT+CREG?", "AT+MMCELL?"}) {
        EXPECT_FALSE(face.Answer(command, answer)) << command;
    }
}
