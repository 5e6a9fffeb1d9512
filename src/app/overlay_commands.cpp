#include "app/overlay_commands.h"

#include <QAction>
#include <utility>

#include "charts/macroblock_overlay.h"

namespace tavik::gui {

namespace {

constexpr std::pair<Command, OverlayLayer> kOverlayCommands[] = {
    {Command::kOverlayGrid, kOverlayGrid},
    {Command::kOverlayTypes, kOverlayTypes},
    {Command::kOverlayVectors, kOverlayVectors},
    {Command::kOverlayQuantiser, kOverlayQuantiser},
    {Command::kOverlayBits, kOverlayBits}};

}  // namespace

QList<Command> overlay_commands() {
  QList<Command> commands;
  for (const auto& [command, layer] : kOverlayCommands) commands << command;
  return commands;
}

void connect_overlay_commands(const CommandTable& commands, AppSettings& settings, QObject* context,
                              const std::function<void(unsigned)>& apply) {
  for (const auto& [command, layer] : kOverlayCommands) {
    QObject::connect(commands[command], &QAction::triggered, context,
                     [&settings, apply, layer = layer](bool on) {
                       const unsigned layers = on ? settings.overlays() | layer
                                                  : settings.overlays() & ~unsigned(layer);
                       settings.set_overlays(layers);
                       apply(layers);
                     });
  }
}

void check_overlay_commands(const CommandTable& commands, unsigned layers) {
  for (const auto& [command, layer] : kOverlayCommands) {
    commands[command]->setChecked((layers & layer) != 0);
  }
}

}  // namespace tavik::gui
