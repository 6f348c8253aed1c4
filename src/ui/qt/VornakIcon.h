#pragma once

#include <QIcon>

// The application icon with all its sizes (16 to 256 px); used for every window's title bar
// and the about box. A null icon if the images are missing from the resources.
QIcon VornakIcon();
