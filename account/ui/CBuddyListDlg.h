// Account pages: the modal "Buddy List" dialog that edits `buddyNames` and uploads the list
// on "OK" when it changed, waiting for the upload thread while dispatching events. GUI thread.
#pragma once

#include <QDialog>
#include <QPoint>

#include <functional>
#include <string>

#include "account/AccountSession.h"

class QTreeWidget;
class QTreeWidgetItem;

namespace ostrel::account {

// The menu entry "&Add/Delete Buddy" while logged off shows this instead of the dialog.
inline constexpr const char* kLoginFirstToAddBuddy = "You have to login first to add a buddy.";

class CBuddyListDlg : public QDialog {
    Q_OBJECT
public:
    explicit CBuddyListDlg(AccountSession& session, QWidget* parent = nullptr);

    // "+": a "**new buddy**" child at the end with its editor open.
    void AddBuddy();
    // "-": asks, then deletes the selected child.
    void DeleteSelected();
    // The end of a label edit on `item`, as the editor delivers it; the item still shows the
    // old text, which is what the new one is judged against.
    void EndEdit(QTreeWidgetItem* item, const QString& newText);
    // "OK": ignored while logged off; uploads when something changed, then closes.
    void Confirm();

    bool Changed() const { return changed_; }
    bool Uploaded() const { return uploaded_; }
    QTreeWidget* tree() const { return tree_; }
    QTreeWidgetItem* root() const { return root_; }

    // Right-click on the tree: the window's buddy context menu (empty name: no child item).
    std::function<void(const std::string& name, const QPoint& globalPos)> contextMenu;

private:
    void beginEdit(QTreeWidgetItem* item);

    AccountSession& session_;
    QTreeWidget* tree_;
    QTreeWidgetItem* root_;
    bool changed_ = false;
    bool uploaded_ = false;
};

}  // namespace ostrel::account
