// SPDX-License-Identifier: GPL-3.0-or-later
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QTest>
#include <QToolButton>

#include <map>

#include "gui/browse_for_folder.h"
#include "gui/display_check.h"
#include "gui/qt_services.h"
#include "gui/user_guide.h"
#include "gui_test_support.h"

namespace veltrane::gui::test {
namespace {

using veltrane::testing::FileNames;
using veltrane::testing::TempDir;
using veltrane::testing::WriteBytes;

// ---- the display check ----

struct DisplayCase {
    const char* display;
    const char* wayland;
    const char* platform;
    DisplayKind expected;
};

TEST(DisplayCheck, TellsScreenHeadlessAndNoneFromTheEnvironment) {
    const DisplayCase cases[] = {
        {":0", "", "", DisplayKind::Screen},
        {"", "wayland-0", "", DisplayKind::Screen},
        {"", "", "", DisplayKind::None},
        {"", "", "offscreen", DisplayKind::Headless},
        {":0", "", "offscreen", DisplayKind::Headless},
        {"", "", "offscreen:fontengine=freetype", DisplayKind::Headless},
        {"", "", "minimal", DisplayKind::Headless},
        {"", "", "xcb", DisplayKind::None},
        {":0", "", "xcb", DisplayKind::Screen},
        {"", "", "wayland", DisplayKind::None},
        {":1", "", "wayland;xcb", DisplayKind::Screen},
        {"", "", "wayland;xcb", DisplayKind::None},
        {"", "", "linuxfb:fb=/dev/fb0", DisplayKind::Screen},
        {"", "", "cocoa", DisplayKind::None},
    };
    for (const DisplayCase& c : cases) {
        SCOPED_TRACE(std::string("DISPLAY=") + c.display + " WAYLAND_DISPLAY=" + c.wayland +
                     " QT_QPA_PLATFORM=" + c.platform);
        const std::map<std::string, std::string> env{
            {"DISPLAY", c.display}, {"WAYLAND_DISPLAY", c.wayland}, {"QT_QPA_PLATFORM", c.platform}};
        EXPECT_EQ(DetectDisplay([&](const char* name) {
                      const auto it = env.find(name);
                      return it == env.end() ? std::string() : it->second;
                  }),
                  c.expected);
    }
}

// ---- the user guide ----

TEST(UserGuide, IsFoundBesideAnInstalledProgramBeforeTheSourceCopy) {
    TempDir prefix;
    std::filesystem::create_directories(prefix.Path() / "bin");
    std::filesystem::create_directories(prefix.Path() / "share/doc/veltrane");
    WriteBytes(prefix / "share/doc/veltrane/user-guide.html", {'<', '>'});
    TempDir source;
    std::filesystem::create_directories(source.Path() / "docs");
    WriteBytes(source / "docs/user-guide.html", {'<', '>'});

    const QString program = PathFromCore(prefix / "bin/veltrane");
    EXPECT_EQ(UserGuidePath(program, PathFromCore(source.Path().string())),
              QDir::cleanPath(PathFromCore(prefix / "share/doc/veltrane/user-guide.html")));
    TempDir elsewhere;
    EXPECT_EQ(UserGuidePath(PathFromCore(elsewhere / "veltrane"), PathFromCore(source.Path().string())),
              QDir::cleanPath(PathFromCore(source / "docs/user-guide.html")));
    EXPECT_TRUE(UserGuidePath(PathFromCore(elsewhere / "veltrane"), {}).isEmpty());
}

TEST(UserGuide, IsFoundThroughTheBuildFoldersLayoutWithoutACompiledInPath) {
    // The test program lives in <build>/bin like the program, and the build folder holds the
    // guide where an installation does.
    const QByteArray saved = qgetenv("VELTRANE_SOURCE_DIR");
    qunsetenv("VELTRANE_SOURCE_DIR");
    const QString url = UserGuideUrl(QCoreApplication::applicationFilePath());
    EXPECT_TRUE(url.startsWith("file:///"));
    EXPECT_TRUE(url.endsWith("/share/doc/veltrane/user-guide.html")) << url.toStdString();
    EXPECT_TRUE(UserGuideUrl(QStringLiteral("/nonexistent/bin/veltrane")).isEmpty());
    if (!saved.isNull()) qputenv("VELTRANE_SOURCE_DIR", saved);
}

// ---- the dialogs ----

TEST(OpenDialog, ShowsTheMpoFilterAndFindsUpperCaseNamesToo) {
    QTemporaryDir dir;
    for (const char* name : {"a.mpo", "B.MPO", "c.jpg", "d.mpo.txt"}) WriteBytes(PathToCore(dir.filePath(name)), {1});
    QDir(dir.path()).mkdir(QStringLiteral("folder"));

    QFileDialog dialog;
    ConfigureOpenDialog(dialog, QStringLiteral("Open MPO file"), QStringLiteral("MPO files (*.mpo)"));
    dialog.setDirectory(dir.path());
    EXPECT_EQ(dialog.windowTitle(), "Open MPO file");
    EXPECT_EQ(dialog.nameFilters(), QStringList{"MPO files (*.mpo)"});

    auto* model = dialog.findChild<QFileSystemModel*>();
    ASSERT_NE(model, nullptr);
    const QModelIndex root = model->index(dir.path());
    auto shown = [&] {
        QStringList names;
        for (int i = 0; i < model->rowCount(root); ++i) names << model->index(i, 0, root).data().toString();
        names.sort();
        return names;
    };
    const QStringList expected{"B.MPO", "a.mpo", "folder"};
    // The model reads the folder on a thread of its own.
    for (int i = 0; i < 500 && shown() != expected; ++i) QTest::qWait(10);
    EXPECT_EQ(shown(), expected);
}

TEST(FolderDialog, OpensOnTheInitialFolderAndOffersNoNewFolderWhenNotAllowed) {
    QTemporaryDir dir;
    QFileDialog dialog;
    ConfigureFolderDialog(dialog, QStringLiteral("Select output folder"), dir.path(), false);
    EXPECT_EQ(dialog.windowTitle(), "Select output folder");
    EXPECT_EQ(dialog.fileMode(), QFileDialog::Directory);
    EXPECT_EQ(QDir(dialog.directory()).canonicalPath(), QDir(dir.path()).canonicalPath());
    auto* newFolder = dialog.findChild<QToolButton*>(QStringLiteral("newFolderButton"));
    ASSERT_NE(newFolder, nullptr);
    EXPECT_FALSE(newFolder->isEnabled());

    QFileDialog allowing;
    ConfigureFolderDialog(allowing, QStringLiteral("Select output folder"), dir.path(), true);
    allowing.setOption(QFileDialog::DontUseNativeDialog, true);
    auto* offered = allowing.findChild<QToolButton*>(QStringLiteral("newFolderButton"));
    ASSERT_NE(offered, nullptr);
    EXPECT_TRUE(offered->isEnabled());
}

}  // namespace
}  // namespace veltrane::gui::test
