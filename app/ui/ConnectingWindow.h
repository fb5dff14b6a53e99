// The small window shown while a call is being placed: one line of text and Cancel.
// Modeless, centred over the main window. GUI thread.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QString>

namespace ostrel::app {

class ConnectingWindow : public QDialog {
    Q_OBJECT
public:
    explicit ConnectingWindow(QWidget* parent);

    void setText(const QString& text);
    QString text() const { return label_->text(); }
    QPushButton* cancelButton() const { return cancel_; }

    void reject() override { emit cancelRequested(); }

signals:
    void cancelRequested();

private:
    QLabel* label_;
    QPushButton* cancel_;
};

}  // namespace ostrel::app
