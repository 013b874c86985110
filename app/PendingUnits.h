// SEAM (temporary): the tool manager, the colour panel, the preset editors, the help window and
// the About box are written alongside the shell. Until a unit is in, the shell builds without
// it and the matching QUOR_HAVE_* is 0; this header goes once all of them are in.
#pragma once

#if __has_include("app/Tools.h")
#include "app/Tools.h"
#define QUOR_HAVE_TOOLS 1
#else
#define QUOR_HAVE_TOOLS 0
#endif

#if __has_include("app/UColorPanel.h")
#include "app/Shape.h"
#include "app/UColorPanel.h"
#define QUOR_HAVE_COLOR_PANEL 1
#else
#define QUOR_HAVE_COLOR_PANEL 0
#endif

#if __has_include("app/HlpWnd.h")
#include "app/HlpWnd.h"
#define QUOR_HAVE_HELP_WINDOW 1
#else
#define QUOR_HAVE_HELP_WINDOW 0
#endif

#if __has_include("app/UFormAbout.h")
#include "app/UFormAbout.h"
#define QUOR_HAVE_ABOUT 1
#else
#define QUOR_HAVE_ABOUT 0
#endif

#if __has_include("app/UFormStyle.h")
#include "app/UFormStyle.h"
#define QUOR_HAVE_STYLE_EDITOR 1
#else
#define QUOR_HAVE_STYLE_EDITOR 0
#endif

#if __has_include("app/UPatternEdit.h")
#include "app/UPatternEdit.h"
#define QUOR_HAVE_PATTERN_EDITOR 1
#else
#define QUOR_HAVE_PATTERN_EDITOR 0
#endif

#if !QUOR_HAVE_TOOLS
#include <cstdint>
class TDualImage;
// Stand-in until the tool manager is in: it only remembers the tool.
class TToolManager {
public:
    explicit TToolManager(TDualImage*) {}
    void SetTool(uint8_t ATool) { Tool = ATool; }
    void SetEnabled(bool Value) { Enabled = Value; }
    uint8_t Tool = 0;
    bool Enabled = true;
};
#endif
