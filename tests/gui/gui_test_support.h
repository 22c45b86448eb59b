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

#include "gui/exif_window.h"
#include "gui/main_window.h"
#include "gui/services.h"
#include "gui/text.h"
#include "tests/support/in_memory_registration.h"
#include "tests/support/temp_dir.h"
#include "tools/samples/jpeg_writer.h"

namespace veltrane::gui::test {

using Bytes = std::vector<std::uint8_t>;

class FakeOpenDialog : public OpenFileDialog {
public:
    QString GetOpenFileName(QWidget*, const QString& title, const QString& filter) override {
        ++Calls;
        Title = title;
        Filter = filter;
        return Answer;
    }
    QString Answer;  // empty: the user cancels
    QString Title, Filter;
    int Calls = 0;
};

class FakeFolderPicker : public FolderPicker {
public:
    std::string BrowseForFolder(const std::string& title, const std::string& initialFolder,
                                bool allowNewFolder) override {
        ++Calls;
        Title = title;
        InitialFolder = initialFolder;
        AllowNewFolder = allowNewFolder;
        return Answer;
    }
    std::string Answer;  // empty: the user cancels
    std::string Title, InitialFolder;
    bool AllowNewFolder = false;
    int Calls = 0;
};

// Keeps what each opened file held at the moment it was handed over.
class FakeDesktop : public DesktopLauncher {
public:
    void OpenFile(const std::string& path) override {
        OpenedFiles.push_back(path);
        OpenedBytes.push_back(veltrane::testing::ReadBytes(path));
    }
    void OpenUrl(const QString& url) override { OpenedUrls.push_back(url); }
    std::vector<std::string> OpenedFiles;
    std::vector<Bytes> OpenedBytes;
    std::vector<QString> OpenedUrls;
};

class FakeSaveDialog : public SaveFileDialog {
public:
    QString GetSaveFileName(QWidget*, const QString& title, const QStringList& types,
                            const QStringList& suggestedPaths, int& chosenType) override {
        ++Calls;
        Title = title;
        Types = types;
        SuggestedPaths = suggestedPaths;
        chosenType = ChosenType;
        return Answer;
    }
    QString Answer;  // empty: the user cancels
    int ChosenType = 0;
    QString Title;
    QStringList Types, SuggestedPaths;
    int Calls = 0;
};

class FakeMessages : public MessageBoxes {
public:
    void ShowError(QWidget*, const QString& text) override { Errors.push_back(text); }
    void ShowInformation(QWidget*, const QString& text) override { Notes.push_back(text); }
    std::vector<QString> Errors, Notes;
};

class FakeTempFolder : public TempFolderProvider {
public:
    std::string TempFolder() override { return PathToCore(Dir.path() + QLatin1Char('/')); }
    std::string operator/(const std::string& name) { return TempFolder() + name; }
    QTemporaryDir Dir;
};

class FakeTicks : public TickCounter {
public:
    std::uint32_t TickCount() override {
        const std::uint32_t now = Now;
        Now += Step;
        return now;
    }
    std::uint32_t Now = 123456;
    std::uint32_t Step = 17;
};

inline const std::string kProgramPath = "/opt/veltrane/bin/veltrane";

// A main window on fakes, with the EXIF window beside it, and a folder for sample files.
class WindowTest : public ::testing::Test {
protected:
    void CreateWindow() {
        form = std::make_unique<TForm1>(TForm1Services{openDialog, folders, desktop, messages, temp,
                                                       ticks, registration, kProgramPath,
                                                       QStringLiteral("file:///guide.html"), &saveDialog});
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
        openDialog.Answer = PathFromCore(path);
        form->Button2Click();
    }

    static std::vector<Bytes> FourImages() {
        return {samples::SampleStereoImage(0), samples::SampleStereoImage(1),
                samples::SampleStereoImage(0, {}, samples::ByteOrder::Big),
                samples::SampleStereoImage(1, {}, samples::ByteOrder::Big)};
    }

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

    FakeOpenDialog openDialog;
    FakeSaveDialog saveDialog;
    FakeFolderPicker folders;
    FakeDesktop desktop;
    FakeMessages messages;
    FakeTempFolder temp;
    FakeTicks ticks;
    InMemoryRegistration registration;
    veltrane::testing::TempDir files;
    std::unique_ptr<TForm1> form;
    std::unique_ptr<TForm2> form2;
};

}  // namespace veltrane::gui::test
