// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/window/main_window_model.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <utility>

#include "core/common/ascii.h"
#include "core/common/cp1252.h"
#include "core/common/image_list_line.h"
#include "core/common/io_error.h"
#include "core/common/native_path.h"
#include "core/common/unicode_text.h"
#include "core/images/extraction.h"
#include "core/common/file_io.h"
#include "core/metadata/exif_rows.h"
#include "core/mpo/byte_source.h"
#include "core/parts/file_parts.h"
#include "core/parts/jpeg_parts.h"
#include "core/window/stereo_window_model.h"
#include "core/window/temp_files.h"

namespace veltrane::window {
namespace {

// Sets the scanning state for the time of a scan, and updates the controls on the way in and on
// every way out.
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

// The word of a part's list line.
const char* PartWord(parts::PartKind kind) {
    switch (kind) {
        case parts::PartKind::Image: return "Image";
        case parts::PartKind::GainMap: return "Gain map";
        case parts::PartKind::DepthMap: return "Depth";
        case parts::PartKind::ConfidenceMap: return "Confidence";
        case parts::PartKind::Video: return "Video";
        case parts::PartKind::Thumbnail: return "Thumbnail";
        case parts::PartKind::Other: break;
    }
    return "Other";
}

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

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
    RemoveFoldersOfEndedRuns(services_.Temp.TempFolder(), services_.Processes.ThisProcess(),
                             [this](std::int64_t process) { return services_.Processes.IsRunning(process); });
    CheckRegistrationAtStart();
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
    // The EXIF window reads images; a video or a depth map has none.
    states.ShowExif = states.ShowImage && selected_ < images_.ImageCount;
    const bool pair = ready && images_.ImageCount >= 2 && stereoSet_;
    states.ShowStereo = pair && stereoWindow_ != nullptr;
    states.SaveStereo = pair && services_.Stereo != nullptr && services_.SaveDialog != nullptr;
    controls_ = states;
    view_.SetControls(states);
}

template <typename Command>
void MainWindowModel::RunCommand(Command&& command) {
    try {
        command();
    } catch (const std::exception& error) {
        services_.Messages.ShowError(ErrorTextToUtf8(error.what()));
    }
}

// ---- start-up ----

void MainWindowModel::CheckRegistrationAtStart() {
    // A registration that exists is written again for this program's path with the mode word it
    // carries; the box is then ticked without ContextMenuEntryToggled, which would register the
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

void MainWindowModel::OpenRequested() {
    if (scanning_) return;
    const std::string path =
        services_.OpenDialog.GetOpenFileName("Open MPO file", OpenFilterName(), OpenFilterPattern());
    if (path.empty()) return;
    OpenFile(path);
}

void MainWindowModel::OpenFile(const std::string& path) {
    if (scanning_) return;
    RunCommand([&] {
        source_ = path;
        lines_.clear();
        imageSizes_.clear();
        otherParts_.clear();
        stereoSet_ = true;
        selected_ = -1;
        view_.ClearList();
        limitReached_ = false;
        mpfNotice_.clear();
        {
            ScanInProgress scan(scanning_, *this, &MainWindowModel::UpdateControls);
            lastEventsAt_ = NowMs();
            imagesAtLastEvents_ = 0;
            ScanImageOffsets(images_, path, parts::WithOtherParts(ScanOptions{}), *this);
        }
        if (closing_) return;  // the window closed during the scan: nothing more to show
        ListOtherParts();
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

// The parts beyond the images, each a line after them: " Video 003:  1286 K".
void MainWindowModel::ListOtherParts() {
    if (images_.ImageCount < 1) return;
    InputFile file(source_);
    FileByteSource bytes(file);
    parts::PartList list = parts::FindJpegParts(bytes, images_);
    for (parts::FilePart& part : list.parts) {
        if (parts::IsImagePart(part)) continue;
        lines_.push_back(PartListLine(PartWord(part.kind), part.number, part.Length()));
        view_.AppendListLine(lines_.back());
        otherParts_.push_back(std::move(part));
    }
}

// The window handles its events once per image, and at least every eventIntervalMs_ while a
// long image is read; a close among them stops the scan.
bool MainWindowModel::Continue(std::int64_t) {
    if (images_.ImageCount != imagesAtLastEvents_ || NowMs() - lastEventsAt_ >= eventIntervalMs_) LetEventsRun();
    return !closing_;
}

void MainWindowModel::LetEventsRun() {
    view_.ProcessPendingEvents();
    lastEventsAt_ = NowMs();
    imagesAtLastEvents_ = images_.ImageCount;
}

void MainWindowModel::ImageComplete(int n, std::int64_t sizeInBytes) {
    imageSizes_.push_back(sizeInBytes);
    lines_.push_back(ImageListLine(n, sizeInBytes));
    view_.AppendListLine(lines_.back());
}

void MainWindowModel::ImageLimitReached(std::int64_t) { limitReached_ = true; }

void MainWindowModel::MpfIndexIgnored(const std::string& reason) { mpfNotice_ = "MPF index ignored: " + reason; }

void MainWindowModel::MpfIndexUsed(const MpfIndex& index) { stereoSet_ = ListsStereoSet(index); }

// ---- Extract ----

void MainWindowModel::ExtractRequested() {
    if (scanning_) return;
    RunCommand([&] {
        std::string folder = services_.Folders.BrowseForFolder("Select output folder", CurrentFolder(), true);
        if (folder.empty()) return;
        const ExtractJob job{source_, WithTrailingSeparator(std::move(folder)), mode_};
        ExtractImages(job, images_);
        // All: the other parts after the images.
        if (mode_ == ExtractMode::All && !otherParts_.empty())
            parts::WriteOtherPartFiles(job, {otherParts_, {}}, images_.ImageStart(1));
    });
}

// ---- the context-menu entry ----

void MainWindowModel::ContextMenuEntryToggled(bool checked) {
    // The mode is taken at the moment the box is ticked; later changes of the buttons leave the
    // registration as it is.
    registeredBox_ = checked;
    RunCommand([&] {
        if (!checked) {
            services_.Registration.Unregister();
            return;
        }
        services_.Registration.Register(services_.ProgramPath, std::string(ModeWord(mode_)));
    });
}

// ---- the image list ----

void MainWindowModel::ModeChosen(ExtractMode mode) {
    mode_ = mode;
    view_.RepaintList();
}

std::uint32_t MainWindowModel::RowColour(int row) const {
    if (row == selected_) return kSelectedColour;
    // Odd and Even choose among the images; the other parts are written with All only.
    if (row >= images_.ImageCount) return mode_ == ExtractMode::All ? kIncludedColour : kLeftOutColour;
    return IsImageSelected(mode_, row + 1) ? kIncludedColour : kLeftOutColour;
}

void MainWindowModel::SelectionChanged(int row) {
    selected_ = row >= 0 && row < static_cast<int>(lines_.size()) ? row : -1;
    view_.RepaintList();
    UpdateControls();
}

// ---- preview and EXIF ----

std::string MainWindowModel::OwnRunFolder() {
    return RunFolder(services_.Temp.TempFolder(), services_.Processes.ThisProcess());
}

std::string MainWindowModel::NewPreviewFileName(std::string_view extension) {
    const std::string folder = OwnRunFolder();
    const std::string withoutSeparator = folder.substr(0, folder.size() - 1);
    // A folder of that name that is somebody else's, or a link, is never written into.
    if (!CreateOwnFolder(withoutSeparator)) {
        const bool missing = KindOf(withoutSeparator) == PathKind::Missing;
        throw InOutError(missing ? ioerr::FileNotFound : ioerr::AccessDenied, withoutSeparator);
    }
    return NewTempImageFileName(folder, services_.Ticks.TickCount(), extension);
}

void MainWindowModel::PreviewRequested(PreviewKind kind) {
    UpdateControls();
    if (selected_ < 0 || scanning_) return;
    RunCommand([&] {
        const int n = selected_ + 1;
        if (n > images_.ImageCount) {
            // Another part: a copy with its type's extension, opened by the desktop's handler.
            const auto i = static_cast<std::size_t>(n - 1 - images_.ImageCount);
            if (kind != PreviewKind::ShowImage || i >= otherParts_.size()) return;
            const parts::FilePart& part = otherParts_[i];
            const std::string copy = NewPreviewFileName(parts::PartExtension(part.mime));
            InputFile file(source_);
            parts::WritePartFile(file, part, images_.ImageStart(1), copy);
            services_.Desktop.OpenFile(copy);
            return;
        }
        const std::string copy = NewPreviewFileName();
        CopyImageToFile(source_, images_, n, copy);
        if (kind == PreviewKind::ShowExif) {
            ShowExif(copy, n);
        } else {
            services_.Desktop.OpenFile(copy);
        }
    });
}

void MainWindowModel::ShowExif(const std::string& imageFile, int n) {
    const exif::ExifRows rows =
        exif::ExifWindowRows(imageFile, n, imageSizes_.at(static_cast<std::size_t>(n - 1)), services_.Numbers);
    std::vector<ExifRowText> shown;
    shown.reserve(rows.size());
    for (const exif::ExifRow& row : rows) shown.push_back({std::string(row.Caption), row.Value});
    view_.ShowExifWindow(shown);
}

void MainWindowModel::OpenUserGuide() {
    if (!services_.UserGuideUrl.empty()) services_.Desktop.OpenUrl(services_.UserGuideUrl);
}

// ---- stereo pictures ----

void MainWindowModel::SetStereoWindow(StereoWindowModel* stereoWindow) {
    stereoWindow_ = stereoWindow;
    UpdateControls();
}

std::pair<int, int> MainWindowModel::StereoPairOf(int selected, int count) {
    if (selected < 0 || selected >= count) return {1, 2};
    const int first = std::min(selected + 1, count - 1);
    return {first, first + 1};
}

void MainWindowModel::ShowStereoRequested() {
    if (scanning_ || images_.ImageCount < 2 || !stereoSet_ || stereoWindow_ == nullptr) return;
    const auto [first, second] = StereoPairOf(selected_, images_.ImageCount);
    stereoWindow_->OpenPair(source_, first, second);
}

void MainWindowModel::SaveStereoRequested() {
    if (scanning_ || images_.ImageCount < 2 || !stereoSet_ || services_.Stereo == nullptr ||
        services_.SaveDialog == nullptr)
        return;
    RunCommand([&] {
        const std::vector<StereoLayoutChoice> layouts = services_.Stereo->Layouts();
        if (layouts.empty()) return;
        std::vector<std::string> types, names;
        for (const StereoLayoutChoice& layout : layouts) {
            types.push_back(layout.fileType);
            names.push_back(services_.Stereo->SuggestedPath(source_, layout.type));
        }
        int chosen = 0;
        const std::string path = services_.SaveDialog->GetSaveFileName("Save Stereo", types, names, chosen);
        if (path.empty()) return;
        // The dialog answers with a place in its list; one outside the list is its first entry.
        const bool listed = chosen >= 0 && chosen < static_cast<int>(layouts.size());
        services_.Stereo->WriteChoice(source_, layouts[listed ? static_cast<std::size_t>(chosen) : 0], path);
    });
}

// ---- closing ----

void MainWindowModel::WindowClosing() {
    if (scanning_) closing_ = true;  // the scan stops the next time it asks whether to go on
    if (stereoWindow_ != nullptr) stereoWindow_->CloseWindow();
    RemoveFolder(OwnRunFolder());
}

// ---- dropped files ----

std::string OpenFilterName() {
    std::string patterns;
    for (const std::string_view extension : kOpenedExtensions)
        patterns += (patterns.empty() ? "*" : " *") + std::string(extension);
    return "MPO and JPEG files (" + patterns + ")";
}

std::string OpenFilterPattern() {
    std::string pattern;
    for (const std::string_view extension : kOpenedExtensions)
        pattern += (pattern.empty() ? "*" : ";*") + std::string(extension);
    return pattern;
}

bool IsOpenedFileName(std::string_view name) {
    return std::any_of(kOpenedExtensions.begin(), kOpenedExtensions.end(), [name](std::string_view extension) {
        return name.size() > extension.size() &&
               EqualIgnoringAsciiCase(name.substr(name.size() - extension.size()), extension);
    });
}

std::string MainWindowModel::DroppedOpenedFile(const std::vector<std::string>& paths) {
    for (const std::string& path : paths)
        if (IsOpenedFileName(FileNamePart(path)) && KindOf(path) == PathKind::File) return FullPath(path);
    return {};
}

std::string MainWindowModel::DroppedSpatialPhoto(const std::vector<std::string>& paths) const {
    if (stereoWindow_ == nullptr) return {};
    for (const std::string& path : paths) {
        const std::string name = FileNamePart(path);
        const std::string_view extension = name.size() >= 5 ? std::string_view(name).substr(name.size() - 5) : "";
        if ((EqualIgnoringAsciiCase(extension, ".heic") || EqualIgnoringAsciiCase(extension, ".heif")) &&
            KindOf(path) == PathKind::File)
            return FullPath(path);
    }
    return {};
}

bool MainWindowModel::FilesDropped(const std::vector<std::string>& paths) {
    if (!AcceptsDrop()) return false;
    if (const std::string path = DroppedOpenedFile(paths); !path.empty()) {
        OpenFile(path);
        return true;
    }
    // A spatial photo is one pair, not a list of images: the Stereo window shows it, and the
    // main window's list stays as it is.
    if (const std::string photo = DroppedSpatialPhoto(paths); !photo.empty()) {
        stereoWindow_->OpenFile(photo);
        return true;
    }
    return false;
}

}  // namespace veltrane::window
