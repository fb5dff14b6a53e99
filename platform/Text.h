// Text helpers for values a user typed or a file stored, shared by the settings pages, the
// call dialogs and the telephone page.
#pragma once

#include <string>
#include <string_view>

namespace ostrel::platform {

// `text` without the white space at either end: blank, tab, CR, LF, vertical tab and form
// feed. The set is fixed rather than the locale's, so a byte of a UTF-8 character is never
// taken for white space.
std::string trimmed(std::string_view text);

}  // namespace ostrel::platform
