#pragma once

class QCheckBox;
class QFont;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSlider;
class QToolButton;
class QTreeWidget;
class QWidget;

namespace ostravex::app {

class CaptionBacking;

// The main window's own font, whatever the desktop's: its controls are placed for it. The
// windows placed by hand take it too.
QFont MainWindowFont();

// Every control of the main window, laid out on it at construction from one table (in
// main_window_controls.cpp, which also gives the name each control had on the original
// form). The stored settings still use the original names.
struct MainWindowControls {
    explicit MainWindowControls(QWidget& window);

    QLabel* backgroundImage;         // the background picture, behind every control
    CaptionBacking* captionBacking;  // keeps the text over the picture readable
    QPushButton* ScanButton;
    QPushButton* TrimButton;
    QPushButton* StopButton;
    QPushButton* ClearButton;
    QCheckBox* ZipSupport;
    QCheckBox* RecurseScan;
    QCheckBox* ProcessSelect;
    QCheckBox* UseListView;
    QCheckBox* SramP;
    QCheckBox* OnlyPatch;
    QCheckBox* SkipDSi;
    QGroupBox* fileOptionsGroup;
    QRadioButton* ModeOverwrite;
    QRadioButton* ModeBackup;
    QRadioButton* ModeFolder;
    QLineEdit* outputFolderEdit;
    QToolButton* outputFolderButton;
    QCheckBox* notoverwrite;
    QCheckBox* RemoveNames;
    QLabel* romsFoundLabel;
    QToolButton* datsButton;  // opens "DATs and Checks"
    QListWidget* RomsList;
    QTreeWidget* romsListView;
    QSlider* BlendTrackBar;
    QCheckBox* brickerCheckBox;  // "Check for bricker": always on, greyed
    QCheckBox* UseBackgrounds;
    QCheckBox* DisableBackground;
    QCheckBox* CheckNewVer;
    QLabel* checkNewVerLabel;
    QLabel* wifiLabel;
    QLabel* errorsLabel;
    QLabel* skippedLabel;
    QLabel* LabelComplete;
    QLabel* LabelSavings;
    QToolButton* ShowLogButton;
    QToolButton* RomInfoBut;
    QToolButton* TopWind;
    QToolButton* BgChangeBut;
    QPushButton* AboutButton;
    QPlainTextEdit* logText;
    QLabel* websiteLink;
    QToolButton* donateImage;
    QProgressBar* SingleProgress;
    QProgressBar* runProgress;
    QLabel* inputfold;  // hidden: the last scanned folder
    QToolButton* CheatsButton;
    QToolButton* Arm7FixBut;
    QToolButton* ThroughBrickCheckBut;
};

}  // namespace ostravex::app
