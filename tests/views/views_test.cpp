// The views on the offscreen platform: the chart configuration dialogs, the zoom and scroll of
// the bar chart, and the colours the video view makes of the shown picture.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QWheelEvent>
#include <cstring>
#include <set>

#include "display/palette.h"
#include "gui_support/scripted_dialogs.h"
#include "support/stream_tools.h"
#include "views/bar_chart_view.h"
#include "views/chart_settings_dialog.h"
#include "views/dialog_service.h"
#include "views/statistics_view.h"
#include "views/video_view.h"

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
      {WindowKind::kSliceChart, "5", "9",
       "Please enter an integer of at least 10: the chart has 10 rows."},
      {WindowKind::kFrameChart, "5", "-1",
       "Please enter an integer of at least 10: the chart has 10 rows."},
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

// Keeps the texts a chart shows on a bar click; everything else is answered by doing nothing.
class RecordingActions final : public ViewActions {
 public:
  void show_information(const QString& text) override { messages << text; }
  void open_if_closed(WindowKind) override {}
  void run_statistics() override {}
  void chosen_frame_changed() override {}
  [[nodiscard]] bool playing() const override { return false; }
  void export_picture(const ChartScene&, QSize, QPoint, bool) override {}
  [[nodiscard]] QString input_path() const override { return {}; }

  QStringList messages;
};

// A Bytes/frame chart of 400 frames, far wider than its window.
class BarChartZoomTest : public ::testing::Test {
 protected:
  void SetUp() override {
    store.update([](StoreData& data) {
      data.frame_bytes.assign(400, 0);
      data.frame_types.assign(400, 0);
      data.frame_first_slice.assign(401, 0);
      for (uint32_t i = 0; i < 400; ++i) {
        data.frame_bytes[i] = 2000 + i % 7 * 100;
        data.frame_types[i] = 1 + i % 3;
        data.frame_first_slice[i + 1] = 2 * (i + 1);
      }
      data.last_frame = 399;
      data.max_frame_bytes = 2600;
    });
    view.resize(400, 300);
    view.show();
    QApplication::processEvents();
    paint();
  }
  void paint() {
    // The second paint applies the scroll position the zoom asked for.
    view.viewport()->repaint();
    view.viewport()->repaint();
  }
  // The frame the bar under x (in the window) belongs to, as its click message tells.
  std::string frame_at(int x) {
    const QPointF point(x, view.height() - 75);
    QMouseEvent click(QEvent::MouseButtonPress, point, view.viewport()->mapToGlobal(point),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    actions.messages.clear();
    QApplication::sendEvent(view.viewport(), &click);
    return actions.messages.value(0).section(QLatin1Char('\n'), 0, 0).toStdString();
  }
  int scroll() { return view.horizontalScrollBar()->value(); }

  AnalysisStore store;
  ViewState state;
  RecordingActions actions;
  BarChartView view{ChartKind::kFrame, store, state, actions};
};

TEST_F(BarChartZoomTest, TheBarUnderThePointerStaysThereAndTheSettingIsKept) {
  // 400 bars of 5 pixels beyond the origin, the margin after the last one, the window's width.
  EXPECT_EQ(view.horizontalScrollBar()->maximum(), 30 + 399 * 5 + 150 - view.viewport()->width());
  view.horizontalScrollBar()->setValue(300);
  paint();
  const std::string before = frame_at(200);
  EXPECT_EQ(before, "Frame:  94.");  // (300 + 200 - 30 + 5 / 2) / 5
  const struct {
    double factor;
    double zoom;
  } steps[] = {{2.0, 2.0}, {4.0, 8.0}, {0.25, 2.0}, {100.0, 16.0}, {1e-6, 1.0 / 16}};
  for (const auto& step : steps) {
    view.zoom_at(step.factor, 200);
    paint();
    EXPECT_EQ(view.zoom(), step.zoom) << step.factor;
    if (step.zoom >= 1.0) {
      EXPECT_EQ(frame_at(200), before) << step.factor;
    }
  }
  // At the narrowest the bars are one pixel wide and frame 94 lies left of the pointer: the
  // chart scrolls back to its start.
  EXPECT_EQ(scroll(), 0);
  EXPECT_EQ(store.read([](const StoreData& data) { return data.frame_chart.bar_width; }), 5);
}

TEST_F(BarChartZoomTest, ControlWheelAndKeysZoomAndThePlainWheelScrolls) {
  const auto wheel = [this](QPoint delta, Qt::KeyboardModifiers modifiers) {
    const QPointF at(200, 100);
    QWheelEvent event(at, view.viewport()->mapToGlobal(at), {}, delta, Qt::NoButton, modifiers,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(view.viewport(), &event);
    paint();
  };
  const auto key = [this](int code) {
    QKeyEvent event(QEvent::KeyPress, code, Qt::ControlModifier);
    QApplication::sendEvent(&view, &event);
    paint();
  };
  wheel({0, 120}, Qt::ControlModifier);
  EXPECT_DOUBLE_EQ(view.zoom(), 1.25);
  wheel({0, -120}, Qt::ControlModifier);
  EXPECT_DOUBLE_EQ(view.zoom(), 1.0);
  key(Qt::Key_Plus);
  key(Qt::Key_Equal);
  EXPECT_DOUBLE_EQ(view.zoom(), 1.25 * 1.25);
  key(Qt::Key_0);
  EXPECT_DOUBLE_EQ(view.zoom(), 1.0);
  key(Qt::Key_Minus);
  EXPECT_DOUBLE_EQ(view.zoom(), 0.8);
  key(Qt::Key_0);
  // Without Control the wheel scrolls (a sideways turn moves the chart) and never zooms.
  wheel({0, -120}, Qt::NoModifier);
  wheel({-120, 0}, Qt::NoModifier);
  EXPECT_DOUBLE_EQ(view.zoom(), 1.0);
  EXPECT_GT(scroll(), 0);
}

// Playback that asks nothing of any window.
class NoWindows final : public PlaybackWindows {
 public:
  void post_repaint(WindowKind, bool) override {}
  void post_end_of_stream(const std::string&) override {}
  void post_fatal_error(const std::string&) override {}
  void post_state_changed() override {}
  void post_measure_progress(int) override {}
  void post_measure_done(bool) override {}
  void open_window(WindowKind) override {}
  void close_windows(WindowKind) override {}
};

// The dithered picture is shown top-down in the palette's colours for the stream's matrix; in
// true colour the converted picture is shown as it is.
// Non-white pixels of a view's picture in a rectangle (view coordinates).
int marks_in(QWidget& view, QRect area) {
  const QImage image = view.grab().toImage();
  int marks = 0;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x)
      marks += image.pixel(x, y) != qRgb(255, 255, 255);
  }
  return marks;
}

// After a resize the axes, their marks and labels reach the new width at the first paint.
TEST(ChartLayout, FollowsANewWidthAtOnce) {
  AnalysisStore store;
  store.update([](StoreData& data) {
    for (uint32_t i = 0; i < 12; ++i) {
      data.frame_bytes[i] = 1000 + 150 * i;
      data.frame_types[i] = 1 + i % 3;
      data.gop_bytes[i] = 9000 + 700 * (i % 5);
      data.gop_first_frame[i + 1] = i + 1;
    }
    data.last_frame = 11;
    data.open_gop = 12;
  });
  ViewState state;
  RecordingActions actions;
  StatisticsView statistics(store, state, actions);
  BarChartView frames(ChartKind::kFrame, store, state, actions);
  const std::pair<QAbstractScrollArea*, int> views[] = {{&statistics, 60}, {&frames, 70}};
  for (const auto& [view, bottom_margin] : views) {
    view->resize(400, 300);
    view->show();
    marks_in(*view, {0, 0, 1, 1});
    marks_in(*view, {0, 0, 1, 1});
    view->resize(1200, 300);
    const int baseline = 300 - bottom_margin;
    EXPECT_GT(marks_in(*view, QRect(700, baseline + 8, 300, 16)), 0) << bottom_margin;
  }
}

TEST(VideoView, ShowsThePaletteColoursOfThePictureTopDownAndTrueColourAsConverted) {
  AnalysisStore store;
  CollectedMessages messages;
  NoWindows windows;
  PlaybackController controller(store, messages, windows);
  controller.set_input(test::sample_path("testsrc-mpeg2.m2v").string());
  VideoView view(controller);
  ASSERT_TRUE(controller.first_paint());
  const QImage shown = view.current_image();
  std::set<QRgb> colours;
  controller.read_picture([&](const ShownPicture& picture) {
    const PaletteImage& image = picture.image;
    ASSERT_EQ(shown.size(), QSize(image.width, image.height));
    const auto palette = make_palette_entries(picture.matrix_coefficients);
    int differing = 0;
    for (int y = 0; y < image.height; ++y) {
      for (int x = 0; x < image.width; ++x) {
        const PaletteEntry& entry =
            palette[image.pixels[size_t(image.height - 1 - y) * image.width + x]];
        const QRgb colour = shown.pixel(x, y);
        differing += colour != qRgb(entry.red, entry.green, entry.blue);
        colours.insert(colour);
      }
    }
    EXPECT_EQ(differing, 0);
  });
  EXPECT_GT(colours.size(), 20u);

  view.set_true_colour(true);
  controller.play_frame();
  const QImage converted = view.current_image();
  controller.read_picture([&](const ShownPicture& picture) {
    const RgbImage& rgb = picture.rgb;
    ASSERT_EQ(converted.size(), QSize(rgb.width, rgb.height));
    for (int y = 0; y < rgb.height; ++y) {
      EXPECT_EQ(std::memcmp(converted.constScanLine(y), rgb.pixels.data() + size_t(y) * rgb.width,
                            size_t(rgb.width) * 4),
                0)
          << y;
    }
  });
  controller.close_video();
}

// A summary with a long frame sequence scrolls in a box of a usable size; a short one is a
// plain message box.
TEST(MessageBox, ALongTextScrollsInABoxOfAUsableSize) {
  const QString sequence = QStringLiteral("IBBPBBPBBPBB").repeated(2000);
  for (const QString& text : {QStringLiteral("SUMMARY:\n\n- Total number of Frames: 12"),
                              QStringLiteral("SUMMARY:\n\n") + sequence}) {
    const std::unique_ptr<QDialog> box =
        make_message_box(nullptr, MessageIcon::kInformation, text, QStringLiteral("origin"));
    box->show();
    auto* scrolled = box->findChild<QPlainTextEdit*>();
    const bool long_text = text.size() > 1500;
    ASSERT_EQ(scrolled != nullptr, long_text);
    if (long_text) {
      EXPECT_EQ(scrolled->toPlainText(), text);
      EXPECT_LE(box->width(), 1000);
      EXPECT_LE(box->height(), 800);
      EXPECT_GT(scrolled->verticalScrollBar()->maximum(), 0);
    } else {
      EXPECT_EQ(qobject_cast<QMessageBox*>(box.get())->text(), text);
    }
  }
}

}  // namespace
}  // namespace tavik::gui
