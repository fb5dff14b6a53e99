// The question put to the user when a call comes in: "Incoming Call" with the caller's name,
// Accept and Reject, closing by itself after the ring time. The same window, with "Add To
// Conference", asks about a second caller during a conversation. GUI thread.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QString>
#include <QTimer>

namespace ostrel::app {

class IncomingCallDialog : public QDialog {
    Q_OBJECT
public:
    enum class Outcome { Accepted, Rejected, TimedOut };
    enum class Kind { NewCall, AddToConference };

    IncomingCallDialog(Kind kind, const QString& caller, int ringSeconds, QWidget* parent);

    Outcome outcome() const { return outcome_; }
    QPushButton* acceptButton() const { return accept_; }
    QPushButton* rejectButton() const { return reject_; }

    // Tests count a second every `ms` real milliseconds. The product never calls this.
    static void setSecondForTesting(int ms) { secondMs_ = ms; }

    // The close box and Escape count as Reject.
    void reject() override { finishWith(Outcome::Rejected); }

signals:
    void answered(ostrel::app::IncomingCallDialog::Outcome outcome);

private:
    void finishWith(Outcome outcome);

    QPushButton* accept_ = nullptr;
    QPushButton* reject_ = nullptr;
    QTimer ringTimer_;
    Outcome outcome_ = Outcome::Rejected;
    bool finished_ = false;
    static inline int secondMs_ = 1000;
};

}  // namespace ostrel::app
