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
#include "gui/temp_files.h"
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

// ---- temporary files ----

TEST(TempFiles, NameIsVltrAndTheTickCountWithoutPadding) {
    EXPECT_EQ(TempImageFileName("/tmp/", 0), "/tmp/vltr0.jpg");
    EXPECT_EQ(TempImageFileName("/tmp/", 4294967295u), "/tmp/vltr4294967295.jpg");
    EXPECT_EQ(TempImageFileName("C:\\Temp\\", 1234), "C:\\Temp\\vltr1234.jpg");
}

TEST(TempFiles, NewNameSkipsNamesInUse) {
    TempDir dir;
    EXPECT_EQ(NewTempImageFileName(dir.Folder(), 77), dir / "vltr77.jpg");
    WriteBytes(dir / "vltr77.jpg", {1});
    WriteBytes(dir / "vltr78.jpg", {1});
    EXPECT_EQ(NewTempImageFileName(dir.Folder(), 77), dir / "vltr79.jpg");
}

TEST(TempFiles, MaskMatchesLikeADirectorySearch) {
    struct Case {
        const char* name;
        const char* mask;
        bool matches;
    };
    const Case cases[] = {
        {"vltr123.jpg", "vltr*", true}, {"vltr", "vltr*", true},      {"avltr1.jpg", "vltr*", false},
        {"VLTR1.jpg", "vltr*", false},  {"vlt", "vltr*", false},      {"a.jpg", "*.jpg", true},
        {"a.jpeg", "*.jpg", false},     {"x1y", "x?y", true},         {"xy", "x?y", false},
        {"abcabd", "*ab?", true},       {"", "*", true},              {"", "?", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " ~ " + c.mask);
        EXPECT_EQ(MatchesMask(c.name, c.mask), c.matches);
    }
}

TEST(TempFiles, DeletingByMaskLeavesOtherFilesAndFolders) {
    TempDir dir;
    for (const char* name : {"vltr1.jpg", "vltr2.jpg", "vltrx", "other.jpg"}) WriteBytes(dir / name, {1});
    std::filesystem::create_directory(dir.Path() / "vltr-folder");
    DeleteFilesByMask(dir.Folder(), "vltr*");
    EXPECT_EQ(FileNames(dir.Path()), (std::vector<std::string>{"other.jpg", "vltr-folder"}));
    DeleteFilesByMask(dir / "missing/", "vltr*");  // a missing folder is no error
}

// ---- texts ----

TEST(ErrorTexts, AreReadAsUtf8WhenValidElseAsWindows1252) {
    EXPECT_EQ(FromErrorText("File not found"), "File not found");
    EXPECT_EQ(FromErrorText("Cannot write /home/j\xC3\xBCrgen/.local"),
              QString::fromUtf8("Cannot write /home/j\u00FCrgen/.local"));
    EXPECT_EQ(FromErrorText("Caf\xE9 \x80"), QString::fromUtf8("Caf\u00E9 \u20AC"));
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
