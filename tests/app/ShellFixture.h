// SPDX-License-Identifier: GPL-3.0-or-later
// The whole shell made as the program makes it, over a private application folder holding the
// shipped presets, with every question answered by the test: message boxes are recorded and
// answered from a queue, file dialogs return the names the test puts in.
#pragma once

#include "app/QDomain.h"
#include "app/ShellServices.h"
#include "app/Startup.h"
#include "app/UMain.h"
#include "document/DualImage.h"
#include "platform/qt/GaugeBar.h"
#include "platform/qt/ImgView32Widget.h"
#include "platform/raster/Bitmap32.h"
#include "platform/raster/Image32.h"
#include "platform/system/ApplicationFolder.h"
#include "presets/Patterns.h"
#include "presets/Styles.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QToolButton>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// The shell's modules and forms as start-up made them for the running test; null outside one.
inline TDomain* Domain = nullptr;
inline TFMain* FMain = nullptr;
inline TFImgSizeDlg* FImgSizeDlg = nullptr;
inline TFResample* FResample = nullptr;
inline TFHlpWnd* FHlpWnd = nullptr;

struct TShownMessage {
    QMessageBox::Icon Icon;
    std::string Caption;
    std::string Text;
    QMessageBox::StandardButtons Buttons;
    QMessageBox::StandardButton Default;
};

class TShellTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The temporary files and the state folder of the whole test program stay private.
        static const TTestFolder* runFolder = [] {
            auto* folder = new TTestFolder;
            std::filesystem::create_directories(*folder / "tmp");
            std::filesystem::create_directories(*folder / "state");
            setenv("TMPDIR", (*folder / "tmp").c_str(), 1);
            setenv("XDG_STATE_HOME", (*folder / "state").c_str(), 1);
            InitializeUnits();
            return folder;
        }();
        (void)runFolder;
        FPreviousFolder = ApplicationFolder();
        SetApplicationFolder(FFolder.Path());
        CopyPresets();
        PrepareFolder();
        SetMessageBoxHook([this](QMessageBox::Icon Icon, const std::string& Caption, const std::string& Text,
                                 QMessageBox::StandardButtons Buttons, QMessageBox::StandardButton Default) {
            Messages.push_back(TShownMessage{Icon, Caption, Text, Buttons, Default});
            if (!Answers.empty()) {
                const QMessageBox::StandardButton answer = Answers.front();
                Answers.pop_front();
                return answer;
            }
            return Buttons.testFlag(QMessageBox::Ok) ? QMessageBox::Ok : QMessageBox::Yes;
        });
        SetFileDialogHook([this](const TFileDialogRequest& Request) -> std::optional<std::string> {
            Requests.push_back(Request);
            if (FileNames.empty()) return std::nullopt;
            std::optional<std::string> name = FileNames.front();
            FileNames.pop_front();
            return name;
        });
        SetShellOpenHook([this](const std::string& Name) {
            Opened.push_back(Name);
            return true;
        });
        SetTerminateHook([this] { ++Terminated; });
        InstallPlatformHooks();
        const TShellForms& forms = CreateForms();
        Domain = forms.Domain.get();
        FMain = forms.Main.get();
        FImgSizeDlg = forms.ImgSizeDlg.get();
        FResample = forms.Resample.get();
        FHlpWnd = forms.HelpWindow.get();
    }

    void TearDown() override {
        DestroyForms();
        Domain = nullptr;
        FMain = nullptr;
        FImgSizeDlg = nullptr;
        FResample = nullptr;
        FHlpWnd = nullptr;
        SetMessageBoxHook(nullptr);
        SetFileDialogHook(nullptr);
        SetShellOpenHook(nullptr);
        SetTerminateHook(nullptr);
        SetApplicationFolder(FPreviousFolder);
    }

    // Runs before the forms are made; tests that need other presets override it.
    virtual void PrepareFolder() {}

    void CopyPresets() {
        const std::filesystem::path presets =
            std::filesystem::path(QUOR_SOURCE_DIR) / "resources" / "presets";
        for (const auto& entry : std::filesystem::directory_iterator(presets))
            std::filesystem::copy_file(entry.path(), FFolder / entry.path().filename().string());
    }

    // A picture file of that size: a soft diagonal gradient with a dark disc, so that the
    // analysis finds edges and the tools lay strokes.
    std::string MakePicture(int Width, int Height, const std::string& Name = "") {
        TBitmap32 picture(Width, Height);
        for (int y = 0; y < Height; ++y)
            for (int x = 0; x < Width; ++x) {
                const int dx = x - Width / 2, dy = y - Height / 2;
                const bool disc = dx * dx + dy * dy < (Width * Height) / 12;
                const uint32_t v = disc ? 40 : static_cast<uint32_t>(120 + (x + y) * 100 / (Width + Height));
                picture.SetPixel(x, y, 0xFF000000u | (v << 16) | (v << 8) | (v / 2 + 60));
            }
        const std::string file =
            FFolder /
            (Name.empty() ? "picture" + std::to_string(Width) + "x" + std::to_string(Height) + ".bmp" : Name);
        picture.SaveToFile(file);
        return file;
    }

    // Loads a picture as the Open command would and returns whether a drawing came of it.
    bool Open(const std::string& File) {
        FileNames.push_back(File);
        Domain->OpenCommand->trigger();
        return Domain->Document != nullptr;
    }

    const std::string& Folder() const { return FFolder.Path(); }

    std::vector<TShownMessage> Messages;
    std::deque<QMessageBox::StandardButton> Answers;
    std::deque<std::string> FileNames;
    std::vector<TFileDialogRequest> Requests;
    std::vector<std::string> Opened;
    int Terminated = 0;

private:
    TTestFolder FFolder;
    std::string FPreviousFolder;
};
