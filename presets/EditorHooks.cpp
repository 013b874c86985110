// SPDX-License-Identifier: GPL-3.0-or-later
#include "presets/EditorHooks.h"

#include "platform/rtl/Exception.h"

#include <utility>

namespace {

TStyleEditorHook& StyleEditor() {
    static TStyleEditorHook hook;
    return hook;
}

TPatternEditorHook& PatternEditor() {
    static TPatternEditorHook hook;
    return hook;
}

} // namespace

void SetStyleEditorHook(TStyleEditorHook Hook) {
    StyleEditor() = std::move(Hook);
}

void SetPatternEditorHook(TPatternEditorHook Hook) {
    PatternEditor() = std::move(Hook);
}

TStyleEditorResult RunStyleEditor(TQStyle& Style, const std::string& Caption, const TStyleAccept& Accept) {
    if (!StyleEditor()) RaiseException("No style editor is installed");
    return StyleEditor()(Style, Caption, Accept);
}

int RunPatternEditor(TPattern& Pattern, const std::string& Caption, const TPatternAccept& Accept) {
    if (!PatternEditor()) RaiseException("No pattern editor is installed");
    return PatternEditor()(Pattern, Caption, Accept);
}
