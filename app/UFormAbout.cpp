// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/UFormAbout.h"

#include "app/UdmGlobalConfig.h"
#include "controls/InfoLabel.h"
#include "platform/qt/Bitmap32Image.h"
#include "platform/qt/InputEvents.h"
#include "platform/raster/Bitmap32.h"
#include "platform/raster/BmpCodec.h"
#include "platform/rtl/Exception.h"

#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>

#include <cmath>
#include <fstream>
#include <numbers>
#include <sstream>
#include <string>
#include <sys/sysinfo.h>

namespace {
constexpr int FormWidth = 511;
constexpr int FormHeight = 350;
constexpr int FrameSize = 64;
constexpr int FrameCount = 8;

// The embedded splash picture; none while the embedded-pictures module does not exist (tests of a
// lone box) or when its picture cannot be read.
QImage SplashPicture() {
    if (dmGlobalConfig == nullptr) return QImage();
    dmGlobalConfig->splashImage.SetPosition(0);
    TBitmap32 bitmap;
    try {
        ReadBmp(bitmap, dmGlobalConfig->splashImage);
    } catch (const Exception&) {
        return QImage();
    }
    return Bitmap32AsQImage(std::as_const(bitmap)).copy();
}

// One line of /proc/meminfo ("MemAvailable:  123456 kB") in bytes; false when it is missing.
bool MemInfo(const char* Key, uint64_t& Bytes) {
    std::ifstream file("/proc/meminfo");
    std::string line;
    const std::string key = std::string(Key) + ":";
    while (std::getline(file, line)) {
        if (line.rfind(key, 0) != 0) continue;
        std::istringstream fields(line.substr(key.size()));
        uint64_t kilobytes = 0;
        if (!(fields >> kilobytes)) return false;
        Bytes = kilobytes * 1024;
        return true;
    }
    return false;
}

// The animation: a pen drawing a wave on a sheet, one eighth of the wave further in each picture.
QImage AnimationFrame(int K) {
    QImage image(FrameSize, FrameSize, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(150, 150, 150), 1));
    painter.setBrush(QColor(255, 253, 245));
    painter.drawRoundedRect(QRectF(2.5, 6.5, 58, 52), 3, 3);

    auto wave = [](double T) { return QPointF(8 + 48 * T, 36 - 14 * std::sin(T * 2 * std::numbers::pi)); };
    const double reach = (K + 1) / static_cast<double>(FrameCount);
    QPainterPath ink(wave(0));
    for (int i = 1; i <= 40; ++i)
        ink.lineTo(wave(reach * i / 40.0));
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(30, 30, 40), 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(ink);

    // The pen, leaning to the right with its nib on the end of the line.
    const QPointF tip = wave(reach);
    painter.translate(tip);
    painter.rotate(-35);
    painter.setPen(QPen(QColor(40, 40, 60), 1));
    painter.setBrush(QColor(90, 70, 160));
    painter.drawRect(QRectF(-3, -34, 6, 24));
    painter.setBrush(QColor(200, 170, 60));
    painter.drawPolygon(QPolygonF({QPointF(-3, -10), QPointF(3, -10), QPointF(0, 0)}));
    return image;
}
} // namespace

uint64_t TotalPhysicalMemory() {
    uint64_t bytes = 0;
    if (MemInfo("MemTotal", bytes)) return bytes;
    struct sysinfo info {};
    return sysinfo(&info) == 0 ? static_cast<uint64_t>(info.totalram) * info.mem_unit : 0;
}

uint64_t FreePhysicalMemory() {
    // What programs can still have: free memory and the caches the system gives back.
    uint64_t bytes = 0;
    if (MemInfo("MemAvailable", bytes)) return bytes;
    struct sysinfo info {};
    return sysinfo(&info) == 0 ? static_cast<uint64_t>(info.freeram) * info.mem_unit : 0;
}

// ---------------------------------------------------------------------------------------------
// TAnimator

TAnimator::TAnimator(QWidget* Parent) : QWidget(Parent) {
    FTimer.setInterval(120);
    connect(&FTimer, &QTimer::timeout, this, [this] {
        if (FList == nullptr || FList->Count() == 0) return;
        FFrame = (FFrame + 1) % FList->Count();
        update();
    });
}

void TAnimator::SetImageList(TImageList* List) {
    FList = List;
    FFrame = 0;
    update();
}

void TAnimator::SetActive(bool Value) {
    if (Value)
        FTimer.start();
    else
        FTimer.stop();
}

void TAnimator::paintEvent(QPaintEvent* /*Event*/) {
    if (FList == nullptr || FFrame >= FList->Count()) return;
    QPainter painter(this);
    painter.drawImage(0, 0, FList->GetBitmap(FFrame));
}

// ---------------------------------------------------------------------------------------------
// TScrollingText

TScrollingText::TScrollingText(QWidget* Parent) : QWidget(Parent) {
    FTimer.setInterval(40);
    connect(&FTimer, &QTimer::timeout, this, [this] {
        // The text enters at the bottom and leaves at the top, then starts again.
        FOffset = (FOffset + 1) % (height() + TextHeight() + 1);
        update();
    });
}

void TScrollingText::SetLines(const QStringList& Lines) {
    FLines = Lines;
    FOffset = 0;
    update();
}

void TScrollingText::SetActive(bool Value) {
    if (Value)
        FTimer.start();
    else
        FTimer.stop();
}

int TScrollingText::TextHeight() const {
    return static_cast<int>(FLines.size()) * fontMetrics().lineSpacing();
}

void TScrollingText::paintEvent(QPaintEvent* /*Event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(255, 253, 245));
    painter.setPen(QColor(40, 40, 70));
    const int line = fontMetrics().lineSpacing();
    int y = height() - FOffset;
    for (const QString& text : FLines) {
        painter.drawText(QRect(0, y, width(), line), Qt::AlignHCenter | Qt::AlignVCenter, text);
        y += line;
    }
    painter.setPen(QColor(150, 150, 150));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

// ---------------------------------------------------------------------------------------------
// TFormAbout

TFormAbout::TFormAbout(QWidget* Parent) : QDialog(Parent) {
    setObjectName(QStringLiteral("FormAbout"));
    setWindowTitle(QStringLiteral("About"));
    setFixedSize(FormWidth, FormHeight);

    auto* picturePanel = new QFrame(this);
    picturePanel->setFrameShape(QFrame::Panel);
    picturePanel->setFrameShadow(QFrame::Sunken);
    picturePanel->setLineWidth(2);
    picturePanel->setGeometry(8, 8, 211 + 4, 316 + 4);
    SplashImage = new QLabel(picturePanel);
    SplashImage->setGeometry(2, 2, 211, 316);

    constexpr int x = 232;
    constexpr int w = FormWidth - x - 10;
    lblProductName = new TInfoLabel(this);
    lblProductName->SetKind(kiProductName);
    QFont big = lblProductName->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    lblProductName->setFont(big);
    lblProductName->setGeometry(x, 10, w, 30);

    auto* versionCaption = new QLabel(QStringLiteral("Version:"), this);
    versionCaption->setGeometry(x, 46, 60, 20);
    lblVersion = new TInfoLabel(this);
    lblVersion->SetKind(kiProductVersion);
    lblVersion->setGeometry(x + 64, 46, w - 64, 20);
    auto* buildCaption = new QLabel(QStringLiteral("Build:"), this);
    buildCaption->setGeometry(x, 68, 60, 20);
    lblBuild = new TInfoLabel(this);
    lblBuild->SetKind(kiFileVersion);
    lblBuild->setGeometry(x + 64, 68, w - 64, 20);
    lblComments = new TInfoLabel(this);
    lblComments->SetKind(kiComments);
    lblComments->setWordWrap(true);
    lblComments->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblComments->setGeometry(x, 94, w, 40);

    lblTotal = new QLabel(this);
    lblTotal->setGeometry(x, 140, w, 20);
    lblFree = new QLabel(this);
    lblFree->setGeometry(x, 162, w, 20);

    anim = new TAnimator(this);
    anim->setGeometry(x, 196, FrameSize, FrameSize);
    Credits = new TScrollingText(this);
    Credits->setGeometry(x + FrameSize + 10, 192, w - FrameSize - 10, 90);
    Credits->SetLines({QStringLiteral("Quorvelle PS"), QStringLiteral("turns photographs"),
                       QStringLiteral("into pen-and-ink drawings"), QString(), QStringLiteral("Built with"),
                       QStringLiteral("Qt 6, libjpeg-turbo, libtiff,"),
                       QStringLiteral("libpng, zlib and ImageMagick"), QString(),
                       QStringLiteral("Style sample photo after"), QStringLiteral("YellowFlower.jpg"),
                       QStringLiteral("\u00A9 2008 Charles Barbin, GPL-2+")});

    btAccept = new QPushButton(QStringLiteral("OK"), this);
    btAccept->setGeometry(FormWidth - 10 - 90, FormHeight - 10 - 28, 90, 28);
    btAccept->setDefault(true);
    connect(btAccept, &QPushButton::clicked, this, &QDialog::accept);

    FormCreate();
}

TFormAbout::~TFormAbout() = default;

void TFormAbout::FormCreate() {
    SplashImage->setPixmap(QPixmap::fromImage(SplashPicture()));
    FFrames = std::make_unique<TImageList>(FrameSize, FrameSize);
    for (int k = 0; k < FrameCount; ++k)
        FFrames->Add(AnimationFrame(k));
    anim->SetImageList(FFrames.get());
}

void TFormAbout::showEvent(QShowEvent* Event) {
    QDialog::showEvent(Event);
    GuardEvent([this] { FormShow(); });
}

void TFormAbout::hideEvent(QHideEvent* Event) {
    QDialog::hideEvent(Event);
    GuardEvent([this] { FormHide(); });
}

void TFormAbout::FormShow() {
    lblTotal->setText(QStringLiteral("Total physical memory: ") + QString::number(TotalPhysicalMemory()));
    lblFree->setText(QStringLiteral("Free physical memory: ") + QString::number(FreePhysicalMemory()));
    anim->SetActive(true);
    Credits->SetActive(true);
}

void TFormAbout::FormHide() {
    anim->SetActive(false);
    Credits->SetActive(false);
}
