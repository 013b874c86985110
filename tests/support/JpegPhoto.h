// SPDX-License-Identifier: GPL-3.0-or-later
// Loads a JPEG photo straight through libjpeg, for tests and benchmarks of the picture analysis,
// and the photos of tests/data that tests draw on.
#pragma once

#include "platform/raster/Bitmap32.h"

#include <cstdio>
#include <jpeglib.h>
#include <string>
#include <vector>

// False when the file is missing or not a JPEG libjpeg can read.
inline bool LoadJpegPhoto(const std::string& FileName, TBitmap32& Bitmap) {
    std::FILE* f = std::fopen(FileName.c_str(), "rb");
    if (f == nullptr) return false;
    std::vector<unsigned char> data;
    unsigned char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        data.insert(data.end(), buffer, buffer + n);
    std::fclose(f);
    if (data.size() < 4 || data[0] != 0xFF || data[1] != 0xD8) return false;

    jpeg_decompress_struct info{};
    jpeg_error_mgr err{};
    info.err = jpeg_std_error(&err);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data.data(), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    Bitmap.SetSize(static_cast<int>(info.output_width), static_cast<int>(info.output_height));
    std::vector<unsigned char> row(static_cast<size_t>(info.output_width) * 3);
    while (info.output_scanline < info.output_height) {
        const int y = static_cast<int>(info.output_scanline);
        unsigned char* p = row.data();
        jpeg_read_scanlines(&info, &p, 1);
        TColor32* out = Bitmap.ScanLine(y);
        for (unsigned x = 0; x < info.output_width; ++x)
            out[x] = Color32(row[3 * x], row[3 * x + 1], row[3 * x + 2]);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

// The path of a photo of tests/data.
inline std::string TestPhotoPath(const std::string& Name) {
    return std::string(QUOR_TEST_DATA) + "/" + Name;
}

// A photo of tests/data, or a W x H piece of it from (Left, Top); false when it cannot be read.
inline bool LoadTestPhoto(const std::string& Name, TBitmap32& Photo) {
    return LoadJpegPhoto(TestPhotoPath(Name), Photo);
}

inline bool LoadTestPhotoPiece(const std::string& Name, int Left, int Top, int W, int H, TBitmap32& Piece) {
    TBitmap32 photo;
    if (!LoadTestPhoto(Name, photo)) return false;
    Piece.SetSize(W, H);
    Piece.Draw(0, 0, TRect{Left, Top, Left + W, Top + H}, photo);
    return true;
}
