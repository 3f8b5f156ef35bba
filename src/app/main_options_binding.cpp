#include "main_options_binding.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <QToolButton>
#include <stdexcept>
#include <utility>

#include "text_conversion.h"
#include "trtrim.h"

namespace ostravex::app {

void ControlBinding::show(const SettingValues& values) const {
    for (std::size_t i = 0; i < values.group().settings.size(); ++i) {
        if (NameOf(values.group().settings[i]) == m_name) {
            m_show(values.at(i));
            return;
        }
    }
}

void ControlBinding::read(SettingValues& values) const {
    for (std::size_t i = 0; i < values.group().settings.size(); ++i) {
        if (NameOf(values.group().settings[i]) == m_name) {
            values.set(i, m_read());
            return;
        }
    }
}

void ControlBinding::watch(QObject* context, std::function<void()> changed) const {
    if (m_watch) {
        m_watch(context, std::move(changed));
    }
}

ControlBinding Bind(const BooleanSetting& setting, QAbstractButton* button) {
    return {setting.name,
            [button](const SettingValue& value) {
                const bool on = std::get<bool>(value);
                if (!on && button->autoExclusive() && button->isChecked()) {
                    // The checked button of a set is not unchecked by setChecked(false).
                    button->setAutoExclusive(false);
                    button->setChecked(false);
                    button->setAutoExclusive(true);
                    return;
                }
                button->setChecked(on);
            },
            [button]() -> SettingValue { return button->isChecked(); },
            [button](QObject* context, std::function<void()> changed) {
                QObject::connect(button, &QAbstractButton::toggled, context,
                                 [changed = std::move(changed)] { changed(); });
            }};
}

ControlBinding Bind(const TextSetting& setting, QLineEdit* edit) {
    return {setting.name,
            [edit](const SettingValue& value) {
                edit->setText(FromPath(std::get<std::string>(value)));
            },
            [edit]() -> SettingValue { return ToPath(edit->text()); },
            [edit](QObject* context, std::function<void()> changed) {
                QObject::connect(edit, &QLineEdit::textChanged, context,
                                 [changed = std::move(changed)] { changed(); });
            }};
}

ControlBinding Bind(const TextSetting& setting, QLabel* label) {
    return {setting.name,
            [label](const SettingValue& value) {
                label->setText(FromPath(std::get<std::string>(value)));
            },
            [label]() -> SettingValue { return ToPath(label->text()); }};
}

ControlBinding Bind(const NumberSetting& setting, QSlider* slider) {
    return {
        setting.name,
        [slider](const SettingValue& value) { slider->setValue(std::get<std::int32_t>(value)); },
        [slider]() -> SettingValue { return std::int32_t{slider->value()}; },
        [slider](QObject* context, std::function<void()> changed) {
            QObject::connect(slider, &QSlider::valueChanged, context,
                             [changed = std::move(changed)] { changed(); });
        }};
}

ControlBinding Bind(const BooleanSetting& setting, std::function<bool()> get,
                    std::function<void(bool)> set) {
    return {setting.name,
            [set = std::move(set)](const SettingValue& value) { set(std::get<bool>(value)); },
            [get = std::move(get)]() -> SettingValue { return get(); }};
}

void RequireEveryValueBound(std::span<const ControlBinding> bindings, const SettingsGroup& group) {
    for (const AnySetting& setting : group.settings) {
        const auto count = std::count_if(bindings.begin(), bindings.end(), [&](const auto& b) {
            return b.name() == NameOf(setting);
        });
        if (count != 1) {
            throw std::logic_error(std::string(NameOf(setting)) + " is bound to " +
                                   std::to_string(count) + " controls");
        }
    }
    if (bindings.size() != group.settings.size()) {
        throw std::logic_error("a control is bound to a value of another group");
    }
}

void ShowValues(std::span<const ControlBinding> bindings, const SettingValues& values) {
    for (const ControlBinding& binding : bindings) {
        binding.show(values);
    }
}

SettingValues ReadValues(std::span<const ControlBinding> bindings, const SettingsGroup& group) {
    SettingValues values(group);
    for (const ControlBinding& binding : bindings) {
        binding.read(values);
    }
    return values;
}

MainOptionsBinding::MainOptionsBinding(TRTrim& window) {
    using namespace settings;
    // One row per stored value, in the group's order.
    m_bindings = {
        Bind(kOutputFolder, window.outputFolderEdit),
        Bind(kModeOverwrite, window.ModeOverwrite),
        Bind(kModeBackup, window.ModeBackup),
        Bind(kModeFolder, window.ModeFolder),
        Bind(kRecursiveScan, window.RecurseScan),
        Bind(kScanArchives, window.ZipSupport),
        Bind(kProcessSelected, window.ProcessSelect),
        Bind(kLastScannedFolder, window.inputfold),
        Bind(kAlwaysOnTopButton, window.TopWind),
        Bind(
            kAlwaysOnTop, [&window] { return window.alwaysOnTop(); },
            [&window](bool on) { window.setAlwaysOnTop(on); }),
        Bind(kAlternateBackgrounds, window.UseBackgrounds),
        Bind(kCheckNewVersion, window.CheckNewVer),
        Bind(kRemoveSceneNumbers, window.RemoveNames),
        Bind(kDisableBackground, window.DisableBackground),
        Bind(kOpacity, window.BlendTrackBar),
        Bind(kSramPatch, window.SramP),
        Bind(kOnlyPatch, window.OnlyPatch),
        Bind(kDontOverwrite, window.notoverwrite),
        Bind(kUseListView, window.UseListView),
        Bind(kSkipDsi, window.SkipDSi),
    };
    RequireEveryValueBound(m_bindings, kMainGroup);
    watchChanges(&window, [this] { refreshRunOptions(); });
    refreshRunOptions();
}

void MainOptionsBinding::watchChanges(QObject* context, const std::function<void()>& changed) {
    for (const ControlBinding& binding : m_bindings) {
        binding.watch(context, changed);
    }
}

void MainOptionsBinding::show(const SettingValues& options) {
    ShowValues(m_bindings, options);
}

SettingValues MainOptionsBinding::read() const {
    return ReadValues(m_bindings, kMainGroup);
}

void MainOptionsBinding::refreshRunOptions() {
    m_runOptions.set(RunOptionsFrom(read()));
}

}  // namespace ostravex::app
