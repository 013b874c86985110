// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/ImageListViewer.h"

#include <QTest>
#include <gtest/gtest.h>

namespace {
QImage Solid(const QColor& Color, int Size = 40) {
    QImage image(Size, Size, QImage::Format_ARGB32);
    image.fill(Color);
    return image;
}

void Fill(TImageList& List, int Count) {
    for (int i = 0; i < Count; ++i)
        List.Add(Solid(QColor(10 * i, 100, 200)));
}

struct Click {
    int Index;
    int X;
    int Y;
};
} // namespace

TEST(ImageListViewer, SevenThumbnailsAtWidth168) {
    TImageList list(40, 40);
    Fill(list, 7);
    TImageListViewer grid;
    grid.resize(168, 300);
    grid.SetColor(RGBToColor(222, 229, 239));
    grid.SetImageList(&list); // laid out before it is shown
    EXPECT_EQ(grid.Cols(), 3);
    grid.show();
    ASSERT_EQ(grid.ClientWidth(), 168);
    EXPECT_EQ(grid.ThumbWidth(), 40);
    EXPECT_EQ(grid.Cols(), 3);
    EXPECT_EQ(grid.Rows(), 3);
    const QImage& picture = grid.Picture();
    ASSERT_EQ(picture.size(), QSize(128, 128));
    // Thumbnail 6 stands at (2, 86) with its black outline, its inside shows the picture.
    EXPECT_EQ(picture.pixel(2, 86), qRgb(0, 0, 0));
    EXPECT_EQ(picture.pixel(41, 125), qRgb(0, 0, 0));
    EXPECT_EQ(picture.pixel(3, 87), qRgb(60, 100, 200));
    // The selection frame of thumbnail 0 lies one pixel outside its outline; background beyond.
    EXPECT_EQ(picture.pixel(1, 1), qRgb(0, 0, 255));
    EXPECT_EQ(picture.pixel(42, 42), qRgb(0, 0, 255));
    EXPECT_EQ(picture.pixel(43, 43), qRgb(222, 229, 239));
    EXPECT_EQ(picture.pixel(127, 127), qRgb(222, 229, 239));
}

TEST(ImageListViewer, ColumnsFollowTheWidthAndTheCount) {
    TImageList list(40, 40);
    Fill(list, 2);
    TImageListViewer grid;
    grid.resize(400, 100);
    grid.show();
    grid.SetImageList(&list);
    EXPECT_EQ(grid.Cols(), 2);
    EXPECT_EQ(grid.Picture().width(), 86);

    Fill(list, 5);
    grid.resize(30, 100);
    EXPECT_EQ(grid.Cols(), 1);
    EXPECT_EQ(grid.Rows(), 7);
    EXPECT_EQ(grid.Picture().height(), 7 * 42 + 2);
}

TEST(ImageListViewer, PressesPickAndReleasesReport) {
    TImageList list(40, 40);
    Fill(list, 7);
    TImageListViewer grid;
    grid.resize(168, 300);
    grid.SetImageList(&list);
    grid.show();
    std::vector<Click> downs, ups;
    grid.OnMouseDownThumb = [&](int Index, int X, int Y) { downs.push_back({Index, X, Y}); };
    grid.OnMouseUpThumb = [&](int Index, int X, int Y) { ups.push_back({Index, X, Y}); };

    QTest::mousePress(grid.Image(), Qt::RightButton, {}, QPoint(50, 60));
    EXPECT_EQ(grid.Selected(), 4);
    ASSERT_EQ(downs.size(), 1u);
    EXPECT_EQ(downs[0].Index, 4);
    EXPECT_EQ(downs[0].X, 50);
    EXPECT_EQ(grid.Picture().pixel(43, 43), qRgb(0, 0, 255)); // redrawn with the new frame

    // The column just past thumbnail 0 still counts for it.
    QTest::mousePress(grid.Image(), Qt::LeftButton, {}, QPoint(42, 10));
    EXPECT_EQ(grid.Selected(), 0);

    // A press in a margin keeps the selection and still reports it.
    QTest::mousePress(grid.Image(), Qt::LeftButton, {}, QPoint(50, 60));
    QTest::mousePress(grid.Image(), Qt::LeftButton, {}, QPoint(43, 10));
    EXPECT_EQ(grid.Selected(), 4);
    EXPECT_EQ(downs.back().Index, 4);

    QTest::mouseRelease(grid.Image(), Qt::LeftButton, {}, QPoint(3, 3));
    ASSERT_EQ(ups.size(), 1u);
    EXPECT_EQ(ups[0].Index, 4); // the release selects nothing by itself
}

TEST(ImageListViewer, FollowsItsList) {
    TImageList list(40, 40);
    Fill(list, 3);
    TImageListViewer grid;
    grid.resize(300, 100);
    grid.SetImageList(&list);
    grid.show();
    QTest::mousePress(grid.Image(), Qt::LeftButton, {}, QPoint(50, 10));
    ASSERT_EQ(grid.Selected(), 1);
    list.Delete(2);
    EXPECT_EQ(grid.Selected(), 0);
    EXPECT_EQ(grid.Picture().width(), 86);

    // Colour changes wait for the next redraw.
    grid.SetColor(clRed);
    EXPECT_NE(grid.Picture().pixel(85, 20), qRgb(255, 0, 0));
    grid.Redraw();
    EXPECT_EQ(grid.Picture().pixel(85, 20), qRgb(255, 0, 0));

    // An emptied list leaves the last picture.
    list.Clear();
    EXPECT_EQ(grid.Picture().width(), 86);
}

TEST(ImageListViewer, SurvivesItsListAndItsSizes) {
    auto list = std::make_unique<TImageList>(40, 40);
    Fill(*list, 3);
    TImageListViewer grid;
    grid.resize(300, 100);
    grid.SetImageList(list.get());
    list.reset();
    EXPECT_EQ(grid.ImageList(), nullptr);
    grid.resize(200, 100); // a redraw with no list keeps the picture
    EXPECT_EQ(grid.Picture().width(), 128);

    TImageList other(40, 40);
    Fill(other, 2);
    grid.SetImageList(&other);
    grid.SetMargin(0);
    grid.SetThumbWidth(0); // no room per thumbnail: nothing is laid out
    EXPECT_EQ(grid.Picture().width(), 80);
}
