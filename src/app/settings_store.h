#pragma once

#include <functional>

#include "settings/reg_file.h"

class QWidget;

namespace ostravex::app {

class UserDialogs;

// The per-user settings store as it stands; empty when missing or unreadable.
RegFile LoadStore();

// Rewrites the store with `write` applied to it, keeping what `write` does not touch (the
// other window's group). A failure is shown as an error notice.
void SaveStore(const std::function<void(RegFile&)>& write, UserDialogs& dialogs, QWidget* parent);

}  // namespace ostravex::app
