// The program's icon, drawn rather than loaded, so the client needs no image files.
#pragma once

#include <QIcon>

namespace ostrel::app {

QIcon programIcon();

}  // namespace ostrel::app
