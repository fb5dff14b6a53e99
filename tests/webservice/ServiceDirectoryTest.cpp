#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "app/settings/Settings.h"
#include "platform/Platform.h"
#include "tests/webservice/LocalHttpServer.h"
#include "tests/webservice/ScopedConfigDir.h"
#include "webservice/HttpRequester.h"
#include "webservice/ServiceDirectory.h"

using namespace ostrel::webservice;
using namespace ostrel::webservice::test;
namespace settings = ostrel::settings;

namespace {

const char* const kKeys[] = {"CURRENT IP",       "PATH",
                             "logmein_file",     "logmeoff_file",
                             "iamup_file",       "syncblist_file",
                             "getuserlist_file", "iamtalking_file",
                             "fwtest_file",      "sync_callingcards_file",
                             "log_problem_file"};
const char* const kValues[] = {
    "10.1.2.3:8081", "ostrel",        "logmein.asp",         "logmeoff.asp",
    "iamup.asp",     "syncblist.asp", "getuserlist.asp",     "iamtalking.asp",
    "fwtest.asp",    "synccards.asp", "app2/logproblem.aspx"};

std::string directoryText(const std::string& omit = "",
                          const std::pair<std::string, std::string>& replace = {}) {
    std::string text = "[OSTREL]\r\n";
    for (size_t i = 0; i < 11; ++i) {
        if (kKeys[i] == omit) {
            continue;
        }
        const std::string value = kKeys[i] == replace.first ? replace.second : kValues[i];
        text += std::string(kKeys[i]) + "=" + value + "\r\n";
    }
    return text;
}

ServiceDirectory previousDirectory() {
    ServiceDirectory d;
    d.server = d.path = d.loginScript = d.logoffScript = d.keepAliveScript = "old";
    d.buddyListScript = d.onlineUsersScript = d.callReportScript = "old";
    d.reachabilityScript = d.callingCardScript = d.problemReportScript = "old";
    return d;
}

std::vector<std::string> fieldsOf(const ServiceDirectory& d) {
    return {d.server,
            d.path,
            d.loginScript,
            d.logoffScript,
            d.keepAliveScript,
            d.buddyListScript,
            d.onlineUsersScript,
            d.callReportScript,
            d.reachabilityScript,
            d.callingCardScript,
            d.problemReportScript};
}

bool profileFileNearby() {
    namespace fs = std::filesystem;
    return fs::exists(fs::path(ostrel::platform::programFolder()) / "OstrelServer.ini") ||
           fs::exists(fs::current_path() / "OstrelServer.ini");
}

class ServiceDirectoryTest : public ::testing::Test {
protected:
    void serve(std::string text, int status = 200) {
        server_ = std::make_unique<LocalHttpServer>(
            [text, status](const httplib::Request&, httplib::Response& response) {
                response.status = status;
                response.set_content(text, "text/plain");
            });
    }

    bool load(ServiceDirectory& directory) {
        return LoadServiceDirectory(requester_, directory, server_->HostText());
    }

    ScopedConfigDir config_;
    std::unique_ptr<LocalHttpServer> server_;
    HttpRequester requester_{60};
};

TEST_F(ServiceDirectoryTest, FullDirectoryFillsEveryFieldAndTellsTheCrashHandler) {
    serve(directoryText());
    ServiceDirectory directory = previousDirectory();
    ASSERT_TRUE(load(directory));
    EXPECT_EQ(fieldsOf(directory),
              std::vector<std::string>(std::begin(kValues), std::end(kValues)));
    EXPECT_EQ(server_->LastRequest().path, "/OstrelServer.asp");
    EXPECT_EQ(server_->LastRequest().body, "version=6");
    EXPECT_EQ(settings::readOptional(settings::value::LastKnownServer), "10.1.2.3:8081");
    EXPECT_EQ(settings::readOptional(settings::value::LastKnownCrashFileServerPath),
              "app2/logproblem.aspx");
    EXPECT_EQ(directory.Target(directory.loginScript), "/ostrel/logmein.asp");
    EXPECT_FALSE(profileFileNearby());
}

TEST_F(ServiceDirectoryTest, NoServerAddressFailsEvenWithEveryOtherKey) {
    for (const char* server : {"0.0.0.0", ""}) {
        serve(directoryText("", {"CURRENT IP", server}));
        ServiceDirectory directory = previousDirectory();
        EXPECT_FALSE(load(directory)) << server;
        EXPECT_EQ(fieldsOf(directory), fieldsOf(previousDirectory()));
    }
    EXPECT_FALSE(settings::readOptional(settings::value::LastKnownServer).has_value());
}

TEST_F(ServiceDirectoryTest, PathOfErrFailsAfterTheServer) {
    serve(directoryText("", {"PATH", "ERR"}));
    ServiceDirectory directory = previousDirectory();
    EXPECT_FALSE(load(directory));
    EXPECT_EQ(directory.server, "10.1.2.3:8081");
    EXPECT_EQ(directory.path, "old");
    EXPECT_EQ(directory.loginScript, "old");
}

TEST_F(ServiceDirectoryTest, MissingLastKeyKeepsTheFirstTenAndWritesNoSettings) {
    serve(directoryText("log_problem_file"));
    ServiceDirectory directory = previousDirectory();
    EXPECT_FALSE(load(directory));
    std::vector<std::string> expected(std::begin(kValues), std::end(kValues) - 1);
    expected.push_back("old");
    EXPECT_EQ(fieldsOf(directory), expected);
    EXPECT_FALSE(settings::readOptional(settings::value::LastKnownServer).has_value());
    EXPECT_FALSE(settings::readOptional(settings::value::LastKnownCrashFileServerPath).has_value());
    EXPECT_FALSE(profileFileNearby());
}

TEST_F(ServiceDirectoryTest, KeysAndSectionMatchWithoutRegardToCase) {
    std::string text = directoryText();
    text.replace(text.find("[OSTREL]"), 8, "[ostrel]");
    text.replace(text.find("PATH"), 4, "path");
    text.replace(text.find("logmein_file"), 12, "LogMeIn_File");
    serve(text);
    ServiceDirectory directory;
    ASSERT_TRUE(load(directory));
    EXPECT_EQ(directory.path, "ostrel");
    EXPECT_EQ(directory.loginScript, "logmein.asp");
}

TEST_F(ServiceDirectoryTest, ErrorPagesAndMissingSectionFailAtTheFirstKey) {
    std::string noSection = directoryText();
    noSection.erase(0, noSection.find('\n') + 1);
    std::string otherSection = directoryText();
    otherSection.replace(1, 6, "OTHER");
    for (const std::string& text :
         {std::string("<html><body>Not Found</body></html>"), noSection, otherSection}) {
        serve(text, 404);
        ServiceDirectory directory = previousDirectory();
        EXPECT_FALSE(load(directory));
        EXPECT_EQ(directory.server, "old");
    }
}

TEST_F(ServiceDirectoryTest, FailedRequestChangesNothingAndLeavesNoFile) {
    serve(directoryText());
    const std::string host = server_->HostText();
    server_.reset();  // nobody listens there any more
    ServiceDirectory directory = previousDirectory();
    EXPECT_FALSE(LoadServiceDirectory(requester_, directory, host));
    EXPECT_EQ(fieldsOf(directory), fieldsOf(previousDirectory()));
    EXPECT_FALSE(profileFileNearby());
}

TEST_F(ServiceDirectoryTest, WellKnownHostComesFromTheEnvironment) {
    serve(directoryText());
    setenv("OSTREL_SERVICE_HOST", server_->HostText().c_str(), 1);
    ServiceDirectory directory;
    const bool loaded = LoadServiceDirectory(requester_, directory);
    unsetenv("OSTREL_SERVICE_HOST");
    EXPECT_TRUE(loaded);
    EXPECT_EQ(directory.server, "10.1.2.3:8081");
}

TEST(ServiceDirectoryText, BlanksOtherSectionsAndLongValues) {
    const std::string longScript(300, 's');
    std::string text = "junk before any section\n[OTHER]\nPATH=wrong\n[ OSTREL ]\n";
    for (size_t i = 0; i < 11; ++i) {
        const std::string value = i == 2 ? longScript : kValues[i];
        text += std::string("  ") + kKeys[i] + "\t =  " + value + "  \n";
    }
    ServiceDirectory directory;
    ASSERT_TRUE(ReadServiceDirectory(text, directory));
    EXPECT_EQ(directory.path, "ostrel");
    EXPECT_EQ(directory.loginScript, std::string(255, 's'));
    EXPECT_EQ(directory.problemReportScript, "app2/logproblem.aspx");
}

TEST(ServiceDirectoryText, EmptyScriptValueIsAcceptedButErrIsNot) {
    ServiceDirectory directory;
    EXPECT_TRUE(ReadServiceDirectory(directoryText("", {"iamup_file", ""}), directory));
    EXPECT_EQ(directory.keepAliveScript, "");
    EXPECT_FALSE(ReadServiceDirectory(directoryText("", {"iamup_file", "ERR"}), directory));
    // Only exactly "ERR" and exactly "0.0.0.0" mean missing.
    EXPECT_TRUE(ReadServiceDirectory(directoryText("", {"iamup_file", "err"}), directory));
    EXPECT_TRUE(ReadServiceDirectory(directoryText("", {"CURRENT IP", "0.0.0.00"}), directory));
}

TEST(ServiceDirectoryText, TargetJoinsFolderAndScriptWithOneSlash) {
    ServiceDirectory directory;
    directory.path = "ostrel";
    EXPECT_EQ(directory.Target("a.asp"), "/ostrel/a.asp");
    directory.path = "\\app\\v6\\";
    EXPECT_EQ(directory.Target("a.asp"), "/app/v6/a.asp");
    directory.path = "";
    EXPECT_EQ(directory.Target("a.asp"), "/a.asp");
}

}  // namespace
