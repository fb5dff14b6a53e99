#include "fault/CrashValues.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "app/settings/Settings.h"
#include "fault/CrashHandler.h"
#include "platform/Platform.h"

using namespace ostrel::fault;
namespace fs = std::filesystem;

namespace {

class CrashValuesTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() /
                ("ostrel-values-" + std::to_string(getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_ / "client");
        setenv("OSTREL_CONFIG_DIR", (root_ / "config").c_str(), 1);
        unsetenv("OSTREL_SERVICE_HOST");
    }
    void TearDown() override {
        fs::remove_all(root_);
        unsetenv("OSTREL_CONFIG_DIR");
    }
    fs::path root_;
};

std::time_t localTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

}  // namespace

TEST(ReportFileName, IsTheStartTimeWithZeroPaddedFields) {
    std::tm t{};
    t.tm_year = 2024 - 1900;
    t.tm_mon = 2;  // March
    t.tm_mday = 5;
    t.tm_hour = 7;
    t.tm_min = 8;
    t.tm_sec = 9;
    EXPECT_EQ(reportFileName(t), "2024_03_05_07-08-09.RPT");
    t.tm_year = 1999 - 1900;
    t.tm_mon = 11;
    t.tm_mday = 31;
    t.tm_hour = 23;
    t.tm_min = 59;
    t.tm_sec = 58;
    EXPECT_EQ(reportFileName(t), "1999_12_31_23-59-58.RPT");
}

TEST_F(CrashValuesTest, PrepareEveryValueBesideTheClient) {
    const std::string folder = (root_ / "client").string();
    const CrashValues v = CrashValues::prepare(folder, localTime(2023, 11, 14, 22, 13, 20));
    EXPECT_EQ(v.reportPath, folder + "/Logs/2023_11_14_22-13-20.RPT");
    EXPECT_TRUE(fs::is_directory(root_ / "client" / "Logs"));
    EXPECT_EQ(v.reporterPath, folder + "/ferrule");
    EXPECT_EQ(v.version, EXPECTED_VERSION);
    EXPECT_EQ(v.build, EXPECTED_BUILD);
    EXPECT_EQ(v.server, "127.0.0.1:8080");
    EXPECT_EQ(v.serverPath, "app2/logproblem.aspx");
    EXPECT_EQ(v.application, fs::canonical("/proc/self/exe").string());
}

TEST_F(CrashValuesTest, ServerAndPathComeFromTheSettings) {
    ostrel::settings::write(ostrel::settings::value::LastKnownServer, "crash.example.org");
    ostrel::settings::write(ostrel::settings::value::LastKnownCrashFileServerPath, "x/y z.aspx");
    const CrashValues v = CrashValues::prepare((root_ / "client").string(), 0);
    EXPECT_EQ(v.server, "crash.example.org");
    EXPECT_EQ(v.serverPath, "x/y z.aspx");

    // Without "LastKnownServer" the service host in effect is the default.
    ostrel::settings::removeValue("LastKnownServer");
    setenv("OSTREL_SERVICE_HOST", "svc.example.org:81", 1);
    EXPECT_EQ(CrashValues::prepare((root_ / "client").string(), 0).server, "svc.example.org:81");
    unsetenv("OSTREL_SERVICE_HOST");
}

TEST_F(CrashValuesTest, LogsGoToTheSettingsFolderWhenTheProgramFolderIsNotUsable) {
    // A folder below a regular file can never be created, whoever runs the test.
    std::ofstream(root_ / "file") << "x";
    const std::string unusable = (root_ / "file" / "client").string();
    const CrashValues v = CrashValues::prepare(unusable, localTime(2023, 1, 2, 3, 4, 5));
    EXPECT_EQ(v.reportPath, (root_ / "config" / "Logs" / "2023_01_02_03-04-05.RPT").string());
    EXPECT_TRUE(fs::is_directory(root_ / "config" / "Logs"));
    EXPECT_EQ(v.reporterPath, unusable + "/ferrule");

    EXPECT_EQ(chooseLogsFolder(unusable, (root_ / "file" / "config").string()), unusable + "/Logs")
        << "neither works: the program folder's name stays";
}

TEST_F(CrashValuesTest, HandlerGivesTheReporterCommandLineAndStoresTheServer) {
    CrashValues v;
    v.reportPath = "/opt/talvero/Logs/2024_01_02_03-04-05.RPT";
    v.reporterPath = "/opt/talvero/ferrule";
    v.version = "6.0";
    v.build = "12";
    v.server = "old.example.org";
    v.serverPath = "app2/logproblem.aspx";
    v.application = "/opt/talvero/ostrel";

    struct sigaction before {};
    sigaction(SIGSEGV, nullptr, &before);
    {
        CrashHandler handler;
        ASSERT_TRUE(handler.install(v));
        EXPECT_TRUE(handler.isInstalled());
        CrashHandler second;
        EXPECT_FALSE(second.install(v)) << "one handler per process";

        EXPECT_EQ(handler.reporterCommandLine(),
                  "\"/opt/talvero/ferrule\" -f \"/opt/talvero/Logs/2024_01_02_03-04-05.RPT\" -v "
                  "6.0 -b 12 -s \"old.example.org\" -p \"app2/logproblem.aspx\" -a "
                  "\"/opt/talvero/ostrel\"  -i ");
        handler.setInstanceGuid("6b29fc40-ca47-1067-b31d-00dd010662da");
        handler.setServer("new.example.org:8080", "reports/post.aspx");
        EXPECT_EQ(handler.reporterCommandLine(),
                  "\"/opt/talvero/ferrule\" -f \"/opt/talvero/Logs/2024_01_02_03-04-05.RPT\" -v "
                  "6.0 -b 12 -s \"new.example.org:8080\" -p \"reports/post.aspx\" -a "
                  "\"/opt/talvero/ostrel\"  -i 6b29fc40-ca47-1067-b31d-00dd010662da");
        EXPECT_EQ(ostrel::settings::read(ostrel::settings::value::LastKnownServer),
                  "new.example.org:8080");
        EXPECT_EQ(ostrel::settings::read(ostrel::settings::value::LastKnownCrashFileServerPath),
                  "reports/post.aspx");

        struct sigaction during {};
        sigaction(SIGSEGV, nullptr, &during);
        EXPECT_NE(during.sa_sigaction, before.sa_sigaction);
        EXPECT_NE(during.sa_flags & SA_ONSTACK, 0);
        // The handler runs with every crash signal blocked.
        EXPECT_TRUE(sigismember(&during.sa_mask, SIGABRT));
        EXPECT_TRUE(sigismember(&during.sa_mask, SIGFPE));
        stack_t alternate{};
        sigaltstack(nullptr, &alternate);
        EXPECT_GE(alternate.ss_size, 64u * 1024u);
        EXPECT_EQ(alternate.ss_flags & SS_DISABLE, 0);
    }
    struct sigaction after {};
    sigaction(SIGSEGV, nullptr, &after);
    EXPECT_EQ(after.sa_sigaction, before.sa_sigaction) << "uninstalled on destruction";

    CrashHandler again;
    EXPECT_TRUE(again.install(v)) << "free again after the first one is gone";
}

TEST_F(CrashValuesTest, ALongServerIsCutToItsBuffer) {
    CrashValues v;
    v.server = std::string(400, 's');
    CrashHandler handler;
    ASSERT_TRUE(handler.install(v));
    const std::string line = handler.reporterCommandLine();
    EXPECT_NE(line.find("-s \"" + std::string(CrashHandler::kSettingSize - 1, 's') + "\""),
              std::string::npos);
    EXPECT_EQ(line.find(std::string(CrashHandler::kSettingSize, 's')), std::string::npos);
}
