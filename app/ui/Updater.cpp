#include "app/ui/Updater.h"

#include <QFileInfo>
#include <QProcess>

namespace ostrel::app {

namespace {

QString startIfPresent(const QString& path, const QString& argument) {
    const QFileInfo info(path);
    if (!info.isFile() || !info.isExecutable()) {
        return QString();
    }
    return QProcess::startDetached(info.absoluteFilePath(), {argument}) ? info.absoluteFilePath()
                                                                        : QString();
}

}  // namespace

QString startUpdaterProgram(const QString& programFolder, const QString& argument) {
    return startIfPresent(programFolder + QStringLiteral("/") + kUpdaterProgram, argument);
}

QString stopRunningUpdater(const QString& programFolder) {
    const QString stop = QStringLiteral("/STOP=300");
    const QString parent =
        startIfPresent(programFolder + QStringLiteral("/../") + kUpdaterProgram, stop);
    return parent.isEmpty() ? startUpdaterProgram(programFolder, stop) : parent;
}

}  // namespace ostrel::app
