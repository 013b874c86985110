// SPDX-License-Identifier: GPL-3.0-or-later
// A list of pictures of one size, such as the pattern thumbnails, that tells the controls showing
// it when it changes. A control registers a change link with the list; the link's OnChange runs
// after every change, and the list drops its links when it is destroyed.
#pragma once

#include <QImage>

#include <functional>
#include <vector>

class TImageList;

class TChangeLink {
public:
    TChangeLink() = default;
    TChangeLink(const TChangeLink&) = delete;
    TChangeLink& operator=(const TChangeLink&) = delete;
    // Unregisters itself from its list.
    ~TChangeLink();

    // The list it is registered with; none once that list is gone.
    TImageList* Sender() const { return FSender; }
    std::function<void()> OnChange;

private:
    friend class TImageList;
    TImageList* FSender = nullptr;
};

class TImageList {
public:
    TImageList(int Width = 16, int Height = 16);
    TImageList(const TImageList&) = delete;
    TImageList& operator=(const TImageList&) = delete;
    ~TImageList();

    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    // A new size empties the list.
    void SetSize(int Width, int Height);
    int Count() const { return static_cast<int>(FImages.size()); }

    // Pictures are kept at the list's size: a picture of another size is copied into the
    // top-left corner of a transparent one. Add returns the new index.
    int Add(const QImage& Image);
    void Replace(int Index, const QImage& Image);
    void Delete(int Index);
    void Clear();
    // The picture at Index, Format_ARGB32; raises an Exception for an index outside the list.
    const QImage& GetBitmap(int Index) const;

    void RegisterChanges(TChangeLink* Link);
    void UnRegisterChanges(TChangeLink* Link);

private:
    void CheckIndex(const char* Name, int Index) const;
    QImage Fit(const QImage& Image) const;
    void Change();

    int FWidth;
    int FHeight;
    std::vector<QImage> FImages;
    std::vector<TChangeLink*> FLinks;
};
