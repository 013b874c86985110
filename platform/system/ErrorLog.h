// SPDX-License-Identifier: GPL-3.0-or-later
// The error log "quor.log" in the current directory, and appending lines to a text file.
#pragma once

#include <exception>
#include <string>

// Appends Line and a CR LF line break to a text file, creating the file when it does not
// exist. An existing file that cannot be opened is tried a few times; a file that then still
// cannot be opened, created, written or closed raises an Exception.
void AppendLine(const std::string& FileName, const std::string& Line);

// The name of the error log, in the current directory.
inline constexpr const char* ErrorLogName = "quor.log";
// Appends the exception's message as one line to "quor.log".
void LogException(const std::exception& E);
