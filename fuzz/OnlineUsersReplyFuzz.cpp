// The online-users reader on any text: no crash, the verdict agrees with the parse, and the
// result depends on the text alone (not on blanks around it or on the previous cycle's list).
#include <string>

#include "fuzz/support/FuzzCheck.h"
#include "webservice/OnlineUsersReply.h"

using namespace ostrel::webservice;

namespace {

bool same(const OnlineUsersReply& a, const OnlineUsersReply& b) {
    if (a.errcode != b.errcode || a.err_description != b.err_description ||
        a.buddies.size() != b.buddies.size()) {
        return false;
    }
    for (size_t i = 0; i < a.buddies.size(); ++i) {
        const BuddyPresence& p = a.buddies[i];
        const BuddyPresence& q = b.buddies[i];
        if (p.userid != q.userid || p.ipaddress != q.ipaddress ||
            p.listening_port != q.listening_port || p.version != q.version ||
            p.iptype != q.iptype) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    OnlineUsersReply fresh;
    const bool wellFormed = ParseOnlineUsersReply(text, fresh);

    OnlineUsersReply previous;
    previous.errcode = 3;
    previous.err_description = "old";
    previous.buddies.push_back(BuddyPresence{"old", "10.0.0.1", 1, 2, 3});
    FUZZ_CHECK(OnlineUsersReplyGood(text, previous) == (wellFormed && fresh.errcode == 0));
    FUZZ_CHECK(same(fresh, previous));

    OnlineUsersReply padded;
    FUZZ_CHECK(ParseOnlineUsersReply("\r\n  " + text + " \n", padded) == wellFormed);
    FUZZ_CHECK(same(fresh, padded));
    return 0;
}
