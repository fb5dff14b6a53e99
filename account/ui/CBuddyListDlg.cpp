#include "account/ui/CBuddyListDlg.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "account/BuddyListUpload.h"
#include "account/BuddyNames.h"

namespace ostrel::account {

namespace {

QString text(const std::string& s) {
    return QString::fromLocal8Bit(s.c_str());
}
std::string plain(const QString& s) {
    return s.toLocal8Bit().toStdString();
}

// Hands the edited text to the dialog instead of writing it into the item, so that refused
// names never reach the tree.
class BuddyNameDelegate : public QStyledItemDelegate {
public:
    BuddyNameDelegate(CBuddyListDlg& dialog, QTreeWidget& tree)
        : QStyledItemDelegate(&tree), dialog_(dialog), tree_(tree) {}

    void setModelData(QWidget* editor, QAbstractItemModel*,
                      const QModelIndex& index) const override {
        auto* line = qobject_cast<QLineEdit*>(editor);
        QTreeWidgetItem* item = tree_.itemFromIndex(index);
        if (line == nullptr || item == nullptr) {
            return;
        }
        const QString typed = line->text();
        // After the editor has gone: a message box or a new editor cannot start inside it. The
        // entry may be deleted before then, so it is found again through a persistent index.
        QTimer::singleShot(
            0, &dialog_,
            [dialog = &dialog_, tree = &tree_, at = QPersistentModelIndex(index), typed] {
                if (at.isValid()) {
                    dialog->EndEdit(tree->itemFromIndex(at), typed);
                }
            });
    }

private:
    CBuddyListDlg& dialog_;
    QTreeWidget& tree_;
};

}  // namespace

CBuddyListDlg::CBuddyListDlg(AccountSession& session, QWidget* parent)
    : QDialog(parent), session_(session) {
    setWindowTitle(QStringLiteral("Buddy List"));
    auto* layout = new QVBoxLayout(this);
    tree_ = new QTreeWidget(this);
    tree_->setHeaderHidden(true);
    tree_->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked |
                           QAbstractItemView::DoubleClicked);
    tree_->setItemDelegate(new BuddyNameDelegate(*this, *tree_));
    tree_->setToolTip(
        QStringLiteral("Add names of your buddies here. You can talk to them "
                       "whenever they are shown in online list."));
    tree_->setContextMenuPolicy(Qt::CustomContextMenu);
    layout->addWidget(tree_);

    root_ = new QTreeWidgetItem(tree_, QStringList(QStringLiteral("Buddy List")));
    QFont bold = root_->font(0);
    bold.setBold(true);
    root_->setFont(0, bold);
    // The root's text cannot be changed.
    root_->setFlags(root_->flags() & ~Qt::ItemIsEditable);
    for (const auto& name : session_.Buddies().Snapshot()) {
        auto* child = new QTreeWidgetItem(root_, QStringList(text(name)));
        child->setFlags(child->flags() | Qt::ItemIsEditable);
    }
    root_->setExpanded(true);

    auto* edits = new QHBoxLayout;
    auto* add = new QPushButton(QStringLiteral("+"), this);
    auto* remove = new QPushButton(QStringLiteral("-"), this);
    add->setIcon(style()->standardIcon(QStyle::SP_FileDialogNewFolder));
    remove->setIcon(style()->standardIcon(QStyle::SP_TrashIcon));
    edits->addWidget(add);
    edits->addWidget(remove);
    edits->addStretch();
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    edits->addWidget(ok);
    edits->addWidget(cancel);
    layout->addLayout(edits);

    connect(add, &QPushButton::clicked, this, &CBuddyListDlg::AddBuddy);
    connect(remove, &QPushButton::clicked, this, &CBuddyListDlg::DeleteSelected);
    connect(ok, &QPushButton::clicked, this, &CBuddyListDlg::Confirm);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(tree_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QTreeWidgetItem* item = tree_->itemAt(at);
        if (contextMenu) {
            contextMenu(item != nullptr && item != root_ ? plain(item->text(0)) : std::string(),
                        tree_->viewport()->mapToGlobal(at));
        }
    });
}

void CBuddyListDlg::beginEdit(QTreeWidgetItem* item) {
    tree_->setCurrentItem(item);
    tree_->editItem(item);
}

void CBuddyListDlg::AddBuddy() {
    auto* item = new QTreeWidgetItem(root_, QStringList(QString::fromLatin1(kNewBuddyPlaceholder)));
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    root_->setExpanded(true);
    beginEdit(item);
}

void CBuddyListDlg::DeleteSelected() {
    QTreeWidgetItem* item = tree_->currentItem();
    if (item == nullptr || item == root_) {
        return;
    }
    const QString name = item->text(0);
    if (QMessageBox::question(this, windowTitle(),
                              QStringLiteral("Are you sure that you want to delete <%1> from the "
                                             "list of your buddies?")
                                  .arg(name),
                              QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes) {
        return;
    }
    session_.Buddies().EraseFirst(plain(name));
    delete item;
    changed_ = true;
}

void CBuddyListDlg::EndEdit(QTreeWidgetItem* item, const QString& newText) {
    if (item == nullptr || item == root_ || item->parent() != root_) {
        return;
    }
    const BuddyEdit edit = ApplyBuddyEdit(session_.Buddies(), plain(item->text(0)), plain(newText));
    switch (edit.result) {
        case BuddyEditResult::Unchanged:
            return;
        case BuddyEditResult::DropNewEntry:
            delete item;
            return;
        case BuddyEditResult::Accepted:
            item->setText(0, text(edit.name));
            tree_->setCurrentItem(item);
            changed_ = true;
            return;
        case BuddyEditResult::Empty:
        case BuddyEditResult::InvalidCharacters:
            QMessageBox::warning(this, windowTitle(), text(BuddyEditMessage(edit.result)));
            break;
        case BuddyEditResult::AlreadyPresent:
            QMessageBox::information(this, windowTitle(), text(BuddyEditMessage(edit.result)));
            break;
    }
    // Refused: the editor opens again on the item, which keeps its old text.
    beginEdit(item);
}

void CBuddyListDlg::Confirm() {
    if (!session_.LoggedIn()) {
        return;
    }
    if (changed_) {
        BuddyListUpload upload(session_);
        QLabel waiting(QStringLiteral("Updating buddylist information to server...."), this,
                       Qt::Tool);
        waiting.setMargin(12);
        waiting.show();
        if (upload.Start()) {
            while (!upload.Wait(1)) {
                QApplication::processEvents(QEventLoop::AllEvents, 5);
            }
        }
        waiting.close();
        uploaded_ = true;
    }
    accept();
}

}  // namespace ostrel::account
