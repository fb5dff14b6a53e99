// Test support: answers the modal windows a page opens while the test waits in it. Every few
// milliseconds it looks for the active modal widget; a message box is recorded (title and
// text) and closed with the next planned answer, any other dialog is handed to a callback.
// GUI thread only.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <deque>
#include <functional>
#include <vector>

namespace ostrel::test {

class ModalDriver {
public:
    struct Seen {
        QString title;
        QString text;
    };

    ModalDriver() {
        QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
        timer_.start(5);
    }

    // Answers for the next message boxes, in order; without one, Yes, else OK, else the first.
    void plan(QMessageBox::StandardButton answer) { answers_.push_back(answer); }
    // Called for modal dialogs that are not message boxes; it must close them.
    std::function<void(QDialog&)> onDialog;

    const std::vector<Seen>& seen() const { return seen_; }
    std::vector<QString> texts() const {
        std::vector<QString> out;
        for (const auto& s : seen_) {
            out.push_back(s.text);
        }
        return out;
    }
    void clear() { seen_.clear(); }

private:
    void poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || modal == handled_.data()) {
            return;
        }
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            handled_ = box;
            seen_.push_back({box->windowTitle(), box->text()});
            QMessageBox::StandardButton answer = QMessageBox::NoButton;
            if (!answers_.empty()) {
                answer = answers_.front();
                answers_.pop_front();
            } else if (box->button(QMessageBox::Yes) != nullptr) {
                answer = QMessageBox::Yes;
            } else if (box->button(QMessageBox::Ok) != nullptr) {
                answer = QMessageBox::Ok;
            }
            QAbstractButton* button =
                answer != QMessageBox::NoButton ? box->button(answer) : nullptr;
            if (button == nullptr && !box->buttons().isEmpty()) {
                button = box->buttons().first();
            }
            if (button != nullptr) {
                button->setEnabled(true);
                button->click();
            }
        } else if (auto* dialog = qobject_cast<QDialog*>(modal); dialog && onDialog) {
            handled_ = dialog;
            onDialog(*dialog);
        }
    }

    QTimer timer_;
    std::deque<QMessageBox::StandardButton> answers_;
    std::vector<Seen> seen_;
    // The window answered last; a guarded pointer, so a new box at the same address counts.
    QPointer<QWidget> handled_;
};

}  // namespace ostrel::test
