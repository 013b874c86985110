// SPDX-License-Identifier: GPL-3.0-or-later
// The per-user folder where the program keeps state between runs.
#pragma once

#include <string>

// $XDG_STATE_HOME/quorvelle/ when XDG_STATE_HOME holds an absolute path, else
// $HOME/.local/state/quorvelle/ (the home of the user's account when HOME is not set).
// Created with its parents when missing. Empty when there is no such folder and none can be
// made, so that a file name put after it lands in the current directory.
std::string UserStateFolder();
