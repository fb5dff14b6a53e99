// What the end-to-end tests share: where the built programs are, and the tone levels that count
// as heard or as absent once a voice has been through GSM coding and the mixer.
#pragma once

#include <string>

namespace ostrel::test::e2e {

inline const std::string kBin = OSTREL_BIN_DIR;
inline constexpr double kHeard = 800;
inline constexpr double kAbsent = 300;

}  // namespace ostrel::test::e2e
