// SPDX-License-Identifier: GPL-3.0-or-later
// Reading pictures: the 1-megapixel photo as JPEG, and the same picture as PNG, LZW TIFF and
// our own 32-bit BMP, each decoded from memory through the reader the registry chooses.
#include "platform/formats/PictureFormats.h"
#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Streams.h"

#include <Magick++.h>
#include <benchmark/benchmark.h>

#include <filesystem>
#include <map>
#include <string>

namespace {

// The photo's bytes in each format, made once.
const std::map<std::string, std::string>& Files() {
    static const std::map<std::string, std::string> files = [] {
        std::map<std::string, std::string> f;
        const std::string photo = std::string(QUOR_TEST_DATA) + "/photo-a.jpg";
        if (!std::filesystem::exists(photo)) return f;
        RegisterPictureFormats();
        TMemoryStream jpeg;
        jpeg.LoadFromFile(photo);
        f["jpg"] =
            std::string(reinterpret_cast<const char*>(jpeg.Memory()), static_cast<size_t>(jpeg.Size()));
        TBitmap32 bitmap;
        bitmap.LoadFromFile(photo);
        TMemoryStream bmp;
        SavePicture(bitmap, bmp, "bmp", 200.0);
        f["bmp"] = std::string(reinterpret_cast<const char*>(bmp.Memory()), static_cast<size_t>(bmp.Size()));
        Magick::Image image(static_cast<size_t>(bitmap.Width()), static_cast<size_t>(bitmap.Height()), "BGRA",
                            MagickCore::CharPixel, bitmap.Bits());
        image.matte(false);
        for (const auto& [ext, magick] : {std::pair{"png", "PNG24"}, std::pair{"tif", "TIFF"}}) {
            Magick::Image copy = image;
            copy.magick(magick);
            if (std::string(ext) == "tif") copy.compressType(MagickCore::LZWCompression);
            Magick::Blob blob;
            copy.write(&blob);
            f[ext] = std::string(static_cast<const char*>(blob.data()), blob.length());
        }
        return f;
    }();
    return files;
}

void Read(benchmark::State& State, const std::string& Extension) {
    const auto& files = Files();
    const auto it = files.find(Extension);
    if (it == files.end()) {
        State.SkipWithError("the test photo cannot be read");
        return;
    }
    TMemoryStream stream;
    stream.WriteBuffer(it->second.data(), it->second.size());
    TBitmap32 bitmap;
    for (auto _ : State) {
        stream.SetPosition(0);
        LoadPicture(bitmap, stream, Extension);
        benchmark::DoNotOptimize(bitmap.Bits());
    }
    State.SetItemsProcessed(State.iterations() * bitmap.Width() * bitmap.Height());
    State.counters["file_KB"] = static_cast<double>(it->second.size()) / 1024.0;
}

} // namespace

static void BM_ReadJpeg(benchmark::State& State) {
    Read(State, "jpg");
}
static void BM_ReadPng(benchmark::State& State) {
    Read(State, "png");
}
static void BM_ReadLzwTiff(benchmark::State& State) {
    Read(State, "tif");
}
static void BM_ReadBmp32(benchmark::State& State) {
    Read(State, "bmp");
}
BENCHMARK(BM_ReadJpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadPng)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadLzwTiff)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadBmp32)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
