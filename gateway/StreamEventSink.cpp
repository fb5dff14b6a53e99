#include "gateway/StreamEventSink.h"

#include <ostream>

namespace ostrel::gateway {

void StreamEventSink::event(std::string_view line) {
    std::lock_guard lock(lock_);
    out_ << line << '\n';
    out_.flush();
}

}  // namespace ostrel::gateway
