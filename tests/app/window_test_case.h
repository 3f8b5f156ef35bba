#pragma once

#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "fake_dialogs.h"
#include "settings/main_settings.h"
#include "settings/settings_file.h"
#include "support/rom_images.h"
#include "trtrim.h"

namespace ostravex::testing {

inline QStringList Lines(const QStringList& log, int from) {
    return log.mid(from);
}

// Whether the window's scan or run ends, everything it reported shown, within a while.
inline bool Finishes(const app::TRTrim& w) {
    return QTest::qWaitFor([&] { return !w.isBusy(); }, 30000);
}

// What the main window's tests share: a fresh folder for each test, holding the settings
// store, and the dialogs that answer the windows' questions. A test class calls
// startInAFreshFolder() from its init().
class WindowTestCase {
  protected:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::shared_ptr<FakeDialogs> m_dialogs;

    void startInAFreshFolder() {
        m_dir = std::make_unique<QTemporaryDir>();
        qputenv("XDG_CONFIG_HOME", path("config").toUtf8());
        m_dialogs = std::make_shared<FakeDialogs>();
    }
    QString path(const QString& name) const { return m_dir->filePath(name); }
    std::unique_ptr<app::TRTrim> window(const QStringList& arguments = {}) {
        return std::make_unique<app::TRTrim>(arguments, m_dialogs);
    }
    void writeRom(const QString& name, std::uint32_t used = 600000) {
        QDir().mkpath(QFileInfo(path(name)).path());
        WriteFile(path(name).toStdString(), NdsImageBuilder().usedSize(used).size(1048576).build());
    }
    void storeSettings(const std::vector<std::pair<std::string, RegValue>>& values) {
        RegFile file;
        for (const auto& [name, value] : values) {
            file.set(kMainSettingsKey, name, value);
        }
        QVERIFY(SaveSettingsFile(SettingsFilePath(), file).ok());
    }
    RegFile storedSettings() const {
        RegFile file;
        (void)LoadSettingsFile(SettingsFilePath(), file);
        return file;
    }
};

}  // namespace ostravex::testing
