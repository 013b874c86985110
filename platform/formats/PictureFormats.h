// SPDX-License-Identifier: GPL-3.0-or-later
// The picture-format registry: one table of the picture formats the program knows, each with
// the extensions of its files, its reader and its writer, found by the file name's extension
// alone. Opening a picture asks the readers (the open dialog offers every extension read);
// saving one asks the writers (the save dialog offers the usual extension of each). No command
// looks at an extension itself.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class TBitmap32;
class TStream;

// Reads a whole picture from the stream's position into Dest, top row first, alpha $FF where
// the file has none. Raises an Exception whose message says what is wrong with the file.
using TPictureReader = std::function<void(TBitmap32& Dest, TStream& Stream)>;
// Writes Picture at the stream's position in one format, alpha dropped where the format has
// none. Resolution, in dots per inch, is stored by the formats that keep one (TIFF). Raises an
// Exception when the picture cannot be written; the stream's own failures pass through.
using TPictureWriter = std::function<void(const TBitmap32& Picture, TStream& Stream, double Resolution)>;

// One picture format. Either Reader or Writer may be empty: PNG is read but not written.
struct TPictureFormat {
    std::string Name;                    // as lists of formats and messages name it: "JPEG"
    std::string Description;             // as the open dialog names it: "JPEG picture"
    std::vector<std::string> Extensions; // lower case, without the point, the usual one first
    // Further extensions whose files are read as this format but never written ("jpe" for
    // JPEG); the open dialog lists them after Extensions.
    std::vector<std::string> ReadOnlyExtensions;
    TPictureReader Reader;
    TPictureWriter Writer;
};

// Adds a format, or replaces the one of that Name. The extensions may be given in any case and
// with or without their point; an extension of another format is refused.
void RegisterPictureFormat(TPictureFormat Format);
// The format that has Extension (any case, with or without its point) among its own.
std::optional<TPictureFormat> FindPictureFormat(const std::string& Extension);
// Every registered format, in the order of registration: the order of both dialogs.
std::vector<TPictureFormat> PictureFormats();

// The extension of a file name in lower case without its point ("jpg" for "a/Photo.JPG"), or
// an empty string when the name has none.
std::string PictureFileExtension(const std::string& FileName);

// Reads a picture file with the reader registered for its extension. What comes back is what
// the user sees: upright, and laid over white paper where the picture is transparent (every
// pixel has alpha $FF). A picture whose alpha is zero everywhere is opaque: the writer left
// that byte unset.
void LoadPictureFile(TBitmap32& Dest, const std::string& FileName);
// The same for bytes in a stream, read with the reader of Extension.
void LoadPicture(TBitmap32& Dest, TStream& Stream, const std::string& Extension);

// Writes Picture to FileName with the writer that takes the name's extension, safely: aside
// first, then in place of a file of that name (TAtomicFileStream), so a failure leaves the old
// file as it was and no new one. An extension that no writer takes is refused before anything
// is written: "The drawing can be saved as JPEG (.jpg, .jpeg), BMP (.bmp) or TIFF (.tif,
// .tiff), not as "<the name's extension>"", the list made from the writers registered.
void SavePictureFile(const TBitmap32& Picture, const std::string& FileName, double Resolution);
// The same into a stream, with the writer of Extension, at the stream's position (a TIFF at its
// start: TIFF offsets count from there).
void SavePicture(const TBitmap32& Picture, TStream& Stream, const std::string& Extension, double Resolution);

// Registers every format the program reads and writes, and makes LoadPictureFile the file
// reader of TBitmap32::LoadFromFile. Called at start-up (and by tests); calling it again does
// no harm.
void RegisterPictureFormats();

// For the readers: raises the too-large message for a picture the program cannot hold, and a
// damaged-file message for a size of zero or less. Call it before allocating anything.
void CheckPictureSize(int64_t Width, int64_t Height, const std::string& Format);
// The largest picture, in pixels, that CheckPictureSize lets through: MaxBitmapPixels unless
// lowered. The fuzz targets lower it so that each of their runs stays cheap.
void SetPictureReadLimit(int64_t Pixels);
int64_t PictureReadLimit();

// The bytes from the stream's position to its end.
std::vector<unsigned char> ReadToEnd(TStream& Stream);

// Raises "Damaged <Format> file: <Why>".
[[noreturn]] void RaiseDamaged(const std::string& Format, const std::string& Why);
