// Problem reporter: the "Problem Report" window that shows the report text exactly as it will
// be sent, read-only, with a "Close" button. A GUI-thread dialog, opened modally from the main
// dialog's link.
#pragma once

#include <QDialog>
#include <QPlainTextEdit>
#include <QPushButton>

#include <string>

namespace ostrel::reporter {

class CReportViewerDlg : public QDialog {
    Q_OBJECT

public:
    // `reportText` is the 8-bit report with CRLF line ends.
    explicit CReportViewerDlg(const std::string& reportText, QWidget* parent = nullptr);

    QPlainTextEdit* reportEdit() const { return edit_; }
    QPushButton* closeButton() const { return close_; }

private:
    QPlainTextEdit* edit_;
    QPushButton* close_;
};

}  // namespace ostrel::reporter
