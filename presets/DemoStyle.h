// SPDX-License-Identifier: GPL-3.0-or-later
// The sample photo from which every style preview is drawn and which the style editor shows: a
// toned black-and-white close-up of a large flower on a dark background, 256 x 256 pixels, kept
// as the bytes of a 24-bit BMP file compiled into the program.
#pragma once

#include <span>

// The BMP file's bytes.
std::span<const unsigned char> DemoStyle();
