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
#include "gui/hyper_label.h"
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
        {form->Button2, {8, 16, 89, 25}, "&Open MPO"},
        {form->ListBox1, {104, 16, 145, 169}, {}},
        {form->Button1, {8, 48, 89, 25}, "E&xtract Images"},
        {form->GroupBox1, {8, 80, 89, 105}, " Extract "},
        {form->RadioButton1, {8, 24, 60, 17}, "&All"},
        {form->RadioButton2, {8, 48, 60, 17}, "O&dd"},
        {form->RadioButton3, {8, 72, 60, 17}, "&Even"},
        {form->CheckBox1, {8, 232, 227, 17}, "Enable &context menu entry for MPO files"},
        {form->Panel1, {104, 184, 145, 25}, "Ready."},
        {form->Bevel1, {0, 224, 265, 31}, {}},
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
    EXPECT_EQ(form->windowTitle(), "Veltrane");
    EXPECT_EQ(form->minimumSize(), QSize(265, 255));
    EXPECT_EQ(form->maximumSize(), QSize(265, 255));
    EXPECT_FALSE(form->windowFlags() & Qt::WindowMaximizeButtonHint);
    // The link label sizes itself to its caption from its designed place on.
    EXPECT_EQ(form->HyperLabel1->pos(), QPoint(9, 195));
    EXPECT_GE(form->HyperLabel1->width(), 85);
    EXPECT_LE(form->HyperLabel1->geometry().right(), form->ListBox1->x());
    EXPECT_EQ(form->HyperLabel1->text(), "VLTR Home Page");
}

TEST_F(MainWindowLayout, StartsWithTheBannerAndOnlyOpenAndTheCheckBoxUsable) {
    CreateWindow();
    const QStringList banner = ListTexts();
    ASSERT_EQ(banner.size(), 2);
    EXPECT_EQ(banner[0], "Veltrane 1.1");
    EXPECT_TRUE(banner[1].contains("the Veltrane developers"));

    EXPECT_TRUE(form->Button2->isEnabled());
    EXPECT_TRUE(form->CheckBox1->isEnabled());
    EXPECT_FALSE(form->CheckBox1->isChecked());
    for (QWidget* w : std::initializer_list<QWidget*>{form->ListBox1, form->Button1, form->RadioButton1,
                                                      form->RadioButton2, form->RadioButton3}) {
        SCOPED_TRACE(w->objectName().toStdString());
        EXPECT_FALSE(w->isEnabled());
    }
    EXPECT_TRUE(form->RadioButton1->isChecked());
    EXPECT_EQ(form->PopupMenu1->actions(), (QList<QAction*>{form->ShowImage1, form->ShowEXIF1, form->ShowStereo1,
                                                            form->SaveStereo1}));
    EXPECT_EQ(form->ShowImage1->text(), "Show Image");
    EXPECT_EQ(form->ShowEXIF1->text(), "EXIF Info");
    EXPECT_FALSE(form->ShowImage1->isEnabled());
    EXPECT_FALSE(form->ShowEXIF1->isEnabled());
    // Hints are off until the first Open.
    EXPECT_EQ(form->ListHint(), " Double click for image preview ");
    EXPECT_TRUE(form->ListBox1->toolTip().isEmpty());
    // The banner is drawn like any entry: white.
    EXPECT_EQ(ListRowColour(0), 0xFFFFFFu);
}

TEST_F(MainWindowLayout, GivesEveryCaptionItsAltKeyAndTabsInTheDesignedOrder) {
    CreateWindow();
    EXPECT_EQ(form->Button2->shortcut(), QKeySequence(Qt::ALT | Qt::Key_O));
    EXPECT_EQ(form->Button1->shortcut(), QKeySequence(Qt::ALT | Qt::Key_X));
    EXPECT_EQ(form->RadioButton1->shortcut(), QKeySequence(Qt::ALT | Qt::Key_A));
    EXPECT_EQ(form->RadioButton2->shortcut(), QKeySequence(Qt::ALT | Qt::Key_D));
    EXPECT_EQ(form->RadioButton3->shortcut(), QKeySequence(Qt::ALT | Qt::Key_E));
    EXPECT_EQ(form->CheckBox1->shortcut(), QKeySequence(Qt::ALT | Qt::Key_C));

    const QList<QWidget*> ours{form->Button2,      form->ListBox1,     form->Button1,  form->RadioButton1,
                               form->RadioButton2, form->RadioButton3, form->CheckBox1};
    QList<QWidget*> chain;
    QWidget* w = form->Button2;
    do {
        if (ours.contains(w) && !chain.contains(w)) chain << w;
        w = w->nextInFocusChain();
    } while (w != form->Button2);
    EXPECT_EQ(chain, ours);
}

TEST_F(MainWindowLayout, AltXRunsExtractOnceAFileIsOpen) {
    CreateWindow();
    OpenThroughDialog(WriteMpo("pair.mpo", {samples::SampleStereoImage(0)}));
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    // A button clicks a moment after its shortcut, having shown itself pressed.
    QSignalSpy clicked(form->Button1, &QPushButton::clicked);
    QTest::keyClick(form.get(), Qt::Key_X, Qt::AltModifier);
    ASSERT_TRUE(clicked.wait());
    EXPECT_EQ(folders.Calls, 1);
}

TEST_F(MainWindowLayout, LinkLabelCarriesTheGuideAddressAndOpensItThroughTheDesktop) {
    CreateWindow();
    EXPECT_EQ(form->HyperLabel1->URL(), "file:///guide.html");
    EXPECT_EQ(form->HyperLabel1->FontColour(), QColor(0x00, 0x00, 0x80));
    EXPECT_TRUE(form->HyperLabel1->font().underline());
    const QPoint inside(5, 5);
    QTest::mousePress(form->HyperLabel1, Qt::LeftButton, {}, inside);
    QTest::mouseRelease(form->HyperLabel1, Qt::LeftButton, {}, inside);
    EXPECT_EQ(desktop.OpenedUrls, std::vector<std::string>{"file:///guide.html"});
}

// ---- Open ----

using OpenCommand = WindowTest;

TEST_F(OpenCommand, AsksForAnMpoFileAndListsItsImages) {
    CreateWindow();
    const std::vector<Bytes> images = FourImages();
    OpenThroughDialog(WriteMpo("holiday.mpo", images));

    EXPECT_EQ(openDialog.Title, "Open MPO file");
    EXPECT_EQ(openDialog.Filter, "MPO files (*.mpo)");
    QStringList expected;
    for (int n = 1; n <= 4; ++n)
        expected << QString::fromStdString(ImageListLine(n, static_cast<std::int64_t>(images[n - 1].size())));
    EXPECT_EQ(ListTexts(), expected);
    EXPECT_EQ(form->Images().ImageCount, 4);
    EXPECT_EQ(form->Panel1->text(), "holiday.mpo");
    for (QWidget* w : std::initializer_list<QWidget*>{form->ListBox1, form->Button1, form->RadioButton1,
                                                      form->RadioButton2, form->RadioButton3, form->Button2}) {
        SCOPED_TRACE(w->objectName().toStdString());
        EXPECT_TRUE(w->isEnabled());
    }
    EXPECT_FALSE(form->ShowImage1->isEnabled());  // nothing selected yet
    EXPECT_FALSE(form->ShowEXIF1->isEnabled());
    EXPECT_EQ(form->ListHint(), " Double click for image preview \n\r Right click for menu ");
    EXPECT_EQ(form->ListBox1->toolTip().split('\n'),
              (QStringList{" Double click for image preview ", " Right click for menu "}));
    EXPECT_TRUE(messages.Errors.empty());
}

TEST_F(OpenCommand, ListsTheImagesOfTheIndexAndTellsAnIgnoredIndexInTheStatusPanel) {
    CreateWindow();
    const std::vector<Bytes> jfif = {samples::SampleJfifImage(0), samples::SampleJfifImage(1)};
    OpenThroughDialog(WriteMpo("phone.mpo", {samples::IndexedMpo(jfif)}));
    EXPECT_EQ(ListTexts().size(), 2);
    EXPECT_EQ(form->Panel1->text(), "phone.mpo");
    EXPECT_TRUE(form->Panel1->toolTip().isEmpty());

    samples::MpfOptions broken;
    broken.edit = [](std::vector<samples::MpEntry>& e, std::uint32_t&) { e[1].offset = 0x7FFFFFF0; };
    OpenThroughDialog(WriteMpo("broken.mpo", {samples::IndexedMpo({samples::SampleStereoImage(0),
                                                                   samples::SampleStereoImage(1)}, broken)}));
    EXPECT_EQ(ListTexts().size(), 2);  // the signature scan finds both
    const QString notice = "MPF index ignored: image 2 lies outside the file";
    EXPECT_EQ(form->Panel1->text(), "broken.mpo: " + notice);
    EXPECT_EQ(form->Panel1->toolTip(), notice);
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
    QTimer::singleShot(0, form.get(), [&] {
        sawScan = form->Scanning();
        for (QWidget* w : std::initializer_list<QWidget*>{form->Button2, form->Button1, form->RadioButton1,
                                                          form->RadioButton2, form->RadioButton3,
                                                          form->ListBox1, form->CheckBox1})
            enabledDuringScan.push_back(w->isEnabled());
        form->Button2Click();  // a second Open now is refused
    });
    OpenThroughDialog(second);

    EXPECT_TRUE(sawScan);
    EXPECT_EQ(enabledDuringScan, std::vector<bool>(7, false));
    EXPECT_EQ(openDialog.Calls, 2);
    EXPECT_FALSE(form->Scanning());
    EXPECT_TRUE(form->Button2->isEnabled());
    EXPECT_TRUE(form->Button1->isEnabled());
    EXPECT_TRUE(form->CheckBox1->isEnabled());
    EXPECT_EQ(ListTexts().size(), 4);
}

TEST_F(OpenCommand, ClosingTheWindowDuringAScanStopsTheScanQuietly) {
    CreateWindow();
    QTimer::singleShot(0, form.get(), [&] { form->close(); });
    OpenThroughDialog(WriteMpo("four.mpo", FourImages()));
    EXPECT_FALSE(form->Scanning());
    EXPECT_LT(form->Images().ImageCount, 4);
    EXPECT_TRUE(messages.Errors.empty());
}

TEST_F(OpenCommand, DroppedMpoFileOpensLikeOpenAndOtherFilesAreRefused) {
    CreateWindow();
    const std::string mpo = WriteMpo("Dropped.MPO", FourImages());
    const std::string jpeg = files / "photo.jpg";
    veltrane::testing::WriteBytes(jpeg, samples::SampleStereoImage(0));

    auto drag = [&](const std::string& path) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(PathFromCore(path))});
        QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(form.get(), &enter);
        if (!enter.isAccepted()) return false;
        QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(form.get(), &drop);
        QCoreApplication::processEvents();
        return true;
    };
    EXPECT_FALSE(drag(jpeg));
    EXPECT_EQ(ListTexts().size(), 2);
    EXPECT_TRUE(drag(mpo));
    EXPECT_EQ(ListTexts().size(), 4);
    EXPECT_EQ(form->Panel1->text(), "Dropped.MPO");
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
    form->RadioButton2->setChecked(true);
    form->Button1->click();

    EXPECT_EQ(folders.Title, "Select output folder");
    EXPECT_EQ(folders.InitialFolder, std::filesystem::current_path().string());
    EXPECT_TRUE(folders.AllowNewFolder);
    EXPECT_EQ(FileNames(out.Path()), (std::vector<std::string>{"trip_001.jpg", "trip_003.jpg"}));
    EXPECT_EQ(ReadBytes(out / "trip_003.jpg"), images[2]);
    EXPECT_TRUE(messages.Errors.empty());
}

// ---- the list ----

using ImageList = WindowTest;

TEST_F(ImageList, ShadesTheImagesTheModeLeavesOutAndMarksTheSelectedOne) {
    CreateWindow();
    OpenThroughDialog(WriteMpo("four.mpo", FourImages()));
    form->ListBox1->setCurrentRow(3);
    struct Case {
        const char* mode;
        QRadioButton* button;
        std::array<QRgb, 4> rows;  // list rows 0 to 3 (images 1 to 4); row 3 selected
    };
    const Case cases[] = {
        {"All", form->RadioButton1, {0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xCCCCCC}},
        {"Odd", form->RadioButton2, {0xFFFFFF, 0xEEEEEE, 0xFFFFFF, 0xCCCCCC}},
        {"Even", form->RadioButton3, {0xEEEEEE, 0xFFFFFF, 0xEEEEEE, 0xCCCCCC}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        c.button->setChecked(true);
        for (int row = 0; row < 4; ++row) {
            SCOPED_TRACE(row);
            EXPECT_EQ(ListRowColour(row), c.rows[row]);
        }
    }
    // The text is black on its background, from the entry's left edge.
    const QImage image = form->ListBox1->viewport()->grab().toImage();
    const QRect first = form->ListBox1->visualItemRect(form->ListBox1->item(0));
    int darkest = 255;
    for (int x = first.left(); x < first.left() + 40; ++x)
        for (int y = first.top(); y <= first.bottom(); ++y) darkest = std::min(darkest, qGray(image.pixel(x, y)));
    EXPECT_LT(darkest, 0x40);
    EXPECT_EQ(first.height(), 13);
}

TEST_F(ImageList, MenuEntriesFollowTheSelectionAlsoByKeyboard) {
    CreateWindow();
    OpenThroughDialog(WriteMpo("four.mpo", FourImages()));
    form->ListBox1->setCurrentRow(1);
    EXPECT_TRUE(form->ShowImage1->isEnabled());
    EXPECT_TRUE(form->ShowEXIF1->isEnabled());
    EXPECT_EQ(ListRowColour(1), 0xCCCCCCu);

    QTest::keyClick(form->ListBox1, Qt::Key_Down);
    EXPECT_EQ(form->SelectedIndex(), 2);
    EXPECT_TRUE(form->ShowImage1->isEnabled());
    EXPECT_EQ(ListRowColour(1), 0xFFFFFFu);
    EXPECT_EQ(ListRowColour(2), 0xCCCCCCu);

    form->ListBox1->clearSelection();
    EXPECT_FALSE(form->ShowImage1->isEnabled());
    EXPECT_FALSE(form->ShowEXIF1->isEnabled());
}

// ---- preview, EXIF and the temporary files ----

using Preview = WindowTest;

TEST_F(Preview, DoubleClickCopiesTheImageToANewTemporaryFileAndOpensExactlyThat) {
    CreateWindow();
    const std::vector<Bytes> images = FourImages();
    OpenThroughDialog(WriteMpo("four.mpo", images));
    ticks.Now = 4000000000u;
    form->ListBox1->setCurrentRow(1);
    // The press, release, double click and release of a double click on entry 1.
    QWidget* viewport = form->ListBox1->viewport();
    const QPoint at = form->ListBox1->visualItemRect(form->ListBox1->item(1)).center();
    for (auto [type, held] : {std::pair{QEvent::MouseButtonPress, Qt::LeftButton},
                              std::pair{QEvent::MouseButtonRelease, Qt::NoButton},
                              std::pair{QEvent::MouseButtonDblClick, Qt::LeftButton},
                              std::pair{QEvent::MouseButtonRelease, Qt::NoButton}}) {
        QMouseEvent event(type, QPointF(at), QPointF(viewport->mapToGlobal(at)), Qt::LeftButton, held,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &event);
    }

    const std::string expected = temp / "vltr4000000000.jpg";
    ASSERT_EQ(desktop.OpenedFiles, std::vector<std::string>{expected});
    EXPECT_EQ(desktop.OpenedBytes[0], images[1]);
}

TEST_F(Preview, ExifInfoFillsNineteenRowsAndShowsTheWindowAndASecondRequestRefillsIt) {
    CreateWindow();
    OpenThroughDialog(WriteMpo("four.mpo", FourImages()));
    EXPECT_FALSE(form2->isVisible());
    form->ListBox1->setCurrentRow(0);
    form->ShowEXIF1->trigger();

    ASSERT_TRUE(form2->isVisible());
    ASSERT_EQ(form2->RowCount(), 19);
    EXPECT_EQ(form2->Caption(0), "Image: ");
    EXPECT_EQ(form2->Value(0), form->ListBox1->item(0)->text().trimmed());
    EXPECT_EQ(form2->Caption(2), "Manufacturer: ");
    EXPECT_EQ(form2->Value(2), "Veltrane");  // read from the temporary copy of image 1
    EXPECT_EQ(form2->Caption(18), "Focal Length: ");
    EXPECT_TRUE(desktop.OpenedFiles.empty());

    const QPoint placed = form2->pos();
    form->ListBox1->setCurrentRow(3);
    form->ShowEXIF1->trigger();
    EXPECT_EQ(form2->RowCount(), 19);
    EXPECT_EQ(form2->Value(0), form->ListBox1->item(3)->text().trimmed());
    EXPECT_EQ(form2->pos(), placed);

    // Closed, the next request shows it again with fresh rows.
    form2->BitBtn1->click();
    EXPECT_FALSE(form2->isVisible());
    form->ListBox1->setCurrentRow(1);
    form->ShowEXIF1->trigger();
    EXPECT_TRUE(form2->isVisible());
    EXPECT_EQ(form2->Value(0), form->ListBox1->item(1)->text().trimmed());
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
    for (const Case& c : {Case{form->RadioButton1, ""}, Case{form->RadioButton2, "odd"},
                          Case{form->RadioButton3, "even"}}) {
        SCOPED_TRACE(c.modeWord);
        c.button->setChecked(true);
        form->CheckBox1->click();
        EXPECT_TRUE(registration.Registered);
        EXPECT_EQ(registration.ModeWord, c.modeWord);
        EXPECT_EQ(registration.ProgramPath, kProgramPath);
        form->CheckBox1->click();
        EXPECT_FALSE(registration.Registered);
    }
    EXPECT_EQ(registration.RegisterCalls, 3);
    EXPECT_EQ(registration.UnregisterCalls, 3);
}

TEST_F(ContextMenuCheckBox, StartUpTicksAnExistingRegistrationAndKeepsItsModeWord) {
    registration = InMemoryRegistration("/old/place/veltrane", "even");
    CreateWindow();
    EXPECT_TRUE(form->CheckBox1->isChecked());
    EXPECT_EQ(registration.ModeWord, "even");           // not rewritten with All's empty word
    EXPECT_EQ(registration.ProgramPath, kProgramPath);  // a moved program updates its entry
    EXPECT_EQ(registration.RegisterCalls, 1);
    EXPECT_TRUE(messages.Errors.empty());
}

}  // namespace
}  // namespace veltrane::gui::test
