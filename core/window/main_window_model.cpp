#include "core/window/main_window_model.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <utility>

#include "core/common/cp1252.h"
#include "core/common/file_io.h"
#include "core/common/native_path.h"
#include "core/common/unicode_text.h"
#include "core/metadata/exif_rows.h"
#include "core/window/temp_files.h"

namespace veltrane::window {
namespace {

// Thrown out of the scan when the window closes while it runs, so that the scan stops.
struct ScanCancelled {};

// Restores the scanning state on every way out of a scan.
class ScanInProgress {
public:
    ScanInProgress(bool& flag, MainWindowModel& model, void (MainWindowModel::*changed)())
        : flag_(flag), model_(model), changed_(changed) {
        flag_ = true;
        (model_.*changed_)();
    }
    ~ScanInProgress() {
        flag_ = false;
        (model_.*changed_)();
    }
    ScanInProgress(const ScanInProgress&) = delete;
    ScanInProgress& operator=(const ScanInProgress&) = delete;

private:
    bool& flag_;
    MainWindowModel& model_;
    void (MainWindowModel::*changed_)();
};

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The name part of a path, after its last folder separator.
std::string FileNamePart(const std::string& path) {
    std::size_t start = path.size();
    while (start > 0 && !IsPathSeparator(path[start - 1])) --start;
    return path.substr(start);
}

}  // namespace

std::uint32_t ExifRowColour(int row, std::uint32_t previous) {
    if (row < 0 || row > 18) return previous;
    return row % 2 == 0 ? 0xFFFFFFu : 0xF5F5F5u;
}

std::string ErrorTextToUtf8(const std::string& text) {
    return IsValidUtf8(text, /*allowSurrogates=*/true) ? text : Cp1252ToUtf8(text);
}

MainWindowModel::MainWindowModel(WindowServices services, MainWindowView& view)
    : services_(std::move(services)), view_(view), lines_(BannerLines()) {}

std::vector<std::string> MainWindowModel::BannerLines() {
    return {"Veltrane " VELTRANE_VERSION, "the Veltrane developers"};
}

void MainWindowModel::Start() {
    view_.ClearList();
    for (const std::string& line : lines_) view_.AppendListLine(line);
    view_.SetStatusText(status_);
    UpdateControls();
    FormCreate();
}

void MainWindowModel::UpdateControls() {
    const bool idle = !scanning_;
    const bool ready = opened_ && idle;
    ControlStates states;
    states.OpenButton = idle;
    states.ContextMenuBox = idle;
    states.ExtractButton = ready;
    states.ImageList = ready;
    states.ModeButtons = ready;
    states.ShowImage = ready && selected_ >= 0;
    states.ShowExif = states.ShowImage;
    states.ShowStereo = ready && images_.ImageCount >= 2 && services_.Stereo != nullptr;
    states.SaveStereo = states.ShowStereo && services_.SaveDialog != nullptr;
    controls_ = states;
    view_.SetControls(states);
}

template <typename Command>
void MainWindowModel::RunCommand(Command&& command) {
    try {
        command();
    } catch (const ScanCancelled&) {
        // The window closed during a scan: nothing to report.
    } catch (const std::exception& error) {
        services_.Messages.ShowError(ErrorTextToUtf8(error.what()));
    }
}

// ---- start-up ----

void MainWindowModel::FormCreate() {
    // A registration that exists is written again for this program's path with the mode word it
    // carries; the box is then ticked without running CheckBox1Click, which would register the
    // mode of the buttons (All at every start) instead.
    bool registered = false;
    try {
        registered = RefreshRegistration(services_.Registration, services_.ProgramPath);
    } catch (const std::exception& error) {
        services_.Messages.ShowError(ErrorTextToUtf8(error.what()));
        try {
            registered = services_.Registration.IsRegistered();
        } catch (const std::exception&) {
            registered = false;
        }
    }
    if (registered) {
        registeredBox_ = true;
        view_.SetContextMenuBox(true);
    }
}

// ---- Open ----

void MainWindowModel::Button2Click() {
    if (scanning_) return;
    const std::string path =
        services_.OpenDialog.GetOpenFileName("Open MPO file", "MPO files (*.mpo)", "*.mpo");
    if (path.empty()) return;
    OpenMpoFile(path);
}

void MainWindowModel::OpenMpoFile(const std::string& path) {
    if (scanning_) return;
    RunCommand([&] {
        images_.SourceFileName = path;
        lines_.clear();
        selected_ = -1;
        view_.ClearList();
        limitReached_ = false;
        mpfNotice_.clear();
        {
            ScanInProgress scan(scanning_, *this, &MainWindowModel::UpdateControls);
            lastEventsAt_ = NowMs();
            ScanImageOffsets(images_, images_.SourceFileName, ImageSignature, *this);
        }
        if (images_.ImageCount > 0) {
            opened_ = true;
            status_ = FileNamePart(path);
            view_.SetStatusText(status_);
        }
        // An ignored index is told in the status panel (in full in its hint), not in a box.
        if (!mpfNotice_.empty()) {
            status_ = FileNamePart(path) + ": " + mpfNotice_;
            view_.SetStatusText(status_);
        }
        view_.SetStatusHint(mpfNotice_);
        UpdateControls();
        hint_ = std::string(kFirstHintLine) + "\n\r" + kSecondHintLine;
        view_.SetListHint(std::string(kFirstHintLine) + "\n" + kSecondHintLine);
        if (limitReached_) {
            const std::string limit = std::to_string(kMaxImages);
            services_.Messages.ShowInformation(FileNamePart(path) + " holds more than " + limit +
                                               " images; only the first " + limit + " are listed.");
        }
    });
}

void MainWindowModel::AppendListLine(const std::string& line) {
    lines_.push_back(Cp1252ToUtf8(line));
    view_.AppendListLine(lines_.back());
}

// Once per image, as the scan always did, and at least every kEventIntervalMs while a long
// image is read.
void MainWindowModel::ProcessPendingEvents() { LetEventsRun(); }

void MainWindowModel::ChunkScanned(std::int64_t) {
    if (NowMs() - lastEventsAt_ >= eventIntervalMs_) LetEventsRun();
}

void MainWindowModel::LetEventsRun() {
    view_.ProcessPendingEvents();
    lastEventsAt_ = NowMs();
    if (closing_) throw ScanCancelled{};
}

void MainWindowModel::ImageLimitReached(std::int64_t) { limitReached_ = true; }

void MainWindowModel::MpfIndexIgnored(const std::string& reason) { mpfNotice_ = "MPF index ignored: " + reason; }

// ---- Extract ----

void MainWindowModel::Button1Click() {
    if (scanning_) return;
    RunCommand([&] { RunExtractCommand(images_, mode_, false, services_.Folders); });
}

// ---- the context-menu entry ----

void MainWindowModel::CheckBox1Click(bool checked) {
    // The mode is taken at the moment the box is ticked; later changes of the buttons leave the
    // registration as it is.
    registeredBox_ = checked;
    RunCommand([&] {
        if (!checked) {
            services_.Registration.Unregister();
            return;
        }
        std::string modeWord;
        if (mode_ == ModeButton::Odd) modeWord = "odd";
        if (mode_ == ModeButton::Even) modeWord = "even";
        services_.Registration.Register(services_.ProgramPath, modeWord);
    });
}

// ---- the image list ----

void MainWindowModel::RadioButton1Click(ModeButton mode) {
    mode_ = mode;
    view_.RepaintList();
}

std::uint32_t MainWindowModel::ListBox1DrawItem(int index) {
    std::uint32_t& colour = images_.ListItemColour;
    if (mode_ == ModeButton::All) colour = kIncludedColour;
    if (mode_ == ModeButton::Odd) colour = index % 2 == 1 ? kLeftOutColour : kIncludedColour;
    if (mode_ == ModeButton::Even) colour = index % 2 == 1 ? kIncludedColour : kLeftOutColour;
    if (selected_ == index) colour = kSelectedColour;
    return colour;
}

void MainWindowModel::ListBox1Click1(int selectedIndex) {
    selected_ = selectedIndex >= 0 && selectedIndex < static_cast<int>(lines_.size()) ? selectedIndex : -1;
    view_.RepaintList();
    UpdateControls();
}

// ---- preview and EXIF ----

void MainWindowModel::ListBox1Click(PreviewKind kind) {
    UpdateControls();
    if (selected_ < 0 || scanning_) return;
    RunCommand([&] {
        const int n = selected_ + 1;
        if (n > images_.ImageCount) return;
        images_.TempImageFile =
            NewTempImageFileName(services_.Temp.TempFolder(), services_.Ticks.TickCount());
        CopyImageToFile(images_, n, images_.TempImageFile);
        if (kind == PreviewKind::ShowExif) {
            ShowExif();
        } else {
            services_.Desktop.OpenFile(images_.TempImageFile);
        }
    });
}

void MainWindowModel::ShowExif() {
    const int n = selected_ + 1;
    const std::int64_t size =
        images_.ImageEnd(n, FileSizeByName(images_.SourceFileName)) - images_.ImageStart(n);
    const exif::ExifRows rows = exif::ExifWindowRows(images_.TempImageFile, n, size, services_.Numbers);
    std::vector<ExifRowText> shown;
    shown.reserve(rows.size());
    for (const exif::ExifRow& row : rows) shown.push_back({std::string(row.Caption), row.Value});
    view_.ShowExifWindow(shown);
}

void MainWindowModel::OpenUserGuide() {
    if (!services_.UserGuideUrl.empty()) services_.Desktop.OpenUrl(services_.UserGuideUrl);
}

// ---- stereo pictures of images 1 and 2 ----

void MainWindowModel::ShowStereo1Click() {
    if (scanning_ || images_.ImageCount < 2 || services_.Stereo == nullptr) return;
    RunCommand([&] {
        images_.TempImageFile = NewTempImageFileName(services_.Temp.TempFolder(), services_.Ticks.TickCount());
        services_.Stereo->Write(images_.SourceFileName, -1, images_.TempImageFile);
        services_.Desktop.OpenFile(images_.TempImageFile);
    });
}

void MainWindowModel::SaveStereo1Click() {
    if (scanning_ || images_.ImageCount < 2 || services_.Stereo == nullptr || services_.SaveDialog == nullptr)
        return;
    RunCommand([&] {
        const std::vector<std::string> types = services_.Stereo->LayoutTypes();
        std::vector<std::string> names;
        for (std::size_t i = 0; i < types.size(); ++i)
            names.push_back(services_.Stereo->SuggestedPath(images_.SourceFileName, static_cast<int>(i)));
        int type = 0;
        const std::string path = services_.SaveDialog->GetSaveFileName("Save Stereo", types, names, type);
        if (path.empty()) return;
        if (type < 0 || type >= static_cast<int>(types.size())) type = 0;
        services_.Stereo->Write(images_.SourceFileName, type, path);
    });
}

// ---- closing ----

void MainWindowModel::FormClose() {
    if (scanning_) closing_ = true;  // the scan stops the next time it lets events run
    DeleteFilesByMask(services_.Temp.TempFolder(), kTempFileMask);
}

// ---- dropped files ----

std::string MainWindowModel::DroppedMpoFile(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        const std::string name = FileNamePart(path);
        if (name.size() < 4) continue;
        std::string extension = name.substr(name.size() - 4);
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
        if (extension == ".mpo" && KindOf(path) == PathKind::File) return FullPath(path);
    }
    return {};
}

bool MainWindowModel::DropFiles(const std::vector<std::string>& paths) {
    if (!AcceptsDrop()) return false;
    const std::string path = DroppedMpoFile(paths);
    if (path.empty()) return false;
    OpenMpoFile(path);
    return true;
}

}  // namespace veltrane::window
