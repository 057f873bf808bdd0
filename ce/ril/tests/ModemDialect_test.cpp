#include <gtest/gtest.h>

#include <sstream>

#include "ModemDialect.h"
#include "SimModem.h"

namespace {

ServingCell Parse(const char* dialect, const std::string& line, bool parsed = true) {
    ServingCell cell;
    EXPECT_EQ(parsed, ModemDialect::Find(dialect)->parse({line}, cell)) << line;
    return cell;
}

} // namespace

TEST(ModemDialect, ChosenByTheManufacturerText) {
    EXPECT_STREQ("quectel", ModemDialect::Identify("Quectel").name);
    EXPECT_STREQ("simcom", ModemDialect::Identify("SIMCOM INCORPORATED").name);
    EXPECT_STREQ("simcom", ModemDialect::Identify("SIMCOM_Ltd").name);
    EXPECT_STREQ("telit", ModemDialect::Identify("Telit").name);
    EXPECT_STREQ("cinterion", ModemDialect::Identify("SIEMENS").name);
    EXPECT_STREQ("cinterion", ModemDialect::Identify("Cinterion").name);
    EXPECT_STREQ("modemmanager", ModemDialect::Identify("ModemManager").name);
    EXPECT_STREQ("generic", ModemDialect::Identify("huawei").name);
    EXPECT_STREQ("generic", ModemDialect::Identify("").name);
    EXPECT_EQ(nullptr, ModemDialect::Find("nokia"));
    ServingCell cell;
    EXPECT_FALSE(ModemDialect::Generic().parse({"+CREG: 2,1"}, cell));
}

TEST(ModemDialect, QuectelServingCell) {
    ServingCell cell =
        Parse("quectel", "+QENG: \"servingcell\",\"NOCONN\",\"GSM\",460,00,247C,"
                         "1327,35,82,-,-52,255,255,0,53,179,1,-,-,-,-,-,-,-,-,-,\"-\"");
    EXPECT_EQ(82u, cell.channel);
    EXPECT_EQ(0x247Cu, cell.area);
    EXPECT_EQ(0x1327u, cell.cellId);
    cell = Parse("quectel", "+QENG: \"servingcell\",\"NOCONN\",\"WCDMA\",440,10,75,6FE0090,10736,"
                            "58,0,-78,-3,-,-,-,-,-");
    EXPECT_EQ(10736u, cell.channel);
    EXPECT_EQ(0x75u, cell.area);
    cell = Parse("quectel", "+QENG: \"servingcell\",\"NOCONN\",\"LTE\",\"FDD\",214,01,7676A09,188,"
                            "6300,20,3,3,603,-104,-9,-78,11,23");
    EXPECT_EQ(6300u, cell.channel);
    EXPECT_EQ(0x603u, cell.area);
    EXPECT_EQ(0x7676A09u, cell.cellId);
    cell = Parse("quectel", "+QENG: \"servingcell\",\"CONNECT\",\"CAT-M\",\"FDD\",262,03,2FAA03,"
                            "187,6200,20,3,3,2AFB,-105,-11,-76,10,-");
    EXPECT_EQ(6200u, cell.channel);
    Parse("quectel", "+QENG: \"servingcell\",\"SEARCH\"", false);
    Parse("quectel", "+QENG: \"servingcell\",\"NOCONN\",\"GSM\",460,00,247C,1327,35,-,-", false);
}

TEST(ModemDialect, SimcomTelitAndCinterionServingCells) {
    ServingCell cell =
        Parse("simcom", "+CPSI: GSM,Online,262-01,0x972d,5559,79 EGSM 900,-83,0,24-24");
    EXPECT_EQ(79u, cell.channel);
    EXPECT_EQ(0x972Du, cell.area);
    EXPECT_EQ(5559u, cell.cellId); // decimal in this dialect
    cell = Parse("simcom", "+CPSI: WCDMA,Online,310-410,0xD8DF,57659107,WCDMA 850,354,4385,0,5.5,"
                           "55,37,60,500");
    EXPECT_EQ(4385u, cell.channel);
    cell = Parse("simcom", "+CPSI: LTE,Online,228-02,0x9CA4,20964868,46,EUTRAN-BAND20,6200,3,3,"
                           "-178,-1089,-742,8");
    EXPECT_EQ(6200u, cell.channel);
    EXPECT_EQ(20964868u, cell.cellId);
    cell = Parse("simcom", "+CPSI: LTE CAT-M1,Online,505-01,0x2036,134523149,238,EUTRAN-BAND28,"
                           "9410,5,5,-20,-116,-82,6");
    EXPECT_EQ(9410u, cell.channel);
    Parse("simcom", "+CPSI: NO SERVICE,Online", false);

    cell =
        Parse("telit", "#SERVINFO: 1020,-61,\"vodafone NL\",\"20404\",61,00DE,00,1,,\"II\",01,6");
    EXPECT_EQ(1020u, cell.channel);
    EXPECT_EQ(0xDEu, cell.area);
    EXPECT_FALSE(cell.hasCell);
    cell = Parse("telit", "#SERVINFO: 6400,-43,\"T-Mobile A\",\"23203\",00000AF,36EE,32,3,-60");
    EXPECT_EQ(6400u, cell.channel);
    Parse("telit", "#SERVINFO: ,,\"vodafone NL\",\"20404\",,00DE,64,3,,\"II\"", false);

    cell = Parse("cinterion", "^SMONI: 2G,71,-61,262,02,0143,83BA,33,33,3,6,G,NOCONN");
    EXPECT_EQ(71u, cell.channel);
    EXPECT_EQ(0x143u, cell.area);
    EXPECT_EQ(0x83BAu, cell.cellId);
    cell = Parse("cinterion", "^SMONI: 3G,10737,131,-7.5,-103,260,01,7D3D,C80BC9A,21,11,NOCONN");
    EXPECT_EQ(10737u, cell.channel);
    EXPECT_EQ(0xC80BC9Au, cell.cellId);
    cell =
        Parse("cinterion", "^SMONI: 4G,6300,20,10,10,FDD,262,02,BF75,0345103,350,33,-94,-7,NOCONN");
    EXPECT_EQ(6300u, cell.channel);
    EXPECT_EQ(0xBF75u, cell.area);
    cell = Parse("cinterion", "^SMONI: 2G,673,-89,262,07,4EED,A500,16,16,7,4,G,5,-107,LIMSRV");
    EXPECT_EQ(673u, cell.channel);
    Parse("cinterion", "^SMONI: 2G,SEARCH,SEARCH", false);
    Parse("cinterion", "^SMONI: 4G,SEARCH", false);
}

// What the simulator says in each dialect and technology reads back as the scenario's cell.
TEST(ModemDialect, SimulatorLinesReadBack) {
    Scenario scenario;
    std::wstring error;
    ASSERT_TRUE(scenario.Parse("operator 23001\ncell lac=2051 id=13962 bcch=62\n", L"s", error));
    for (const char* dialect : {"quectel", "simcom", "telit", "cinterion"}) {
        for (const char* rat : {"gsm", "umts", "lte"}) {
            SimModem modem;
            ASSERT_TRUE(modem.Configure(dialect, rat));
            std::vector<std::string> lines;
            std::string final;
            modem.Answer(ModemDialect::Find(dialect)->command, scenario.steps[0], lines, final);
            ASSERT_EQ("OK", final);
            ServingCell cell;
            ASSERT_TRUE(ModemDialect::Find(dialect)->parse(lines, cell)) << dialect << " " << rat;
            EXPECT_EQ(62u, cell.channel) << lines[0];
            EXPECT_TRUE(!cell.hasArea || cell.area == 2051) << lines[0];
            EXPECT_TRUE(!cell.hasCell || cell.cellId == 13962) << lines[0];
        }
    }
}

TEST(ModemDialect, StandaloneNrAndModemManagersServingCell) {
    // A 36-bit NR cell id is not known; the TAC and the NR-ARFCN are.
    ServingCell cell = Parse("quectel", "+QENG: \"servingcell\",\"NOCONN\",\"NR5G-SA\",\"TDD\","
                                        "454,12,ABCDEF012,921,1E240,627264,78,12,-85,-11,15,1,-");
    EXPECT_EQ(627264u, cell.channel);
    EXPECT_TRUE(cell.hasArea);
    EXPECT_EQ(0x1E240u, cell.area);
    EXPECT_FALSE(cell.hasCell);
    cell = Parse("modemmanager", "+MMCELL: 7,\"AB\",\"1A2B3C\",6300");
    EXPECT_EQ(6300u, cell.channel);
    EXPECT_EQ(0xABu, cell.area);
    EXPECT_EQ(0x1A2B3Cu, cell.cellId);
    cell = Parse("modemmanager", "+MMCELL: ,,,", false);
    EXPECT_FALSE(cell.hasArea || cell.hasCell || cell.hasChannel);
}
