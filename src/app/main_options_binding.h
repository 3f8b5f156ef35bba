#pragma once

#include <QString>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

#include "settings/main_options.h"
#include "settings/run_options.h"
#include "settings/settings_groups.h"

class QAbstractButton;
class QLabel;
class QLineEdit;
class QObject;
class QSlider;

namespace ostravex::app {

class TRTrim;

// One stored value and the control that shows it, as a user sees and changes it. Made by
// the Bind functions below, which take the value's declaration, so that a control can only
// be bound to a value of its own type.
class ControlBinding {
  public:
    using Show = std::function<void(const SettingValue&)>;
    using Read = std::function<SettingValue()>;
    // Calls `changed` whenever the control's value changes; `context` ends the connection.
    using Watch = std::function<void(QObject* context, std::function<void()> changed)>;

    ControlBinding(std::string_view name, Show show, Read read, Watch watch = {})
        : m_name(name),
          m_show(std::move(show)),
          m_read(std::move(read)),
          m_watch(std::move(watch)) {}

    std::string_view name() const { return m_name; }
    // Gives the control the value. It reacts as to a user's change (a radio button checked
    // unchecks the others of its set, a check box runs its click reaction).
    void show(const SettingValues& values) const;
    void read(SettingValues& values) const;
    void watch(QObject* context, std::function<void()> changed) const;

  private:
    std::string_view m_name;
    Show m_show;
    Read m_read;
    Watch m_watch;
};

// Check boxes, radio buttons and toggle buttons. A radio button given false is unchecked
// even when it is the checked one of its set, so that a set may show none checked.
ControlBinding Bind(const BooleanSetting& setting, QAbstractButton* button);
ControlBinding Bind(const TextSetting& setting, QLineEdit* edit);
ControlBinding Bind(const TextSetting& setting, QLabel* label);
ControlBinding Bind(const NumberSetting& setting, QSlider* slider);
// A state of the window that is no control of its own.
ControlBinding Bind(const BooleanSetting& setting, std::function<bool()> get,
                    std::function<void(bool)> set);

// Throws std::logic_error unless every value of the group has exactly one binding.
void RequireEveryValueBound(std::span<const ControlBinding> bindings, const SettingsGroup& group);
// Shows the values in the controls, in the bindings' order.
void ShowValues(std::span<const ControlBinding> bindings, const SettingValues& values);
// The group's values as the controls show them.
SettingValues ReadValues(std::span<const ControlBinding> bindings, const SettingsGroup& group);

// The main window's controls bound to the main group's stored values, one binding per
// value (from a table that does not compile unless it gives each row of the main window's
// table its control, in order), and the options a scan or a run reads, kept up to date as
// the controls change.
class MainOptionsBinding {
  public:
    explicit MainOptionsBinding(TRTrim& window);

    // Shows restored options in the controls. The output folder comes first: checking "Use a
    // different output folder" asks for one when there is none.
    void show(const SettingValues& options);
    // The options as the controls show them, to be saved.
    SettingValues read() const;
    // Calls `changed` whenever a control bound to a stored option changes (not the states
    // that are no control of their own); `context` ends the connections.
    void watchChanges(QObject* context, const std::function<void()>& changed);

    // Changed only on the window's thread, as its controls change; read by a run on any.
    const RunOptionsSource& runOptions() const { return m_runOptions; }

  private:
    void refreshRunOptions();

    std::vector<ControlBinding> m_bindings;
    LiveRunOptions m_runOptions;
};

}  // namespace ostravex::app
