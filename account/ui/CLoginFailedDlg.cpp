#include "account/ui/CLoginFailedDlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "account/ui/AccountHost.h"

namespace ostrel::account {

CLoginFailedDlg::CLoginFailedDlg(AccountHost& host, QWidget* parent)
    : QDialog(parent), host_(host) {
    setWindowTitle(QStringLiteral("Talvero Login Failed."));
    auto* layout = new QVBoxLayout(this);
    auto* text = new QLabel(
        QStringLiteral("The Talvero server cannot be reached from this computer.\n\n"
                       "The usual causes are:\n"
                       " - this computer is not connected to the internet;\n"
                       " - a firewall or a personal firewall program blocks this program;\n"
                       " - your network needs an HTTP proxy, or the proxy settings are wrong;\n"
                       " - the server is down for maintenance.\n\n"
                       "Check your network settings and try again."));
    text->setWordWrap(true);
    layout->addWidget(text);
    countdown_ = new QLabel(this);
    layout->addWidget(countdown_);

    auto* buttons = new QHBoxLayout;
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    auto* help = new QPushButton(QStringLiteral("Help"), this);
    auto* network = new QPushButton(QStringLiteral("Show Network Settings"), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    for (QPushButton* b : {ok, help, network, cancel}) {
        buttons->addWidget(b);
    }
    layout->addLayout(buttons);
    ok->setDefault(true);

    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(help, &QPushButton::clicked, this, [this] { host_.OpenContextHelp(kHelpTopic); });
    connect(network, &QPushButton::clicked, this, [this] {
        networkSettings_ = true;
        accept();
    });
    connect(&timer_, &QTimer::timeout, this, &CLoginFailedDlg::tick);
    countdown_->setText(QStringLiteral("This window will close in %1 secs").arg(remaining_));
    timer_.start(tickMs_);
}

void CLoginFailedDlg::tick() {
    --remaining_;
    countdown_->setText(QStringLiteral("This window will close in %1 secs").arg(remaining_));
    if (remaining_ <= 0) {
        timer_.stop();
        accept();
    }
}

}  // namespace ostrel::account
