#include "phone/DialPad.h"

namespace ostrel::phone {

bool isDialDigit(char c) {
    return c != '\0' && kDialDigits.find(c) != std::string_view::npos;
}

std::string_view keyClickFor(std::string_view digits) {
    if (digits.size() != 1 || !isDialDigit(digits[0])) {
        return {};
    }
    return kDialDigits.find(digits[0]) % 2 == 0 ? kEvenClick : kOddClick;
}

}  // namespace ostrel::phone
