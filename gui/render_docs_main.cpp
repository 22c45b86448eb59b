// veltrane-render-docs: renders the main window (with the bundled sample opened and its first
// image selected) and the filled EXIF window to PNG files, and writes the application icon at
// the sizes of the icon theme and as the Windows icon file. Used by scripts/render-docs.sh; runs
// on Qt's offscreen platform.
//
//   veltrane-render-docs [--docs DIR] [--icons DIR] [--png PICTURE PNG]...
//
// --png re-encodes a picture (the BMP screenshots of the Win32 window) as PNG.
#include <cstdio>
#include <string>

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QListView>
#include <QPushButton>
#include <QStyleFactory>
#include <QTemporaryDir>

#include "core/window/scripted_services.h"
#include "gui/app_icon.h"
#include "gui/exif_window.h"
#include "gui/main_window.h"
#include "gui/text.h"
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
    mainWindow.close();
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
    QString docsDir, iconsDir;
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
        } else {
            std::fprintf(stderr, "usage: veltrane-render-docs [--docs DIR] [--icons DIR] [--png PICTURE PNG]...\n");
            return 2;
        }
    }
    bool ok = true;
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
