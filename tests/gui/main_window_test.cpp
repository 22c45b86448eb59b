// SPDX-License-Identifier: GPL-3.0-or-later
#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include "core/common/image_list_line.h"
#include "gui/link_label.h"
#include "gui_test_support.h"
#include "tools/samples/mpf_writer.h"

namespace veltrane::gui::test {
namespace {

using veltrane::testing::FileNames;
using veltrane::testing::ReadBytes;

// ---- layout and first state ----

using MainWindowLayout = WindowTest;

TEST_F(MainWindowLayout, IsAFixedSizeWindowWithEveryControlWhereTheDesignHasIt) {
    CreateWindow();
    struct Placement {
        QWidget* widget;
        QRect geometry;
        QString caption;
    };
    const Placement cases[] = {
        {mainWindow->openButton, {8, 16, 89, 25}, "&Open MPO"},
        {mainWindow->imageList, {104, 16, 145, 169}, {}},
        {mainWindow->extractButton, {8, 48, 89, 25}, "E&xtract Images"},
        {mainWindow->modeGroup, {8, 80, 89, 105}, " Extract "},
        {mainWindow->allButton, {8, 24, 60, 17}, "&All"},
        {mainWindow->oddButton, {8, 48, 60, 17}, "O&dd"},
        {mainWindow->evenButton, {8, 72, 60, 17}, "&Even"},
        {mainWindow->contextMenuBox, {8, 232, 227, 17}, "Enable &context menu entry for MPO files"},
        {mainWindow->statusPanel, {104, 184, 145, 25}, "Ready."},
        {mainWindow->separatorLine, {0, 224, 265, 31}, {}},
    };
    for (const Placement& c : cases) {
        SCOPED_TRACE(c.widget->objectName().toStdString());
        EXPECT_EQ(c.widget->geometry(), c.geometry);
        if (auto* button = qobject_cast<QAbstractButton*>(c.widget)) {
            EXPECT_EQ(button->text(), c.caption);
        }
        if (auto* group = qobject_cast<QGroupBox*>(c.widget)) {
            EXPECT_EQ(group->title(), c.caption);
        }
        if (auto* label = qobject_cast<QLabel*>(c.widget)) {
            EXPECT_EQ(label->text(), c.caption);
        }
    }
    EXPECT_EQ(mainWindow->windowTitle(), "Veltrane");
    EXPECT_EQ(mainWindow->minimumSize(), QSize(265, 255));
    EXPECT_EQ(mainWindow->maximumSize(), QSize(265, 255));
    EXPECT_FALSE(mainWindow->windowFlags() & Qt::WindowMaximizeButtonHint);
    // The link label sizes itself to its caption from its designed place on.
    EXPECT_EQ(mainWindow->guideLink->pos(), QPoint(9, 195));
    EXPECT_GE(mainWindow->guideLink->width(), 85);
    EXPECT_LE(mainWindow->guideLink->geometry().right(), mainWindow->imageList->x());
    EXPECT_EQ(mainWindow->guideLink->text(), "VLTR Home Page");
}

TEST_F(MainWindowLayout, StartsWithTheBannerAndOnlyOpenAndTheCheckBoxUsable) {
    CreateWindow();
    const QStringList banner = ListTexts();
    ASSERT_EQ(banner.size(), 2);
    EXPECT_EQ(banner[0], "Veltrane 1.1");
    EXPECT_TRUE(banner[1].contains("the Veltrane developers"));

    EXPECT_TRUE(mainWindow->openButton->isEnabled());
    EXPECT_TRUE(mainWindow->contextMenuBox->isEnabled());
    EXPECT_FALSE(mainWindow->contextMenuBox->isChecked());
    for (QWidget* w : std::initializer_list<QWidget*>{mainWindow->imageList, mainWindow->extractButton, mainWindow->allButton,
                                                      mainWindow->oddButton, mainWindow->evenButton}) {
        SCOPED_TRACE(w->objectName().toStdString());
        EXPECT_FALSE(w->isEnabled());
    }
    EXPECT_TRUE(mainWindow->allButton->isChecked());
    EXPECT_EQ(mainWindow->listMenu->actions(), (QList<QAction*>{mainWindow->showImageAction, mainWindow->showExifAction, mainWindow->showStereoAction,
                                                            mainWindow->saveStereoAction}));
    EXPECT_EQ(mainWindow->showImageAction->text(), "Show Image");
    EXPECT_EQ(mainWindow->showExifAction->text(), "EXIF Info");
    EXPECT_FALSE(mainWindow->showImageAction->isEnabled());
    EXPECT_FALSE(mainWindow->showExifAction->isEnabled());
    // Hints are off until the first Open.
    EXPECT_EQ(mainWindow->ListHint(), " Double click for image preview ");
    EXPECT_TRUE(mainWindow->imageList->toolTip().isEmpty());
    // The banner is drawn like any entry: white.
    EXPECT_EQ(ListRowColour(0), window::kIncludedColour);
}

TEST_F(MainWindowLayout, GivesEveryCaptionItsAltKeyAndTabsInTheDesignedOrder) {
    CreateWindow();
    EXPECT_EQ(mainWindow->openButton->shortcut(), QKeySequence(Qt::ALT | Qt::Key_O));
    EXPECT_EQ(mainWindow->extractButton->shortcut(), QKeySequence(Qt::ALT | Qt::Key_X));
    EXPECT_EQ(mainWindow->allButton->shortcut(), QKeySequence(Qt::ALT | Qt::Key_A));
    EXPECT_EQ(mainWindow->oddButton->shortcut(), QKeySequence(Qt::ALT | Qt::Key_D));
    EXPECT_EQ(mainWindow->evenButton->shortcut(), QKeySequence(Qt::ALT | Qt::Key_E));
    EXPECT_EQ(mainWindow->contextMenuBox->shortcut(), QKeySequence(Qt::ALT | Qt::Key_C));

    const QList<QWidget*> ours{mainWindow->openButton,      mainWindow->imageList,     mainWindow->extractButton,  mainWindow->allButton,
                               mainWindow->oddButton, mainWindow->evenButton, mainWindow->contextMenuBox};
    QList<QWidget*> chain;
    QWidget* w = mainWindow->openButton;
    do {
        if (ours.contains(w) && !chain.contains(w)) chain << w;
        w = w->nextInFocusChain();
    } while (w != mainWindow->openButton);
    EXPECT_EQ(chain, ours);
}

TEST_F(MainWindowLayout, AltXRunsExtractOnceAFileIsOpen) {
    CreateWindow();
    OpenThroughDialog(WriteMpo("pair.mpo", {samples::SampleStereoImage(0)}));
    mainWindow->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(mainWindow.get()));
    // A button clicks a moment after its shortcut, having shown itself pressed.
    QSignalSpy clicked(mainWindow->extractButton, &QPushButton::clicked);
    QTest::keyClick(mainWindow.get(), Qt::Key_X, Qt::AltModifier);
    ASSERT_TRUE(clicked.wait());
    EXPECT_EQ(folders.Calls, 1);
}

TEST_F(MainWindowLayout, LinkLabelCarriesTheGuideAddressAndOpensItThroughTheDesktop) {
    CreateWindow();
    EXPECT_EQ(mainWindow->guideLink->Url(), "file:///guide.html");
    EXPECT_EQ(mainWindow->guideLink->TextColour(), QColor(0x00, 0x00, 0x80));
    EXPECT_TRUE(mainWindow->guideLink->font().underline());
    const QPoint inside(5, 5);
    QTest::mousePress(mainWindow->guideLink, Qt::LeftButton, {}, inside);
    QTest::mouseRelease(mainWindow->guideLink, Qt::LeftButton, {}, inside);
    EXPECT_EQ(desktop.OpenedUrls, std::vector<std::string>{"file:///guide.html"});
}

// ---- Open ----

using OpenCommand = WindowTest;

TEST_F(OpenCommand, AsksForAnMpoFileAndListsItsImages) {
    CreateWindow();
    const std::vector<Bytes> images = FourImages();
    OpenThroughDialog(WriteMpo("holiday.mpo", images));

    EXPECT_EQ(openDialog.Title, "Open MPO file");
    EXPECT_EQ(openDialog.Filter, "MPO and JPEG files (*.mpo *.jpg *.jpeg)");
    QStringList expected;
    for (int n = 1; n <= 4; ++n)
        expected << QString::fromStdString(ImageListLine(n, static_cast<std::int64_t>(images[n - 1].size())));
    EXPECT_EQ(ListTexts(), expected);
    EXPECT_EQ(mainWindow->Model().Images().ImageCount, 4);
    EXPECT_EQ(mainWindow->statusPanel->text(), "holiday.mpo");
    for (QWidget* w : std::initializer_list<QWidget*>{mainWindow->imageList, mainWindow->extractButton, mainWindow->allButton,
                                                      mainWindow->oddButton, mainWindow->evenButton, mainWindow->openButton}) {
        SCOPED_TRACE(w->objectName().toStdString());
        EXPECT_TRUE(w->isEnabled());
    }
    EXPECT_FALSE(mainWindow->showImageAction->isEnabled());  // nothing selected yet
    EXPECT_FALSE(mainWindow->showExifAction->isEnabled());
    EXPECT_EQ(mainWindow->ListHint(), " Double click for image preview \n\r Right click for menu ");
    EXPECT_EQ(mainWindow->imageList->toolTip().split('\n'),
              (QStringList{" Double click for image preview ", " Right click for menu "}));
    EXPECT_TRUE(messages.Errors.empty());
}

TEST_F(OpenCommand, ListsTheImagesOfTheIndexAndTellsAnIgnoredIndexInTheStatusPanel) {
    CreateWindow();
    const std::vector<Bytes> jfif = {samples::SampleJfifImage(0), samples::SampleJfifImage(1)};
    OpenThroughDialog(WriteMpo("phone.mpo", {samples::IndexedMpo(jfif)}));
    EXPECT_EQ(ListTexts().size(), 2);
    EXPECT_EQ(mainWindow->statusPanel->text(), "phone.mpo");
    EXPECT_TRUE(mainWindow->statusPanel->toolTip().isEmpty());

    samples::MpfOptions broken;
    broken.edit = [](std::vector<samples::MpEntry>& e, std::uint32_t&) { e[1].offset = 0x7FFFFFF0; };
    OpenThroughDialog(WriteMpo("broken.mpo", {samples::IndexedMpo({samples::SampleStereoImage(0),
                                                                   samples::SampleStereoImage(1)}, broken)}));
    EXPECT_EQ(ListTexts().size(), 2);  // the signature scan finds both
    const QString notice = "MPF index ignored: image 2 lies outside the file";
    EXPECT_EQ(mainWindow->statusPanel->text(), "broken.mpo: " + notice);
    EXPECT_EQ(mainWindow->statusPanel->toolTip(), notice);
    EXPECT_TRUE(messages.Errors.empty());
    EXPECT_TRUE(messages.Notes.empty());
}

TEST_F(OpenCommand, ScanInProgressLocksTheCommandsUntilItReturns) {
    CreateWindow();
    OpenThroughDialog(WriteMpo("first.mpo", FourImages()));
    const std::string second = WriteMpo("second.mpo", FourImages());

    // Runs inside the scan, when it lets pending events through after an image.
    std::vector<bool> enabledDuringScan;
    bool sawScan = false;
    QTimer::singleShot(0, mainWindow.get(), [&] {
        sawScan = mainWindow->Model().Scanning();
        for (QWidget* w : std::initializer_list<QWidget*>{mainWindow->openButton, mainWindow->extractButton, mainWindow->allButton,
                                                          mainWindow->oddButton, mainWindow->evenButton,
                                                          mainWindow->imageList, mainWindow->contextMenuBox})
            enabledDuringScan.push_back(w->isEnabled());
        mainWindow->openButton->click();  // a second Open now is refused
    });
    OpenThroughDialog(second);

    EXPECT_TRUE(sawScan);
    EXPECT_EQ(enabledDuringScan, std::vector<bool>(7, false));
    EXPECT_EQ(openDialog.Calls, 2);
    EXPECT_FALSE(mainWindow->Model().Scanning());
    EXPECT_TRUE(mainWindow->openButton->isEnabled());
    EXPECT_TRUE(mainWindow->extractButton->isEnabled());
    EXPECT_TRUE(mainWindow->contextMenuBox->isEnabled());
    EXPECT_EQ(ListTexts().size(), 4);
}

TEST_F(OpenCommand, ClosingTheWindowDuringAScanStopsTheScanQuietly) {
    CreateWindow();
    QTimer::singleShot(0, mainWindow.get(), [&] { mainWindow->close(); });
    OpenThroughDialog(WriteMpo("four.mpo", FourImages()));
    EXPECT_FALSE(mainWindow->Model().Scanning());
    EXPECT_LT(mainWindow->Model().Images().ImageCount, 4);
    EXPECT_TRUE(messages.Errors.empty());
}

TEST_F(OpenCommand, DroppedFileOpensLikeOpenAndOtherFilesAreRefused) {
    CreateWindow();
    const std::string mpo = WriteMpo("Dropped.MPO", FourImages());
    const std::string jpeg = files / "photo.jpg";
    veltrane::testing::WriteBytes(jpeg, samples::SampleStereoImage(0));
    const std::string video = files / "clip.mp4";
    veltrane::testing::WriteBytes(video, samples::SampleStereoImage(0));

    auto drag = [&](const std::string& path) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(PathFromCore(path))});
        QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(mainWindow.get(), &enter);
        if (!enter.isAccepted()) return false;
        QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(mainWindow.get(), &drop);
        QCoreApplication::processEvents();
        return true;
    };
    EXPECT_FALSE(drag(video));
    EXPECT_EQ(ListTexts().size(), 2);
    EXPECT_TRUE(drag(mpo));
    EXPECT_EQ(ListTexts().size(), 4);
    EXPECT_EQ(mainWindow->statusPanel->text(), "Dropped.MPO");
    // A phone photo opens as through the Open dialog, which offers it.
    EXPECT_TRUE(drag(jpeg));
    EXPECT_EQ(ListTexts().size(), 1);
    EXPECT_EQ(mainWindow->statusPanel->text(), "photo.jpg");
    EXPECT_EQ(openDialog.Calls, 0);
}

// ---- Extract ----

using ExtractCommand = WindowTest;

TEST_F(ExtractCommand, WritesTheModesImagesIntoThePickedFolder) {
    CreateWindow();
    const std::vector<Bytes> images = FourImages();
    OpenThroughDialog(WriteMpo("trip.mpo", images));
    veltrane::testing::TempDir out;
    folders.Answer = out.Path().string();
    mainWindow->oddButton->setChecked(true);
    mainWindow->extractButton->click();

    EXPECT_EQ(folders.Title, "Select output folder");
    EXPECT_EQ(folders.InitialFolder, std::filesystem::current_path().string());
    EXPECT_TRUE(folders.AllowNewFolder);
    EXPECT_EQ(FileNames(out.Path()), (std::vector<std::string>{"trip_001.jpg", "trip_003.jpg"}));
    EXPECT_EQ(ReadBytes(out / "trip_003.jpg"), images[2]);
    EXPECT_TRUE(messages.Errors.empty());
}

// ---- the list ----

using ImageList = WindowTest;

TEST_F(ImageList, ModeButtonsReachTheModelAndRowsAreDrawnInItsColours) {
    CreateWindow();
    OpenThroughDialog(WriteMpo("four.mpo", FourImages()));
    SelectRow(3);
    struct Case {
        QRadioButton* button;
        ExtractMode mode;
    };
    for (const Case& c : {Case{mainWindow->oddButton, ExtractMode::Odd}, Case{mainWindow->evenButton, ExtractMode::Even},
                          Case{mainWindow->allButton, ExtractMode::All}}) {
        SCOPED_TRACE(c.button->objectName().toStdString());
        c.button->setChecked(true);
        EXPECT_EQ(mainWindow->Model().Mode(), c.mode);
        for (int row = 0; row < 4; ++row) {
            SCOPED_TRACE(row);
            EXPECT_EQ(ListRowColour(row), mainWindow->Model().RowColour(row));
        }
    }
    EXPECT_NE(ListRowColour(3), ListRowColour(2));  // the selected row stands out
    // The text is black on its background, from the entry's left edge.
    const QImage image = mainWindow->imageList->viewport()->grab().toImage();
    const QRect first = mainWindow->imageList->visualRect(Row(0));
    int darkest = 255;
    for (int x = first.left(); x < first.left() + 40; ++x)
        for (int y = first.top(); y <= first.bottom(); ++y) darkest = std::min(darkest, qGray(image.pixel(x, y)));
    EXPECT_LT(darkest, 0x40);
    EXPECT_EQ(first.height(), 13);
}

TEST_F(ImageList, MenuEntriesFollowTheSelectionAlsoByKeyboard) {
    CreateWindow();
    OpenThroughDialog(WriteMpo("four.mpo", FourImages()));
    SelectRow(1);
    EXPECT_TRUE(mainWindow->showImageAction->isEnabled());
    EXPECT_TRUE(mainWindow->showExifAction->isEnabled());
    EXPECT_EQ(ListRowColour(1), window::kSelectedColour);

    QTest::keyClick(mainWindow->imageList, Qt::Key_Down);
    EXPECT_EQ(mainWindow->SelectedRow(), 2);
    EXPECT_TRUE(mainWindow->showImageAction->isEnabled());
    EXPECT_EQ(ListRowColour(1), window::kIncludedColour);
    EXPECT_EQ(ListRowColour(2), window::kSelectedColour);

    mainWindow->imageList->clearSelection();
    EXPECT_FALSE(mainWindow->showImageAction->isEnabled());
    EXPECT_FALSE(mainWindow->showExifAction->isEnabled());
}

// ---- preview, EXIF and the temporary files ----

using Preview = WindowTest;

TEST_F(Preview, DoubleClickCopiesTheImageToANewTemporaryFileAndOpensExactlyThat) {
    CreateWindow();
    const std::vector<Bytes> images = FourImages();
    OpenThroughDialog(WriteMpo("four.mpo", images));
    ticks.Now = 4000000000u;
    SelectRow(1);
    // The press, release, double click and release of a double click on entry 1.
    QWidget* viewport = mainWindow->imageList->viewport();
    const QPoint at = mainWindow->imageList->visualRect(Row(1)).center();
    for (auto [type, held] : {std::pair{QEvent::MouseButtonPress, Qt::LeftButton},
                              std::pair{QEvent::MouseButtonRelease, Qt::NoButton},
                              std::pair{QEvent::MouseButtonDblClick, Qt::LeftButton},
                              std::pair{QEvent::MouseButtonRelease, Qt::NoButton}}) {
        QMouseEvent event(type, QPointF(at), QPointF(viewport->mapToGlobal(at)), Qt::LeftButton, held,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &event);
    }

    const std::string expected = TempFile("vltr4000000000.jpg");
    ASSERT_EQ(desktop.OpenedFiles, std::vector<std::string>{expected});
    EXPECT_EQ(desktop.OpenedBytes[0], images[1]);
}

TEST_F(Preview, ExifInfoFillsNineteenRowsAndShowsTheWindowAndASecondRequestRefillsIt) {
    CreateWindow();
    OpenThroughDialog(WriteMpo("four.mpo", FourImages()));
    EXPECT_FALSE(exifWindow->isVisible());
    SelectRow(0);
    mainWindow->showExifAction->trigger();

    ASSERT_TRUE(exifWindow->isVisible());
    ASSERT_EQ(exifWindow->RowCount(), 19);
    EXPECT_EQ(exifWindow->Caption(0), "Image: ");
    EXPECT_EQ(exifWindow->Value(0), RowText(0).trimmed());
    EXPECT_EQ(exifWindow->Caption(2), "Manufacturer: ");
    EXPECT_EQ(exifWindow->Value(2), "Veltrane");  // read from the temporary copy of image 1
    EXPECT_EQ(exifWindow->Caption(18), "Focal Length: ");
    EXPECT_TRUE(desktop.OpenedFiles.empty());

    const QPoint placed = exifWindow->pos();
    SelectRow(3);
    mainWindow->showExifAction->trigger();
    EXPECT_EQ(exifWindow->RowCount(), 19);
    EXPECT_EQ(exifWindow->Value(0), RowText(3).trimmed());
    EXPECT_EQ(exifWindow->pos(), placed);

    // Closed, the next request shows it again with fresh rows.
    exifWindow->closeButton->click();
    EXPECT_FALSE(exifWindow->isVisible());
    SelectRow(1);
    mainWindow->showExifAction->trigger();
    EXPECT_TRUE(exifWindow->isVisible());
    EXPECT_EQ(exifWindow->Value(0), RowText(1).trimmed());
}

// ---- the context-menu entry ----

using ContextMenuCheckBox = WindowTest;

TEST_F(ContextMenuCheckBox, TickingRegistersTheCheckedModeAndClearingRemovesIt) {
    CreateWindow();
    OpenThroughDialog(WriteMpo("four.mpo", FourImages()));
    struct Case {
        QRadioButton* button;
        const char* modeWord;
    };
    for (const Case& c : {Case{mainWindow->allButton, ""}, Case{mainWindow->oddButton, "odd"},
                          Case{mainWindow->evenButton, "even"}}) {
        SCOPED_TRACE(c.modeWord);
        c.button->setChecked(true);
        mainWindow->contextMenuBox->click();
        EXPECT_TRUE(registration.Registered);
        EXPECT_EQ(registration.ModeWord, c.modeWord);
        EXPECT_EQ(registration.ProgramPath, kProgramPath);
        mainWindow->contextMenuBox->click();
        EXPECT_FALSE(registration.Registered);
    }
    EXPECT_EQ(registration.RegisterCalls, 3);
    EXPECT_EQ(registration.UnregisterCalls, 3);
}

TEST_F(ContextMenuCheckBox, StartUpTicksAnExistingRegistrationAndKeepsItsModeWord) {
    registration = InMemoryRegistration("/old/place/veltrane", "even");
    CreateWindow();
    EXPECT_TRUE(mainWindow->contextMenuBox->isChecked());
    EXPECT_EQ(registration.ModeWord, "even");           // not rewritten with All's empty word
    EXPECT_EQ(registration.ProgramPath, kProgramPath);  // a moved program updates its entry
    EXPECT_EQ(registration.RegisterCalls, 1);
    EXPECT_TRUE(messages.Errors.empty());
}

}  // namespace
}  // namespace veltrane::gui::test
