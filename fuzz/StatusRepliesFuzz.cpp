// The one-line status replies and the integer rule every reply reader uses, on any text: the
// integer reader agrees with a reference built on the standard library and saturates.
#include <charconv>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "fuzz/support/FuzzCheck.h"
#include "webservice/ReplyText.h"
#include "webservice/StatusReplies.h"

using namespace ostrel::webservice;

namespace {

int32_t referenceInteger(std::string_view text) {
    const size_t start = text.find_first_not_of(" \t\r\n\v\f");
    if (start == std::string_view::npos) {
        return 0;
    }
    text.remove_prefix(start);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    const size_t digits = std::min(text.find_first_not_of("0123456789"), text.size());
    std::string_view number = text.substr(0, digits);
    const size_t firstNonZero = number.find_first_not_of('0');
    number =
        firstNonZero == std::string_view::npos ? std::string_view() : number.substr(firstNonZero);
    if (number.size() > 11) {
        return negative ? std::numeric_limits<int32_t>::min() : std::numeric_limits<int32_t>::max();
    }
    int64_t value = 0;
    std::from_chars(number.data(), number.data() + number.size(), value);
    value = negative ? -value : value;
    value = std::max<int64_t>(value, std::numeric_limits<int32_t>::min());
    value = std::min<int64_t>(value, std::numeric_limits<int32_t>::max());
    return static_cast<int32_t>(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view reply(reinterpret_cast<const char*>(data), size);
    FUZZ_CHECK(ReadReplyInteger(reply) == referenceInteger(reply));

    const std::string_view trimmed = TrimBlanks(reply);
    FUZZ_CHECK(trimmed.empty() || (!IsBlank(trimmed.front()) && !IsBlank(trimmed.back())));
    FUZZ_CHECK(TrimBlanks(trimmed) == trimmed);

    (void)LogoffAccepted(reply);
    (void)JudgeKeepAliveReply(reply);
    (void)CallingCardsStored(reply);
    const OnlineUsersReplyKind kind = ClassifyOnlineUsersReply(reply);
    FUZZ_CHECK((kind == OnlineUsersReplyKind::Empty) == trimmed.empty());

    // A session number already known is never replaced, and none is ever 0 or negative.
    FUZZ_CHECK(CallReportSessionId(reply, 42) == 42);
    const uint32_t session = CallReportSessionId(reply, 0);
    FUZZ_CHECK(session <= static_cast<uint32_t>(std::numeric_limits<int32_t>::max()));

    if (const auto message = ProblemReportMessage(reply)) {
        FUZZ_CHECK(!reply.empty() && reply.front() == '+');
        FUZZ_CHECK(message->size() + 3 == reply.size() || (reply.size() <= 3 && message->empty()));
    }
    return 0;
}
