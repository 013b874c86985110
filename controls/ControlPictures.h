// SPDX-License-Identifier: GPL-3.0-or-later
// The pictures the custom controls draw with, carried in the program's resources.
#pragma once

#include <QImage>
#include <QString>

// The picture of that name ("VVERT", "QUORRULER", "COLORTHUMB", ...) as Format_ARGB32; a null
// image for an unknown name.
QImage LoadControlPicture(const QString& Name);
