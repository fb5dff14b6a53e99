#include "app/callreport/MissedCalls.h"

namespace ostrel::callreport {

std::string missedCallTime(std::time_t when) {
    std::tm local{};
    if (localtime_r(&when, &local) == nullptr) {
        return {};
    }
    char text[128];
    const size_t length = std::strftime(text, sizeof text, "%B %d, %H:%M:%S", &local);
    return std::string(text, length);
}

const MissedCalls::Entry& MissedCalls::add(std::string caller, std::time_t when) {
    entries_.insert(entries_.begin(), Entry{std::move(caller), missedCallTime(when)});
    return entries_.front();
}

}  // namespace ostrel::callreport
