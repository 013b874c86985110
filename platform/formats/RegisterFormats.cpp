// The formats the program reads, registered in the order the open dialog lists them.
#include "platform/formats/JpegCodec.h"
#include "platform/formats/PictureFormats.h"
#include "platform/raster/Bitmap32.h"
#include "platform/raster/BmpCodec.h"

void RegisterPictureFormats() {
    for (const char* e : {"bmp", "dib"})
        RegisterPictureFormat(e, "Windows bitmap", [](TBitmap32& B, TStream& S) { ReadBmp(B, S); });
    for (const char* e : {"jpg", "jpeg", "jpe", "jfif"})
        RegisterPictureFormat(e, "JPEG picture", [](TBitmap32& B, TStream& S) { ReadJpeg(B, S); });

    SetPictureFileReader(
        [](TBitmap32& Dest, const std::string& FileName) { LoadPictureFile(Dest, FileName); });
}
