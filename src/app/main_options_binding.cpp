#include "main_options_binding.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <QToolButton>
#include <array>
#include <utility>

#include "text_conversion.h"
#include "trtrim.h"
#include "window_host.h"

namespace ostravex::app {
namespace {

using CheckBinding = std::pair<bool MainOptions::*, QAbstractButton*>;

// The on/off options and the buttons that show them, in the stored table's order.
auto CheckBindings(const MainWindowControls& c) {
    return std::to_array<CheckBinding>({
        {&MainOptions::recursiveScan, c.RecurseScan},
        {&MainOptions::scanArchives, c.ZipSupport},
        {&MainOptions::processSelected, c.ProcessSelect},
        {&MainOptions::alwaysOnTopButtonDown, c.TopWind},
        {&MainOptions::alternateBackgrounds, c.UseBackgrounds},
        {&MainOptions::checkNewVersion, c.CheckNewVer},
        {&MainOptions::removeSceneNumbers, c.RemoveNames},
        {&MainOptions::disableBackground, c.DisableBackground},
        {&MainOptions::sramPatch, c.SramP},
        {&MainOptions::onlyPatch, c.OnlyPatch},
        {&MainOptions::dontOverwrite, c.notoverwrite},
        {&MainOptions::useListView, c.UseListView},
        {&MainOptions::skipDsi, c.SkipDSi},
    });
}

QRadioButton* FileModeButton(const MainWindowControls& c, FileMode mode) {
    switch (mode) {
        case FileMode::Backup:
            return c.ModeBackup;
        case FileMode::Folder:
            return c.ModeFolder;
        case FileMode::Overwrite:
            break;
    }
    return c.ModeOverwrite;
}

}  // namespace

void ShowMainOptions(TRTrim& window, const MainOptions& options) {
    // The folder first: checking "Use a different output folder" asks for one when empty.
    window.outputFolderEdit->setText(FromPath(options.outputFolder));
    FileModeButton(window, options.fileMode)->setChecked(true);
    for (const auto& [option, button] : CheckBindings(window)) {
        button->setChecked(options.*option);
    }
    window.inputfold->setText(FromPath(options.lastScannedFolder));
    window.setAlwaysOnTop(options.alwaysOnTop);
    window.BlendTrackBar->setValue(options.opacity);
}

MainOptions ReadMainOptions(const TRTrim& window) {
    MainOptions options;
    options.outputFolder = ToPath(window.outputFolderEdit->text());
    options.fileMode = window.host().fileMode();
    for (const auto& [option, button] : CheckBindings(window)) {
        options.*option = button->isChecked();
    }
    options.lastScannedFolder = ToPath(window.inputfold->text());
    options.alwaysOnTop = window.alwaysOnTop();
    options.opacity = window.BlendTrackBar->value();
    return options;
}

}  // namespace ostravex::app
