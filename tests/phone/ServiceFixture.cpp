#include "tests/phone/ServiceFixture.h"

#include <filesystem>

#include "platform/Platform.h"
#include "webservice/ServiceRequests.h"

namespace phonetest {

using namespace ostrel;

ServiceFixture::ServiceFixture() {
    folder_ = platform::joinPath(platform::tempFolder(), "ostrel-phone-" + platform::newGuidText());
    std::filesystem::create_directories(folder_);
    service::ServiceOptions options;
    options.listenPort = 0;
    options.databasePath = platform::joinPath(folder_, "service.db");
    options.hashCost = service::HashCost::Minimum;
    options.workerThreads = 2;
    std::string error;
    service_ = service::TalveroService::open(options, error);
    if (!service_ || !service_->start(error)) {
        return;
    }
    const auto hash = service_->hasher().hash(kPassword);
    if (!hash || service_->accounts().addUser(kUser, *hash, 0) != service::AddResult::Added) {
        return;
    }
    for (int64_t id : {1, 2}) {
        service::Provider p{id, "Telephone " + std::to_string(id), {{"127.0.0.1", 1730}}, {}};
        if (service_->accounts().addProvider(p) != service::AddResult::Added) {
            return;
        }
    }
    const std::string webHost = "127.0.0.1:" + std::to_string(service_->port());
    ok_ = webservice::LoadServiceDirectory(requester_, directory_, webHost) && login().error == 0;
}

ServiceFixture::~ServiceFixture() {
    if (service_) {
        service_->stop();
    }
    std::filesystem::remove_all(folder_);
}

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
