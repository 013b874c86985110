// SPDX-License-Identifier: GPL-3.0-or-later
// The Edit menu: Undo and Redo.
#include "app/QDomain.h"

#include "document/DualImage.h"

void TDomain::UndoCommandExecute(void*) {
    if (Document && Document->CanUndo()) Document->Undo();
}

void TDomain::RedoCommandExecute(void*) {
    if (Document && Document->CanRedo()) Document->Redo();
}
