// The "/app_links/" pages, the register page, and how bad input is answered.
#include <gtest/gtest.h>
#include <httplib.h>

#include <thread>

#include "tests/service/ServiceFixture.h"
#include "tests/service/XmlTree.h"

namespace ostrel::service::test {
namespace {

class PageFixture : public ServiceFixture {
protected:
    httplib::Result get(const std::string& target) {
        httplib::Client client("127.0.0.1", service_->port());
        return client.Get(target.c_str());
    }
};

class Pages : public PageFixture, public ::testing::WithParamInterface<const char*> {};

// Every link the client opens, with the queries it appends (some carry a second "?").
TEST_P(Pages, AreServedAsHtml) {
    const auto result = get(GetParam());
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 200);
    EXPECT_EQ(result->get_header_value("Content-Type").rfind("text/html", 0), 0u);
    EXPECT_NE(result->body.find("<h1>"), std::string::npos);
    EXPECT_NE(result->body.find("</html>"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    ClientLinks, Pages,
    ::testing::Values("/app_links/app_register.aspx?ClientType=0",
                      "/app_links/app_forgot_password.aspx?ClientType=0",
                      "/app_links/app_changepassword.aspx?ClientType=0?user=alice",
                      "/app_links/app_myaccount.aspx?ClientType=0?InstanceGUID=0f8fad5b",
                      "/app_links/app_feedback.aspx?ClientType=0?InstanceGUID=0f8fad5b",
                      "/app_links/app_invite.aspx?ClientType=0?InstanceGUID=0f8fad5b",
                      "/app_links/app_search.aspx?ClientType=0",
                      "/app_links/app_Help.aspx?ClientType=0",
                      "/app_links/app_home.aspx?ClientType=0",
                      "/app_links/app_contexthelp.aspx?id=?ClientType=012",
                      "/app_links/app_contexthelp.aspx",
                      "/app_links/app_phone_usage_examples.aspx?ClientType=0",
                      "/app_links/app_purchase_new_cc.aspx?ClientType=0"));

TEST_F(PageFixture, UnknownPageIsNotFound) {
    const auto result = get("/app_links/app_nothing.aspx?ClientType=0");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 404);
}

TEST_F(PageFixture, RegisterPageOffersAFormAndCreatesTheAccount) {
    const auto form = get("/app_links/app_register.aspx?ClientType=0");
    ASSERT_TRUE(form);
    for (const char* field : {"name=\"user\"", "name=\"password\"", "name=\"password2\""}) {
        EXPECT_NE(form->body.find(field), std::string::npos) << field;
    }
    // As a browser sends it: "+" for a blank.
    const std::string page =
        post("/app_links/app_register.aspx", "user=erin&password=two+words&password2=two+words");
    EXPECT_NE(page.find("created"), std::string::npos) << page;
    login("erin", "two words", "g1");
    const auto hash = service_->accounts().findUser("erin")->passwordHash;
    EXPECT_EQ(hash.find("two words"), std::string::npos);
    EXPECT_EQ(hash.rfind("$argon2id$", 0), 0u);

    EXPECT_NE(
        post("/app_links/app_register.aspx", "user=ERIN&password=x&password2=x").find("taken"),
        std::string::npos);
    EXPECT_NE(
        post("/app_links/app_register.aspx", "user=frank&password=a&password2=b").find("differ"),
        std::string::npos);
    for (const char* bad :
         {"user=&password=a&password2=a", "user=bob+smith&password=a&password2=a",
          "user=%3Cb%3E&password=a&password2=a", "user=gina&password=&password2="}) {
        post("/app_links/app_register.aspx", bad);
    }
    const auto users = service_->accounts().users();
    ASSERT_EQ(users.size(), 1u);
    EXPECT_EQ(users[0].name, "erin");
}

TEST_F(PageFixture, RegisterPageEscapesWhatItEchoes) {
    const std::string page =
        post("/app_links/app_register.aspx", "user=ok_name&password=a&password2=b");
    EXPECT_NE(page.find("value=\"ok_name\""), std::string::npos);
    const std::string hostile =
        post("/app_links/app_register.aspx", "user=%22%3E%3Cscript%3E&password=a&password2=a");
    EXPECT_EQ(hostile.find("<script>"), std::string::npos);
}

TEST_F(ServiceFixture, BodiesOverTheLimitAreRefusedAndTheServiceGoesOn) {
    addUser("alice", "pw");
    const std::string huge = "User=alice&Pass=pw&LogText=" + std::string(70'000, 'a');
    httplib::Client client("127.0.0.1", service_->port());
    const auto result =
        client.Post(target("syncblist_file").c_str(), huge, "application/x-www-form-urlencoded");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 413);
    EXPECT_EQ(result->body.substr(0, 1), "-");
    login("alice", "pw", "g1");
}

TEST_F(ServiceFixture, OverlongFieldsAndListsAreRefused) {
    addUser("alice", "pw");
    std::string manyBuddies = "User=alice&Pass=pw";
    for (int i = 0; i < 1001; ++i) {
        manyBuddies += "&buddy=b" + std::to_string(i);
    }
    EXPECT_EQ(post(target("syncblist_file"), manyBuddies).substr(0, 1), "-");
    EXPECT_EQ(post(target("syncblist_file"), "User=alice&Pass=pw&buddy=" + std::string(256, 'x'))
                  .substr(0, 1),
              "-");
    const auto root = parseXml(
        post(target("logmein_file"), loginBody("alice", "pw", std::string(65, 'g'), 0, "1.2.3.4")));
    ASSERT_TRUE(root);
    EXPECT_EQ(root->value("errorcode"), "1");
    EXPECT_EQ(
        post(target("iamup_file"), keepAliveBody("alice", "pw", "g1", 0, std::string(256, '1')))
            .substr(0, 1),
        "-");
}

TEST_F(ServiceFixture, GarbageAndUnknownScriptsGetErrorReplies) {
    addUser("alice", "pw");
    std::string binary;
    for (int i = 0; i < 4096; ++i) {
        binary += static_cast<char>((i * 37) & 0xFF);
    }
    for (const std::string key :
         {"logmein_file", "logmeoff_file", "iamup_file", "syncblist_file", "getuserlist_file",
          "iamtalking_file", "fwtest_file", "sync_callingcards_file"}) {
        for (const std::string& body : {binary, std::string("%"), std::string("&&&==&"),
                                        std::string("User=%FF%00&Pass=pw")}) {
            const std::string reply = post(target(key), body);
            ASSERT_NE(reply, "<no reply>") << key;
            // Scripts whose replies are XML refuse in XML: the client takes anything else for
            // a busy server.
            const bool xml =
                key == "logmein_file" || key == "getuserlist_file" || key == "fwtest_file";
            if (xml) {
                const auto root = parseXml(reply);
                ASSERT_TRUE(root) << key << ": " << reply;
                const char* code = key == "fwtest_file"        ? "error_code"
                                   : key == "getuserlist_file" ? "errcode"
                                                               : "errorcode";
                EXPECT_NE(root->value(code), "0") << key;
            } else {
                EXPECT_EQ(reply.substr(0, 1), "-") << key << ": " << reply;
            }
        }
    }
    EXPECT_EQ(post("/app2/nothing.aspx", "x=1").substr(0, 1), "-");
    login("alice", "pw", "g1");
}

TEST_F(ServiceFixture, StoredTextsCannotBreakTheXmlOfOtherReplies) {
    addUser("alice", "pw");
    // A Latin-1 byte and markup in a buddy name, as a client in another code page may send.
    ASSERT_EQ(post(target("syncblist_file"), "User=alice&Pass=pw&buddy=Jos%E9&buddy=%3C%2Fa%3E%26"),
              "+");
    const auto root =
        parseXml(post(target("logmein_file"), loginBody("alice", "pw", "g1", 0, "1.2.3.4")));
    ASSERT_TRUE(root);
    const auto names = root->child("buddylist")->all("userid");
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0]->text, "Jos?");
    EXPECT_EQ(names[1]->text, "</a>&");
}

TEST_F(ServiceFixture, ConcurrentClientsKeepTheirOwnPresence) {
    constexpr int kClients = 8;
    for (int i = 0; i < kClients; ++i) {
        addUser("user" + std::to_string(i), "pw");
        login("user" + std::to_string(i), "pw", "g" + std::to_string(i));
    }
    std::vector<std::string> everyone;
    for (int i = 0; i < kClients; ++i) {
        everyone.push_back("user" + std::to_string(i));
    }
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kClients; ++i) {
        threads.emplace_back([&, i] {
            const std::string name = "user" + std::to_string(i);
            for (int cycle = 0; cycle < 10; ++cycle) {
                if (post(target("iamup_file"), keepAliveBody(name, "pw", "g" + std::to_string(i), 0,
                                                             "203.0.113.9")) != "+") {
                    ++failures;
                }
                const auto root =
                    parseXml(post(target("getuserlist_file"), onlineBody(name, "pw", everyone)));
                if (!root || root->all("buddy").size() != kClients) {
                    ++failures;
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures.load(), 0);
}

}  // namespace
}  // namespace ostrel::service::test
