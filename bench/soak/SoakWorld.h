#pragma once

#include <string>

// The world the soak's phone moves through: the radio's scenarios, the BTS databases and the
// cell-position service's data, all made from one list of cells in two networks.
class SoakWorld {
public:
    enum class Radio {
        Walk,      // cells and networks changing, lost network, radio errors and silence
        Parked,    // one cell, the signal moving: a phone lying on a desk
        OpenFails, // RIL_Initialize fails
        Silent,    // no query is ever answered
        Failing    // every query is answered with an error
    };
    enum class Database {
        Good,
        Truncated, // cut in the middle of a line, as a broken download leaves it
        Garbage    // random bytes, NULs among them, no line ends, a whole number of pages
    };

    static const char* const AppEmail;
    static const char* const AppKey;

    static std::string Scenario(Radio radio);
    // The BTS database of a network ("23001" or "23002"), in the device's ANSI code page.
    static std::string BtsDatabase(const std::string& network, Database kind);
    // The service's cells, in its CSV layout.
    static std::string ServiceCells();
};
