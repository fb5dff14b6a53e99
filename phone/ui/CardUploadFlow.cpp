#include "phone/ui/CardUploadFlow.h"

#include <QWidget>

#include "phone/CardUpload.h"
#include "phone/ui/PhoneHost.h"
#include "phone/ui/WorkerWait.h"

namespace ostrel::phone {

bool uploadCards(PhoneHost& host, QWidget* parent, const std::vector<CallingCard>& cards) {
    const PhoneAccount account = host.account();
    if (!account.loggedIn) {
        host.showMessage(parent, QString::fromLatin1(kNotLoggedInUpload.data(),
                                                     static_cast<int>(kNotLoggedInUpload.size())));
        return false;
    }
    QWidget* wait =
        makeWaitWindow(parent, QString::fromLatin1(kUpdatingCardsText.data(),
                                                   static_cast<int>(kUpdatingCardsText.size())));
    wait->show();
    bool stored = false;
    auto& requester = host.requester();
    const bool ran = runWhileDispatching(
        kUploadThreadName, [&] { stored = postCallingCards(requester, account, cards); });
    wait->close();
    if (!ran || !stored) {
        return false;
    }
    host.cardBook().cards = cards;
    return true;
}

}  // namespace ostrel::phone
