#pragma once

#include <QList>
#include <QObject>
#include <functional>

#include "app/app_settings.h"
#include "app/command_table.h"

namespace tavik::gui {

// The View menu's macroblock overlays, in menu order.
[[nodiscard]] QList<Command> overlay_commands();

// Each overlay command toggles its layer in the settings and hands the layers now chosen to
// `apply`.
void connect_overlay_commands(const CommandTable& commands, AppSettings& settings, QObject* context,
                              const std::function<void(unsigned)>& apply);

// Checks the commands of the layers chosen.
void check_overlay_commands(const CommandTable& commands, unsigned layers);

}  // namespace tavik::gui
