// The direct-call page: an address field ("host", "host:port" or
// "h323://endpoint@bridge:port") with the history of typed addresses, stored as "IPList".
// GUI thread.
#pragma once

#include <QComboBox>
#include <QWidget>

#include "app/ui/CallTargetPage.h"

namespace ostrel::app {

class WindowNotices;

class DirectCallPage : public QWidget, public CallTargetPage {
    Q_OBJECT
public:
    DirectCallPage(WindowNotices& notices, QWidget* parent = nullptr);

    std::optional<engine::ConnectionRequest> prepareCall(bool quiet) override;

    QComboBox* addressField() const { return address_; }
    // Fills the list from "IPList".
    void reloadHistory();

private:
    WindowNotices& notices_;
    QComboBox* address_;
};

}  // namespace ostrel::app
