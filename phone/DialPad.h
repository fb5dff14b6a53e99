// Telephone calls: the twelve dial keys, their characters and their key clicks. Pure
// functions; any thread.
#pragma once

#include <array>
#include <string_view>

namespace ostrel::phone {

// The digit set in its fixed order; a character's position selects its key click.
inline constexpr std::string_view kDialDigits = "1234567890#*";

struct DialKey {
    int buttonId;
    char digit;
};

// The dial pad's buttons in their layout order, and the delete button.
inline constexpr std::array<DialKey, 12> kDialKeys = {{{1067, '1'},
                                                       {1080, '2'},
                                                       {1081, '3'},
                                                       {1082, '4'},
                                                       {1083, '5'},
                                                       {1084, '6'},
                                                       {1085, '7'},
                                                       {1086, '8'},
                                                       {1087, '9'},
                                                       {1088, '*'},
                                                       {1089, '0'},
                                                       {1090, '#'}}};
inline constexpr int kDeleteButtonId = 1178;

inline constexpr std::string_view kEvenClick = "2.wav";
inline constexpr std::string_view kOddClick = "1.wav";

// True for one of "1234567890#*".
bool isDialDigit(char c);

// The click for a digit text: "2.wav" at even positions of the digit set, "1.wav" at odd
// ones. Empty for a text that is not exactly one dial digit.
std::string_view keyClickFor(std::string_view digits);

}  // namespace ostrel::phone
