// Problem reporter: the small window without a title that says the report is on its way. The
// main dialog shows it, modeless and centred over itself, on the GUI thread while the posting
// thread runs, and closes it when that thread has ended.
#pragma once

#include <QDialog>
#include <QLabel>

namespace ostrel::reporter {

class CSendingStatusDlg : public QDialog {
    Q_OBJECT

public:
    static constexpr const char* kText = "Sending the problem report. Please wait...";

    explicit CSendingStatusDlg(QWidget* parent = nullptr);

    // Shows the window with its centre on the centre of `over`.
    void showCentredOver(const QWidget& over);

    QLabel* textLabel() const { return text_; }

protected:
    // The user cannot close it: it goes when the report has gone.
    void reject() override {}

private:
    QLabel* text_;
};

}  // namespace ostrel::reporter
