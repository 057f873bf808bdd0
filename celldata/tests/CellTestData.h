#pragma once

#include <string>

// Export text for the tests: made-up cells in OpenCellID's layout, and gzip members.

// lines cells of the networks 230 01, 230 03 and 310 410 in a few areas each, with a header
// line; GSM, UMTS and LTE ids drawn so that many occur inside other lines of their area.
std::string MadeUpExport(int lines, unsigned seed);
// One gzip member holding the text.
std::string Gzip(const std::string& text);
