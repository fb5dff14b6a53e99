#include "gateway/VoiceSource.h"

#include "gateway/EchoSource.h"
#include "gateway/ToneSource.h"

namespace ostrel::gateway {

std::unique_ptr<VoiceSource> VoiceSource::create(const BridgeSettings& settings) {
    if (settings.voice == VoiceMode::Echo) {
        return std::make_unique<EchoSource>();
    }
    return std::make_unique<ToneSource>(settings.toneHz);
}

}  // namespace ostrel::gateway
