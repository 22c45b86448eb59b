// SPDX-License-Identifier: GPL-3.0-or-later
// The window model driven as a front-end drives it, through a recording view and fake services.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/common/image_list_line.h"
#include "core/common/native_path.h"
#include "core/images/image_index.h"
#include "core/window/main_window_model.h"
#include "core/window/stereo_window_model.h"
#include "tools/samples/phone_photos.h"
#include "tests/window/stereo_fakes.h"
#include "tests/window/window_fakes.h"
#include "tools/samples/jpeg_writer.h"
#include "tools/samples/mpf_writer.h"

namespace veltrane::window::test {
namespace {

using veltrane::testing::FileNames;
using veltrane::testing::ReadBytes;
using Kind = MainWindowModel::PreviewKind;

class RecordingView : public MainWindowView {
public:
    void ClearList() override { Lines.clear(); }
    void AppendListLine(const std::string& text) override { Lines.push_back(text); }
    void SetControls(const ControlStates& states) override { Controls = states; }
    void SetStatusText(const std::string& text) override { Status = text; }
    void SetStatusHint(const std::string& hint) override { StatusHint = hint; }
    void SetListHint(const std::string& hint) override { Hint = hint; }
    void SetContextMenuBox(bool checked) override { Box = checked; }
    void RepaintList() override { ++Repaints; }
    void ProcessPendingEvents() override {
        ++EventRuns;
        if (DuringEvents) DuringEvents();
    }
    void ShowExifWindow(const std::vector<ExifRowText>& rows) override {
        ExifRows = rows;
        ++ExifShown;
    }

    std::vector<std::string> Lines;
    ControlStates Controls;
    std::string Status, StatusHint, Hint;
    bool Box = false;
    int Repaints = 0, EventRuns = 0, ExifShown = 0;
    std::vector<ExifRowText> ExifRows;
    std::function<void()> DuringEvents;
};

class WindowModel : public ::testing::Test {
protected:
    void Start() {
        model = std::make_unique<MainWindowModel>(fakes.Services(), view);
        model->Start();
    }

    std::string WriteMpo(const std::string& name, const std::vector<Bytes>& parts) {
        const std::string path = files / name;
        veltrane::testing::WriteBytes(path, samples::JoinImages(parts));
        return path;
    }

    void Open(const std::string& path) {
        fakes.openDialog.Answer = path;
        model->OpenRequested();
    }

    // Opens four sample images and selects list entry row.
    void OpenFourAndSelect(int row) {
        Open(WriteMpo("four.mpo", images));
        model->SelectionChanged(row);
    }

    const std::vector<Bytes> images = FourSampleImages();
    FakeServices fakes;
    RecordingView view;
    veltrane::testing::TempDir files;
    std::unique_ptr<MainWindowModel> model;
};

TEST_F(WindowModel, StartsWithTheBannerOnlyOpenAndTheBoxUsableAndNothingRegistered) {
    Start();
    EXPECT_EQ(view.Lines, MainWindowModel::BannerLines());
    EXPECT_EQ(view.Lines[0], "Veltrane " VELTRANE_VERSION);
    EXPECT_EQ(view.Status, "Ready.");
    EXPECT_EQ(view.Controls, ControlStates{});
    EXPECT_TRUE(view.Controls.OpenButton && view.Controls.ContextMenuBox);
    EXPECT_FALSE(view.Box);
    EXPECT_EQ(model->ListHint(), kFirstHintLine);
    EXPECT_EQ(fakes.registration.RegisterCalls + fakes.registration.UnregisterCalls, 0);
    model->OpenUserGuide();
    EXPECT_EQ(fakes.desktop.OpenedUrls, std::vector<std::string>{"file:///guide.html"});
}

TEST_F(WindowModel, OpenListsTheImagesAndEmptyMissingOrCancelledFilesKeepWhatTheyMust) {
    Start();
    // Cancelled: nothing changes, not even the hint.
    model->OpenRequested();
    EXPECT_EQ(fakes.openDialog.Calls, 1);
    EXPECT_EQ(fakes.openDialog.Title, "Open MPO file");
    EXPECT_EQ(fakes.openDialog.Filter, "MPO and JPEG files (*.mpo *.jpg *.jpeg)");
    EXPECT_EQ(fakes.openDialog.Pattern, "*.mpo;*.jpg;*.jpeg");
    EXPECT_EQ(view.Lines.size(), 2u);
    EXPECT_EQ(model->ListHint(), kFirstHintLine);
    EXPECT_TRUE(view.Hint.empty());

    // Missing: the run-time message, and the window goes on.
    Open(files / "gone.mpo");
    EXPECT_EQ(fakes.messages.Errors, std::vector<std::string>{"File not found"});
    EXPECT_FALSE(model->Scanning());
    EXPECT_TRUE(view.Controls.OpenButton);
    EXPECT_FALSE(view.Controls.ExtractButton);
    EXPECT_EQ(view.Status, "Ready.");

    // No images: the list empties, the rest stays, the hint gets its second line.
    const std::string empty = files / "nothing.mpo";
    veltrane::testing::WriteBytes(empty, Bytes(5000, 0x42));
    Open(empty);
    EXPECT_TRUE(view.Lines.empty());
    EXPECT_EQ(view.Status, "Ready.");
    EXPECT_FALSE(view.Controls.ExtractButton || view.Controls.ImageList);
    EXPECT_EQ(view.Hint, " Double click for image preview \n Right click for menu ");
    EXPECT_EQ(model->ListHint(), " Double click for image preview \n\r Right click for menu ");

    // Images: listed, the panel names the file, everything but the menu usable.
    Open(WriteMpo("holiday.mpo", images));
    std::vector<std::string> expected;
    for (int n = 1; n <= 4; ++n)
        expected.push_back(ImageListLine(n, static_cast<std::int64_t>(images[n - 1].size())));
    EXPECT_EQ(view.Lines, expected);
    EXPECT_EQ(model->ListLines(), expected);
    EXPECT_EQ(view.Status, "holiday.mpo");
    EXPECT_TRUE(view.Controls.ExtractButton && view.Controls.ImageList && view.Controls.ModeButtons);
    EXPECT_FALSE(view.Controls.ShowImage || view.Controls.ShowExif);

    // An empty file after it keeps the controls and the name.
    Open(empty);
    EXPECT_TRUE(view.Lines.empty());
    EXPECT_EQ(model->Images().ImageCount, 0);
    EXPECT_EQ(view.Status, "holiday.mpo");
    EXPECT_TRUE(view.Controls.ExtractButton);
    EXPECT_EQ(fakes.messages.Errors.size(), 1u);
}

TEST_F(WindowModel, ScanLocksEveryCommandAndLetsEventsRunAtLeastOncePerImage) {
    Start();
    const std::string path = WriteMpo("four.mpo", images);
    std::vector<ControlStates> during;
    view.DuringEvents = [&] {
        during.push_back(view.Controls);
        EXPECT_TRUE(model->Scanning());
        EXPECT_FALSE(model->AcceptsDrop());
        model->OpenRequested();  // refused while the scan runs
        model->ExtractRequested();
        model->PreviewRequested(Kind::ShowImage);
    };
    Open(path);
    ASSERT_GE(view.EventRuns, 4);
    for (const ControlStates& states : during) {
        EXPECT_FALSE(states.OpenButton || states.ContextMenuBox || states.ExtractButton || states.ImageList ||
                     states.ModeButtons || states.ShowImage || states.ShowExif);
    }
    EXPECT_EQ(fakes.openDialog.Calls, 1);
    EXPECT_EQ(fakes.folders.Calls, 0);
    EXPECT_FALSE(model->Scanning());
    EXPECT_TRUE(view.Controls.OpenButton && view.Controls.ExtractButton && view.Controls.ContextMenuBox);
    EXPECT_EQ(view.Lines.size(), 4u);
}

TEST_F(WindowModel, CloseDuringAScanStopsItQuietlyAndALongImageStillLetsEventsRun) {
    Start();
    // One image of 8 MiB: its signature is found at once, then the scan reads on for a while.
    Bytes big = samples::SampleStereoImage(0);
    big.resize(8u << 20, 0x00);
    const std::string path = WriteMpo("long.mpo", {big, samples::SampleStereoImage(1)});
    model->SetEventIntervalMs(0);  // after every chunk
    int runs = 0;
    view.DuringEvents = [&] {
        if (++runs == 2) model->WindowClosing();
    };
    Open(path);
    EXPECT_EQ(runs, 2);  // the first after image 1, the second while reading its data
    EXPECT_FALSE(model->Scanning());
    EXPECT_EQ(model->Images().ImageCount, 1);
    EXPECT_TRUE(fakes.messages.Errors.empty());
    EXPECT_TRUE(model->Closing());
}

TEST_F(WindowModel, ExtractWritesTheCheckedModesImagesIntoThePickedFolderOrNothingWhenCancelled) {
    Start();
    Open(WriteMpo("trip.mpo", images));
    struct Case {
        ExtractMode mode;
        std::vector<std::string> written;
        int lastImage;
    };
    const Case cases[] = {
        {ExtractMode::Odd, {"trip_001.jpg", "trip_003.jpg"}, 3},
        {ExtractMode::Even, {"trip_002.jpg", "trip_004.jpg"}, 4},
        {ExtractMode::All, {"trip_001.jpg", "trip_002.jpg", "trip_003.jpg", "trip_004.jpg"}, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.mode));
        veltrane::testing::TempDir out;
        fakes.folders.Answer = out.Path().string();
        model->ModeChosen(c.mode);
        model->ExtractRequested();
        EXPECT_EQ(FileNames(out.Path()), c.written);
        EXPECT_EQ(ReadBytes(out / c.written.back()), images[c.lastImage - 1]);
    }
    EXPECT_EQ(fakes.folders.Title, "Select output folder");
    EXPECT_EQ(fakes.folders.InitialFolder, std::filesystem::current_path().string());
    EXPECT_TRUE(fakes.folders.AllowNewFolder);

    const auto before = FileNames(files.Path());
    fakes.folders.Answer.clear();
    model->ExtractRequested();
    EXPECT_EQ(FileNames(files.Path()), before);
    EXPECT_TRUE(fakes.messages.Errors.empty());

    // A file without images still asks for the folder, and writes nothing into it.
    const std::string empty = files / "nothing.mpo";
    veltrane::testing::WriteBytes(empty, Bytes(100, 0));
    Open(empty);
    const int asked = fakes.folders.Calls;
    veltrane::testing::TempDir out;
    fakes.folders.Answer = out.Path().string();
    model->ExtractRequested();
    EXPECT_EQ(fakes.folders.Calls, asked + 1);
    EXPECT_TRUE(FileNames(out.Path()).empty());
}

TEST_F(WindowModel, ListColoursFollowTheModeAndTheSelectionAndTheMenuFollowsTheSelection) {
    Start();
    OpenFourAndSelect(3);
    EXPECT_TRUE(view.Controls.ShowImage && view.Controls.ShowExif);
    struct Case {
        ExtractMode mode;
        std::uint32_t rows[4];  // list rows 0 to 3; row 3 selected
    };
    const Case cases[] = {
        {ExtractMode::All, {0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xCCCCCC}},
        {ExtractMode::Odd, {0xFFFFFF, 0xEEEEEE, 0xFFFFFF, 0xCCCCCC}},
        {ExtractMode::Even, {0xEEEEEE, 0xFFFFFF, 0xEEEEEE, 0xCCCCCC}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.mode));
        const int repaints = view.Repaints;
        model->ModeChosen(c.mode);
        EXPECT_EQ(view.Repaints, repaints + 1);
        for (int row = 0; row < 4; ++row) {
            EXPECT_EQ(model->RowColour(row), c.rows[row]);
        }
    }
    model->SelectionChanged(-1);
    EXPECT_FALSE(view.Controls.ShowImage || view.Controls.ShowExif);
    EXPECT_EQ(model->RowColour(3), kIncludedColour);  // image 4 of Even, no longer selected
}

TEST_F(WindowModel, PreviewCopiesTheSelectedImageToAFreshTemporaryFileOfItsOwnRunAndCloseRemovesThose) {
    Start();
    // Without a selection nothing is copied.
    Open(WriteMpo("four.mpo", images));
    model->PreviewRequested(Kind::ShowImage);
    EXPECT_TRUE(fakes.desktop.OpenedFiles.empty());
    EXPECT_TRUE(FileNames(fakes.temp.Dir.Path()).empty());

    // Two requests within one tick never replace the first copy; the last image runs to the end.
    fakes.ticks.Now = 4000000000u;
    fakes.ticks.Step = 0;
    for (int row : {0, 3}) {
        model->SelectionChanged(row);
        model->PreviewRequested(Kind::ShowImage);
    }
    ASSERT_EQ(fakes.desktop.OpenedFiles.size(), 2u);
    EXPECT_EQ(fakes.desktop.OpenedFiles[0], fakes.TempFile("vltr4000000000.jpg"));
    EXPECT_EQ(fakes.desktop.OpenedFiles[1], fakes.TempFile("vltr4000000001.jpg"));
    EXPECT_EQ(ReadBytes(fakes.desktop.OpenedFiles[0]), images[0]);
    EXPECT_EQ(ReadBytes(fakes.desktop.OpenedFiles[1]), images[3]);

    // Closing removes this run's folder and nothing else: another window's previews (of a
    // process that runs) and other programs' files stay, "vltr" names included.
    fakes.processes.Running = {77};
    std::filesystem::create_directory(fakes.temp.Dir.Path() / "veltrane-77");
    veltrane::testing::WriteBytes(fakes.temp.Dir.Path() / "veltrane-77" / "vltr5.jpg", Bytes{1});
    for (const char* name : {"vltr-of-another-program", "keep.jpg"})
        veltrane::testing::WriteBytes(fakes.temp / name, Bytes{1, 2, 3});
    model->WindowClosing();
    EXPECT_EQ(FileNames(fakes.temp.Dir.Path()),
              (std::vector<std::string>{"keep.jpg", "veltrane-77", "vltr-of-another-program"}));
    EXPECT_EQ(FileNames(fakes.temp.Dir.Path() / "veltrane-77"), std::vector<std::string>{"vltr5.jpg"});
    EXPECT_FALSE(model->Closing());  // no scan ran: nothing to stop
}

TEST_F(WindowModel, StartRemovesTheTemporaryFoldersOfRunsThatHaveEndedOnly) {
    const std::filesystem::path temp = fakes.temp.Dir.Path();
    // Runs of processes 77 (still running), 78 and 79 (ended), and names that are no run folder.
    for (const char* folder : {"veltrane-77", "veltrane-78", "veltrane-79", "veltrane-4242", "veltrane-test-1",
                               "veltrane-078", "veltrane-"}) {
        std::filesystem::create_directory(temp / folder);
        veltrane::testing::WriteBytes(temp / folder / "vltr1.jpg", Bytes{1});
    }
    std::filesystem::create_directory(temp / "veltrane-79" / "inner");
    veltrane::testing::WriteBytes(temp / "veltrane-80", Bytes{1});  // a file, not a run folder
    std::vector<std::string> kept = {"veltrane-", "veltrane-078", "veltrane-4242", "veltrane-77", "veltrane-80",
                                     "veltrane-test-1"};
#ifndef _WIN32
    // A link of that name is nobody's run folder: neither it nor what it points to goes.
    std::filesystem::create_directory(temp / "target");
    veltrane::testing::WriteBytes(temp / "target" / "precious.jpg", Bytes{1});
    std::filesystem::create_directory_symlink(temp / "target", temp / "veltrane-81");
    kept = {"target", "veltrane-", "veltrane-078", "veltrane-4242", "veltrane-77", "veltrane-80", "veltrane-81",
            "veltrane-test-1"};
#endif
    fakes.processes.Running = {77};
    Start();
    EXPECT_EQ(FileNames(temp), kept);
    EXPECT_EQ(FileNames(temp / "veltrane-4242"), std::vector<std::string>{"vltr1.jpg"});  // this run's own
    EXPECT_TRUE(fakes.messages.Errors.empty());
}

TEST_F(WindowModel, ExifInfoFillsNineteenRowsFromTheCopyAndACopyFailureShowsTheRunTimeMessage) {
    Start();
    OpenFourAndSelect(2);
    model->PreviewRequested(Kind::ShowExif);
    ASSERT_EQ(view.ExifShown, 1);
    ASSERT_EQ(view.ExifRows.size(), 19u);
    EXPECT_EQ(view.ExifRows[0].Caption, "Image: ");
    const std::string entry = ImageListLine(3, static_cast<std::int64_t>(images[2].size()));
    EXPECT_EQ(view.ExifRows[0].Value, entry.substr(entry.find_first_not_of(' ')));
    EXPECT_EQ(view.ExifRows[2].Caption, "Manufacturer: ");
    EXPECT_EQ(view.ExifRows[2].Value, "Veltrane");
    EXPECT_EQ(view.ExifRows[18].Caption, "Focal Length: ");
    EXPECT_TRUE(fakes.desktop.OpenedFiles.empty());
    // The row colours of the EXIF window.
    EXPECT_EQ(ExifRowColour(0), 0xFFFFFFu);
    EXPECT_EQ(ExifRowColour(1), 0xF5F5F5u);
    EXPECT_EQ(ExifRowColour(17), 0xF5F5F5u);
    EXPECT_EQ(ExifRowColour(18), 0xFFFFFFu);
    EXPECT_EQ(ExifRowColour(19), 0xFFFFFFu);
    EXPECT_EQ(ExifRowColour(-1), 0xFFFFFFu);

    std::filesystem::remove(files / "four.mpo");
    model->PreviewRequested(Kind::ShowExif);
    EXPECT_EQ(fakes.messages.Errors, std::vector<std::string>{"File not found"});
    EXPECT_EQ(view.ExifShown, 1);
}

TEST_F(WindowModel, TheBoxRegistersTheModeCheckedAtThatMomentAndShowsFailures) {
    Start();
    Open(WriteMpo("four.mpo", images));
    struct Case {
        ExtractMode mode;
        const char* modeWord;
    };
    for (const Case& c : {Case{ExtractMode::All, ""}, Case{ExtractMode::Odd, "odd"}, Case{ExtractMode::Even, "even"}}) {
        SCOPED_TRACE(c.modeWord);
        model->ModeChosen(c.mode);
        model->ContextMenuEntryToggled(true);
        EXPECT_TRUE(fakes.registration.Registered);
        EXPECT_EQ(fakes.registration.ModeWord, c.modeWord);
        EXPECT_EQ(fakes.registration.ProgramPath, kProgramPath);
        model->ContextMenuEntryToggled(false);
        EXPECT_FALSE(fakes.registration.Registered);
    }
    // A later mode change leaves the registration alone.
    model->ContextMenuEntryToggled(true);
    model->ModeChosen(ExtractMode::Odd);
    EXPECT_EQ(fakes.registration.ModeWord, "even");
    EXPECT_EQ(fakes.registration.RegisterCalls, 4);
    EXPECT_EQ(fakes.registration.UnregisterCalls, 3);

    fakes.registration.FailureMessage = "Failed to create key MPO (Multi Picture Object)";
    model->ContextMenuEntryToggled(true);
    EXPECT_EQ(fakes.messages.Errors, std::vector<std::string>{"Failed to create key MPO (Multi Picture Object)"});
    EXPECT_TRUE(model->ContextMenuBoxChecked());
}

TEST_F(WindowModel, StartUpRewritesAnExistingRegistrationWithItsModeWordAndTicksTheBox) {
    struct Case {
        const char* name;
        std::string modeWord;
        std::string failure;
    };
    const Case cases[] = {{"refreshed", "even", ""}, {"refresh fails", "odd", "Failed to set data for 'command'"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fakes.registration = InMemoryRegistration("/old/place/veltrane", c.modeWord);
        fakes.registration.FailureMessage = c.failure;
        fakes.messages.Errors.clear();
        view.Box = false;
        Start();
        EXPECT_TRUE(view.Box);
        EXPECT_EQ(fakes.registration.ModeWord, c.modeWord);
        EXPECT_EQ(fakes.registration.ProgramPath, c.failure.empty() ? kProgramPath : "/old/place/veltrane");
        EXPECT_EQ(fakes.messages.Errors,
                  c.failure.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.failure});
    }
}

TEST_F(WindowModel, DroppedFilesOpenTheFirstFileThatOpenTakesAndErrorTextsBecomeUtf8) {
    Start();
    const std::string mpo = WriteMpo("Dropped.MPO", images);
    const std::string jpeg = WriteMpo("photo.jpg", images);
    const std::string phone = WriteMpo("PXL_1.MP.JPEG", {images[0]});
    const std::string video = WriteMpo("clip.mp4", images);
    std::filesystem::create_directory(files / "folder.mpo");
    // The drop takes what the Open dialog offers, and nothing else.
    EXPECT_EQ(fakes.openDialog.Calls, 0);
    EXPECT_EQ(OpenFilterName(), "MPO and JPEG files (*.mpo *.jpg *.jpeg)");
    EXPECT_EQ(OpenFilterPattern(), "*.mpo;*.jpg;*.jpeg");
    struct Case {
        std::vector<std::string> paths;
        std::string opened;  // "" for a refused drop
        std::size_t lines;
    };
    const Case cases[] = {
        {{video, files / "folder.mpo", files / "gone.jpg"}, "", 2},
        {{video, mpo}, "Dropped.MPO", 4},
        {{jpeg, mpo}, "photo.jpg", 4},
        {{files / "folder.mpo", phone}, "PXL_1.MP.JPEG", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.opened);
        const std::string status = view.Status;
        EXPECT_EQ(model->FilesDropped(c.paths), !c.opened.empty());
        EXPECT_EQ(FileNamePart(MainWindowModel::DroppedOpenedFile(c.paths)), c.opened);
        EXPECT_EQ(view.Lines.size(), c.lines);
        EXPECT_EQ(view.Status, c.opened.empty() ? status : c.opened);
    }
    EXPECT_EQ(fakes.openDialog.Calls, 0);

    EXPECT_EQ(ErrorTextToUtf8("File not found"), "File not found");
    EXPECT_EQ(ErrorTextToUtf8("Cannot write /home/j\xC3\xBCrgen"), "Cannot write /home/j\xC3\xBCrgen");
    EXPECT_EQ(ErrorTextToUtf8("Caf\xE9 \x80"), "Caf\xC3\xA9 \xE2\x82\xAC");
    EXPECT_EQ(ErrorTextToUtf8("\xC0\xAF"), "\xC3\x80\xC2\xAF");  // an overlong form is no UTF-8
}

TEST_F(WindowModel, AnIgnoredMpfIndexIsToldInTheStatusPanelAndItsHint) {
    Start();
    Open(WriteMpo("phone.mpo", {samples::IndexedMpo({samples::SampleJfifImage(0), samples::SampleJfifImage(1)})}));
    EXPECT_EQ(view.Lines.size(), 2u);
    EXPECT_EQ(view.Status, "phone.mpo");
    EXPECT_EQ(view.StatusHint, "");
    samples::MpfOptions broken;
    broken.edit = [](std::vector<samples::MpEntry>& e, std::uint32_t&) { e[1].offset = 0x7FFFFFF0; };
    Open(WriteMpo("broken.mpo", {samples::IndexedMpo({images[0], images[1]}, broken)}));
    EXPECT_EQ(view.Lines.size(), 2u);  // the signature scan finds both
    EXPECT_EQ(view.Status, "broken.mpo: MPF index ignored: image 2 lies outside the file");
    EXPECT_EQ(view.StatusHint, "MPF index ignored: image 2 lies outside the file");
    EXPECT_TRUE(fakes.messages.Errors.empty() && fakes.messages.Notes.empty());
}

// Records what the window asks of the stereo library, and writes a marker file.
class FakeStereo : public StereoWriter {
public:
    std::vector<StereoLayoutChoice> Layouts() override {
        return {{StereoFileType::CrossJps, "A (*.jps)"}, {StereoFileType::Mpo, "B (*.mpo)"}};
    }
    std::string SuggestedPath(const std::string& source, StereoFileType type) override {
        return source + "." + std::to_string(static_cast<int>(type));
    }
    void Write(const std::string& source, StereoFileType type, const std::string& path) override {
        Writes.push_back(source + " " + std::to_string(static_cast<int>(type)) + " " + path);
        veltrane::testing::WriteBytes(path, Bytes{1});
    }
    std::vector<std::string> Writes;
};

TEST_F(WindowModel, StereoEntriesNeedAPairAndAWriterAndSaveWritesTheChosenLayout) {
    FakeStereo stereo;
    FakePreviewer previewer;
    RecordingStereoView stereoView;
    StereoWindowModel stereoWindow({previewer, fakes.saveDialog, fakes.messages}, stereoView);
    WindowServices services = fakes.Services();
    services.Stereo = &stereo;
    model = std::make_unique<MainWindowModel>(services, view);
    model->Start();
    EXPECT_FALSE(view.Controls.ShowStereo || view.Controls.SaveStereo);
    Open(WriteMpo("one.mpo", {images[0]}));
    model->SetStereoWindow(&stereoWindow);
    EXPECT_FALSE(view.Controls.ShowStereo);
    model->ShowStereoRequested();
    EXPECT_TRUE(stereo.Writes.empty() && previewer.Calls.empty());

    const std::string pair = WriteMpo("pair.mpo", {images[0], images[1]});
    Open(pair);
    EXPECT_TRUE(view.Controls.ShowStereo && view.Controls.SaveStereo);
    model->SetStereoWindow(nullptr);
    EXPECT_FALSE(view.Controls.ShowStereo);  // "Show Stereo" needs the Stereo window
    EXPECT_TRUE(view.Controls.SaveStereo);
    model->SetStereoWindow(&stereoWindow);
    model->ShowStereoRequested();
    EXPECT_EQ(previewer.Calls.front(), "open " + pair + " 1 2 1000");
    EXPECT_TRUE(stereoView.Visible);
    EXPECT_TRUE(fakes.desktop.OpenedFiles.empty());  // no temporary picture for a viewer any more
    struct Case {
        int chosen;
        std::string answer;  // "" cancels
        const char* written;
    };
    // The choice reaches the writer as the layout listed there (Mpo is 9); a place outside the
    // list is the first layout's.
    for (const Case& c : {Case{1, files / "b.mpo", "9"}, Case{7, files / "c.jps", "0"}, Case{0, "", nullptr}}) {
        SCOPED_TRACE(c.chosen);
        stereo.Writes.clear();
        fakes.saveDialog.ChosenType = c.chosen;
        fakes.saveDialog.Answer = c.answer;
        model->SaveStereoRequested();
        EXPECT_EQ(fakes.saveDialog.Title, "Save Stereo");
        EXPECT_EQ(fakes.saveDialog.SuggestedPaths, (std::vector<std::string>{pair + ".0", pair + ".9"}));
        if (c.written == nullptr) {
            EXPECT_TRUE(stereo.Writes.empty());
        } else {
            EXPECT_EQ(stereo.Writes, std::vector<std::string>{pair + " " + c.written + " " + c.answer});
        }
    }
    EXPECT_TRUE(fakes.messages.Errors.empty());
    // A dropped spatial photo opens in the Stereo window; the list keeps the MPO file's images.
    const std::string photo = files / "IMG_0001.heic";
    veltrane::testing::WriteBytes(photo, Bytes{0, 0, 0, 16, 'f', 't', 'y', 'p', 'h', 'e', 'i', 'c', 0, 0, 0, 0});
    const std::vector<std::string> listed = view.Lines;
    EXPECT_EQ(model->DroppedSpatialPhoto({files / "gone.heic", photo}), photo);
    EXPECT_TRUE(model->FilesDropped({photo}));
    EXPECT_EQ(previewer.Calls.back(), "render");
    EXPECT_NE(std::find(previewer.Calls.begin(), previewer.Calls.end(), "open spatial " + photo + " 1000"),
              previewer.Calls.end());
    EXPECT_EQ(view.Lines, listed);
    model->SetStereoWindow(nullptr);
    EXPECT_FALSE(model->FilesDropped({photo}));  // nowhere to show it
    model->SetStereoWindow(&stereoWindow);
    model->WindowClosing();  // the Stereo window closes with the main window
    EXPECT_FALSE(stereoView.Visible);
    EXPECT_EQ(previewer.Calls.back(), "close");
}

// Show Stereo and Save Stereo are offered for the views of one scene: a file whose index lists
// disparity or multi-angle images, or a file without an index; not for a photo with its gain map.
TEST_F(WindowModel, StereoEntriesOnlyForAStereoSet) {
    FakeStereo stereo;
    FakePreviewer previewer;
    RecordingStereoView stereoView;
    StereoWindowModel stereoWindow({previewer, fakes.saveDialog, fakes.messages}, stereoView);
    WindowServices services = fakes.Services();
    services.Stereo = &stereo;
    model = std::make_unique<MainWindowModel>(services, view);
    model->Start();
    model->SetStereoWindow(&stereoWindow);
    auto typed = [&](std::uint32_t first, std::uint32_t second) {
        samples::MpfOptions options;
        options.edit = [=](std::vector<samples::MpEntry>& entries, std::uint32_t&) {
            entries[0].attribute = first;
            entries[1].attribute = second;
        };
        return samples::IndexedMpo({samples::SampleJfifImage(0), samples::SampleJfifImage(1)}, options);
    };
    struct Case {
        const char* name;
        Bytes file;
        bool offered;
    };
    const Case cases[] = {
        {"console.mpo", typed(0x20020002, 0x00020002), true},   // both eyes disparity images
        {"library.mpo", typed(0x20030000, 0x00020002), true},   // primary image, then a disparity image
        {"angles.mpo", typed(0x20020003, 0x00020003), true},    // multi-angle
        {"phone.mpo", typed(0x20030000, 0x00000000), false},    // a photo and its gain map
        {"thumbs.mpo", typed(0x20030000, 0x00010001), false},   // a photo and a large thumbnail
        {"plain.mpo", Bytes{}, true},                           // no index: the signature scan's pair
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path =
            c.file.empty() ? WriteMpo(c.name, {images[0], images[1]}) : WriteMpo(c.name, {c.file});
        Open(path);
        ASSERT_EQ(model->Images().ImageCount, 2);
        EXPECT_EQ(view.Controls.ShowStereo, c.offered);
        EXPECT_EQ(view.Controls.SaveStereo, c.offered);
        previewer.Calls.clear();
        model->ShowStereoRequested();
        EXPECT_EQ(previewer.Calls.empty(), !c.offered);
    }
}

TEST_F(WindowModel, ShowStereoOpensTheSelectedImageWithTheNextOne) {
    struct Case {
        int selected, count;
        std::pair<int, int> pair;
    };
    for (const Case& c : {Case{-1, 4, {1, 2}}, Case{0, 4, {1, 2}}, Case{1, 4, {2, 3}}, Case{2, 4, {3, 4}},
                          Case{3, 4, {3, 4}}, Case{1, 2, {1, 2}}, Case{9, 4, {1, 2}}}) {
        SCOPED_TRACE(::testing::Message() << c.selected << " of " << c.count);
        EXPECT_EQ(MainWindowModel::StereoPairOf(c.selected, c.count), c.pair);
    }
    FakePreviewer previewer;
    RecordingStereoView stereoView;
    StereoWindowModel stereoWindow({previewer, fakes.saveDialog, fakes.messages}, stereoView);
    Start();
    model->SetStereoWindow(&stereoWindow);
    OpenFourAndSelect(2);
    model->ShowStereoRequested();
    EXPECT_EQ(previewer.Calls.front(), "open " + (files / "four.mpo") + " 3 4 1000");
    EXPECT_EQ(stereoView.Title, "Stereo - four.mpo");
}

}  // namespace
}  // namespace veltrane::window::test

namespace veltrane::window::test {
namespace {

// A motion photo: its video listed after the images in the list's own layout, written by Extract
// with All only, shown by the desktop's handler for videos; no EXIF window for it.
TEST_F(WindowModel, OtherPartsAreListedExtractedAndShown) {
    Start();
    const samples::MotionPhoto photo = samples::ContainerMotionPhoto(true, 50000);
    const std::string path = files / "motion.jpg";
    veltrane::testing::WriteBytes(path, photo.file);
    Open(path);
    const auto gainStart = static_cast<std::int64_t>(photo.videoStart - photo.gainMap.size());
    EXPECT_EQ(view.Lines, (std::vector<std::string>{ImageListLine(1, gainStart),
                                                    ImageListLine(2, static_cast<std::int64_t>(photo.gainMap.size())),
                                                    " Video 003:  48 K"}));
    EXPECT_EQ(PartListLine("Image", 2, 4096), ImageListLine(2, 4096));
    model->SelectionChanged(2);
    EXPECT_TRUE(view.Controls.ShowImage);
    EXPECT_FALSE(view.Controls.ShowExif);
    model->PreviewRequested(Kind::ShowExif);
    EXPECT_EQ(view.ExifShown, 0);
    model->PreviewRequested(Kind::ShowImage);
    ASSERT_EQ(fakes.desktop.OpenedFiles.size(), 1u);
    EXPECT_TRUE(fakes.desktop.OpenedFiles[0].ends_with(".mp4"));
    EXPECT_EQ(fakes.desktop.OpenedBytes[0], photo.video);

    for (const ExtractMode mode : {ExtractMode::Odd, ExtractMode::All}) {
        veltrane::testing::TempDir out;
        model->ModeChosen(mode);
        EXPECT_EQ(model->RowColour(1), mode == ExtractMode::All ? kIncludedColour : kLeftOutColour);
        fakes.folders.Answer = out.Path().string();
        model->ExtractRequested();
        const std::vector<std::string> all = {"motion_001.jpg", "motion_002.jpg", "motion_003.mp4"};
        const std::vector<std::string> odd = {"motion_001.jpg"};
        EXPECT_EQ(FileNames(out.Path()), mode == ExtractMode::All ? all : odd);
    }
    EXPECT_TRUE(fakes.messages.Errors.empty());
}

}  // namespace
}  // namespace veltrane::window::test
