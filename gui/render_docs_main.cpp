// SPDX-License-Identifier: GPL-3.0-or-later
// veltrane-render-docs: renders the main window (with the bundled sample opened and its first
// image selected), the filled EXIF window and the Stereo window (showing a painted stereo scene
// as an anaglyph) to PNG files, and writes the application icon at the sizes of the icon theme
// and as the Windows icon file. Used by scripts/render-docs.sh; runs on Qt's offscreen platform.
//
//   veltrane-render-docs [--docs DIR] [--icons DIR] [--stereo-scene MPO] [--png PICTURE PNG]...
//
// --stereo-scene writes the painted stereo scene as an MPO file (for the Win32 Stereo window's
// picture); --png re-encodes a picture (the BMP screenshots of the Win32 window) as PNG.
#include <cstdio>
#include <string>

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QLinearGradient>
#include <QListView>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QRadialGradient>
#include <QSlider>
#include <QStyleFactory>
#include <QTemporaryDir>

#include "core/window/scripted_services.h"
#include "gui/app_icon.h"
#include "gui/exif_window.h"
#include "gui/main_window.h"
#include "gui/qt_services.h"
#include "gui/stereo_window.h"
#include "gui/text.h"
#include "imaging/services/library_stereo_previewer.h"
#include "tools/samples/jpeg_writer.h"

namespace {

using namespace veltrane;
using namespace veltrane::gui;

using window::ChosenFile;
using window::CountingTicks;
using window::FolderOf;
using window::InMemoryRegistration;
using window::MessagesToStderr;
using window::NoDesktop;
using window::NoFolder;

bool Save(const QImage& image, const QString& path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (image.save(path, "PNG")) return true;
    std::fprintf(stderr, "veltrane-render-docs: cannot write %s\n", path.toLocal8Bit().constData());
    return false;
}

// One eye's view of a small painted scene: a sky, hills far away, a meadow, and three things
// at different depths. The right eye sees each thing further left the nearer it is (disparity
// in pixels: the hills 2, the tree 10, the box 22, the ball 34).
QImage StereoSceneEye(int eye) {
    constexpr int kWidth = 960, kHeight = 720;
    auto at = [eye](double x, double disparity) { return eye == 0 ? x : x - disparity; };
    QImage image(kWidth, kHeight, QImage::Format_RGB888);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 380);
    sky.setColorAt(0, QColor(0x4A, 0x8B, 0xD4));
    sky.setColorAt(1, QColor(0xCD, 0xE4, 0xF5));
    p.fillRect(0, 0, kWidth, 380, sky);
    QPainterPath hills;
    hills.moveTo(at(-40, 2), 380);
    hills.cubicTo(at(160, 2), 250, at(330, 2), 300, at(480, 2), 330);
    hills.cubicTo(at(640, 2), 240, at(820, 2), 280, at(1000, 2), 330);
    hills.lineTo(at(1000, 2), 400);
    hills.lineTo(at(-40, 2), 400);
    p.fillPath(hills, QColor(0x6E, 0x8F, 0x6A));
    QLinearGradient meadow(0, 360, 0, kHeight);
    meadow.setColorAt(0, QColor(0x8D, 0xB8, 0x4E));
    meadow.setColorAt(1, QColor(0x4E, 0x85, 0x2C));
    p.fillRect(0, 370, kWidth, kHeight - 370, meadow);
    // The tree.
    p.fillRect(QRectF(at(700, 10), 250, 28, 170), QColor(0x6B, 0x45, 0x24));
    QRadialGradient crown(at(690, 10), 210, 120);
    crown.setColorAt(0, QColor(0x5F, 0xA8, 0x48));
    crown.setColorAt(1, QColor(0x2E, 0x6B, 0x2A));
    p.setBrush(crown);
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(at(714, 10), 220), 110, 120);
    // The box, with its lit top and its shaded side.
    const double bx = at(360, 22);
    p.fillRect(QRectF(bx, 420, 170, 150), QColor(0xD9, 0x7B, 0x29));
    QPolygonF top({QPointF(bx, 420), QPointF(bx + 40, 385), QPointF(bx + 210, 385), QPointF(bx + 170, 420)});
    p.setBrush(QColor(0xF2, 0xA4, 0x5A));
    p.drawPolygon(top);
    QPolygonF side({QPointF(bx + 170, 420), QPointF(bx + 210, 385), QPointF(bx + 210, 535), QPointF(bx + 170, 570)});
    p.setBrush(QColor(0xA8, 0x58, 0x1C));
    p.drawPolygon(side);
    // The ball, nearest, with its shadow.
    p.setBrush(QColor(0, 0, 0, 60));
    p.drawEllipse(QPointF(at(200, 34), 650), 95, 22);
    QRadialGradient ball(at(170, 34), 520, 140);
    ball.setColorAt(0, QColor(0xFF, 0xE9, 0xE0));
    ball.setColorAt(0.25, QColor(0xE0, 0x3C, 0x31));
    ball.setColorAt(1, QColor(0x7A, 0x12, 0x10));
    p.setBrush(ball);
    p.drawEllipse(QPointF(at(200, 34), 560), 95, 95);
    return image;
}

// The two eyes as an MPO file at path: the JPEG files back to back, each starting with an EXIF
// segment as a camera's do (the image signature is SOI followed by APP1).
//   FF D8 | FF E1 len "Exif\0\0" TIFF | the JPEG file after its SOI and its JFIF APP0 segment
bool WriteStereoScene(const QString& path) {
    samples::SampleExif exif;
    exif.width = 960;
    exif.height = 720;
    std::vector<samples::Bytes> eyes;
    for (int eye = 0; eye < 2; ++eye) {
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        if (!StereoSceneEye(eye).save(&buffer, "JPG", 92) || jpeg.size() < 4) return false;
        qsizetype rest = 2;
        if (static_cast<std::uint8_t>(jpeg[2]) == 0xFF && static_cast<std::uint8_t>(jpeg[3]) == 0xE0 && jpeg.size() >= 6)
            rest = 4 + (static_cast<std::uint8_t>(jpeg[4]) << 8 | static_cast<std::uint8_t>(jpeg[5]));
        if (rest > jpeg.size()) return false;
        samples::Bytes app1 = {'E', 'x', 'i', 'f', 0, 0};
        const samples::Bytes tiff = samples::SampleExifTiff(exif, samples::ByteOrder::Little);
        app1.insert(app1.end(), tiff.begin(), tiff.end());
        const std::size_t length = app1.size() + 2;
        samples::Bytes file = {0xFF, 0xD8, 0xFF, 0xE1, static_cast<std::uint8_t>(length >> 8),
                               static_cast<std::uint8_t>(length & 0xFF)};
        file.insert(file.end(), app1.begin(), app1.end());
        file.insert(file.end(), jpeg.begin() + rest, jpeg.end());
        eyes.push_back(std::move(file));
    }
    return samples::WriteFile(PathToCore(path), samples::JoinImages(eyes));
}

bool RenderWindows(const QString& docsDir) {
    QTemporaryDir scratch;
    if (!scratch.isValid()) return false;
    const QString sample = scratch.filePath(QStringLiteral("stereo-pair.mpo"));
    if (!samples::WriteFile(PathToCore(sample), samples::SampleMpo())) return false;

    ChosenFile openDialog(PathToCore(sample));
    NoFolder folders;
    NoDesktop desktop;
    MessagesToStderr messages("veltrane-render-docs");
    FolderOf temp(PathToCore(scratch.path() + QLatin1Char('/')));
    CountingTicks ticks;
    window::SystemProcesses processes;
    InMemoryRegistration registration;
    MainWindow mainWindow({openDialog, folders, desktop, messages, temp, ticks, processes, registration, {}, {}});
    ExifWindow exifWindow;
    mainWindow.SetExifWindow(&exifWindow);
    mainWindow.show();
    mainWindow.openButton->click();
    mainWindow.imageList->setCurrentIndex(mainWindow.imageList->model()->index(0, 0));
    mainWindow.showExifAction->trigger();
    QApplication::processEvents();

    bool ok = !messages.failed;
    ok = Save(mainWindow.grab().toImage(), docsDir + QStringLiteral("/main-window.png")) && ok;
    ok = Save(exifWindow.grab().toImage(), docsDir + QStringLiteral("/exif-window.png")) && ok;

    // The Stereo window with the painted scene, as "Show Stereo" opens it (aligned anaglyph),
    // the stereo window pushed back a little with the slider.
    const QString scene = scratch.filePath(QStringLiteral("meadow.mpo"));
    stereo_services::LibraryStereoPreviewer previewer;
    QtSaveFileDialog saveDialog;
    StereoWindow stereoWindow({previewer, saveDialog, messages});
    mainWindow.SetStereoWindow(&stereoWindow);
    ok = WriteStereoScene(scene) && ok;
    stereoWindow.Model().OpenPair(PathToCore(scene), 1, 2);
    stereoWindow.parallaxSlider->setValue(12);
    QApplication::processEvents();
    ok = !messages.failed && ok;
    ok = Save(stereoWindow.grab().toImage(), docsDir + QStringLiteral("/stereo-window.png")) && ok;
    mainWindow.close();
    mainWindow.SetStereoWindow(nullptr);
    return ok;
}

// The Windows icon file: a directory of entries, each pointing at a whole PNG image.
//   header:  2 bytes 0, 2 bytes type 1 (icon), 2 bytes entry count   (little-endian)
//   entry:   1 byte width, 1 byte height (0 means 256), 1 byte colours 0, 1 byte 0,
//            2 bytes planes 1, 2 bytes bits per pixel 32, 4 bytes data size, 4 bytes offset
bool SaveIco(const QList<int>& sizes, const QString& path) {
    QList<QByteArray> images;
    for (int size : sizes) {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (!AppIconImage(size).save(&buffer, "PNG")) return false;
        images << png;
    }
    QByteArray ico;
    auto put16 = [&](int v) { ico.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF)); };
    auto put32 = [&](qsizetype v) {
        put16(int(v & 0xFFFF));
        put16(int((v >> 16) & 0xFFFF));
    };
    put16(0);
    put16(1);
    put16(int(sizes.size()));
    qsizetype offset = 6 + 16 * sizes.size();
    for (qsizetype i = 0; i < sizes.size(); ++i) {
        ico.append(char(sizes[i] % 256)).append(char(sizes[i] % 256)).append(char(0)).append(char(0));
        put16(1);
        put16(32);
        put32(images[i].size());
        put32(offset);
        offset += images[i].size();
    }
    for (const QByteArray& png : images) ico.append(png);
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(ico) == ico.size();
}

bool RenderIcons(const QString& iconsDir) {
    bool ok = true;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        const QString path =
            QStringLiteral("%1/hicolor/%2x%2/apps/veltrane.png").arg(iconsDir).arg(size);
        ok = Save(AppIconImage(size), path) && ok;
    }
    if (!SaveIco({16, 24, 32, 48, 64, 256}, iconsDir + QStringLiteral("/veltrane.ico"))) {
        std::fprintf(stderr, "veltrane-render-docs: cannot write %s/veltrane.ico\n", iconsDir.toLocal8Bit().constData());
        ok = false;
    }
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QString docsDir, iconsDir, scenePath;
    QStringList conversions;  // pairs: a picture in any format Qt reads, the PNG file to write
    const QStringList args = QApplication::arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--png") && i + 2 < args.size()) {
            conversions << args[i + 1] << args[i + 2];
            i += 2;
        } else if (args[i] == QLatin1String("--docs") && i + 1 < args.size()) {
            docsDir = args[++i];
        } else if (args[i] == QLatin1String("--icons") && i + 1 < args.size()) {
            iconsDir = args[++i];
        } else if (args[i] == QLatin1String("--stereo-scene") && i + 1 < args.size()) {
            scenePath = args[++i];
        } else {
            std::fprintf(stderr, "usage: veltrane-render-docs [--docs DIR] [--icons DIR] [--stereo-scene MPO] "
                                 "[--png PICTURE PNG]...\n");
            return 2;
        }
    }
    bool ok = true;
    if (!scenePath.isEmpty() && !WriteStereoScene(scenePath)) {
        std::fprintf(stderr, "veltrane-render-docs: cannot write %s\n", scenePath.toLocal8Bit().constData());
        ok = false;
    }
    if (!docsDir.isEmpty()) ok = RenderWindows(docsDir) && ok;
    if (!iconsDir.isEmpty()) ok = RenderIcons(iconsDir) && ok;
    for (qsizetype i = 0; i + 1 < conversions.size(); i += 2) {
        const QImage picture(conversions[i]);
        if (picture.isNull()) {
            std::fprintf(stderr, "veltrane-render-docs: cannot read %s\n", conversions[i].toLocal8Bit().constData());
            ok = false;
            continue;
        }
        ok = Save(picture, conversions[i + 1]) && ok;
    }
    return ok ? 0 : 1;
}
