// The list of calls that rang unanswered: caller and time. Made hidden at start-up so that a
// missed call can be recorded at any time, shown when one is added. GUI thread.
#pragma once

#include <QDateTime>
#include <QString>
#include <QTreeWidget>
#include <QWidget>

namespace ostrel::app {

class MissedCallsWindow : public QWidget {
    Q_OBJECT
public:
    explicit MissedCallsWindow(QWidget* parent = nullptr);

    void addCall(const QString& caller, const QDateTime& when);
    int count() const { return list_->topLevelItemCount(); }
    QString caller(int row) const;
    QDateTime time(int row) const;

private:
    QTreeWidget* list_;
};

}  // namespace ostrel::app
