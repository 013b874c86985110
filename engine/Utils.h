// SPDX-License-Identifier: GPL-3.0-or-later
// File-side routines shared by the presets, the document and the shell: the application
// folders, file lists by mask, unique new file names, JPEG pictures in streams, the error log,
// the texts of index errors and byte sizes, and the stream form of curve records.
#pragma once

#include "engine/QTypes.h"

#include <cstdint>
#include <exception>
#include <span>
#include <string>

class TBitmap32;
class TStream;
class TStringList;

// The folder of the running executable, ending in "/".
std::string AppFolder();
// AppFolder() + "tmp", without a trailing "/".
std::string AppTempFolder();

// Clears List, then adds Folder + name for every entry (files and folders alike, "." and ".."
// excepted) that matches Folder + Mask. Folder is expected to end in "/"; it is not added.
// Masks know "*" and "?", ignore case, and "name.*" also matches "name" without an extension.
// Entries come sorted by name. A nil List raises "GetFiles: FileList must be created".
void GetFiles(const std::string& Folder, const std::string& Mask, TStringList* List);

// Deletes every file (not folder) that matches Mask in Folder; subfolders are not entered and
// a failed delete, an empty or a missing folder report nothing.
void DeleteFiles(const std::string& Folder, const std::string& Mask);

// Folder + Base + counter + Ext, the first such path that does not exist yet. An empty Folder
// means AppFolder(); a missing Folder is created (one level), else "Cannot Create " + Folder is
// raised; Ext gets a leading "." when it lacks one. The counter is PadNumber(i, 4) for
// i = 0, 1, 2 ... (widening past 9999), so the names run style0000, style1000, style2000 ...
std::string UniqueFileName(const std::string& Folder, const std::string& Base, const std::string& Ext);

// The decimal text of N with "0" appended (not prepended) up to Width characters:
// PadNumber(12, 4) = "1200"; a longer text stays as it is.
std::string PadNumber(int N, int Width);

// Decodes a JPEG from the stream's position to its end into Dest (opaque pixels); a damaged
// picture raises an Exception and leaves Dest as it was. A picture wider than MaxWidth or taller
// than MaxHeight is refused as damaged before it is decoded, and so is data that ends early.
void LoadJpegImage(TBitmap32& Dest, TStream& Stream, int32_t MaxWidth, int32_t MaxHeight);
// Encodes Source as a JPEG of the given quality (1..100) into the stream at its position.
void SaveJpegImage(const TBitmap32& Source, TStream& Stream, uint8_t Quality);

// Appends Line and a CR LF line break to a text file, creating the file when it does not
// exist. An existing file that cannot be opened is tried a few times; a file that then still
// cannot be opened, created, written or closed raises an Exception.
void AppendLine(const std::string& FileName, const std::string& Line);

// The name of the error log, in the current directory.
inline constexpr const char* ErrorLogName = "quor.log";
// Appends the exception's message as one line to "quor.log".
void LogException(const std::exception& E);

// "Where: Index out of bounds(Index)", the message of the list getters' index errors.
std::string IndexErrorText(int Index, const std::string& Where);

// A byte count as text: "1023 bytes", "1.5 Kb", "1 Mb", "2.25 Gb" (up to five significant
// digits, the user's decimal separator).
std::string FormatByteSize(int32_t Bytes);

// Curve records: 32 bytes each (x then y of start, control 1, control 2, end, signed 32-bit,
// little-endian), one stream write or read per record.
void WriteCurves(TStream& Stream, std::span<const TBezierCurve> Curves);
// Reads one record into each element of Curves, in order. Data that ends before the last
// element is filled raises an Exception.
void ReadCurves(TStream& Stream, std::span<TBezierCurve> Curves);

// The start-up check of this unit: a machine without a high-resolution counter stops with
// "Can not query performance frequency".
void InitializeUtils();
