#include "reporter/CSendingStatusDlg.h"

#include <QFrame>
#include <QVBoxLayout>

namespace ostrel::reporter {

CSendingStatusDlg::CSendingStatusDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), text_(new QLabel(kText, this)) {
    setModal(false);
    // Without a title bar the window needs a border of its own to stand out from the dialog.
    auto* frame = new QFrame(this);
    frame->setFrameStyle(QFrame::Panel | QFrame::Raised);
    frame->setLineWidth(2);
    auto* inner = new QVBoxLayout(frame);
    inner->setContentsMargins(24, 18, 24, 18);
    inner->addWidget(text_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(frame);
}

void CSendingStatusDlg::showCentredOver(const QWidget& over) {
    adjustSize();
    const QRect area = over.frameGeometry();
    move(area.center() - rect().center());
    show();
    raise();
}

}  // namespace ostrel::reporter
