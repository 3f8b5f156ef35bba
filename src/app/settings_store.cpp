#include "settings_store.h"

#include "settings/settings_groups.h"
#include "text_conversion.h"
#include "user_dialogs.h"

namespace ostravex::app {

RegFile LoadStore() {
    RegFile file;
    (void)LoadSettingsFile(SettingsFilePath(), file);  // unreadable: the defaults stay
    return file;
}

void SaveStore(const std::function<void(RegFile&)>& write, UserDialogs& dialogs, QWidget* parent) {
    const std::string path = SettingsFilePath();
    RegFile file = LoadStore();
    write(file);
    if (Status status = SaveSettingsFile(path, file); !status) {
        dialogs.error(parent, "Cannot save the settings to " + FromPath(path) + ": " +
                                  FromUtf8(status.reason()));
    }
}

}  // namespace ostravex::app
