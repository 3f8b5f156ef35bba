#include "main_options_binding.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <QToolButton>
#include <concepts>
#include <stdexcept>
#include <type_traits>
#include <utility>
#include <variant>

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

namespace {

// The window's always-on-top state, which is no control of its own.
struct StackingState {};

template <typename Widget>
using ControlMember = Widget* MainWindowControls::*;

using MainControl = std::variant<ControlMember<QLineEdit>, ControlMember<QLabel>,
                                 ControlMember<QCheckBox>, ControlMember<QRadioButton>,
                                 ControlMember<QToolButton>, ControlMember<QSlider>, StackingState>;

// The control that shows one stored option of the main window. Only the pairs below can be
// written: an on/off option shown by a button or the stacking, a text by a field or a
// label, a number by a slider.
struct OptionControl {
    template <typename Button>
    requires std::derived_from<Button, QAbstractButton>
    constexpr OptionControl(const BooleanSetting& declared, ControlMember<Button> button)
        : setting(&declared), control(button) {}
    constexpr OptionControl(const BooleanSetting& declared, StackingState)
        : setting(&declared), control(StackingState{}) {}
    constexpr OptionControl(const TextSetting& declared, ControlMember<QLineEdit> edit)
        : setting(&declared), control(edit) {}
    constexpr OptionControl(const TextSetting& declared, ControlMember<QLabel> label)
        : setting(&declared), control(label) {}
    constexpr OptionControl(const NumberSetting& declared, ControlMember<QSlider> slider)
        : setting(&declared), control(slider) {}

    AnySetting setting;
    MainControl control;
};

// One control for each row of the main window's table, in the table's order.
constexpr OptionControl kOptionControls[] = {
    {settings::kOutputFolder, &MainWindowControls::outputFolderEdit},
    {settings::kModeOverwrite, &MainWindowControls::ModeOverwrite},
    {settings::kModeBackup, &MainWindowControls::ModeBackup},
    {settings::kModeFolder, &MainWindowControls::ModeFolder},
    {settings::kRecursiveScan, &MainWindowControls::RecurseScan},
    {settings::kScanArchives, &MainWindowControls::ZipSupport},
    {settings::kProcessSelected, &MainWindowControls::ProcessSelect},
    {settings::kLastScannedFolder, &MainWindowControls::inputfold},
    {settings::kAlwaysOnTopButton, &MainWindowControls::TopWind},
    {settings::kAlwaysOnTop, StackingState{}},
    {settings::kAlternateBackgrounds, &MainWindowControls::UseBackgrounds},
    {settings::kCheckNewVersion, &MainWindowControls::CheckNewVer},
    {settings::kRemoveSceneNumbers, &MainWindowControls::RemoveNames},
    {settings::kDisableBackground, &MainWindowControls::DisableBackground},
    {settings::kOpacity, &MainWindowControls::BlendTrackBar},
    {settings::kSramPatch, &MainWindowControls::SramP},
    {settings::kOnlyPatch, &MainWindowControls::OnlyPatch},
    {settings::kDontOverwrite, &MainWindowControls::notoverwrite},
    {settings::kUseListView, &MainWindowControls::UseListView},
    {settings::kSkipDsi, &MainWindowControls::SkipDSi},
};

consteval bool EachRowHasItsControl() {
    if (std::size(kOptionControls) != kMainOptionCount) {
        return false;
    }
    for (std::size_t i = 0; i < kMainOptionCount; ++i) {
        if (kOptionControls[i].setting != kMainSettings[i]) {
            return false;
        }
    }
    return true;
}
static_assert(EachRowHasItsControl(),
              "every stored option of the main window needs its control, in the table's order");

ControlBinding BindControl(TRTrim& window, const OptionControl& row) {
    return std::visit(
        [&](auto control) -> ControlBinding {
            if constexpr (std::is_same_v<decltype(control), StackingState>) {
                return Bind(
                    *std::get<const BooleanSetting*>(row.setting),
                    [&window] { return window.alwaysOnTop(); },
                    [&window](bool on) { window.setAlwaysOnTop(on); });
            } else {
                auto* widget = window.*control;
                return std::visit(
                    [widget](const auto* declared) -> ControlBinding {
                        if constexpr (requires { Bind(*declared, widget); }) {
                            return Bind(*declared, widget);
                        } else {
                            // OptionControl's constructors pair each type with its controls.
                            throw std::logic_error("a control of another type than its option");
                        }
                    },
                    row.setting);
            }
        },
        row.control);
}

}  // namespace

MainOptionsBinding::MainOptionsBinding(TRTrim& window) {
    m_bindings.reserve(kMainOptionCount);
    for (const OptionControl& row : kOptionControls) {
        m_bindings.push_back(BindControl(window, row));
    }
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
