// Telephone calls, window side: `uploadCards`, the calling-card upload with its waiting window.
// Window thread only; the post itself runs on "Update calling card info thread...".
#pragma once

#include <vector>

#include "phone/CallingCards.h"

class QWidget;

namespace ostrel::phone {

class PhoneHost;

// Not logged in: says so and returns false. Otherwise posts `cards` while a small window says
// "Updating calling card information to server....", and on success makes them the host's
// card list. False (old list kept) when the service did not store them.
bool uploadCards(PhoneHost& host, QWidget* parent, const std::vector<CallingCard>& cards);

}  // namespace ostrel::phone
