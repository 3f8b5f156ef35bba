#include "dats_dialog.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "text_conversion.h"
#include "user_dialogs.h"
#include "window_placement.h"

namespace ostravex::app {
namespace {

constexpr const char* kPaddingHint =
    "Cut a rom only when every byte removed is the same filler (0xFF or 0x00); a rom with "
    "other bytes there is skipped";
constexpr const char* kDatFilter = "DATs (*.dat *.xml *.zip);;All files (*)";

}  // namespace

DatsDialog::DatsDialog(const DatSettings& settings, UserDialogs& dialogs, QWidget* parent)
    : QDialog(parent), m_dialogs(dialogs) {
    setObjectName("DatsDialog");
    setWindowTitle("DATs and Checks");
    setAttribute(Qt::WA_DeleteOnClose);

    auto* heading = new QLabel(
        "DAT files, zips of DATs and folders of them: every run identifies each rom against "
        "them, and cuts a dump only when it can be padded back to it.",
        this);
    heading->setWordWrap(true);
    datList = new QListWidget(this);
    datList->setObjectName("datList");
    datList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    for (const std::string& source : settings.sources) {
        datList->addItem(VisibleText(FromPath(source)));
        datList->item(datList->count() - 1)->setData(Qt::UserRole, FromPath(source));
    }

    addFileButton = new QPushButton("Add DAT...", this);
    addFileButton->setObjectName("addFileButton");
    addFileButton->setToolTip("A DAT file, or a zip of DATs as it is downloaded");
    addFolderButton = new QPushButton("Add Folder...", this);
    addFolderButton->setObjectName("addFolderButton");
    addFolderButton->setToolTip("Every DAT and zip of DATs in a folder");
    removeButton = new QPushButton("Remove", this);
    removeButton->setObjectName("removeButton");
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(addFileButton);
    buttons->addWidget(addFolderButton);
    buttons->addWidget(removeButton);
    buttons->addStretch();

    checkPaddingBox = new QCheckBox("Check padding before cutting", this);
    checkPaddingBox->setObjectName("checkPaddingBox");
    checkPaddingBox->setToolTip(kPaddingHint);
    checkPaddingBox->setChecked(settings.checkPadding);

    loadedLabel = new QLabel(this);
    loadedLabel->setObjectName("loadedLabel");
    loadedLabel->setWordWrap(true);
    loadedLabel->setTextFormat(Qt::PlainText);
    loadedLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);

    closeButton = new QPushButton("Close", this);
    closeButton->setObjectName("closeButton");
    closeButton->setDefault(true);
    auto* closeRow = new QHBoxLayout;
    closeRow->addStretch();
    closeRow->addWidget(closeButton);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(datList, 1);
    layout->addLayout(buttons);
    layout->addWidget(checkPaddingBox);
    layout->addWidget(loadedLabel);
    layout->addLayout(closeRow);
    resize(520, 340);
    CentreOnScreen(*this, ScreenFit::Shrink);

    connect(addFileButton, &QPushButton::clicked, this, &DatsDialog::addFileClick);
    connect(addFolderButton, &QPushButton::clicked, this, &DatsDialog::addFolderClick);
    connect(removeButton, &QPushButton::clicked, this, &DatsDialog::removeClick);
    connect(checkPaddingBox, &QCheckBox::toggled, this, &DatsDialog::announceChange);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::accept);
}

DatSettings DatsDialog::settings() const {
    DatSettings settings;
    for (int i = 0; i < datList->count(); ++i) {
        settings.sources.push_back(ToPath(datList->item(i)->data(Qt::UserRole).toString()));
    }
    settings.checkPadding = checkPaddingBox->isChecked();
    return settings;
}

void DatsDialog::showLoaded(const QString& text) {
    loadedLabel->setText(text);
}

bool DatsDialog::addSource(const QString& path) {
    for (int i = 0; i < datList->count(); ++i) {
        if (datList->item(i)->data(Qt::UserRole).toString() == path) {
            return false;
        }
    }
    datList->addItem(VisibleText(path));
    datList->item(datList->count() - 1)->setData(Qt::UserRole, path);
    return true;
}

void DatsDialog::addFileClick() {
    const QString chosen = m_dialogs.openFileName(this, kDatFilter, FileKind::Text);
    if (!chosen.isEmpty() && addSource(chosen)) {
        announceChange();
    }
}

void DatsDialog::addFolderClick() {
    const std::optional<QString> chosen = m_dialogs.pickFolder(this, "Pick a folder of DATs", {});
    if (chosen && !chosen->isEmpty() && addSource(*chosen)) {
        announceChange();
    }
}

void DatsDialog::removeClick() {
    const QList<QListWidgetItem*> selected = datList->selectedItems();
    if (selected.isEmpty()) {
        return;
    }
    qDeleteAll(selected);
    announceChange();
}

void DatsDialog::announceChange() {
    emit settingsChanged(settings());
}

}  // namespace ostravex::app
