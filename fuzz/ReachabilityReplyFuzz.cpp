// The reachability-test reader on any text: no crash, and a result that depends on the text
// alone, so a reply that says nothing never inherits the verdict of an earlier test.
#include <string>

#include "fuzz/support/FuzzCheck.h"
#include "webservice/ReachabilityReply.h"

using namespace ostrel::webservice;

namespace {

bool same(const ReachabilityReply& a, const ReachabilityReply& b) {
    return a.error_code == b.error_code && a.err_description == b.err_description &&
           a.ipaddress == b.ipaddress && a.iptype == b.iptype;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    ReachabilityReply fresh;
    const bool wellFormed = ParseReachabilityReply(text, fresh);

    ReachabilityReply earlier;
    earlier.error_code = 0;
    earlier.err_description = "old";
    earlier.ipaddress = "10.0.0.1";
    earlier.iptype = 2;
    FUZZ_CHECK(ParseReachabilityReply(text, earlier) == wellFormed);
    FUZZ_CHECK(same(fresh, earlier));

    ReachabilityReply padded;
    FUZZ_CHECK(ParseReachabilityReply(text + "\n \t", padded) == wellFormed);
    FUZZ_CHECK(same(fresh, padded));
    return 0;
}
