// The directory, login, logoff, keep-alive, online users and buddy-list upload, over HTTP.
#include <gtest/gtest.h>

#include <sstream>

#include "tests/service/ServiceFixture.h"
#include "tests/service/XmlTree.h"

namespace ostrel::service::test {
namespace {

class Directory : public ServiceFixture {
protected:
    Directory() { publicHost_ = "talvero.test:8080"; }
};

TEST_F(Directory, NamesThePublicHostAndNineScriptsInOneSection) {
    const std::string reply = post("/OstrelServer.asp", "version=6");
    std::istringstream lines(reply);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "[OSTREL]\r");
    std::vector<std::string> keys;
    while (std::getline(lines, line)) {
        keys.push_back(line.substr(0, line.find('=')));
    }
    const std::vector<std::string> expected = {"CURRENT IP",       "PATH",
                                               "logmein_file",     "logmeoff_file",
                                               "iamup_file",       "syncblist_file",
                                               "getuserlist_file", "iamtalking_file",
                                               "fwtest_file",      "sync_callingcards_file",
                                               "log_problem_file"};
    EXPECT_EQ(keys, expected);
    EXPECT_EQ(directory_["CURRENT IP"], "talvero.test:8080");
    for (const auto& [key, value] : directory_) {
        EXPECT_FALSE(value.empty()) << key;
        EXPECT_NE(value, "ERR") << key;
    }
}

TEST_F(ServiceFixture, DirectoryDefaultsToTheListeningAddress) {
    EXPECT_EQ(directory_["CURRENT IP"], "127.0.0.1:" + std::to_string(service_->port()));
}

TEST_F(ServiceFixture, ProblemReportScriptIsAWholePathThatIsServed) {
    // The crash handler posts to this value as it stands, folder included.
    const std::string path = directory_["log_problem_file"];
    EXPECT_NE(path.find('/'), std::string::npos);
    const std::string reply =
        post("/" + path, "InstanceGUID=g&Version=6%2E0&Build=1&InstanceGUID=g&LogText=x");
    EXPECT_EQ(reply.substr(0, 1), "+") << reply;
}

TEST_F(ServiceFixture, BackslashBetweenFolderAndScriptIsAccepted) {
    addUser("alice", "secret");
    const std::string backslash = "/" + directory_["PATH"] + "\\" + directory_["logmein_file"];
    const auto root =
        parseXml(post(backslash, loginBody("alice", "secret", "g1", 0, "203.0.113.1")));
    ASSERT_TRUE(root);
    EXPECT_EQ(root->value("errorcode"), "0");
}

TEST_F(ServiceFixture, LoginDeliversBuddiesProvidersAndCards) {
    addUser("alice", "secret");
    addProvider(7, "Acme & Sons");
    const auto alice = service_->accounts().findUser("alice");
    ASSERT_TRUE(service_->accounts().setBuddies(alice->id, {"carol", "Bob", "carol"}));
    ASSERT_TRUE(
        service_->accounts().setCards(alice->id, {{7, "12345", "0042", 1}, {7, "999", "", 0}}));

    const std::string reply =
        post(target("logmein_file"), loginBody("alice", "secret", "g1", 0, "203.0.113.1"));
    // The client hands the login reply to its parser untrimmed at the front.
    ASSERT_EQ(reply.substr(0, 5), "<?xml");
    const auto root = parseXml(reply);
    ASSERT_TRUE(root) << reply;
    EXPECT_EQ(root->value("errorcode"), "0");

    std::vector<std::string> userids;
    std::vector<const XmlNode*> pending = {root.get()};
    // "userid" counts wherever it stands, so every one in the document must be a buddy.
    while (!pending.empty()) {
        const XmlNode* node = pending.back();
        pending.pop_back();
        for (auto it = node->children.rbegin(); it != node->children.rend(); ++it) {
            pending.push_back(it->get());
        }
        if (node->name == "userid") {
            userids.push_back(node->text);
        }
    }
    EXPECT_EQ(userids, (std::vector<std::string>{"carol", "Bob", "carol"}));

    const XmlNode* provider = root->child("providers")->child("provider");
    ASSERT_NE(provider, nullptr);
    EXPECT_EQ(provider->value("provider_id"), "7");
    EXPECT_EQ(provider->value("provider_display_name"), "Acme & Sons");
    const XmlNode* host = provider->child("provider_gatewaylookup_host");
    ASSERT_NE(host, nullptr);
    EXPECT_EQ(host->value("provider_gatewaylookup_host_name"), "lookup.example");
    EXPECT_EQ(host->value("provider_gatewaylookup_host_port"), "3000");
    const XmlNode* param = provider->child("provider_param");
    ASSERT_NE(param, nullptr);
    EXPECT_EQ(param->value("provider_param_name"), "enable_auto_dtmf");
    EXPECT_EQ(param->value("provider_param_value"), "1");

    const auto cards = root->child("calling_cards")->all("calling_card");
    ASSERT_EQ(cards.size(), 2u);
    EXPECT_EQ(cards[0]->value("calling_card_provider"), "7");
    EXPECT_EQ(cards[0]->value("calling_card_account_number"), "12345");
    EXPECT_EQ(cards[0]->value("calling_card_pin_number"), "0042");
    EXPECT_EQ(cards[0]->value("calling_card_isdefault"), "1");
    EXPECT_EQ(cards[1]->value("calling_card_pin_number"), "");
    EXPECT_EQ(cards[1]->value("calling_card_isdefault"), "0");
}

struct RefusedLogin {
    const char* label;
    std::string body;
};

void PrintTo(const RefusedLogin& c, std::ostream* os) {
    *os << c.label;
}

class LoginRefused : public ServiceFixture, public ::testing::WithParamInterface<RefusedLogin> {};

TEST_P(LoginRefused, WithErrorcodeOneAndADescription) {
    addUser("alice", "secret");
    const std::string reply = post(target("logmein_file"), GetParam().body);
    const auto root = parseXml(reply);
    ASSERT_TRUE(root) << reply;
    EXPECT_EQ(root->value("errorcode"), "1") << reply;
    EXPECT_FALSE(root->value("err_description").value_or("").empty()) << reply;
    EXPECT_FALSE(service_->presence().session("g1")) << "a refused login leaves no presence";
}

INSTANTIATE_TEST_SUITE_P(
    BadLogins, LoginRefused,
    ::testing::Values(
        RefusedLogin{"WrongPassword",
                     ServiceFixture::loginBody("alice", "Secret", "g1", 0, "1.2.3.4")},
        RefusedLogin{"UnknownUser",
                     ServiceFixture::loginBody("mallory", "secret", "g1", 0, "1.2.3.4")},
        RefusedLogin{"EmptyUser", ServiceFixture::loginBody("", "secret", "g1", 0, "1.2.3.4")},
        RefusedLogin{"PortZero",
                     ServiceFixture::loginBody("alice", "secret", "g1", 0, "1.2.3.4", 0)},
        RefusedLogin{"PortTooBig",
                     ServiceFixture::loginBody("alice", "secret", "g1", 0, "1.2.3.4", 65536)},
        RefusedLogin{"UnknownMode",
                     ServiceFixture::loginBody("alice", "secret", "g1", 7, "1.2.3.4")},
        RefusedLogin{"NoAddressInMode0", ServiceFixture::loginBody("alice", "secret", "g1", 0, "")},
        RefusedLogin{"NoAddressInMode2", ServiceFixture::loginBody("alice", "secret", "g1", 2, "")},
        RefusedLogin{"UserTooLong",
                     ServiceFixture::loginBody(std::string(64, 'a'), "secret", "g1", 0, "1.2.3.4")},
        RefusedLogin{"NoPort",
                     "user=alice&Pass=secret&InstanceGUID=g1&IPAddr=1%2E2%2E3%2E4&IPType=0&Version="
                     "6&ClientType=0"},
        RefusedLogin{"NoGuid",
                     "user=alice&Pass=secret&ListeningPort=1720&IPAddr=1%2E2%2E3%2E4&IPType=0&"
                     "Version=6&ClientType=0"},
        RefusedLogin{"BadEscape",
                     "user=alice&Pass=secret%G1&ListeningPort=1720&InstanceGUID=g1&IPAddr=1&IPType="
                     "0&Version=6"},
        RefusedLogin{"Empty", ""}),
    [](const auto& info) { return std::string(info.param.label); });

struct ModeCase {
    const char* label;
    int mode;
    std::string sent;
    std::string recorded;
};

void PrintTo(const ModeCase& c, std::ostream* os) {
    *os << c.label;
}

class PresenceByMode : public ServiceFixture, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(PresenceByMode, RecordsTheAddressTheModeCallsFor) {
    addUser("alice", "secret");
    addUser("bob", "pw");
    login("alice", "secret", "g-alice", GetParam().mode, GetParam().sent, 4321);
    const auto seen = online("bob", "pw", {"alice"});
    ASSERT_EQ(seen.count("alice"), 1u);
    const auto& alice = seen.at("alice");
    EXPECT_EQ(alice.at("ipaddress"), GetParam().recorded);
    EXPECT_EQ(alice.at("iptype"), std::to_string(GetParam().mode));
    EXPECT_EQ(alice.at("listening_port"), "4321");
    EXPECT_EQ(alice.at("version"), "6");
}

INSTANTIATE_TEST_SUITE_P(
    Modes, PresenceByMode,
    ::testing::Values(ModeCase{"Direct", 0, "203.0.113.5", "203.0.113.5"},
                      ModeCase{"DirectBehindNat", 0, "LAN", "LAN"},
                      // Mode 1 sends no address: the request's own address is recorded.
                      ModeCase{"FirewallDetected", 1, "", "127.0.0.1"},
                      ModeCase{"FirewallDetectedIgnoresSent", 1, "198.51.100.1", "127.0.0.1"},
                      ModeCase{"FirewallGiven", 2, "198.51.100.7", "198.51.100.7"},
                      ModeCase{"InternalOnly", 3, "10.0.0.5", "10.0.0.5"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(ServiceFixture, PresenceEndsAfter135SecondsWithoutKeepAlive) {
    addUser("alice", "secret");
    addUser("bob", "pw");
    login("alice", "secret", "g-alice");
    advance(134'999);
    EXPECT_EQ(online("bob", "pw", {"alice"}).size(), 1u);
    advance(1);
    EXPECT_TRUE(online("bob", "pw", {"alice"}).empty());
    // The run-out login is unknown now, so the client is told to log off.
    EXPECT_EQ(
        post(target("iamup_file"), keepAliveBody("alice", "secret", "g-alice", 0, "203.0.113.10"))
            .substr(0, 1),
        "-");
    EXPECT_TRUE(online("bob", "pw", {"alice"}).empty());
}

TEST_F(ServiceFixture, KeepAliveExtendsPresenceAndTakesTheNewAddress) {
    addUser("alice", "secret");
    addUser("bob", "pw");
    login("alice", "secret", "g-alice", 0, "203.0.113.10");
    for (int cycle = 0; cycle < 5; ++cycle) {
        advance(45'000);
        EXPECT_EQ(post(target("iamup_file"),
                       keepAliveBody("alice", "secret", "g-alice", 0, "203.0.113.11", 1800)),
                  "+");
    }
    advance(134'000);
    const auto seen = online("bob", "pw", {"alice"});
    ASSERT_EQ(seen.count("alice"), 1u);
    EXPECT_EQ(seen.at("alice").at("ipaddress"), "203.0.113.11");
    EXPECT_EQ(seen.at("alice").at("listening_port"), "1800");
}

TEST_F(ServiceFixture, SecondLoginFromAnotherInstanceEndsTheFirst) {
    addUser("alice", "secret");
    addUser("bob", "pw");
    login("alice", "secret", "g-home", 0, "203.0.113.1");
    advance(10'000);
    login("alice", "secret", "g-work", 0, "203.0.113.2");

    const std::string old =
        post(target("iamup_file"), keepAliveBody("alice", "secret", "g-home", 0, "203.0.113.1"));
    ASSERT_FALSE(old.empty());
    EXPECT_EQ(old[0], '#');
    EXPECT_GT(old.size(), 1u) << "the text after # is shown to the user";
    EXPECT_EQ(
        post(target("iamup_file"), keepAliveBody("alice", "secret", "g-work", 0, "203.0.113.2")),
        "+");

    // The old instance logs off after the verdict; the new login must stay.
    EXPECT_EQ(
        post(target("logmeoff_file"), logoffBody("alice", "secret", "g-home", 0, "203.0.113.1")),
        "+");
    const auto seen = online("bob", "pw", {"alice"});
    ASSERT_EQ(seen.count("alice"), 1u);
    EXPECT_EQ(seen.at("alice").at("ipaddress"), "203.0.113.2");
}

TEST_F(ServiceFixture, SameInstanceLoggingInAgainIsNotSuperseded) {
    addUser("alice", "secret");
    login("alice", "secret", "g1");
    login("alice", "secret", "g1");
    EXPECT_EQ(post(target("iamup_file"), keepAliveBody("alice", "secret", "g1", 0, "1.2.3.4")),
              "+");
}

TEST_F(ServiceFixture, KeepAliveRefusesWhatItDoesNotKnow) {
    addUser("alice", "secret");
    addUser("bob", "pw");
    login("alice", "secret", "g1");
    const auto verdict = [&](const std::string& body) {
        return post(target("iamup_file"), body).substr(0, 1);
    };
    EXPECT_EQ(verdict(keepAliveBody("alice", "secret", "g-never", 0, "1.2.3.4")), "-");
    EXPECT_EQ(verdict(keepAliveBody("alice", "wrong", "g1", 0, "1.2.3.4")), "-");
    // Another user cannot refresh alice's login by naming her instance.
    EXPECT_EQ(verdict(keepAliveBody("bob", "pw", "g1", 0, "1.2.3.4")), "-");
    EXPECT_EQ(verdict(keepAliveBody("nobody", "x", "g1", 0, "1.2.3.4")), "-");
}

TEST_F(ServiceFixture, LogoffEndsPresence) {
    addUser("alice", "secret");
    addUser("bob", "pw");
    login("alice", "secret", "g1", 1, "");
    ASSERT_EQ(online("bob", "pw", {"alice"}).size(), 1u);
    EXPECT_EQ(post(target("logmeoff_file"), logoffBody("alice", "wrong", "g1", 1, "")).substr(0, 1),
              "-");
    EXPECT_EQ(online("bob", "pw", {"alice"}).size(), 1u) << "a refused logoff changes nothing";
    EXPECT_EQ(post(target("logmeoff_file"), logoffBody("alice", "secret", "g1", 1, "")), "+");
    EXPECT_TRUE(online("bob", "pw", {"alice"}).empty());
    EXPECT_EQ(
        post(target("iamup_file"), keepAliveBody("alice", "secret", "g1", 1, "")).substr(0, 1),
        "-");
    EXPECT_EQ(
        post(target("logmeoff_file"), logoffBody("alice", "secret", "g-other", 1, "")).substr(0, 1),
        "-");
}

TEST_F(ServiceFixture, OnlineUsersListsEachOnlineBuddyOnce) {
    for (const char* name : {"alice", "bob", "carol", "dave"}) {
        addUser(name, "pw");
    }
    login("bob", "pw", "g-bob", 0, "LAN");
    login("carol", "pw", "g-carol", 3, "192.168.1.20");
    const std::string reply =
        post(target("getuserlist_file"),
             onlineBody("alice", "pw", {"BOB", "carol", "dave", "stranger", "bob"}));
    ASSERT_EQ(reply.substr(0, 5), "<?xml");
    const auto root = parseXml(reply);
    ASSERT_TRUE(root) << reply;
    EXPECT_EQ(root->value("errcode"), "0");
    const auto buddies = root->all("buddy");
    ASSERT_EQ(buddies.size(), 2u) << reply;
    EXPECT_EQ(buddies[0]->value("userid"), "bob");
    EXPECT_EQ(buddies[0]->value("ipaddress"), "LAN");
    EXPECT_EQ(buddies[1]->value("userid"), "carol");
    EXPECT_EQ(buddies[1]->value("iptype"), "3");
}

TEST_F(ServiceFixture, OnlineUsersWithoutBuddiesOrWithBadPassword) {
    addUser("alice", "pw");
    const auto empty = parseXml(post(target("getuserlist_file"), onlineBody("alice", "pw", {})));
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->value("errcode"), "0");
    EXPECT_TRUE(empty->all("buddy").empty());

    const std::string refused =
        post(target("getuserlist_file"), onlineBody("alice", "nope", {"alice"}));
    ASSERT_EQ(refused.substr(0, 5), "<?xml") << "an XML refusal, not a busy-server reply";
    const auto root = parseXml(refused);
    ASSERT_TRUE(root);
    EXPECT_NE(root->value("errcode"), "0");
    EXPECT_TRUE(root->all("buddy").empty());
}

TEST_F(ServiceFixture, BuddyListUploadIsWhatTheNextLoginDelivers) {
    addUser("alice", "pw");
    const std::string upload =
        "User=alice&Pass=pw&buddy=zoe&buddy=bob%2Esmith&buddy=Ann&"
        "Version=6&ClientType=0";
    EXPECT_EQ(post(target("syncblist_file"), upload), "+");
    const auto root =
        parseXml(post(target("logmein_file"), loginBody("alice", "pw", "g1", 0, "203.0.113.1")));
    ASSERT_TRUE(root);
    std::vector<std::string> names;
    for (const XmlNode* node : root->child("buddylist")->all("userid")) {
        names.push_back(node->text);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"zoe", "bob.smith", "Ann"}));

    // An empty upload empties the list; a refused one leaves it.
    EXPECT_EQ(
        post(target("syncblist_file"), "User=alice&Pass=pw&buddy=x%0Ay&Version=6").substr(0, 1),
        "-");
    EXPECT_EQ(service_->accounts().buddies(service_->accounts().findUser("alice")->id).size(), 3u);
    EXPECT_EQ(post(target("syncblist_file"), "User=alice&Pass=wrong&Version=6").substr(0, 1), "-");
    EXPECT_EQ(post(target("syncblist_file"), "User=alice&Pass=pw&Version=6&ClientType=0"), "+");
    EXPECT_TRUE(service_->accounts().buddies(service_->accounts().findUser("alice")->id).empty());
}

}  // namespace
}  // namespace ostrel::service::test
