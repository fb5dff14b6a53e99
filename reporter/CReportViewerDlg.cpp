#include "reporter/CReportViewerDlg.h"

#include <algorithm>

#include <QFontDatabase>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QString>
#include <QVBoxLayout>

namespace ostrel::reporter {

CReportViewerDlg::CReportViewerDlg(const std::string& reportText, QWidget* parent)
    : QDialog(parent), edit_(new QPlainTextEdit(this)), close_(new QPushButton("Close", this)) {
    setWindowTitle("Problem Report");
    edit_->setObjectName("reportEdit");  // the edit control 1000
    edit_->setReadOnly(true);
    edit_->setLineWrapMode(QPlainTextEdit::NoWrap);
    // The register and stack columns line up only in a fixed-width font.
    edit_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    QString text =
        QString::fromLocal8Bit(reportText.data(), static_cast<qsizetype>(reportText.size()));
    text.replace("\r\n", "\n");
    edit_->setPlainText(text);

    close_->setDefault(true);
    connect(close_, &QPushButton::clicked, this, &QDialog::accept);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(close_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(edit_);
    layout->addLayout(buttons);
    // Wide enough for the 85-asterisk rules of the report without scrolling.
    const int textWidth = edit_->fontMetrics().horizontalAdvance(QString(90, '*'));
    resize(std::max(640, textWidth + 40), 420);
}

}  // namespace ostrel::reporter
