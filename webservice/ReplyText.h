// Web service client: the small text rules every reply reader shares (blank trimming and the
// service's way of writing integers). Pure functions, called on the thread that read the reply.
// Nothing here allocates beyond its result.
#pragma once

#include <cstdint>
#include <string_view>

namespace ostrel::webservice {

// Blanks are space, tab, carriage return, line feed, vertical tab and form feed.
bool IsBlank(char c);
std::string_view TrimBlanks(std::string_view text);
std::string_view TrimTrailingBlanks(std::string_view text);

// Leading blanks skipped, an optional sign, then the leading digits; no digits reads as 0.
// Values beyond the 32-bit range saturate at its ends instead of wrapping, so a huge number
// in a reply can never turn into a small or negative one.
int32_t ReadReplyInteger(std::string_view text);

}  // namespace ostrel::webservice
