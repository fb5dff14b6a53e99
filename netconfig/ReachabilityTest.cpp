#include "netconfig/ReachabilityTest.h"

#include <chrono>

#include "app/settings/Settings.h"
#include "netconfig/ReachabilityTexts.h"
#include "platform/SocketAddress.h"
#include "sync/CWorkerThread.h"
#include "webservice/HttpRequester.h"
#include "webservice/ReachabilityReply.h"
#include "webservice/ServiceDirectory.h"
#include "webservice/ServiceRequests.h"

namespace ostrel::netconfig {

ReachabilitySettings ReachabilitySettings::load() {
    namespace value = settings::value;
    ReachabilitySettings loaded;
    loaded.proxyHost = settings::read(value::HttpProxyName);
    loaded.proxyOn = settings::read(value::UseHttpProxy) == 1;
    loaded.configuredIp = settings::read(value::ConfiguredIP);
    loaded.alternatePort = settings::read(value::UseAlternateListeningPort) == 1;
    loaded.listeningPort = settings::read(value::ListeningPort);
    loaded.ipType = settings::read(value::IPType);
    loaded.proxyPort = settings::read(value::HttpProxyPort);
    return loaded;
}

void ReachabilityLog::append(std::string line) {
    std::lock_guard lock(mutex_);
    lines_.push_back(std::move(line));
}

void ReachabilityLog::clear() {
    std::lock_guard lock(mutex_);
    lines_.clear();
}

size_t ReachabilityLog::size() const {
    std::lock_guard lock(mutex_);
    return lines_.size();
}

std::vector<std::string> ReachabilityLog::linesFrom(size_t from) const {
    std::lock_guard lock(mutex_);
    if (from >= lines_.size()) {
        return {};
    }
    return {lines_.begin() + static_cast<std::ptrdiff_t>(from), lines_.end()};
}

ReachabilityTest::ReachabilityTest(ReachabilityHost& host, ReachabilitySettings settings,
                                   ReachabilityOptions options)
    : host_(host), settings_(std::move(settings)), options_(std::move(options)) {}

void ReachabilityTest::abort() {
    log_.append("Attempting to cancel...");
    cancel_.store(true);
}

ReachabilityOutcome ReachabilityTest::run(const std::function<void()>& dispatch) {
    cancel_.store(false);
    step_.store(ReachabilityStep::RequestSent);
    log_.clear();

    host_.endEngine();

    platform::UdpSocket socket;
    if (!socket.open()) {
        log_.append(kSocketCreateFailed);
        return ReachabilityOutcome::SocketFailed;
    }
    const auto port = static_cast<uint16_t>(settings_.listeningPort);
    if (settings_.listeningPort > 65535 ||
        !socket.bind(platform::SocketAddress{platform::SocketAddress::kAny, port})) {
        log_.append(kSocketBindFailed);
        socket.close();
        return ReachabilityOutcome::SocketFailed;
    }

    sync::CWorkerThread worker([this](void*) { return networkThread(); }, nullptr,
                               "Port Forward Dlg - network thread");
    if (worker.Start(false)) {
        // The window stays usable (Abort among it) while the request is in flight.
        while (worker.Wait(kThreadPollMs) == sync::WaitResult::TimedOut) {
            dispatch();
        }
    } else {
        logCannotConnect();
        step_.store(ReachabilityStep::ServiceUnreachable);
    }

    ReachabilityOutcome outcome = ReachabilityOutcome::Failed;
    if (step_.load() == ReachabilityStep::PacketsSent && !cancel_.load()) {
        step_.store(ReachabilityStep::WaitingForPackets);
        log_.append("Waiting to receive UDP packets ...");
        if (waitForDatagram(socket, dispatch)) {
            outcome = ReachabilityOutcome::Received;
        } else if (!cancel_.load()) {
            outcome = ReachabilityOutcome::TimedOut;
            log_.append("Response timed out.. Please try again.");
            log_.append(
                firewallMode()
                    ? "If this fails consistently please check the firewall port forward "
                      "settings."
                    : "If this fails consistently please check if you are running any firewall "
                      "in your computer or configured it properly.");
            log_.append(
                "If the problem persists, please write to support@talvero.com with the lines "
                "above.");
        }
    }

    // The port goes back to the engine before anything else, so calls can come in again.
    socket.close();
    host_.startEngine();

    if (outcome == ReachabilityOutcome::Received) {
        log_.append("The packet was received successfully");
        log_.append(successText(settings_));
    } else if (cancel_.load()) {
        outcome = ReachabilityOutcome::Cancelled;
        log_.append("Cancelled by the user");
    }
    return outcome;
}

bool ReachabilityTest::waitForDatagram(platform::UdpSocket& socket,
                                       const std::function<void()>& dispatch) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(kPacketWaitMs);
    uint8_t buffer[kDatagramBytes];
    while (!cancel_.load()) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            return false;
        }
        const auto slice = static_cast<uint32_t>(std::min<long long>(left, kPacketSliceMs));
        if (socket.waitReadable(slice) == platform::UdpSocket::Result::Ok) {
            // Any content counts; a datagram longer than the buffer still proves the path.
            const auto got = socket.receiveFrom(buffer, sizeof buffer);
            if (got.result == platform::UdpSocket::Result::Ok ||
                got.result == platform::UdpSocket::Result::Truncated) {
                return true;
            }
        }
        dispatch();
    }
    return false;
}

void ReachabilityTest::logCannotConnect() {
    log_.append("Cannot connect to server. Verify the following:");
    log_.append("1. Are you connected to internet?");
    log_.append("2. If you use a HTTP proxy, is it specified correctly?");
    log_.append("3. The Talvero web site may be down temporarily. Please try after some time.");
}

uint32_t ReachabilityTest::networkThread() {
    log_.append("The network settings that you have configured are as follows:");
    if (settings_.alternatePort) {
        log_.append("You have overridden the default port for listening to incoming connections");
        log_.append("Listening port is " + std::to_string(settings_.listeningPort));
    } else {
        log_.append(
            "The software is listening at the default UDP port (1720) for incoming connection "
            "requests.");
    }
    if (settings_.proxyOn) {
        log_.append("Use the following HTTP proxy:");
        log_.append("Proxy: " + settings_.proxyHost +
                    " Port:" + std::to_string(settings_.proxyPort));
    } else {
        log_.append("There are no HTTP proxies that are being used.");
    }

    webservice::ReachabilityRequest request;
    request.listeningPort = settings_.listeningPort;
    request.address.ipType = settings_.ipType;
    request.address.configuredIp = settings_.configuredIp;
    switch (settings_.ipType) {
        case 0: {
            log_.append("Configuration: Directly Connected to the internet");
            log_.append("Checking the IP address of your computer.");
            const std::string own = host_.detectOwnAddress(kAddressDetectionSeconds);
            if (own.empty()) {
                logCannotConnect();
                step_.store(ReachabilityStep::ServiceUnreachable);
                return 0;
            }
            if (own == "LAN") {
                log_.append(
                    "Your computer is either not connected to internet now or may be behind a "
                    "firewall.");
                log_.append(
                    "Please use the option in the Network Settings for a computer behind "
                    "firewall if appropriate.");
                return 0;
            }
            log_.append("The current IP address of your computer is detected as:");
            log_.append(own);
            request.address.ownAddress = own;
            break;
        }
        case 1:
            log_.append("The computer is connected through a firewall/router-hardware/NAT");
            if (settings_.proxyOn) {
                log_.append(
                    "The firewall's IP address will be detected as the visible IP address of "
                    "the proxy");
            }
            log_.append("Detect firewall IP address automatically.");
            break;
        case 2:
            log_.append("Behind a firewall/router-hardware/NAT");
            log_.append("Firewall:" + settings_.configuredIp);
            break;
        default:
            // The dialog never opens for the other modes.
            return 0;
    }
    const auto body = webservice::BuildReachabilityRequest(request);
    if (!body) {
        return 0;
    }

    log_.append(
        "-----------------------------STARTING TEST------------------------------------------");
    log_.append("Retrieving server information");
    step_.store(ReachabilityStep::RetrievingServerInformation);
    webservice::HttpRequesterOptions requesterOptions;
    requesterOptions.shuttingDown = [this] { return cancel_.load(); };
    requesterOptions.waitSliceMs = options_.requestSliceMs;
    webservice::HttpRequester requester(kRequestTimeoutSeconds, requesterOptions);
    webservice::ServiceDirectory directory;
    const bool haveDirectory =
        options_.webHost.empty()
            ? webservice::LoadServiceDirectory(requester, directory)
            : webservice::LoadServiceDirectory(requester, directory, options_.webHost);
    if (cancel_.load()) {
        return 0;
    }
    if (!haveDirectory) {
        logCannotConnect();
        step_.store(ReachabilityStep::ServiceUnreachable);
        return 0;
    }

    step_.store(ReachabilityStep::RequestSent);
    log_.append("Requesting server to send test UDP packets to the listening port - (" +
                std::to_string(settings_.listeningPort) + ") ");
    std::string replyText;
    const bool replied = requester.Post(
        directory.server, directory.Target(directory.reachabilityScript), *body, replyText);
    if (cancel_.load()) {
        return 0;
    }
    if (!replied) {
        logCannotConnect();
        step_.store(ReachabilityStep::ServiceUnreachable);
        return 0;
    }

    webservice::ReachabilityReply reply;
    if (!webservice::ParseReachabilityReply(replyText, reply)) {
        log_.append("The server is busy now. Please try after some time.");
        step_.store(ReachabilityStep::ServiceBusy);
        return 0;
    }
    if (reply.error_code != 0) {
        log_.append("The following error occured");
        log_.append(reply.err_description);
        step_.store(ReachabilityStep::ServiceError);
        return 0;
    }
    const std::string port = std::to_string(settings_.listeningPort);
    if (firewallMode()) {
        log_.append("The server has sent UDP packets to your firewall-" + reply.ipaddress +
                    " Port:" + port);
    } else {
        log_.append("The server has sent UDP packets to your machine.[" + reply.ipaddress +
                    "] Port:" + port);
    }
    step_.store(ReachabilityStep::PacketsSent);
    return 0;
}

}  // namespace ostrel::netconfig
