#include "main_window_backgrounds.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include "backgrounds/background_rules.h"
#include "bg_wizard.h"
#include "jpeg_picture.h"
#include "settings_store.h"
#include "text_conversion.h"
#include "trtrim.h"
#include "user_dialogs.h"

namespace ostravex::app {

MainWindowBackgrounds::MainWindowBackgrounds(TRTrim& window, UserDialogs& dialogs)
    : m_window(window), m_dialogs(dialogs) {}

bool MainWindowBackgrounds::showChosenBackground() {
    if (m_window.DisableBackground->isChecked()) {
        m_window.backgroundImage->setVisible(false);  // the plain window colour
        m_window.backgroundImage->clear();
        return false;
    }
    if (m_window.UseBackgrounds->isChecked()) {
        const BackgroundPlan plan = PlanAlternateBackground(ReadGroup(LoadStore(), kWizardGroup),
                                                            [this] { m_window.host().pump(); });
        for (const std::string& line : plan.logLines) {
            m_window.host().addLog(line);
        }
        if (plan.picture && !SetBg(FromPath(*plan.picture))) {
            return false;  // a picture that cannot be decoded: its error was shown
        }
    }
    return true;
}

bool MainWindowBackgrounds::SetBg(const QString& file) {
    JpegPicture picture;
    QString error;
    if (!JpegPicture::Load(file, picture, error)) {
        m_dialogs.error(&m_window, error);
        return false;
    }
    if (IsUsableBackground(picture.image.width(), picture.image.height(),
                           static_cast<std::uint64_t>(QFileInfo(file).size()))) {
        showBackground(picture.image);
    } else {
        m_window.host().addLog(
            "Picture must be 577 x 432 and at least 15 KB. Use the stretch or cropping wizard");
    }
    return true;
}

void MainWindowBackgrounds::showBackground(const QImage& picture) {
    m_window.backgroundImage->setPixmap(QPixmap::fromImage(picture));
    m_window.backgroundImage->setVisible(true);
}

void MainWindowBackgrounds::BgChangeButClick() {
    if (m_window.DisableBackground->isChecked()) {
        m_dialogs.message(&m_window, "Background is disabled");
        return;
    }
    if (!m_window.UseBackgrounds->isChecked()) {
        m_dialogs.message(&m_window, "Backgrounds are disabled");
        return;
    }
    auto* wizard = new TBgWizard(
        m_dialogs, [this](const QImage& picture) { showBackground(picture); }, &m_window);
    wizard->setAttribute(Qt::WA_DeleteOnClose);
    if (wizard->BgsPath->text().isEmpty() || !QDir(wizard->BgsPath->text()).exists()) {
        wizard->BgsPath->setText(QCoreApplication::applicationDirPath() + "/");
    }
    wizard->exec();
}

void MainWindowBackgrounds::DisableBackgroundClick() {
    if (m_window.isVisible()) {
        QTimer::singleShot(100, &m_window, [this] { BgTimerTimer(); });
    }
}

void MainWindowBackgrounds::BgTimerTimer() {
    // The new state is saved with the other options and shows from the next start; the
    // window and a scan or run it is doing go on as they are.
    m_dialogs.message(&m_window, "Restart required");
}

}  // namespace ostravex::app
