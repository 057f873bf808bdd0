#include "SoakWorld.h"

#include <cstdio>

const char* const SoakWorld::AppEmail = "soak@kestrel.example";
const char* const SoakWorld::AppKey = "KESTREL-SOAK-2026";

namespace {

struct Cell {
    const char* network;
    int lac;
    int id;
    int bcch;
};

// A drive through network 23001 into 23002 and back.
const Cell kCells[] = {
    {"23001", 100, 1001, 62}, {"23001", 100, 1002, 64}, {"23001", 101, 1003, 72},
    {"23001", 101, 1004, 84}, {"23001", 102, 1005, 92}, {"23001", 102, 1006, 95},
    {"23002", 200, 2001, 12}, {"23002", 200, 2002, 14}, {"23002", 201, 2003, 22},
    {"23002", 201, 2004, 24}, {"23001", 102, 1006, 95}, {"23001", 101, 1003, 72},
};
const int kCellCount = sizeof(kCells) / sizeof(kCells[0]);
const int kFillerLines = 200;

std::string Format(const char* format, int a, int b = 0, int c = 0, int d = 0) {
    char text[256];
    snprintf(text, sizeof(text), format, a, b, c, d);
    return text;
}

} // namespace

std::string SoakWorld::Scenario(Radio radio) {
    // Results come a millisecond after their query, so a cycle takes about that long.
    std::string text = "mode cycle\nlatency 1\n";
    switch (radio) {
    case Radio::OpenFails:
        text += "init fail\n";
        break;
    case Radio::Silent:
        return text + "equipment 2\noperator 23001\ncell lac=100 id=1001 bcch=62\n"
                      "noanswer operator\nnoanswer equipment\nnoanswer signal\nnoanswer cell\n";
    case Radio::Failing:
        return text + "equipment 2\noperator 23001\ncell lac=100 id=1001 bcch=62\n"
                      "fail operator\nfail equipment\nfail signal\nfail cell\n";
    case Radio::Parked:
        text += "loop\n";
        for (int cycle = 0; cycle < 12; ++cycle) {
            text += "step\nequipment 2\noperator 23001\ncell lac=100 id=1001 bcch=62\n";
            text += Format("signal current=%d min=-113 max=-51\n", -70 - cycle % 5);
        }
        return text;
    default:
        break;
    }
    text += "loop\n";
    // Each cell for two to four cycles, the signal moving; every fourth cell is followed by
    // a moment without a network, and some cycles bring a radio error or silence.
    for (int i = 0; i < kCellCount; ++i) {
        const Cell& cell = kCells[i];
        for (int cycle = 0; cycle < 2 + i % 3; ++cycle) {
            text += "step\nequipment 2\noperator " + std::string(cell.network) + "\n";
            text += Format("cell lac=%d id=%d bcch=%d\n", cell.lac, cell.id, cell.bcch);
            text += Format("signal current=%d min=-113 max=-51\n", -60 - (i * 7 + cycle * 3) % 50);
            if (cycle == 1 && i % 5 == 2) {
                text += "fail signal\nfail operator\n";
            }
            if (cycle == 1 && i % 5 == 4) {
                text += "noanswer cell\n";
            }
        }
        if (i % 4 == 3) {
            text += "step\noperator none\ncell none\nequipment 1\n";
            text += "step\noperator none\ncell lac=0 id=0\nequipment 1\n";
        }
    }
    return text;
}

std::string SoakWorld::BtsDatabase(const std::string& network, Database kind) {
    std::string text;
    for (int i = 0; i < kFillerLines; ++i) {
        // Other towers of the network: cell ids the drive never meets.
        text +=
            Format("%d;BTS-%d;%d;%d;", 50000 + i, i, 300 + i % 7, 1 + i % 120) +
            Format("stozar %d;Okres %d;Ulice %d;", i, i % 30, i) +
            Format("49.%04d;16.%04d;2026-11-30\r\n", 1000 + i * 37 % 9000, 2000 + i * 53 % 7000);
    }
    for (const Cell& cell : kCells) {
        if (network != cell.network) {
            continue;
        }
        text += Format("%d;Soak-%d;%d;%d;", cell.id, cell.id, cell.lac, cell.bcch) +
                Format("vez u silnice %d;Praha;Na Soaku %d;", cell.id, cell.id) +
                Format("50.%04d;14.%04d;2026-11-30\r\n", cell.id % 10000, cell.lac * 10);
    }
    if (kind == Database::Truncated) {
        text.resize(text.size() / 2 + 7);
    } else if (kind == Database::Garbage) {
        unsigned seed = 2026;
        text.assign(4 * 4096, '\0');
        for (char& byte : text) {
            seed = seed * 1103515245 + 12345;
            byte = static_cast<char>((seed >> 16) & 0xFF);
            if (byte == '\r' || byte == '\n') {
                byte = ';';
            }
        }
    }
    return text;
}

std::string SoakWorld::ServiceCells() {
    std::string text;
    for (const Cell& cell : kCells) {
        std::string network = cell.network;
        text += "GSM,230," + network.substr(3) + Format(",%d,%d,0,", cell.lac, cell.id) +
                Format("14.%04d,50.%04d,800\n", cell.lac * 10, cell.id % 10000);
    }
    return text;
}
