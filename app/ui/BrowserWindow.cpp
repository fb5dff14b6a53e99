#include "app/ui/BrowserWindow.h"

#include <QNetworkReply>
#include <QVBoxLayout>

namespace ostrel::app {

BrowserWindow::BrowserWindow(const QUrl& address, int width, int height, QWidget* parent)
    : QWidget(parent, Qt::Window), address_(address), view_(new QTextBrowser(this)) {
    setObjectName(QStringLiteral("BrowserWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Talvero"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
    view_->setOpenLinks(false);
    // A link loads in this same window, relative to the page it was found on.
    connect(view_, &QTextBrowser::anchorClicked, this,
            [this](const QUrl& link) { fetch(address_.resolved(link)); });
    resize(width, height);
    fetch(address);
}

void BrowserWindow::fetch(const QUrl& address) {
    address_ = address;
    QNetworkReply* reply = network_.get(QNetworkRequest(address));
    connect(reply, &QNetworkReply::finished, this, [this, reply] {
        reply->deleteLater();
        const bool ok = reply->error() == QNetworkReply::NoError;
        if (ok) {
            view_->setHtml(QString::fromUtf8(reply->readAll()));
        } else {
            view_->setPlainText(QStringLiteral("The page cannot be shown: ") +
                                reply->errorString());
        }
        emit loaded(ok);
    });
}

}  // namespace ostrel::app
