#include <gtest/gtest.h>

#include "FakePort.h"
#include "PortProbe.h"

// What the wrong port of a USB modem sends is told apart, and asking it stays bounded.

namespace {

const char* const NMEA = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n"
                         "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n";

std::string Binary(size_t size) {
    std::string bytes;
    unsigned seed = 7;
    for (size_t i = 0; i < size; ++i) {
        seed = seed * 1103515245u + 12345u;
        bytes += static_cast<char>(seed >> 16);
    }
    return bytes;
}

} // namespace

TEST(PortVerdict, SamplesOfWhatWrongPortsSend) {
    std::string nmea;
    while (nmea.size() < 2000) {
        nmea += NMEA;
    }
    EXPECT_EQ(PortVerdict::Nmea, PortVerdict::Classify(nmea));
    // Cut anywhere, with a stray line among the sentences.
    EXPECT_EQ(PortVerdict::Nmea,
              PortVerdict::Classify("GA,1*47\r\nRING\r\n" + nmea.substr(0, 700)));
    EXPECT_EQ(PortVerdict::Binary, PortVerdict::Classify(Binary(4096)));
    EXPECT_EQ(PortVerdict::NoLineEnds, PortVerdict::Classify(std::string(4096, 'x')));
    EXPECT_EQ(PortVerdict::OtherText, PortVerdict::Classify("login: \r\n+CREG: 1\r\n+CREG: 1\r\n"));
    EXPECT_EQ(PortVerdict::Silent, PortVerdict::Classify(""));
    for (PortVerdict::Kind kind : {PortVerdict::Nmea, PortVerdict::Binary, PortVerdict::Silent}) {
        PortVerdict verdict;
        verdict.kind = kind;
        EXPECT_FALSE(verdict.Reason().empty());
    }
    EXPECT_NE(std::wstring::npos, PortVerdict{PortVerdict::Nmea}.Reason().find(L"GPS port"));
}

TEST(PortProbe, AnAtPortAnswersAndAStreamingPortIsToldAtOnce) {
    std::atomic<bool> stopping{false};
    FakePort modem;
    modem.replies = {"", "AT\r\r\nO", "K\r\n", "\r\nQuectel\r\n\r\nOK\r\n", "\r\nEG25\r\nOK\r\n"};
    PortProbe probe(modem, stopping);
    PortVerdict verdict = probe.Run(3, 1000);
    ASSERT_EQ(PortVerdict::AtPort, verdict.kind);
    probe.Identify(verdict, 1000);
    EXPECT_EQ("Quectel", verdict.manufacturer);
    EXPECT_EQ("EG25", verdict.model);

    for (const std::string& stream : {std::string(NMEA), Binary(1000), std::string(300, 'x')}) {
        FakePort streaming;
        streaming.stream = stream;
        streaming.limit = 100u << 20;
        PortVerdict heard = PortProbe(streaming, stopping).Run(3, 60000);
        EXPECT_NE(PortVerdict::AtPort, heard.kind);
        EXPECT_NE(PortVerdict::Silent, heard.kind);
        EXPECT_LE(streaming.bytesRead, PortProbe::SAMPLE_BYTES + 1024);
        EXPECT_EQ(1u, streaming.written.size());
    }

    FakePort silent;
    stopping = true;
    EXPECT_EQ(PortVerdict::Stopped, PortProbe(silent, stopping).Run(3, 60000).kind);
}
