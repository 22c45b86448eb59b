// veltrane-render-docs: renders the main window (with the bundled sample opened and its first
// image selected) and the filled EXIF window to PNG files, and writes the application icon at
// the sizes of the icon theme. Used by scripts/render-docs.sh; runs on Qt's offscreen platform.
//
//   veltrane-render-docs [--docs DIR] [--icons DIR]
#include <cstdio>
#include <string>

#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QStyleFactory>
#include <QTemporaryDir>

#include "gui/app_icon.h"
#include "gui/exif_window.h"
#include "gui/main_window.h"
#include "gui/text.h"
#include "tests/support/in_memory_registration.h"
#include "tools/samples/jpeg_writer.h"

namespace {

using namespace veltrane;
using namespace veltrane::gui;

class ChosenFile : public OpenFileDialog {
public:
    explicit ChosenFile(QString path) : path_(std::move(path)) {}
    QString GetOpenFileName(QWidget*, const QString&, const QString&) override { return path_; }

private:
    QString path_;
};

class NoFolder : public FolderPicker {
public:
    std::string BrowseForFolder(const std::string&, const std::string&, bool) override { return {}; }
};

class NoDesktop : public DesktopLauncher {
public:
    void OpenFile(const std::string&) override {}
    void OpenUrl(const QString&) override {}
};

class MessagesToStderr : public MessageBoxes {
public:
    void ShowError(QWidget*, const QString& text) override {
        std::fprintf(stderr, "veltrane-render-docs: %s\n", text.toLocal8Bit().constData());
        failed = true;
    }
    void ShowInformation(QWidget*, const QString& text) override { ShowError(nullptr, text); }
    bool failed = false;
};

class FolderOf : public TempFolderProvider {
public:
    explicit FolderOf(std::string folder) : folder_(std::move(folder)) {}
    std::string TempFolder() override { return folder_; }

private:
    std::string folder_;
};

class CountingTicks : public TickCounter {
public:
    std::uint32_t TickCount() override { return ++tick_; }

private:
    std::uint32_t tick_ = 1000;
};

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

    ChosenFile openDialog(sample);
    NoFolder folders;
    NoDesktop desktop;
    MessagesToStderr messages;
    FolderOf temp(PathToCore(scratch.path() + QLatin1Char('/')));
    CountingTicks ticks;
    InMemoryRegistration registration;
    TForm1 form1({openDialog, folders, desktop, messages, temp, ticks, registration, {}, {}});
    TForm2 form2;
    form1.SetExifWindow(&form2);
    form1.show();
    form1.Button2Click();
    form1.ListBox1->setCurrentRow(0);
    form1.ListBox1Click(form1.ShowEXIF1);
    QApplication::processEvents();

    bool ok = !messages.failed;
    ok = Save(form1.grab().toImage(), docsDir + QStringLiteral("/main-window.png")) && ok;
    ok = Save(form2.grab().toImage(), docsDir + QStringLiteral("/exif-window.png")) && ok;
    form1.close();
    return ok;
}

bool RenderIcons(const QString& iconsDir) {
    bool ok = true;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        const QString path =
            QStringLiteral("%1/hicolor/%2x%2/apps/veltrane.png").arg(iconsDir).arg(size);
        ok = Save(AppIconImage(size), path) && ok;
    }
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QString docsDir, iconsDir;
    const QStringList args = QApplication::arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--docs") && i + 1 < args.size()) {
            docsDir = args[++i];
        } else if (args[i] == QLatin1String("--icons") && i + 1 < args.size()) {
            iconsDir = args[++i];
        } else {
            std::fprintf(stderr, "usage: veltrane-render-docs [--docs DIR] [--icons DIR]\n");
            return 2;
        }
    }
    bool ok = true;
    if (!docsDir.isEmpty()) ok = RenderWindows(docsDir) && ok;
    if (!iconsDir.isEmpty()) ok = RenderIcons(iconsDir) && ok;
    return ok ? 0 : 1;
}
