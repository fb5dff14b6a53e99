// Test support: an AccountHost that records what the pages ask of the main window.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "account/ui/AccountHost.h"

namespace ostrel::account::test {

class FakeAccountHost : public AccountHost {
public:
    void EnterLoggedInState(const std::string& user) override { loggedInAs.push_back(user); }
    void LeaveLoggedInState() override { ++leftLoggedIn; }
    void SetStatusText(int pane, const QString& text) override {
        panes[pane] = text;
        statusHistory.push_back(text);
    }
    void TakeTelephoneData(const std::vector<webservice::Provider>& p,
                           const std::vector<webservice::CallingCard>&) override {
        providers = p.size();
        ++telephoneHandOvers;
    }
    void RunStatusTimerNow() override { ++statusTimerRuns; }
    void OpenNetworkSettings() override { ++networkSettingsOpened; }
    void OpenWebPage(const std::string& path) override { webPages.push_back(path); }
    void OpenContextHelp(int topic) override { helpTopics.push_back(topic); }
    void OpenServicePage(const std::string& url) override { servicePages.push_back(url); }
    void CallBuddy(const std::string& name) override { calls.push_back(name); }
    void ShowBuddyContextMenu(const std::string& name, const QPoint&) override {
        menus.push_back(name);
    }

    std::vector<std::string> loggedInAs;
    int leftLoggedIn = 0;
    std::map<int, QString> panes;
    std::vector<QString> statusHistory;
    size_t providers = 0;
    int telephoneHandOvers = 0;
    int statusTimerRuns = 0;
    int networkSettingsOpened = 0;
    std::vector<std::string> webPages;
    std::vector<int> helpTopics;
    std::vector<std::string> servicePages;
    std::vector<std::string> calls;
    std::vector<std::string> menus;
};

}  // namespace ostrel::account::test
