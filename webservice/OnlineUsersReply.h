// Web service client: the online-users reply (the presence of each buddy: address, listening
// port, version, network mode) and its reader. The periodic service thread parses it while it
// holds the online page's lock; element names are matched without regard to case.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel::webservice {

struct BuddyPresence {
    std::string userid;
    std::string ipaddress;
    int32_t listening_port = 1720;
    int32_t version = 1;
    int32_t iptype = 0;
};

struct OnlineUsersReply {
    int32_t errcode = 0;
    std::string err_description;
    std::vector<BuddyPresence> buddies;  // one per "buddy" element, in reply order

    void Reset() { *this = OnlineUsersReply(); }
};

// Resets `reply`, then reads the online-users grammar from `text` with its blanks removed at
// both ends. True when the text is well-formed XML; the presence is good only when this is
// true and errcode is 0 (see OnlineUsersReplyGood).
bool ParseOnlineUsersReply(std::string_view text, OnlineUsersReply& reply);

// Parse and check in one: well-formed and errcode 0.
bool OnlineUsersReplyGood(std::string_view text, OnlineUsersReply& reply);

}  // namespace ostrel::webservice
