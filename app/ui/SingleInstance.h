// One running client per user and settings folder. The first instance listens on a local
// socket named after "BRENNICK_OSTREL", the user and the folder; a later start connects,
// sends one byte (the pulse) and ends. Each pulse asks the first instance to show its window.
// GUI thread.
#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

namespace ostrel::app {

class SingleInstance : public QObject {
    Q_OBJECT
public:
    static inline const QString kEventName = QStringLiteral("BRENNICK_OSTREL");
    // How long a second start tries to reach the first one.
    static constexpr int kPulseTimeoutMs = 2000;

    explicit SingleInstance(QObject* parent = nullptr);
    ~SingleInstance() override;

    // The socket's name for this user and the settings folder in effect.
    static QString socketName();

    // True when this is the first instance (the socket now listens). False after another
    // instance was found and pulsed.
    bool claim();
    // Pulses the first instance; true when it was reached.
    static bool pulse();

    bool isFirst() const { return server_.isListening(); }
    void release();

signals:
    // Another start pulsed us.
    void pulsed();

private:
    QLocalServer server_;
};

}  // namespace ostrel::app
