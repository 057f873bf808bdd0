#include "LeadingNumber.h"

#include <cwctype>

bool ReadLeadingNumber(const std::wstring& text, long long minimum, long long maximum,
                       long long& value) {
    size_t at = 0;
    while (at < text.size() && std::iswspace(text[at]))
        ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == L'+' || text[at] == L'-')) {
        negative = text[at] == L'-';
        ++at;
    }
    // The magnitude stops growing once it is past any range a caller can ask for.
    const unsigned long long cap = 1ULL << 63;
    unsigned long long magnitude = 0;
    size_t digits = 0;
    for (; at < text.size() && text[at] >= L'0' && text[at] <= L'9'; ++at, ++digits) {
        const unsigned digit = static_cast<unsigned>(text[at] - L'0');
        magnitude = magnitude > (cap - digit) / 10 ? cap + 1 : magnitude * 10 + digit;
    }
    if (digits == 0 || magnitude > cap)
        return false;
    long long number;
    if (negative)
        number = magnitude == cap ? (-1LL - static_cast<long long>(cap - 1))
                                  : -static_cast<long long>(magnitude);
    else if (magnitude == cap)
        return false;
    else
        number = static_cast<long long>(magnitude);
    if (number < minimum || number > maximum)
        return false;
    value = number;
    return true;
}
