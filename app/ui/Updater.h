// The product's updater, a separate program that may or may not be installed: asked to stop
// at every start-up and started for an upgrade from the menu. Never waited for.
#pragma once

#include <QString>

namespace ostrel::app {

inline const QString kUpdaterProgram = QStringLiteral("Talvero6Update");

// Starts the updater of `programFolder` with `argument`; the path started, or empty when it
// is not there or cannot be run.
QString startUpdaterProgram(const QString& programFolder, const QString& argument);

// "/STOP=300" to the updater in the program folder's parent, else to the one in the program
// folder itself. A missing updater delays nothing.
QString stopRunningUpdater(const QString& programFolder);

}  // namespace ostrel::app
