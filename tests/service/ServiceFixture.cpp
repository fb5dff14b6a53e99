#include "tests/service/ServiceFixture.h"

#include <httplib.h>
#include <stdlib.h>

#include <filesystem>
#include <sstream>

#include "platform/Platform.h"
#include "tests/service/XmlTree.h"

namespace ostrel::service::test {

std::string encode(std::string_view text) {
    std::string out;
    for (const char c : text) {
        const bool plain =
            (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        if (plain) {
            out += c;
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", static_cast<unsigned char>(c));
            out += hex;
        }
    }
    return out;
}

std::string makeTempFolder() {
    std::string pattern = platform::joinPath(platform::tempFolder(), "talvero-test-XXXXXX");
    if (mkdtemp(pattern.data()) == nullptr) {
        return {};
    }
    return pattern;
}

void removeFolder(const std::string& folder) {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

void ServiceFixture::SetUp() {
    folder_ = makeTempFolder();
    ASSERT_FALSE(folder_.empty());
    ServiceOptions options;
    options.listenPort = 0;
    options.databasePath = platform::joinPath(folder_, "service.db");
    options.hashCost = HashCost::Minimum;
    options.clock = [this] { return now_.load(); };
    options.publicHost = publicHost_;
    options.workerThreads = 4;
    std::string error;
    service_ = TalveroService::open(options, error);
    ASSERT_TRUE(service_) << error;
    ASSERT_TRUE(service_->start(error)) << error;

    // Script names come from the directory, as the client learns them.
    std::istringstream lines(post("/OstrelServer.asp", "version=6"));
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        const auto equals = line.find('=');
        if (equals != std::string::npos) {
            directory_[line.substr(0, equals)] = line.substr(equals + 1);
        }
    }
    ASSERT_EQ(directory_.count("PATH"), 1u);
}

void ServiceFixture::TearDown() {
    if (service_) {
        service_->stop();
    }
    service_.reset();
    removeFolder(folder_);
}

std::string ServiceFixture::post(const std::string& target, const std::string& body) {
    httplib::Client client("127.0.0.1", service_->port());
    client.set_connection_timeout(5);
    client.set_read_timeout(10);
    auto result = client.Post(target.c_str(), body, "application/x-www-form-urlencoded");
    return result ? result->body : std::string("<no reply>");
}

std::string ServiceFixture::target(const std::string& key) const {
    const auto script = directory_.find(key);
    if (script == directory_.end()) {
        ADD_FAILURE() << "directory lacks " << key;
        return "/";
    }
    return "/" + directory_.at("PATH") + "/" + script->second;
}

void ServiceFixture::addUser(const std::string& name, const std::string& password) {
    const auto hash = service_->hasher().hash(password);
    ASSERT_TRUE(hash);
    ASSERT_EQ(service_->accounts().addUser(name, *hash, now_), AddResult::Added);
}

void ServiceFixture::addProvider(int64_t id, const std::string& name) {
    Provider provider{id, name, {{"lookup.example", 3000}}, {{"enable_auto_dtmf", "1"}}};
    ASSERT_EQ(service_->accounts().addProvider(provider), AddResult::Added);
}

std::string ServiceFixture::loginBody(const std::string& user, const std::string& password,
                                      const std::string& guid, int mode, const std::string& address,
                                      int port) {
    return "user=" + encode(user) + "&Pass=" + encode(password) +
           "&ListeningPort=" + encode(std::to_string(port)) + "&InstanceGUID=" + encode(guid) +
           "&IPAddr=" + encode(address) + "&IPType=" + std::to_string(mode) +
           "&Version=6&ClientType=0";
}

std::string ServiceFixture::keepAliveBody(const std::string& user, const std::string& password,
                                          const std::string& guid, int mode,
                                          const std::string& address, int port) {
    return "User=" + encode(user) + "&Pass=" + encode(password) +
           "&ListeningPort=" + std::to_string(port) + "&InstanceGUID=" + encode(guid) +
           "&IPAddr=" + encode(address) + "&IPType=" + std::to_string(mode) +
           "&Version=6&ClientType=0";
}

std::string ServiceFixture::logoffBody(const std::string& user, const std::string& password,
                                       const std::string& guid, int mode,
                                       const std::string& address) {
    return "User=" + encode(user) + "&Pass=" + encode(password) + "&InstanceGUID=" + encode(guid) +
           "&IPAddr=" + encode(address) + "&IPType=" + std::to_string(mode) +
           "&Version=6&ClientType=0";
}

std::string ServiceFixture::onlineBody(const std::string& user, const std::string& password,
                                       const std::vector<std::string>& buddies) {
    std::string body = "User=" + encode(user) + "&Pass=" + encode(password);
    for (const std::string& buddy : buddies) {
        body += "&buddy=" + encode(buddy);
    }
    return body + "&Version=6&ClientType=0";
}

void ServiceFixture::login(const std::string& user, const std::string& password,
                           const std::string& guid, int mode, const std::string& address,
                           int port) {
    const std::string reply =
        post(target("logmein_file"), loginBody(user, password, guid, mode, address, port));
    const auto root = parseXml(reply);
    ASSERT_TRUE(root) << reply;
    ASSERT_EQ(root->value("errorcode"), "0") << reply;
}

std::map<std::string, std::map<std::string, std::string>> ServiceFixture::online(
    const std::string& user, const std::string& password, const std::vector<std::string>& buddies) {
    std::map<std::string, std::map<std::string, std::string>> out;
    const std::string reply = post(target("getuserlist_file"), onlineBody(user, password, buddies));
    const auto root = parseXml(reply);
    EXPECT_TRUE(root) << reply;
    if (!root) {
        return out;
    }
    EXPECT_EQ(root->value("errcode"), "0") << reply;
    for (const XmlNode* buddy : root->all("buddy")) {
        auto& fields = out[buddy->value("userid").value_or("")];
        for (const auto& field : buddy->children) {
            fields[field->name] = field->text;
        }
    }
    return out;
}

}  // namespace ostrel::service::test
