// SPDX-License-Identifier: GPL-3.0-or-later
// The per-user folder where the program keeps state between runs.
#pragma once

#include <string>
#include <vector>

// $XDG_STATE_HOME/quorvelle/ when XDG_STATE_HOME holds an absolute path, else
// $HOME/.local/state/quorvelle/ (the home of the user's account when HOME is not set).
// Created with its parents when missing. Empty when there is no such folder and none can be
// made (FallbackStateFolders then say where to go).
std::string UserStateFolder();

// Where per-user state goes when the state folder takes nothing (a read-only or full home), most
// wanted first: $XDG_RUNTIME_DIR/quorvelle/ when XDG_RUNTIME_DIR holds an absolute path, then
// the temporary folder's "quorvelle-<user id>/". Paths only: nothing is made. Never the current
// directory.
std::vector<std::string> FallbackStateFolders();

// Makes Folder, a full path ending in "/", with its parents when missing (mode 0700), never
// through another user's symbolic link; true when it is then a folder of this user, not a
// symbolic link, that not everyone may write.
bool MakePrivateFolder(const std::string& Folder);
