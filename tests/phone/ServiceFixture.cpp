#include "tests/phone/ServiceFixture.h"

#include "platform/Platform.h"
#include "webservice/ServiceRequests.h"

namespace phonetest {

using namespace ostrel;

ServiceFixture::ServiceFixture()
    : service_([](service::ServiceOptions& options) { options.workerThreads = 2; }) {
    if (!service_.running() || !service_.addUser(kUser, kPassword)) {
        return;
    }
    for (int64_t id : {1, 2}) {
        service::Provider p{id, "Telephone " + std::to_string(id), {{"127.0.0.1", 1730}}, {}};
        if (service_->accounts().addProvider(p) != service::AddResult::Added) {
            return;
        }
    }
    ok_ = webservice::LoadServiceDirectory(requester_, directory_, service_.webHost()) &&
          login().error == 0;
}

ServiceFixture::~ServiceFixture() = default;

phone::PhoneAccount ServiceFixture::account() const {
    return {true, kUser, kPassword, directory_};
}

webservice::LoginReply ServiceFixture::login() {
    webservice::AccountRequest request;
    request.user = kUser;
    request.password = kPassword;
    request.instanceGuid = platform::newGuidText();
    request.address.ownAddress = "127.0.0.1";
    std::string text;
    webservice::LoginReply reply;
    if (requester_.Post(directory_.server, directory_.Target(directory_.loginScript),
                        webservice::BuildLoginRequest(request), text)) {
        webservice::ParseLoginReply(text, reply);
    }
    return reply;
}

}  // namespace phonetest
