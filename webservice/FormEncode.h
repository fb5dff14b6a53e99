// Web service client: percent-encoding of the values of a form body.
// A pure function, called on whichever thread builds a request.
// Field names and fixed literals are never passed through it.
#pragma once

#include <string>
#include <string_view>

namespace ostrel::webservice {

// Copies ASCII letters and digits; writes every other byte, blank included, as "%" and two
// upper-case hexadecimal digits. The service decodes "-", ".", "_" and "*" like any other
// escape, so they are encoded too, and a blank is %20, never "+".
std::string FormEncode(std::string_view value);

}  // namespace ostrel::webservice
