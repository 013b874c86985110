// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/formats/UMultiPageTiff.h"
#include "platform/formats/PictureFormats.h"
#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Streams.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <memory>
#include <vector>

namespace {

std::string TempTiff(const std::string& Name) {
    return (std::filesystem::temp_directory_path() / ("quor-tiff-" + Name + ".tif")).string();
}

// The writer's bytes in a file, for libtiff to read back.
void SaveTiff(const TBitmap32& Picture, const std::string& Path, double Resolution) {
    TFileStream file(Path, TFileMode::fmCreate);
    TMultiPageTiff::SaveBitmap(Picture, file, Resolution);
    file.Close();
}

struct TTiffCloser {
    void operator()(TIFF* T) const { TIFFClose(T); }
};

TBitmap32 TwoByOne() {
    TBitmap32 b(2, 1);
    b.SetPixel(0, 0, 0xFF102030);
    b.SetPixel(1, 0, 0xFF405060);
    return b;
}

} // namespace

TEST(TTiffBuff, StripBytesAreRgbRowsTopDownWithoutAlpha) {
    const TTiffBuff two(TwoByOne());
    EXPECT_EQ(two.Width(), 2);
    EXPECT_EQ(two.Height(), 1);
    ASSERT_EQ(two.Size(), 6);
    EXPECT_EQ(std::vector<unsigned char>(two.Buffer(), two.Buffer() + 6),
              (std::vector<unsigned char>{0x10, 0x20, 0x30, 0x40, 0x50, 0x60}));

    TBitmap32 b(1, 2);
    b.SetPixel(0, 0, 0x00AABBCC); // alpha is dropped, not applied
    b.SetPixel(0, 1, 0x80010203);
    const TTiffBuff rows(b);
    EXPECT_EQ(std::vector<unsigned char>(rows.Buffer(), rows.Buffer() + 6),
              (std::vector<unsigned char>{0xAA, 0xBB, 0xCC, 0x01, 0x02, 0x03}));
}

TEST(TMultiPageTiff, WritesOneLzwRgbStripWithTheResolutionTags) {
    TBitmap32 picture(7, 5);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            picture.SetPixel(x, y, Color32(static_cast<uint8_t>(30 * x), static_cast<uint8_t>(50 * y), 99));
    const std::string path = TempTiff("tags");
    SaveTiff(picture, path, 200.0);

    std::unique_ptr<TIFF, TTiffCloser> tif(TIFFOpen(path.c_str(), "r"));
    ASSERT_TRUE(tif);
    uint32_t width = 0, height = 0, rowsPerStrip = 0;
    uint16_t bits = 0, samples = 0, compression = 0, photometric = 0, fillOrder = 0, planar = 0, unit = 0;
    float xres = 0, yres = 0;
    EXPECT_TRUE(TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width));
    EXPECT_TRUE(TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height));
    EXPECT_TRUE(TIFFGetField(tif.get(), TIFFTAG_BITSPERSAMPLE, &bits));
    EXPECT_TRUE(TIFFGetField(tif.get(), TIFFTAG_SAMPLESPERPIXEL, &samples));
    EXPECT_TRUE(TIFFGetField(tif.get(), TIFFTAG_ROWSPERSTRIP, &rowsPerStrip));
    EXPECT_TRUE(TIFFGetField(tif.get(), TIFFTAG_COMPRESSION, &compression));
    EXPECT_TRUE(TIFFGetField(tif.get(), TIFFTAG_PHOTOMETRIC, &photometric));
    EXPECT_TRUE(TIFFGetField(tif.get(), TIFFTAG_FILLORDER, &fillOrder));
    EXPECT_TRUE(TIFFGetField(tif.get(), TIFFTAG_PLANARCONFIG, &planar));
    EXPECT_TRUE(TIFFGetField(tif.get(), TIFFTAG_XRESOLUTION, &xres));
    EXPECT_TRUE(TIFFGetField(tif.get(), TIFFTAG_YRESOLUTION, &yres));
    EXPECT_TRUE(TIFFGetField(tif.get(), TIFFTAG_RESOLUTIONUNIT, &unit));
    EXPECT_EQ(width, 7u);
    EXPECT_EQ(height, 5u);
    EXPECT_EQ(bits, 8);
    EXPECT_EQ(samples, 3);
    EXPECT_EQ(rowsPerStrip, 5u);
    EXPECT_EQ(compression, COMPRESSION_LZW);
    EXPECT_EQ(photometric, PHOTOMETRIC_RGB);
    EXPECT_EQ(fillOrder, FILLORDER_LSB2MSB);
    EXPECT_EQ(planar, PLANARCONFIG_CONTIG);
    EXPECT_EQ(xres, 200.0f);
    EXPECT_EQ(yres, 200.0f);
    EXPECT_EQ(unit, RESUNIT_INCH);
    EXPECT_EQ(TIFFNumberOfStrips(tif.get()), 1u);
    EXPECT_EQ(TIFFNumberOfDirectories(tif.get()), 1);

    // The strip decodes to exactly the bytes of the buffer.
    const TTiffBuff expected(picture);
    std::vector<unsigned char> strip(static_cast<size_t>(expected.Size()));
    ASSERT_EQ(TIFFReadEncodedStrip(tif.get(), 0, strip.data(), static_cast<tmsize_t>(strip.size())),
              expected.Size());
    EXPECT_EQ(strip, std::vector<unsigned char>(expected.Buffer(), expected.Buffer() + expected.Size()));
    tif.reset();

    // Another resolution, as the render dialog gives.
    SaveTiff(picture, path, 300.0);
    tif.reset(TIFFOpen(path.c_str(), "r"));
    ASSERT_TRUE(tif);
    EXPECT_TRUE(TIFFGetField(tif.get(), TIFFTAG_XRESOLUTION, &xres));
    EXPECT_EQ(xres, 300.0f);
    tif.reset();
    std::filesystem::remove(path);
}

TEST(TMultiPageTiff, OwnOutputOpensAgainThroughTheRegistry) {
    RegisterPictureFormats();
    TBitmap32 picture(33, 17);
    for (int y = 0; y < 17; ++y)
        for (int x = 0; x < 33; ++x)
            picture.SetPixel(x, y,
                             Color32(static_cast<uint8_t>(7 * x), static_cast<uint8_t>(13 * y),
                                     static_cast<uint8_t>(x * y), static_cast<uint8_t>(x)));
    const std::string path = TempTiff("reopen");
    SavePictureFile(picture, path, 200.0);
    TBitmap32 back;
    back.LoadFromFile(path);
    ASSERT_EQ(back.Width(), 33);
    ASSERT_EQ(back.Height(), 17);
    for (int y = 0; y < 17; ++y)
        for (int x = 0; x < 33; ++x)
            ASSERT_EQ(back.Pixel(x, y), picture.Pixel(x, y) | 0xFF000000u) << x << ", " << y;
    std::filesystem::remove(path);
}

TEST(TMultiPageTiff, FailedWriteIsReportedNotTakenForSuccess) {
    RegisterPictureFormats();
    // The file can be created, but no file of this process may grow beyond 4 KB for a while:
    // the picture's strip cannot be written.
    TBitmap32 picture(256, 256);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
            picture.SetPixel(x, y, 0xFF000000u | static_cast<uint32_t>((x * 2654435761u) ^ (y * 40503u)));
    const std::string path = TempTiff("full");
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string message;
    try {
        SavePictureFile(picture, path, 200.0);
    } catch (const Exception& e) {
        message = e.Message();
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    std::filesystem::remove(path);
    EXPECT_EQ(message.rfind("Could not write " + path, 0), 0u) << message;
}
