// Network configuration: the reachability test. The service is asked to send UDP datagrams to
// the address and listening port other users would call, and the test listens for them itself.
// run() is called on the GUI thread and keeps dispatching its messages; the request runs on
// the "Port Forward Dlg - network thread", which only appends to the log and sets the step.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/UdpSocket.h"

namespace ostrel::netconfig {

// The network settings the test reads, loaded when its dialog opens.
struct ReachabilitySettings {
    std::string proxyHost;          // "HttpProxyName"
    bool proxyOn = false;           // "UseHttpProxy"
    std::string configuredIp;       // "ConfiguredIP"
    bool alternatePort = false;     // "UseAlternateListeningPort"
    uint32_t listeningPort = 1720;  // "ListeningPort"
    uint32_t ipType = 0;            // "IPType"
    uint32_t proxyPort = 80;        // "HttpProxyPort"

    static ReachabilitySettings load();
};

// What the test needs from the main window. Every call but detectOwnAddress comes on the GUI
// thread.
class ReachabilityHost {
public:
    virtual ~ReachabilityHost() = default;
    // Asked under the engine guard when the dialog opens.
    virtual bool isCallActive() = 0;
    // End the current engine without starting another, so that the listening port is free.
    virtual void endEngine() = 0;
    // Start a fresh engine listening again (the status bar then shows "Listening UDP Port:
    // %d"). Called at the end of every test, whatever its result.
    virtual void startEngine() = 0;
    // The test socket could not be made or bound and the user was told to restart: end the
    // program at once, exit code 0.
    virtual void endProgram() = 0;
    // The own-address detection of the network settings with this limit per attempt: a
    // dotted public address, "LAN" or empty. Called on the test's network thread.
    virtual std::string detectOwnAddress(unsigned limitSeconds) = 0;
};

enum class ReachabilityStep : int {
    RetrievingServerInformation = 0,
    RequestSent = 1,
    ServiceUnreachable = 2,
    ServiceError = 3,
    PacketsSent = 4,
    ServiceBusy = 5,
    WaitingForPackets = 6,
};

enum class ReachabilityOutcome {
    Received,   // a test datagram arrived
    TimedOut,   // the service sent them, none arrived within the wait
    Failed,     // the service could not be asked or refused; the log says why
    Cancelled,  // "Abort"
    // The test socket could not be made or bound (the log's last line says which); the
    // caller shows that message and ends the program.
    SocketFailed,
};

// The dialog's log list: the network thread appends, the GUI thread reads what is new.
class ReachabilityLog {
public:
    void append(std::string line);
    void clear();
    size_t size() const;
    // Lines from index `from` on.
    std::vector<std::string> linesFrom(size_t from) const;

private:
    mutable std::mutex mutex_;  // guards lines_
    std::vector<std::string> lines_;
};

struct ReachabilityOptions {
    // Empty: the service web host in effect.
    std::string webHost;
    // Length of one slice of the request's wait: how soon Abort ends a request in flight.
    unsigned long requestSliceMs = 100;
};

class ReachabilityTest {
public:
    static constexpr uint32_t kRequestTimeoutSeconds = 60;
    static constexpr unsigned kAddressDetectionSeconds = 15;
    static constexpr uint32_t kPacketWaitMs = 5000;
    static constexpr uint32_t kPacketSliceMs = 100;
    static constexpr uint32_t kThreadPollMs = 10;
    static constexpr size_t kDatagramBytes = 1024;

    ReachabilityTest(ReachabilityHost& host, ReachabilitySettings settings,
                     ReachabilityOptions options = {});

    // Modes 1 and 2 test a firewall's port forward, mode 0 a direct connection.
    bool firewallMode() const { return settings_.ipType == 1 || settings_.ipType == 2; }
    const ReachabilitySettings& settings() const { return settings_; }

    // Start Test: the whole sequence, from ending the engine to starting it again.
    // `dispatch` runs the window's pending messages; it is called every few milliseconds
    // while the test waits, and may call abort().
    ReachabilityOutcome run(const std::function<void()>& dispatch);

    // "Abort": the waiting loops end at their next slice.
    void abort();
    bool cancelled() const { return cancel_.load(); }

    ReachabilityStep step() const { return step_.load(); }
    ReachabilityLog& log() { return log_; }

private:
    uint32_t networkThread();
    void logCannotConnect();
    bool waitForDatagram(platform::UdpSocket& socket, const std::function<void()>& dispatch);

    ReachabilityHost& host_;
    ReachabilitySettings settings_;
    ReachabilityOptions options_;
    std::atomic<bool> cancel_{false};
    std::atomic<ReachabilityStep> step_{ReachabilityStep::RequestSent};
    ReachabilityLog log_;
};

}  // namespace ostrel::netconfig
