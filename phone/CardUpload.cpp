#include "phone/CardUpload.h"

#include "webservice/HttpRequester.h"
#include "webservice/ServiceRequests.h"
#include "webservice/StatusReplies.h"

namespace ostrel::phone {

bool postCallingCards(webservice::HttpRequester& requester, const PhoneAccount& account,
                      const std::vector<CallingCard>& cards) {
    const auto& directory = account.directory;
    if (directory.server.empty() || directory.callingCardScript.empty()) {
        return false;
    }
    std::string reply;
    if (!requester.Post(directory.server, directory.Target(directory.callingCardScript),
                        webservice::BuildCallingCardRequest(account.user, account.password, cards),
                        reply)) {
        return false;
    }
    return webservice::CallingCardsStored(reply);
}

}  // namespace ostrel::phone
