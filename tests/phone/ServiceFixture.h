// Test support: the reference web service in-process on a free loopback port with one user
// and two telephone providers, and the client's view of it (directory, login, stored cards).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "phone/CardUpload.h"
#include "service/TalveroService.h"
#include "tests/support/TestService.h"
#include "tests/webservice/ScopedConfigDir.h"
#include "webservice/HttpRequester.h"
#include "webservice/LoginReply.h"

namespace phonetest {

class ServiceFixture {
public:
    static constexpr const char* kUser = "alice";
    static constexpr const char* kPassword = "alice-pw";

    ServiceFixture();
    ~ServiceFixture();
    bool ok() const { return ok_; }

    // A logged-in account as the card flows see it.
    ostrel::phone::PhoneAccount account() const;
    // Logs in again and returns the reply (providers and the stored cards).
    ostrel::webservice::LoginReply login();

private:
    ostrel::webservice::test::ScopedConfigDir config_;
    ostrel::test::TestService service_;
    ostrel::webservice::HttpRequester requester_{10};
    ostrel::webservice::ServiceDirectory directory_;
    bool ok_ = false;
};

}  // namespace phonetest
