#include "app/repaint_pacer.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <cmath>

namespace tavik::gui {

namespace {

// One tick per refresh of the screen (60 Hz when it does not say).
[[nodiscard]] int tick_milliseconds() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  const double rate = screen != nullptr && screen->refreshRate() > 1 ? screen->refreshRate() : 60;
  return int(std::lround(1000 / std::clamp(rate, 30.0, 240.0)));
}

}  // namespace

RepaintPacer::RepaintPacer(std::function<void(WindowKind)> repaint, QObject* parent)
    : QObject(parent), repaint_(std::move(repaint)) {
  timer_.setSingleShot(true);
  timer_.setInterval(tick_milliseconds());
  connect(&timer_, &QTimer::timeout, this, [this] { issue(); });
}

void RepaintPacer::request(WindowKind kind) {
  pending_.set(size_t(index_of(kind)));
  if (!timer_.isActive()) timer_.start();
}

void RepaintPacer::issue() {
  const std::bitset<kWindowKinds> due = std::exchange(pending_, {});
  for (int kind = 0; kind < kWindowKinds; ++kind) {
    if (due.test(size_t(kind))) repaint_(static_cast<WindowKind>(kind));
  }
}

}  // namespace tavik::gui
