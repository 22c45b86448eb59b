// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Recording fakes of the window's desktop services, and a main window built on them.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <QImage>
#include <QAbstractItemModel>
#include <QListView>
#include <QPushButton>
#include <QString>
#include <QTemporaryDir>

#include "gui/exif_window.h"
#include "gui/main_window.h"
#include "gui/services.h"
#include "gui/stereo_window.h"
#include "gui/text.h"
#include "imaging/services/library_stereo_previewer.h"
#include "imaging/services/stereo_writer.h"
#include "tests/support/temp_dir.h"
#include "tests/window/window_fakes.h"
#include "tools/samples/jpeg_writer.h"

namespace veltrane::gui::test {

using Bytes = std::vector<std::uint8_t>;
using window::InMemoryRegistration;
using window::test::kProgramPath;

// A main window on fakes, with the EXIF window beside it, and a folder for sample files.
class WindowTest : public ::testing::Test, protected window::test::FakeServices {
protected:
    void CreateWindow() {
        WindowServices services = Services();
        services.Stereo = &stereo;
        mainWindow = std::make_unique<MainWindow>(services);
        exifWindow = std::make_unique<ExifWindow>();
        mainWindow->SetExifWindow(exifWindow.get());
        stereoWindow = std::make_unique<StereoWindow>(window::StereoWindowServices{previewer, saveDialog, messages});
        mainWindow->SetStereoWindow(stereoWindow.get());
        mainWindow->show();
    }

    // Writes the images one after another as an .mpo file in the sample folder.
    std::string WriteMpo(const std::string& name, const std::vector<Bytes>& images) {
        const std::string path = files / name;
        veltrane::testing::WriteBytes(path, samples::JoinImages(images));
        return path;
    }

    // Opens path through the Open command, as if the user chose it in the dialog.
    void OpenThroughDialog(const std::string& path) {
        openDialog.Answer = path;
        mainWindow->openButton->click();
    }

    static std::vector<Bytes> FourImages() { return window::test::FourSampleImages(); }

    QModelIndex Row(int row) const { return mainWindow->imageList->model()->index(row, 0); }
    QString RowText(int row) const { return Row(row).data().toString(); }
    // Selects list row as a click on it does.
    void SelectRow(int row) { mainWindow->imageList->setCurrentIndex(Row(row)); }

    // The background of list row as drawn: a pixel near its right end, clear of the text and of
    // a focus frame.
    QRgb ListRowColour(int row) const {
        const QImage image = mainWindow->imageList->viewport()->grab().toImage();
        const QRect rect = mainWindow->imageList->visualRect(Row(row));
        return image.pixel(rect.right() - 4, rect.top() + rect.height() / 2) & 0xFFFFFFu;
    }

    QStringList ListTexts() const {
        QStringList texts;
        for (int i = 0; i < mainWindow->imageList->model()->rowCount(); ++i) texts << RowText(i);
        return texts;
    }

    stereo_services::LibraryStereoWriter stereo;
    stereo_services::LibraryStereoPreviewer previewer;
    veltrane::testing::TempDir files;
    std::unique_ptr<StereoWindow> stereoWindow;
    std::unique_ptr<MainWindow> mainWindow;
    std::unique_ptr<ExifWindow> exifWindow;
};

}  // namespace veltrane::gui::test
