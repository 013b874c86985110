// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/ImageList.h"

#include "platform/rtl/Exception.h"
#include "platform/rtl/Format.h"

#include <QPainter>

#include <algorithm>

TChangeLink::~TChangeLink() {
    if (FSender) FSender->UnRegisterChanges(this);
}

TImageList::TImageList(int Width, int Height) : FWidth(Width), FHeight(Height) {}

TImageList::~TImageList() {
    for (TChangeLink* link : FLinks)
        link->FSender = nullptr;
}

void TImageList::SetSize(int Width, int Height) {
    if (Width == FWidth && Height == FHeight) return;
    FWidth = Width;
    FHeight = Height;
    FImages.clear();
    Change();
}

QImage TImageList::Fit(const QImage& Image) const {
    QImage converted = Image.convertToFormat(QImage::Format_ARGB32);
    if (converted.width() == FWidth && converted.height() == FHeight) return converted;
    QImage fitted(FWidth, FHeight, QImage::Format_ARGB32);
    fitted.fill(Qt::transparent);
    QPainter painter(&fitted);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(0, 0, converted);
    return fitted;
}

int TImageList::Add(const QImage& Image) {
    FImages.push_back(Fit(Image));
    Change();
    return Count() - 1;
}

void TImageList::Replace(int Index, const QImage& Image) {
    CheckIndex("TImageList.Replace", Index);
    FImages[static_cast<size_t>(Index)] = Fit(Image);
    Change();
}

void TImageList::Delete(int Index) {
    CheckIndex("TImageList.Delete", Index);
    FImages.erase(FImages.begin() + Index);
    Change();
}

void TImageList::Clear() {
    FImages.clear();
    Change();
}

const QImage& TImageList::GetBitmap(int Index) const {
    CheckIndex("TImageList.GetBitmap", Index);
    return FImages[static_cast<size_t>(Index)];
}

void TImageList::RegisterChanges(TChangeLink* Link) {
    if (!Link || Link->FSender == this) return;
    if (Link->FSender) Link->FSender->UnRegisterChanges(Link);
    Link->FSender = this;
    FLinks.push_back(Link);
}

void TImageList::UnRegisterChanges(TChangeLink* Link) {
    const auto it = std::find(FLinks.begin(), FLinks.end(), Link);
    if (it == FLinks.end()) return;
    FLinks.erase(it);
    Link->FSender = nullptr;
}

void TImageList::CheckIndex(const char* Name, int Index) const {
    if (Index < 0 || Index >= Count()) RaiseException(Format("%s: Index out of bounds(%d)", Name, Index));
}

void TImageList::Change() {
    // A handler may unregister links; walk a copy.
    const std::vector<TChangeLink*> links = FLinks;
    for (TChangeLink* link : links)
        if (link->FSender == this && link->OnChange) link->OnChange();
}
