#pragma once

#include <string>

// Reads a whole number at the start of a text the way stream extraction does: leading
// white space, an optional sign, then decimal digits up to the first other character.
// False when there are no digits or the number lies outside [minimum, maximum]; the value is
// then left alone. Kept free of the C++ streams, whose locale machinery would outweigh the
// Today item several times over.
bool ReadLeadingNumber(const std::wstring& text, long long minimum, long long maximum,
                       long long& value);
