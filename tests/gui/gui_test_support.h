#pragma once
// Recording fakes of the window's desktop services, and a main window built on them.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <QImage>
#include <QListWidget>
#include <QString>
#include <QTemporaryDir>

#include "tests/window/window_fakes.h"
#include "gui/exif_window.h"
#include "gui/main_window.h"
#include "gui/services.h"
#include "gui/stereo_writer.h"
#include "gui/text.h"
#include "tests/support/in_memory_registration.h"
#include "tests/support/temp_dir.h"
#include "tools/samples/jpeg_writer.h"

namespace veltrane::gui::test {

using Bytes = std::vector<std::uint8_t>;
using window::test::kProgramPath;

// A main window on fakes, with the EXIF window beside it, and a folder for sample files.
class WindowTest : public ::testing::Test, protected window::test::FakeServices {
protected:
    void CreateWindow() {
        TForm1Services services = Services();
        services.Stereo = &stereo;
        form = std::make_unique<TForm1>(services);
        form2 = std::make_unique<TForm2>();
        form->SetExifWindow(form2.get());
        form->show();
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
        form->Button2Click();
    }

    static std::vector<Bytes> FourImages() { return window::test::FourSampleImages(); }

    // The background of list entry row as drawn: a pixel near its right end, clear of the text
    // and of a focus frame.
    QRgb ListRowColour(int row) const {
        const QImage image = form->ListBox1->viewport()->grab().toImage();
        const QRect rect = form->ListBox1->visualItemRect(form->ListBox1->item(row));
        return image.pixel(rect.right() - 4, rect.top() + rect.height() / 2) & 0xFFFFFFu;
    }

    QStringList ListTexts() const {
        QStringList texts;
        for (int i = 0; i < form->ListBox1->count(); ++i) texts << form->ListBox1->item(i)->text();
        return texts;
    }

    LibraryStereoWriter stereo;
    veltrane::testing::TempDir files;
    std::unique_ptr<TForm1> form;
    std::unique_ptr<TForm2> form2;
};

}  // namespace veltrane::gui::test
