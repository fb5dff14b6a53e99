// Test support: a PhoneHost that records what the page and dialogs show and ask for, runs
// modal dialogs through a script instead of a user, and hands out whatever engine the test
// gives it. Window thread only.
#pragma once

#include <QDialog>
#include <QString>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "phone/ui/PhoneHost.h"
#include "webservice/HttpRequester.h"

namespace phonetest {

// An engine at the page's interface: a call in progress or not, and every digit request.
class DigitRecordingEngine : public ostrel::engine::Engine {
public:
    struct Sent {
        std::string digits;
        ostrel::engine::SessionId session;
    };

    bool callActive = false;
    std::vector<Sent> sent;

    ostrel::engine::SessionId connect(const ostrel::engine::ConnectionRequest&) override {
        return {};
    }
    bool startServer() override { return true; }
    void stop() override {}
    bool isCallActive() const override { return callActive; }
    bool probe(uint32_t, const ostrel::platform::SocketAddress&) override { return false; }
    void sendKeepAliveProbes() override {}
    std::string conferenceGuid() const override { return {}; }
    void setRecording(bool) override {}
    void setUserName(std::string_view) override {}
    void setSequenceCheck(bool) override {}
    std::vector<ostrel::engine::ConnectedPeer> connectedPeers() const override { return {}; }
    bool hangUp(ostrel::engine::SessionId) override { return false; }
    void sendDigits(std::string_view digits, ostrel::engine::SessionId session) override {
        sent.push_back({std::string(digits), session});
    }
    bool isListening() const override { return true; }
};

class TestPhoneHost : public ostrel::phone::PhoneHost {
public:
    ostrel::engine::Engine* engine = nullptr;
    ostrel::phone::PhoneAccount accountData;
    ostrel::phone::CallingCardBook book;
    ostrel::webservice::HttpRequester http{10};
    bool cancel = false;
    // Plays the user's part in a modal dialog; without a script every dialog is cancelled.
    std::function<int(QDialog&)> dialogScript;

    std::vector<QString> connectingTexts;
    std::vector<QString> messages;
    std::vector<std::string> dialogs;  // class names of the dialogs run
    std::vector<std::string> pages;
    std::vector<std::string> clicks;

    bool withEngine(const std::function<void(ostrel::engine::Engine&)>& use) override {
        if (engine == nullptr) {
            return false;
        }
        use(*engine);
        return true;
    }
    ostrel::phone::PhoneAccount account() const override { return accountData; }
    ostrel::phone::CallingCardBook& cardBook() override { return book; }
    ostrel::webservice::HttpRequester& requester() override { return http; }
    void setConnectingText(const QString& text) override { connectingTexts.push_back(text); }
    bool cancelRequested() const override { return cancel; }
    void showMessage(QWidget*, const QString& text) override { messages.push_back(text); }
    int runDialog(QDialog& dialog) override {
        dialogs.emplace_back(dialog.metaObject()->className());
        return dialogScript ? dialogScript(dialog) : QDialog::Rejected;
    }
    void openServicePage(const std::string& pathAndQuery) override {
        pages.push_back(pathAndQuery);
    }
    void playKeyClick(std::string_view file) override { clicks.emplace_back(file); }
};

}  // namespace phonetest
