// SPDX-License-Identifier: GPL-3.0-or-later
#include "presets/Styles.h"

#include "engine/QTypes.h"
#include "platform/formats/JpegCodec.h"
#include "platform/formats/PictureFormats.h"
#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Streams.h"
#include "platform/rtl/StringList.h"
#include "platform/system/ApplicationFolder.h"
#include "platform/system/FolderFiles.h"
#include "presets/EditorHooks.h"
#include "presets/PresetFiles.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

namespace {

constexpr uint8_t PreviewQuality = 25;

// The fields after the name, as the file holds them.
struct TStyleRecord {
    int32_t PolyStep = 0;
    int32_t Length = 0;
    float Gain = 0;
    float Width = 0;
    uint8_t StopOnBorders = 0;
    int32_t PreviewDensity = 0;
    int32_t SecondCount = 0;
    float PreviewScale = 0;
    uint8_t DefaultHeading = 0;
    uint8_t BorderLimit = 0;
};

template <typename T>
void ReadField(TStream& Stream, T& Value) {
    if (!Stream.TryReadValue(Value)) RaiseDamaged("style", "the file ends inside its header");
}

void CheckRange(const char* What, double Value, double Min, double Max) {
    // Written so that a NaN fails too.
    if (!(Value >= Min && Value <= Max)) {
        char text[160];
        std::snprintf(text, sizeof text, "the %s %.10g is outside %.10g..%.10g", What, Value, Min, Max);
        RaiseDamaged("style", text);
    }
}

void CheckRecord(const TStyleRecord& R) {
    using L = TStyleLimits;
    CheckRange("precision", R.PolyStep, L::MinPolyStep, L::MaxPolyStep);
    CheckRange("length", R.Length, L::MinLength, L::MaxLength);
    CheckRange("gain", R.Gain, 0.0, L::MaxGain);
    CheckRange("width", R.Width, 0.0, L::MaxWidth);
    if (R.PreviewDensity < 0)
        RaiseDamaged("style", "the preview density " + std::to_string(R.PreviewDensity) + " is below 0");
    CheckRange("preview's stroke count", StrokeCountFor(R.Length, R.PreviewDensity), 0, L::MaxPreviewStrokes);
}

} // namespace

TQStyle::TQStyle() : Preview(std::make_unique<TBitmap32>()) {}

TQStyle::~TQStyle() = default;

void TQStyle::Assign(const TQStyle& Source) {
    PolyStep = Source.PolyStep;
    Length = Source.Length;
    Gain = Source.Gain;
    Width = Source.Width;
    PreviewDensity = Source.PreviewDensity;
    SecondCount = Source.SecondCount;
    PreviewScale = Source.PreviewScale;
    DefaultHeading = Source.DefaultHeading;
    FileName = Source.FileName;
    StopOnBorders = Source.StopOnBorders;
    Name = Source.Name;
    BorderLimit = Source.BorderLimit;
}

void TQStyle::SetPrecision(int32_t Value) {
    PolyStep = Value;
    Dirty = true;
}

void TQStyle::SetLength(int32_t Value) {
    Length = Value;
    Dirty = true;
}

void TQStyle::SetGain(float Value) {
    Gain = Value;
    Dirty = true;
}

void TQStyle::SetWidth(float Value) {
    Width = Value;
    Dirty = true;
}

void TQStyle::SetName(const std::string& Value) {
    Name = Value;
    Dirty = true;
}

void TQStyle::SetBorderLimit(uint8_t Value) {
    BorderLimit = Value;
    Dirty = true;
}

void TQStyle::DeleteFile() {
    if (!FileName.empty()) RemoveFile(FileName);
}

// ---------------------------------------------------------------------------------------------
// Files

void TQStyle::LoadFromFile(const std::string& FileName) {
    LoadPresetFile(*this, FileName);
}

void TQStyle::LoadFromStream(TStream& Stream) {
    // Everything is read aside first, so a damaged file leaves the style as it was.
    int32_t nameLength = 0;
    ReadField(Stream, nameLength);
    std::string name;
    if (nameLength > 0) {
        if (nameLength > Stream.Size() - Stream.Position())
            RaiseDamaged("style",
                         "the name length " + std::to_string(nameLength) + " is more than the file holds");
        name.resize(static_cast<size_t>(nameLength));
        Stream.ReadBuffer(name.data(), name.size());
    }
    TStyleRecord r;
    ReadField(Stream, r.PolyStep);
    ReadField(Stream, r.Length);
    ReadField(Stream, r.Gain);
    ReadField(Stream, r.Width);
    ReadField(Stream, r.StopOnBorders);
    ReadField(Stream, r.PreviewDensity);
    ReadField(Stream, r.SecondCount);
    ReadField(Stream, r.PreviewScale);
    ReadField(Stream, r.DefaultHeading);
    ReadField(Stream, r.BorderLimit);
    CheckRecord(r);
    auto preview = std::make_unique<TBitmap32>();
    LoadJpegImage(*preview, Stream, TStyleLimits::MaxPreviewSide, TStyleLimits::MaxPreviewSide);

    Name = std::move(name);
    PolyStep = r.PolyStep;
    Length = r.Length;
    Gain = r.Gain;
    Width = r.Width;
    StopOnBorders = r.StopOnBorders != 0;
    PreviewDensity = r.PreviewDensity;
    SecondCount = r.SecondCount;
    PreviewScale = r.PreviewScale;
    DefaultHeading = r.DefaultHeading;
    BorderLimit = r.BorderLimit;
    Preview = std::move(preview);
    Dirty = false;
}

void TQStyle::SaveToFile(const std::string& FileName) {
    TAtomicFileStream stream(FileName);
    SaveToStream(stream);
    stream.Close();
    this->FileName = FileName;
}

void TQStyle::SaveToStream(TStream& Stream) {
    Stream.WriteValue(static_cast<uint32_t>(Name.size()));
    Stream.WriteBuffer(Name.data(), Name.size());
    Stream.WriteValue(PolyStep);
    Stream.WriteValue(Length);
    Stream.WriteValue(Gain);
    Stream.WriteValue(Width);
    Stream.WriteValue(static_cast<uint8_t>(StopOnBorders ? 1 : 0));
    Stream.WriteValue(PreviewDensity);
    Stream.WriteValue(SecondCount);
    // The scale of the preview as it stands: a preview drawn only below writes the old scale.
    Stream.WriteValue(PreviewScale);
    Stream.WriteValue(DefaultHeading);
    Stream.WriteValue(BorderLimit);
    SaveJpegImage(GetPreview(), Stream, PreviewQuality);
}

void TQStyle::Save() {
    // A new file's name is the style's only once the file is written.
    SaveToFile(FileName.empty() ? UniqueFileName(AppFolder(), "style", ".gst") : FileName);
}

// ---------------------------------------------------------------------------------------------
// TStyleManager

TStyleManager::TStyleManager() {
    LoadPresetFiles("*.gst", Styles);
}

TStyleManager::~TStyleManager() = default;

TQStyle& TStyleManager::GetQStyle(int32_t Index) const {
    if (Index < 0 || Index >= Count()) RaiseException(IndexErrorText(Index, "TStyleManager.GetQStyle"));
    return *Styles[static_cast<size_t>(Index)];
}

void TStyleManager::Delete() {
    if (ItemIndex < 0) return;
    // A file that stays would bring the style back at the next start: it stays listed then.
    GetQStyle(ItemIndex).DeleteFile();
    Styles.erase(Styles.begin() + ItemIndex);
    ItemIndex = Styles.empty() ? -1 : 0;
}

bool TStyleManager::Edit() {
    auto backup = std::make_unique<TQStyle>();
    TQStyle& style = GetQStyle(ItemIndex);
    backup->Assign(style);
    // Kept for an accepted edit that cannot be saved: the style, its preview included, then
    // goes back to what its file and the list show.
    backup->Preview->Assign(*style.Preview);
    backup->Dirty = style.Dirty;
    backup->UpdateLock = style.UpdateLock;
    // The editor saves on its Accept and stays open when that fails; an editor that gives OK
    // without having saved is saved here.
    bool saved = false;
    const TStyleAccept accept = [&](const std::string& StyleName) {
        style.SetName(StyleName);
        style.Save();
        saved = true;
    };
    const TStyleEditorResult result = RunStyleEditor(style, EditorCaption, accept);
    if (saved) return true;
    if (result.ModalResult != mrOk) {
        style.Assign(*backup);
        return false;
    }
    try {
        style.SetName(result.StyleName);
        style.Save();
    } catch (...) {
        style.Assign(*backup);
        std::swap(style.Preview, backup->Preview);
        style.Dirty = backup->Dirty;
        style.UpdateLock = backup->UpdateLock;
        throw;
    }
    return true;
}

bool TStyleManager::New() {
    const int32_t index = ItemIndex;
    Styles.push_back(std::make_unique<TQStyle>());
    ItemIndex = Count() - 1;
    try {
        return Edit();
    } catch (...) {
        // A new style that could not be saved goes again, and the style before it is current.
        Styles.pop_back();
        ItemIndex = index;
        throw;
    }
}

bool TStyleManager::NewIfAccepted() {
    const int32_t index = ItemIndex;
    if (New()) return true;
    Styles.pop_back();
    ItemIndex = index;
    return false;
}
