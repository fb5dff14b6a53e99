// The directory reply and the profile reader under it, on any text: values never outgrow the
// buffer they would be held in, a failed read leaves every field either read or as it was,
// and every request target starts at the root.
#include <string>

#include "fuzz/support/FuzzCheck.h"
#include "webservice/ProfileText.h"
#include "webservice/ServiceDirectory.h"

using namespace ostrel::webservice;

namespace {

// A value a read can never produce: profile values end at the first NUL.
const std::string kUnread("unread\0", 7);

std::string ServiceDirectory::*const kFields[] = {
    &ServiceDirectory::server,
    &ServiceDirectory::path,
    &ServiceDirectory::loginScript,
    &ServiceDirectory::logoffScript,
    &ServiceDirectory::keepAliveScript,
    &ServiceDirectory::buddyListScript,
    &ServiceDirectory::onlineUsersScript,
    &ServiceDirectory::callReportScript,
    &ServiceDirectory::reachabilityScript,
    &ServiceDirectory::callingCardScript,
    &ServiceDirectory::problemReportScript,
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const std::string section = input.ConsumeRandomLengthString(16);
    const std::string key = input.ConsumeRandomLengthString(16);
    const size_t bufferSize = input.ConsumeIntegralInRange<size_t>(0, 300);
    const std::string text = input.ConsumeRemainingBytesAsString();

    const ProfileText profile(text);
    const std::string value = profile.GetString(section, key, "default", bufferSize);
    FUZZ_CHECK(value.size() < std::max<size_t>(bufferSize, 1));
    FUZZ_CHECK(value.find('\0') == std::string::npos);
    FUZZ_CHECK(profile.GetString(section, key, "default") == profile.GetString(section, key, "x") ||
               profile.GetString(section, key, "default") == "default");

    ServiceDirectory directory;
    for (auto field : kFields) {
        directory.*field = kUnread;
    }
    const bool complete = ReadServiceDirectory(text, directory);
    bool stillUnread = false;
    for (auto field : kFields) {
        const std::string& v = directory.*field;
        FUZZ_CHECK(v.size() < ProfileText::kValueBufferSize);
        // Fields are read in order and the read stops at the first bad one.
        if (v == kUnread) {
            stillUnread = true;
        } else {
            FUZZ_CHECK(!stillUnread || v == kUnread);
        }
    }
    if (complete) {
        FUZZ_CHECK(!directory.server.empty() && directory.server != "0.0.0.0");
    }
    const std::string target = directory.Target(directory.loginScript);
    FUZZ_CHECK(!target.empty() && target.front() == '/');
    FUZZ_CHECK(target.find('\\') == std::string::npos ||
               directory.loginScript.find('\\') != std::string::npos);
    return 0;
}
