// The program's own small browser window: fetches one page over HTTP and shows it in a
// QTextBrowser, in a window of the size it is asked for. Deletes itself when closed.
#pragma once

#include <QNetworkAccessManager>
#include <QTextBrowser>
#include <QUrl>
#include <QWidget>

namespace ostrel::app {

class BrowserWindow : public QWidget {
    Q_OBJECT
public:
    BrowserWindow(const QUrl& address, int width, int height, QWidget* parent = nullptr);

    QTextBrowser* view() const { return view_; }
    QUrl address() const { return address_; }

signals:
    void loaded(bool ok);

private:
    void fetch(const QUrl& address);

    QUrl address_;
    QTextBrowser* view_;
    QNetworkAccessManager network_;
};

}  // namespace ostrel::app
