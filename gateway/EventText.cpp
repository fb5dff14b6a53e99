#include "gateway/EventText.h"

namespace ostrel::gateway {

std::string printable(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte > 0x7E) {
            c = '?';
        }
    }
    return out;
}

std::string_view rejectionReason(engine::MessageView::Error error) {
    using Error = engine::MessageView::Error;
    switch (error) {
        case Error::None:
            return "none";
        case Error::TooShort:
            return "shorter than the header";
        case Error::BadSignature:
            return "bad signature";
        case Error::LengthMismatch:
            return "payload length differs from the datagram";
        case Error::BadTrailer:
            return "bad voice trailer";
        case Error::TooManyFrames:
            return "too many voice frames";
    }
    return "unreadable";
}

}  // namespace ostrel::gateway
