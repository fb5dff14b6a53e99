#include "tests/support/TestService.h"

#include <filesystem>

#include "platform/Platform.h"

namespace ostrel::test {

TestService::TestService(const std::function<void(service::ServiceOptions&)>& adjust) {
    folder_ =
        platform::joinPath(platform::tempFolder(), "ostrel-service-" + platform::newGuidText());
    std::filesystem::create_directories(folder_);
    service::ServiceOptions options;
    options.listenPort = 0;
    options.databasePath = platform::joinPath(folder_, "service.db");
    options.hashCost = service::HashCost::Minimum;
    options.workerThreads = 4;
    if (adjust) {
        adjust(options);
    }
    service_ = service::TalveroService::open(options, error_);
    if (service_ && !service_->start(error_)) {
        service_.reset();
    }
}

TestService::~TestService() {
    if (service_) {
        service_->stop();
        service_.reset();
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

std::string TestService::webHost() const {
    return "127.0.0.1:" + std::to_string(service_->port());
}

bool TestService::addUser(const std::string& name, const std::string& password) {
    const auto hash = service_->hasher().hash(password);
    return hash && service_->accounts().addUser(name, *hash, 0) == service::AddResult::Added;
}

}  // namespace ostrel::test
