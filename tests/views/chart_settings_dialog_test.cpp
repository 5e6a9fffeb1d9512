// The chart configuration dialogs on the offscreen platform: what OK accepts and refuses, and
// what a click on Automatic shows.
#include "views/chart_settings_dialog.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

#include "gui_support/scripted_dialogs.h"

namespace tavik::gui {
namespace {

constexpr int32_t kRows = 10;

QLineEdit* edit(QDialog& dialog, const char* name) {
  return dialog.findChild<QLineEdit*>(QLatin1String(name));
}

TEST(ChartSettingsDialog, OkAcceptsOnlyWhatTheChartCanDraw) {
  const struct {
    WindowKind chart;
    const char* width;
    const char* y_limit;
    const char* prompt;  // empty: accepted
  } cases[] = {
      {WindowKind::kFrameChart, "0", "3000", "Please enter an integer between 1 and 100."},
      {WindowKind::kFrameChart, "101", "3000", "Please enter an integer between 1 and 100."},
      {WindowKind::kFrameChart, "1x", "3000", "Please enter an integer."},
      {WindowKind::kFrameChart, " 100 ", "3000", ""},
      {WindowKind::kFrameChart, "5", "8000.5", "Please enter an integer."},
      {WindowKind::kGopChart, "0", "5000", "Please enter an integer of at least 1."},
      {WindowKind::kGopChart, "250", "5000", ""},
      {WindowKind::kSliceChart, "-3", "5000", "Please enter an integer of at least 1."},
      {WindowKind::kSliceChart, "5", "9", "Please enter an integer of at least 10."},
      {WindowKind::kFrameChart, "5", "-1", "Please enter an integer of at least 10."},
      {WindowKind::kSliceChart, "5", "10", ""},
  };
  for (const auto& c : cases) {
    test::ScriptedDialogs dialogs;
    ChartSettingsDialog dialog(c.chart, ChartSettings{5, true, 3000}, kRows, dialogs);
    edit(dialog, "bar_width")->setText(QLatin1String(c.width));
    edit(dialog, "y_limit")->setText(QLatin1String(c.y_limit));
    dialog.findChild<QPushButton*>(QStringLiteral("ok"))->click();
    const bool accepted = *c.prompt == '\0';
    EXPECT_EQ(dialog.result() == QDialog::Accepted, accepted) << c.width << " " << c.y_limit;
    ASSERT_EQ(dialogs.messages.size(), accepted ? 0u : 1u) << c.width << " " << c.y_limit;
    if (!accepted) {
      EXPECT_EQ(dialogs.messages[0].text, c.prompt);
      EXPECT_EQ(dialogs.messages[0].icon, MessageIcon::kWarning);
    } else {
      EXPECT_EQ(dialog.fields().bar_width, QString(c.width).trimmed().toInt());
      EXPECT_EQ(dialog.fields().y_limit, QString(c.y_limit).toInt());
    }
  }
}

TEST(ChartSettingsDialog, AutomaticRewritesTheFrameDialogOnlyAndTheEditsStayEnabled) {
  for (const WindowKind chart : {WindowKind::kFrameChart, WindowKind::kGopChart}) {
    test::ScriptedDialogs dialogs;
    ChartSettingsDialog dialog(chart, ChartSettings{5, true, 3000}, kRows, dialogs);
    EXPECT_EQ(dialog.windowTitle(), chart == WindowKind::kFrameChart
                                        ? "Bytes/frame graphic configuration"
                                        : "Bytes/gop graphic configuration");
    edit(dialog, "bar_width")->setText(QStringLiteral("7"));
    edit(dialog, "y_limit")->setText(QStringLiteral("8000"));
    auto* automatic = dialog.findChild<QCheckBox*>(QStringLiteral("automatic"));
    automatic->click();
    EXPECT_FALSE(automatic->isChecked());
    const bool frame = chart == WindowKind::kFrameChart;
    EXPECT_EQ(edit(dialog, "bar_width")->text(), frame ? "5" : "7");
    EXPECT_EQ(edit(dialog, "y_limit")->text(), frame ? "3000" : "8000");
    EXPECT_TRUE(edit(dialog, "y_limit")->isEnabled());
  }
}

TEST(ChartSettingsDialog, RowCountFollowsTheWindowHeight) {
  EXPECT_EQ(chart_row_count(500), 20);  // baseline 430
  EXPECT_EQ(chart_row_count(129), 1);
  EXPECT_EQ(chart_row_count(50), 1);  // never below 1
}

}  // namespace
}  // namespace tavik::gui
