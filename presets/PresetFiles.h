// SPDX-License-Identifier: GPL-3.0-or-later
// Loading every preset file of one kind from the application folder.
#pragma once

#include "platform/rtl/Exception.h"
#include "platform/rtl/Streams.h"
#include "platform/rtl/StringList.h"
#include "platform/system/ApplicationFolder.h"
#include "platform/system/ErrorLog.h"
#include "platform/system/FolderFiles.h"

#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

// Reads Preset from the file FileName and remembers the name. A failure names the file in its
// message; the file is closed on every path.
template <typename T>
void LoadPresetFile(T& Preset, const std::string& FileName) {
    TFileStream stream(FileName, TFileMode::fmOpenRead);
    try {
        Preset.LoadFromStream(stream);
    } catch (const EAbort&) {
        throw;
    } catch (const Exception& e) {
        RaiseException(FileName + ": " + e.Message());
    }
    Preset.FileName = FileName;
}

// Appends the message of a preset file that failed to load to the error log. A log that cannot
// be written (a read-only current directory, a full disk) never stops the program: the message
// then goes to stderr.
inline void LogPresetFailure(const Exception& Failure) {
    try {
        LogException(Failure);
    } catch (const std::exception& logFailure) {
        std::fprintf(stderr, "quorvelle: %s\nquorvelle: %s\n", Failure.what(), logFailure.what());
    }
}

// Loads each file of the application folder that matches Mask into a new T, in the order the
// folder lists them. A file that fails to load is skipped and its message goes to the error log.
template <typename T>
void LoadPresetFiles(const std::string& Mask, std::vector<std::unique_ptr<T>>& Into) {
    TStringList files;
    GetFiles(AppFolder(), Mask, &files);
    for (const std::string& name : files) {
        auto preset = std::make_unique<T>();
        try {
            preset->LoadFromFile(name);
        } catch (const Exception& e) {
            LogPresetFailure(e);
            continue;
        }
        Into.push_back(std::move(preset));
    }
}
