// Web service client: the reachability-test reply (where the service sent its UDP test
// packets, or why it did not) and its reader. The reachability-test thread parses it;
// element names are matched without regard to case.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ostrel::webservice {

struct ReachabilityReply {
    // 0: the packets were sent. A reply without the element carries no verdict, so it must
    // not read as success.
    int32_t error_code = -1;
    std::string err_description;
    std::string ipaddress;  // where they were sent
    int32_t iptype = 0;
};

// Resets `reply` and reads the reachability grammar. True when the text is well-formed XML;
// false is the busy-server outcome.
bool ParseReachabilityReply(std::string_view text, ReachabilityReply& reply);

}  // namespace ostrel::webservice
