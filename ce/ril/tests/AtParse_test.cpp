#include <gtest/gtest.h>

#include "AtChannel.h"
#include "AtLineReader.h"
#include "AtParse.h"
#include "ModemDialect.h"

// Response lines as the makers' manuals and captured logs show them.

namespace {

AtParse::Registration Read(const std::string& line) {
    AtParse::Registration registration;
    EXPECT_TRUE(AtParse::ParseRegistration(line, registration)) << line;
    return registration;
}

} // namespace

TEST(AtParse, RegistrationReadsWithQuotedUnquotedPaddedAndMissingCodes) {
    AtParse::Registration r = Read("+CREG: 2,1,\"F03F\",\"05DF0052\"");
    EXPECT_TRUE(r.registered && r.hasArea && r.hasCell);
    EXPECT_EQ(0xF03Fu, r.area);
    EXPECT_EQ(0x05DF0052u, r.cellId);
    r = Read("+CREG: 2,1,\"8BE3\",\"00002BAF\"");
    EXPECT_EQ(0x2BAFu, r.cellId);
    r = Read("+CREG: 2,5,\"1102\",\"D63D\"");
    EXPECT_TRUE(r.registered);
    EXPECT_EQ(0xD63Du, r.cellId);
    r = Read("+CREG: 2,1,8BE3,2BAF");
    EXPECT_EQ(0x8BE3u, r.area);
    EXPECT_EQ(0x2BAFu, r.cellId);
    r = Read("+CGREG: 2,1, 81ED, 1A9CEB");
    EXPECT_EQ(0x1A9CEBu, r.cellId);
    r = Read("+CREG:002,001,\"18d8\",\"ffff\"");
    EXPECT_TRUE(r.registered && r.hasArea);
    EXPECT_EQ(0x18D8u, r.area);
    EXPECT_FALSE(r.hasCell);
    r = Read("+CEREG: 2,1,\"002F\",\"0012BEEF\",7");
    EXPECT_EQ(0x12BEEFu, r.cellId);
    r = Read("+CREG: 2,1,000B,2816, B, C2816");
    EXPECT_EQ(0x2816u, r.cellId);
    // Registered without location reports; not registered; searching; denied.
    r = Read("+CREG: 0,1");
    EXPECT_TRUE(r.registered);
    EXPECT_FALSE(r.hasArea || r.hasCell);
    for (const char* line : {"+CREG: 2,0,00,0", "+CREG: 2,2", "+CGREG: 0,4", "+CREG: 2,3"}) {
        r = Read(line);
        EXPECT_FALSE(r.registered || r.hasArea || r.hasCell) << line;
    }
    // Wider than the fields: a LAC or TAC over 16 bits, a cell id over 28 bits.
    r = Read("+CEREG: 2,1,\"1002F\",\"1012BEEF\",7");
    EXPECT_TRUE(r.registered);
    EXPECT_FALSE(r.hasArea || r.hasCell);
    r = Read("+CEREG: 2,1,\"FFFD\",\"0FFFFFFF\",7");
    EXPECT_TRUE(r.hasArea && r.hasCell);
    r = Read("+CREG: 2,1,\"zz\",\"\"");
    EXPECT_TRUE(r.registered);
    EXPECT_FALSE(r.hasArea || r.hasCell);
}

TEST(AtParse, StandaloneNrRegistrationKeepsItsTrackingAreaAndDropsTheWideCellId) {
    AtParse::Registration r = Read("+C5GREG: 2,1,\"01E240\",\"ABCDEF012\",11,1,\"01\"");
    EXPECT_TRUE(r.registered && r.hasArea);
    EXPECT_EQ(0x01E240u, r.area);
    EXPECT_FALSE(r.hasCell);
    r = Read("+C5GREG: 2,5,\"00A1B2\",\"0000C3D4\",11");
    EXPECT_EQ(0xA1B2u, r.area);
    EXPECT_EQ(0xC3D4u, r.cellId);
    r = Read("+C5GREG: 2,1,\"FFFFFE\",\"0000C3D4\",11");
    EXPECT_FALSE(r.hasArea);
    EXPECT_FALSE(Read("+C5GREG: 2,0").registered);

    RILSIGNALQUALITY signal;
    ASSERT_TRUE(AtParse::ParseCesq("+CESQ: 99,99,255,255,255,255,255,77,255", signal));
    EXPECT_EQ(-80, signal.nSignalStrength);
    EXPECT_EQ(-156, signal.nMinSignalStrength);
    EXPECT_EQ(-31, signal.nMaxSignalStrength);
    ASSERT_TRUE(AtParse::ParseCesq("+CESQ: 99,99,255,255,31,62,255,255,255", signal));
    EXPECT_EQ(-79, signal.nSignalStrength);
}

TEST(AtParse, UnsolicitedRegistrationReportsAreNeverTakenForTheAnswer) {
    for (const char* line :
         {"+CREG: 1,\"4E54\",\"44A5\"", "+CREG: 3", "+CREG: 1,84CD,00D30156", "+CREG: 2,8BE3,2BAF",
          "+CREG: 2,,", "+CGREG: 1,\"1422\",\"00000142\",3,\"00\"",
          "+CEREG: 1,\"002F\",\"0012BEEF\",7", "+CEREG: 2", "+CREG: 1,1234,5678"}) {
        EXPECT_EQ(AtChannel::Unsolicited, AtChannel::Classify(line, line[2] == 'R'   ? "+CREG:"
                                                                    : line[2] == 'G' ? "+CGREG:"
                                                                                     : "+CEREG:"))
            << line;
    }
    EXPECT_EQ(AtChannel::Text, AtChannel::Classify("+CREG: 2,1,\"0803\",\"3F4A\"", "+CREG:"));
    // Anything without the awaited prefix is unsolicited, finals and echo are recognised.
    EXPECT_EQ(AtChannel::Unsolicited, AtChannel::Classify("+CREG: 0,1", "+CSQ:"));
    EXPECT_EQ(AtChannel::Unsolicited, AtChannel::Classify("^RSSI: 9", "+CSQ:"));
    EXPECT_EQ(AtChannel::FinalCmeError, AtChannel::Classify("+CME ERROR: 10", "+CSQ:"));
    EXPECT_EQ(AtChannel::FinalCmeError, AtChannel::Classify("+CME ERROR: SIM not inserted", ""));
    EXPECT_EQ(AtChannel::FinalError, AtChannel::Classify("ERROR", "+CSQ:"));
    EXPECT_EQ(AtChannel::FinalOk, AtChannel::Classify("0", "+CSQ:"));
    EXPECT_EQ(AtChannel::Echo, AtChannel::Classify("AT+CSQ", "+CSQ:"));
    EXPECT_EQ(AtChannel::Echo, AtChannel::Classify("at+cgmi", ""));
    // Bare information text: the maker's name, but not a ring or a start-up announcement.
    EXPECT_EQ(AtChannel::Text, AtChannel::Classify("SIMCOM_Ltd", ""));
    EXPECT_EQ(AtChannel::Text, AtChannel::Classify("+CGMR: \"G24-L SW 4-0.210-000\"", ""));
    EXPECT_EQ(AtChannel::Unsolicited, AtChannel::Classify("RING", ""));
    EXPECT_EQ(AtChannel::Unsolicited, AtChannel::Classify("+CMTI: \"SM\",3", ""));
}

TEST(AtParse, OperatorSignalAndEquipment) {
    RILOPERATORNAMES names;
    int format;
    ASSERT_TRUE(AtParse::ParseOperator("+COPS: 0,2,\"22201\",2", names, format));
    EXPECT_EQ(static_cast<DWORD>(RIL_PARAM_ON_NUMNAME), names.dwParams);
    EXPECT_STREQ("22201", names.szNumName);
    ASSERT_TRUE(AtParse::ParseOperator("+COPS: 1,2,310260,7", names, format));
    EXPECT_STREQ("310260", names.szNumName);
    ASSERT_TRUE(AtParse::ParseOperator("+COPS: 0", names, format));
    EXPECT_EQ(0u, names.dwParams);
    ASSERT_TRUE(AtParse::ParseOperator("+COPS: 0,0,\"CHINA MOBILE\",7", names, format));
    EXPECT_EQ(0, format);
    EXPECT_EQ(static_cast<DWORD>(RIL_PARAM_ON_LONGNAME), names.dwParams);
    EXPECT_STREQ("CHINA MOBILE", names.szLongName);
    EXPECT_FALSE(AtParse::ParseOperator("+COPS: 0,2,\"2300A\"", names, format));
    // Numeric names of other lengths are no network's: not known, and nothing else lost.
    for (const char* line : {"+COPS: 0,2,\"12345678901234567890\"", "+COPS: 0,2,\"2300\",2",
                             "+COPS: 0,2,\"2300111\",7"}) {
        ASSERT_TRUE(AtParse::ParseOperator(line, names, format)) << line;
        EXPECT_EQ(0u, names.dwParams) << line;
        EXPECT_EQ(2, format);
    }
    EXPECT_FALSE(AtParse::ParseOperator("+COPS: x", names, format));

    RILSIGNALQUALITY signal;
    ASSERT_TRUE(AtParse::ParseCsq("+CSQ: 17,99", signal));
    EXPECT_EQ(-79, signal.nSignalStrength);
    EXPECT_EQ(-113, signal.nMinSignalStrength);
    EXPECT_EQ(-51, signal.nMaxSignalStrength);
    EXPECT_EQ(7u, signal.dwParams);
    ASSERT_TRUE(AtParse::ParseCsq("+CSQ: 031,000", signal));
    EXPECT_EQ(-51, signal.nSignalStrength);
    ASSERT_TRUE(AtParse::ParseCsq("+CSQ: 0,0", signal));
    EXPECT_EQ(-113, signal.nSignalStrength);
    ASSERT_TRUE(AtParse::ParseCsq("+CSQ: 99,99", signal));
    EXPECT_EQ(6u, signal.dwParams);
    EXPECT_EQ(0, signal.nSignalStrength);
    EXPECT_FALSE(AtParse::ParseCsq("+CSQ: ,", signal));
    ASSERT_TRUE(AtParse::ParseCesq("+CESQ: 99,99,255,255,31,62", signal));
    EXPECT_EQ(-79, signal.nSignalStrength);
    EXPECT_EQ(-141, signal.nMinSignalStrength);
    EXPECT_EQ(-44, signal.nMaxSignalStrength);
    ASSERT_TRUE(AtParse::ParseCesq("+CESQ: 99,99,255,255,255,255", signal));
    EXPECT_FALSE(signal.dwParams & RIL_PARAM_SQ_SIGNALSTRENGTH);
    EXPECT_FALSE(AtParse::ParseCesq("+CESQ: 99,99", signal));

    RILEQUIPMENTSTATE state;
    ASSERT_TRUE(AtParse::ParseCfun("+CFUN: 1", state));
    EXPECT_EQ(static_cast<DWORD>(RIL_EQSTATE_FULL), state.dwEqState);
    ASSERT_TRUE(AtParse::ParseCfun("+CFUN: 0", state));
    EXPECT_EQ(static_cast<DWORD>(RIL_EQSTATE_MINIMUM), state.dwEqState);
    ASSERT_TRUE(AtParse::ParseCfun("+CFUN: 4", state));
    EXPECT_EQ(static_cast<DWORD>(RIL_EQSTATE_DISABLETXANDRX), state.dwEqState);
    ASSERT_TRUE(AtParse::ParseCfun("+CFUN: 7", state));
    EXPECT_EQ(0u, state.dwParams);
}

TEST(AtLineReader, LinesSplitAcrossReadsNoiseAndOverlongLines) {
    AtLineReader reader;
    std::vector<std::string> lines;
    std::string stream =
        "AT+CGMI\r\r\nSIMCOM_Ltd\r\n\r\nOK\r\n+CREG: 2,1,\"F03F\",\"05DF0052\"\r\n0\r"
        "+CREG: 5\r\n\r\n+CGREG: 0";
    for (char c : stream) {
        reader.Feed(&c, 1, lines);
    }
    std::vector<std::string> expected = {
        "AT+CGMI", "SIMCOM_Ltd", "OK", "+CREG: 2,1,\"F03F\",\"05DF0052\"", "0", "+CREG: 5"};
    EXPECT_EQ(expected, lines);
    lines.clear();
    reader.Feed("\r\n", 2, lines);
    EXPECT_EQ(std::vector<std::string>{"+CGREG: 0"}, lines);

    lines.clear();
    std::string noisy =
        std::string("\x01O\xffK\x00\r\n", 7) + std::string(5000, 'x') + "\r\nOK\r\n";
    reader.Feed(noisy.data(), noisy.size(), lines);
    EXPECT_EQ((std::vector<std::string>{"OK", "OK"}), lines);
    EXPECT_EQ(1u, reader.DroppedLines());
}

// Whatever a modem sends, the parsers answer without crashing or reading out of bounds.
TEST(AtParse, RandomLinesAreReadSafely) {
    const std::string alphabet = "0123456789ABCDEFabcx,\" :-+^#";
    const char* const prefixes[] = {"+CREG: ", "+COPS: ", "+CSQ: ",      "+CESQ: ",  "+CFUN: ",
                                    "+QENG: ", "+CPSI: ", "#SERVINFO: ", "^SMONI: ", ""};
    unsigned seed = 12345;
    auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
    RILOPERATORNAMES names;
    RILSIGNALQUALITY signal;
    RILEQUIPMENTSTATE state;
    AtParse::Registration registration;
    int format;
    for (int i = 0; i < 20000; ++i) {
        std::string line = prefixes[next() % 10];
        for (unsigned n = next() % 60; n > 0; --n) {
            line += alphabet[next() % alphabet.size()];
        }
        AtParse::ParseRegistration(line, registration);
        AtParse::ParseOperator(line, names, format);
        AtParse::ParseCsq(line, signal);
        AtParse::ParseCesq(line, signal);
        AtParse::ParseCfun(line, state);
        AtChannel::Classify(line, "+CREG:");
        for (const char* dialect : {"quectel", "simcom", "telit", "cinterion"}) {
            ServingCell cell;
            ModemDialect::Find(dialect)->parse({line}, cell);
        }
    }
    EXPECT_LT(strnlen(names.szNumName, sizeof(names.szNumName)), sizeof(names.szNumName));
}
