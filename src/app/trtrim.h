#pragma once

#include <QElapsedTimer>
#include <QPoint>
#include <QStringList>
#include <QWidget>
#include <chrono>
#include <memory>
#include <vector>

#include "host.h"
#include "scan/rom_scanner.h"
#include "trim/trim_run.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSlider;
class QSystemTrayIcon;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace ostravex::app {

class UserDialogs;

// The main window. It owns every control and is the engine's host: the core decides,
// the window shows and asks. Scans and runs go on on this thread, between events.
class TRTrim : public QWidget, public Host {
    Q_OBJECT
  public:
    // `arguments`: the command line without the program name (one path is handled).
    explicit TRTrim(const QStringList& arguments, std::shared_ptr<UserDialogs> dialogs = {},
                    QWidget* parent = nullptr);
    ~TRTrim() override;

    // Controls, named as in the window's layout.
    QPushButton* ScanButton;
    QPushButton* TrimButton;
    QPushButton* StopButton;
    QPushButton* AboutButton;
    QPushButton* ClearButton;
    QCheckBox* ZipSupport;
    QCheckBox* ProcessSelect;
    QCheckBox* RecurseScan;
    QCheckBox* SramP;
    QCheckBox* OnlyPatch;
    QCheckBox* SkipDSi;
    QCheckBox* FlatCheckBox1;  // "Check for bricker": always on, greyed
    QCheckBox* UseListView;
    QCheckBox* UseBackgrounds;
    QCheckBox* DisableBackground;
    QGroupBox* FlatGroupBox1;
    QRadioButton* ModeOverwrite;
    QRadioButton* ModeBackup;
    QRadioButton* ModeFolder;
    QCheckBox* notoverwrite;
    QLineEdit* Edit1;
    QToolButton* FlatButton4;
    QCheckBox* RemoveNames;
    QLabel* Label1;
    QListWidget* RomsList;
    QTreeWidget* ListView1;
    QPlainTextEdit* Memo1;
    QToolButton* ShowLogButton;
    QLabel* Label4;
    QLabel* Label3;
    QLabel* Label5;
    QLabel* LabelComplete;
    QLabel* LabelSavings;
    QProgressBar* SingleProgress;
    QProgressBar* ProgressBar1;
    QToolButton* RomInfoBut;
    QToolButton* TopWind;
    QToolButton* BgChangeBut;
    QSlider* BlendTrackBar;
    QCheckBox* CheckNewVer;
    QLabel* Label2;
    QLabel* Label6;
    QToolButton* Image1;
    QLabel* inputfold;  // hidden: the last scanned folder
    QToolButton* CheatsButton;
    QToolButton* Arm7FixBut;
    QToolButton* ThroughBrickCheckBut;

    // The entries of the current or last run, in processing order.
    std::vector<RomListEntry> romlist;

    QLabel* rar2;  // the background picture, behind every control

    // Handlers.
    void ScanButtonClick();
    void TrimButtonClick();
    void StopButtonClick();
    void ClearButtonClick();
    void AboutButtonClick();
    void ProcessSelectClick();
    void UseListViewClick();
    void RomInfo1Click();
    void ShowLogButtonClick();
    void FlatButton4Click();
    void ModeFolderClick();
    void TopWindClick();
    void BlendTrackBarChange();
    void FormShow();
    // Shows `file` as the background when it is a 577 × 432 JPEG of at least 15000 bytes.
    // False when the file cannot be decoded (the error has been shown).
    bool SetBg(const QString& file);
    void BgChangeButClick();
    void DisableBackgroundClick();
    void BgTimerTimer();
    void CheckNewVerMouseUp();
    void Label2Click();
    void Label6Click();
    void Image1Click();
    // The version service and its time-out (tests point them at a loopback server).
    void setVersionService(const QString& host, std::chrono::milliseconds timeout);
    // Shows a picture as the background at once, unchecked ("Try Background").
    void showBackground(const QImage& picture);
    // Files and folders dropped on the window or the list (ignored while busy).
    void handleDrop(const QStringList& paths);

    void DisableStuff();
    void EnableStuff();
    bool isBusy() const { return m_busy; }
    bool alwaysOnTop() const { return m_alwaysOnTop; }
    void setAlwaysOnTop(bool onTop);

    // Settings: restored at creation, saved when the window closes.
    void restoreSettings();
    void saveSettings();

    // The log's lines.
    QStringList logLines() const;
    // The items of ListView1 in the order they were added; item i shows entry i.
    const std::vector<QTreeWidgetItem*>& listViewItems() const { return m_listViewItems; }

    // Host.
    void addLog(const std::string& line) override;
    void clearLog() override;
    void addRomEntry(const RomListEntry& entry) override;
    std::size_t romEntryCount() const override;
    void clearRomList() override;
    void beginListUpdate() override;
    void endListUpdate() override;
    void setLabel(CounterLabel label, const std::string& text) override;
    void setGauge(Gauge gauge, std::uint64_t position, std::uint64_t maximum) override;
    FileMode fileMode() const override;
    std::string outputFolder() const override;
    bool option(Option option) const override;
    void pump() override;
    bool haltRequested() const override { return m_haltRequested; }
    void clearHalt() override { m_haltRequested = false; }
    void notice(const std::string& text) override;
    void setBusy(bool busy) override;
    std::string decimalSeparator() const override;

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void createControls();
    void connectControls();
    void FormCreate(const QStringList& arguments);
    void FormStorage1AfterRestorePlacement();
    void setRadioFromSettings(QRadioButton* button, bool checked);
    bool DragWindow(QMouseEvent* event);
    std::vector<RomListEntry> snapshotRomList() const;
    // The entry the single selection of the visible list stands for, if any.
    const RomListEntry* selectedEntry() const;
    std::optional<QString> PickFolder(const QString& title);

    std::shared_ptr<UserDialogs> m_dialogs;
    RomScanner m_scanner{*this};
    TrimRun m_run{*this};
    // The listed entries: row i of RomsList and item i of ListView1 show entry i.
    std::vector<RomListEntry> m_romEntries;
    std::vector<QTreeWidgetItem*> m_listViewItems;
    QTreeWidgetItem* m_ndsGroup = nullptr;
    QTreeWidgetItem* m_gbaGroup = nullptr;
    QSystemTrayIcon* m_tray = nullptr;
    QString m_pickFolderStart;  // PickFolderStart
    bool m_busy = false;
    bool m_haltRequested = false;
    bool m_closeRequested = false;
    bool m_settingsSaved = false;
    bool m_shownOnce = false;
    bool m_alwaysOnTop = false;
    QElapsedTimer m_sincePump;
    QString m_versionHost;
    std::chrono::milliseconds m_versionTimeout{30000};
    bool m_checkingVersion = false;
    QPoint m_dragOffset;
    bool m_manualDrag = false;
};

}  // namespace ostravex::app
