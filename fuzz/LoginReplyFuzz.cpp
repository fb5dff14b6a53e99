// The login reply reader on any text the service (or whoever answers in its place) sends:
// no crash, no name longer than its buffer, and a result that depends on the text alone.
#include <string>

#include "fuzz/support/FuzzCheck.h"
#include "webservice/LoginReply.h"

using namespace ostrel::webservice;

namespace {

bool same(const LoginReply& a, const LoginReply& b) {
    if (a.error != b.error || a.errDescription != b.errDescription ||
        a.showUserMessage != b.showUserMessage || a.urlToNavigate != b.urlToNavigate ||
        a.popupUrl != b.popupUrl || a.buddyNames != b.buddyNames ||
        a.providers.size() != b.providers.size() ||
        a.callingCards.size() != b.callingCards.size()) {
        return false;
    }
    for (size_t i = 0; i < a.providers.size(); ++i) {
        const Provider& p = a.providers[i];
        const Provider& q = b.providers[i];
        if (p.id != q.id || p.displayName != q.displayName ||
            p.gatewayHosts.size() != q.gatewayHosts.size() || p.params.size() != q.params.size()) {
            return false;
        }
        for (size_t j = 0; j < p.gatewayHosts.size(); ++j) {
            if (p.gatewayHosts[j].name != q.gatewayHosts[j].name ||
                p.gatewayHosts[j].port != q.gatewayHosts[j].port) {
                return false;
            }
        }
        for (size_t j = 0; j < p.params.size(); ++j) {
            if (p.params[j].name != q.params[j].name || p.params[j].value != q.params[j].value) {
                return false;
            }
        }
    }
    for (size_t i = 0; i < a.callingCards.size(); ++i) {
        const CallingCard& c = a.callingCards[i];
        const CallingCard& d = b.callingCards[i];
        if (c.providerId != d.providerId || c.accountNumber != d.accountNumber || c.pin != d.pin ||
            c.isDefault != d.isDefault) {
            return false;
        }
    }
    return true;
}

// A record left over from an earlier login, which a new parse must not keep any of.
LoginReply earlierLogin() {
    LoginReply r;
    r.error = 0;
    r.errDescription = "old";
    r.buddyNames = {"old buddy"};
    r.providers.push_back(Provider{7, "old provider", {{"old.host", 1730}}, {{"k", "v"}}});
    r.callingCards.push_back(CallingCard{7, "1", "2", 1});
    return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    LoginReply fresh;
    const bool wellFormed = ParseLoginReply(text, fresh);
    for (const std::string& name : fresh.buddyNames) {
        FUZZ_CHECK(name.size() <= kMaxBuddyNameBytes);
    }
    // Accepted only on an explicit verdict.
    if (fresh.error == 0) {
        FUZZ_CHECK(text.find("errorcode") != std::string::npos);
    }

    LoginReply reused = earlierLogin();
    FUZZ_CHECK(ParseLoginReply(text, reused) == wellFormed);
    FUZZ_CHECK(same(fresh, reused));

    // Trailing blanks (a line break after the document) change nothing.
    LoginReply padded;
    FUZZ_CHECK(ParseLoginReply(text + " \r\n\t", padded) == wellFormed);
    FUZZ_CHECK(same(fresh, padded));
    return 0;
}
