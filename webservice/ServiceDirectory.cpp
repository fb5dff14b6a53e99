#include "webservice/ServiceDirectory.h"

#include "app/settings/Settings.h"
#include "webservice/HttpRequester.h"
#include "webservice/ProfileText.h"

namespace ostrel::webservice {

namespace {

// Defaults a missing key reads as; a value equal to them counts as missing.
constexpr const char* kNoServer = "0.0.0.0";
constexpr const char* kNoValue = "ERR";

struct ScriptKey {
    const char* key;
    std::string ServiceDirectory::*field;
};

constexpr ScriptKey kScriptKeys[] = {
    {"logmein_file", &ServiceDirectory::loginScript},
    {"logmeoff_file", &ServiceDirectory::logoffScript},
    {"iamup_file", &ServiceDirectory::keepAliveScript},
    {"syncblist_file", &ServiceDirectory::buddyListScript},
    {"getuserlist_file", &ServiceDirectory::onlineUsersScript},
    {"iamtalking_file", &ServiceDirectory::callReportScript},
    {"fwtest_file", &ServiceDirectory::reachabilityScript},
    {"sync_callingcards_file", &ServiceDirectory::callingCardScript},
    {"log_problem_file", &ServiceDirectory::problemReportScript},
};

}  // namespace

std::string ServiceDirectory::Target(const std::string& script) const {
    // "\" is this service's folder separator on the wire of old; here it is "/".
    std::string folder = path;
    for (char& c : folder) {
        if (c == '\\') {
            c = '/';
        }
    }
    while (!folder.empty() && folder.front() == '/') {
        folder.erase(folder.begin());
    }
    while (!folder.empty() && folder.back() == '/') {
        folder.pop_back();
    }
    return folder.empty() ? "/" + script : "/" + folder + "/" + script;
}

bool ReadServiceDirectory(const std::string& replyText, ServiceDirectory& directory) {
    const ProfileText profile(replyText);

    const std::string server = profile.GetString(kDirectorySection, "CURRENT IP", kNoServer);
    if (server.empty() || server == kNoServer) {
        return false;
    }
    directory.server = server;

    const std::string path = profile.GetString(kDirectorySection, "PATH", kNoValue);
    if (path == kNoValue) {
        return false;
    }
    directory.path = path;

    for (const ScriptKey& script : kScriptKeys) {
        const std::string value = profile.GetString(kDirectorySection, script.key, kNoValue);
        if (value == kNoValue) {
            return false;
        }
        directory.*script.field = value;
    }
    return true;
}

bool LoadServiceDirectory(HttpRequester& requester, ServiceDirectory& directory,
                          const std::string& webHost) {
    // The reply is read from memory, so no profile file is written next to the program.
    std::string reply;
    if (!requester.Post(webHost, kDirectoryScript, kDirectoryRequestBody, reply)) {
        return false;
    }
    if (!ReadServiceDirectory(reply, directory)) {
        return false;
    }
    settings::write(settings::value::LastKnownServer, directory.server);
    settings::write(settings::value::LastKnownCrashFileServerPath, directory.problemReportScript);
    return true;
}

bool LoadServiceDirectory(HttpRequester& requester, ServiceDirectory& directory) {
    return LoadServiceDirectory(requester, directory, settings::serviceWebHost());
}

}  // namespace ostrel::webservice
