// The application icon IDR_MAINFRAME: a camera lens on a dark tile with the
// range's "next address" arrow, drawn at the sizes window managers ask for.
#pragma once

#include <QIcon>

QIcon LoadAppIcon();
