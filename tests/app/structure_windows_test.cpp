// The Structure and Bytes windows in the main window on the offscreen platform, and the frames
// that Go to frame and Show this picture put in the video window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QLineEdit>
#include <QMdiArea>
#include <QMouseEvent>
#include <QSlider>
#include <QTemporaryDir>
#include <QTreeView>
#include <functional>

#include "app/document_window.h"
#include "app/main_window.h"
#include "gui_support/scripted_dialogs.h"
#include "support/cli_run.h"
#include "support/stream_tools.h"
#include "views/bytes_view.h"
#include "views/information_list_view.h"
#include "views/structure_view.h"
#include "views/video_view.h"

namespace tavik::gui {
namespace {

bool process_until(const std::function<bool()>& done) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > 60000) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

// Pixels that differ (all of them when the sizes do).
int differing(const QImage& a, const QImage& b) {
  if (a.size() != b.size()) return a.width() * a.height();
  int count = 0;
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width(); ++x) count += a.pixel(x, y) != b.pixel(x, y);
  }
  return count;
}

class StructureWindowsTest : public ::testing::Test {
 protected:
  StructureWindowsTest() : settings(temp.filePath(QStringLiteral("settings.ini"))) {}

  void open(const std::filesystem::path& file) {
    path = file.string();
    window = std::make_unique<MainWindow>(store, settings, dialogs);
    window->show();
    window->open_path(QString::fromStdString(path));
    ASSERT_TRUE(process_until([this] { return window->controller().video_shown(); }));
  }
  template <typename View>
  View* view_of(WindowKind kind) const {
    const QList<DocumentWindow*> windows = window->windows_of(kind);
    return windows.isEmpty() ? nullptr : qobject_cast<View*>(windows.constFirst()->widget());
  }
  QImage shown() const {
    return view_of<VideoView>(WindowKind::kVideo)
        ->current_image()
        .convertToFormat(QImage::Format_RGB32);
  }
  QImage snapshot(int frame) const {
    const QString png = temp.filePath(QStringLiteral("frame.png"));
    const auto result =
        test::run_cli("snapshot " + test::quoted(path) + " --frame " + std::to_string(frame) +
                      " -o " + test::quoted(png.toStdString()));
    EXPECT_EQ(result.status, 0) << result.err;
    return QImage(png).convertToFormat(QImage::Format_RGB32);
  }
  std::vector<uint32_t> frame_bytes() const {
    return store.read([](const StoreData& data) {
      return std::vector<uint32_t>(data.frame_bytes.begin(),
                                   data.frame_bytes.begin() + data.last_frame + 1);
    });
  }

  QTemporaryDir temp;
  AnalysisStore store;
  AppSettings settings;
  test::ScriptedDialogs dialogs;
  std::unique_ptr<MainWindow> window;
  std::string path;
};

// "Show in structure" measures first, opens both windows on the picture; a click on a byte
// selects the element holding it in the tree; the picture selected marks its bar.
TEST_F(StructureWindowsTest, ShowInStructureOpensTheLinkedWindows) {
  open(test::sample_path("testsrc-mpeg2.m2v"));
  window->show_in_structure(5);
  auto* tree = static_cast<StructureView*>(nullptr);
  ASSERT_TRUE(
      process_until([&] { return (tree = view_of<StructureView>(WindowKind::kStructure)); }));
  auto* bytes = view_of<BytesView>(WindowKind::kBytes);
  ASSERT_NE(bytes, nullptr);
  StructureLink& link = window->structure_windows().link();
  const StreamIndex& index = link.structure().index;
  EXPECT_EQ(link.selected(), link.tree().picture(5));
  EXPECT_EQ(tree->model().node_of(tree->tree_view()->currentIndex()), link.tree().picture(5));
  EXPECT_TRUE(bytes->highlighted(index.picture_byte(5)));
  EXPECT_EQ(store.read([](const StoreData& data) { return data.last_frame; }), 99);

  // vbv_delay of picture 7 starts at bit 5 of the header's sixth byte and holds the seventh.
  window->mdi_area()->tileSubWindows();
  const uint64_t byte = index.picture_byte(7) + 6;
  window->structure_windows().link().select(link.tree().picture(7));
  QApplication::processEvents();
  {
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(bytes->point_of(byte)),
                      bytes->viewport()->mapToGlobal(QPointF(bytes->point_of(byte))),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(bytes->viewport(), &press);
  }
  const NodeId element = link.tree().innermost_at(byte);
  EXPECT_EQ(link.selected(), element);
  EXPECT_EQ(link.tree().info(element).name, "vbv_delay");
  EXPECT_EQ(tree->model().node_of(tree->tree_view()->currentIndex()), element);
  EXPECT_TRUE(bytes->selection_line().contains(QStringLiteral("bits: ")));

  window->structure_windows().link().select(link.tree().picture(2));
  EXPECT_TRUE(tree->step_picture(true));
  const std::optional<uint32_t> next_b = link.picture_of(link.selected());
  ASSERT_TRUE(next_b.has_value());
  EXPECT_GT(*next_b, 2u);
  EXPECT_EQ(index.pictures[*next_b].type, index.pictures[2].type);
  tree->search_edit()->setText(QStringLiteral("closed_gop"));
  ASSERT_TRUE(tree->find_next());
  EXPECT_FALSE(tree->find_next());  // one search at a time
  ASSERT_TRUE(process_until([&] { return !link.searching(); }));
  EXPECT_EQ(link.tree().info(link.selected()).name, "closed_gop");
  EXPECT_EQ(tree->model().node_of(tree->tree_view()->currentIndex()), link.selected());
}

// Go to frame shows what the command line's snapshot of that frame shows, the measure's
// figures stay, and a step then shows the frame after it.
TEST_F(StructureWindowsTest, GoToFrameShowsTheSnapshotsFrameAndKeepsTheStore) {
  const std::pair<std::filesystem::path, std::vector<int>> cases[] = {
      {test::sample_path("testsrc-mpeg2.m2v"), {99, 13, 0, 37, 10, 11, 22, 23}},
      {test::sample_path("mandelbrot-mpeg1.mpg"), {20, 3}},
      {test::make_ffmpeg_stream("clip.ts", "-c:v mpeg2video -g 12 -bf 2 -f mpegts"), {17, 5}},
  };
  for (const auto& [sample, frames] : cases) {
    open(sample);
    for (const int frame : frames) {
      dialogs.dialog_script = [frame](QDialog& dialog) {
        dialog.findChild<QLineEdit*>(QStringLiteral("frame"))->setText(QString::number(frame));
        dialog.accept();
      };
      const int run = dialogs.dialogs_run;
      window->commands()[Command::kGoToFrame]->trigger();
      // The first one measures the file, then asks.
      ASSERT_TRUE(process_until([&] { return dialogs.dialogs_run > run; })) << sample;
      const std::vector<uint32_t> measured = frame_bytes();
      ASSERT_FALSE(measured.empty());
      EXPECT_EQ(differing(shown(), snapshot(frame)), 0) << sample << " frame " << frame;
      EXPECT_EQ(frame_bytes(), measured);
    }
    window->commands()[Command::kPlayFrame]->trigger();
    EXPECT_EQ(differing(shown(), snapshot(frames.back() + 1)), 0) << sample;
    window.reset();
  }
}

// The position slider (kept in the settings, off unless chosen) measures the file when pressed
// before its frames are known, then shows the frame it is let go at as Go to frame does.
TEST_F(StructureWindowsTest, PositionSliderShowsTheFrameItStopsAt) {
  EXPECT_FALSE(settings.position_slider());
  settings.set_position_slider(true);
  open(test::sample_path("testsrc-mpeg2.m2v"));
  EXPECT_TRUE(window->commands()[Command::kPositionSlider]->isChecked());
  auto* slider = view_of<VideoView>(WindowKind::kVideo)->findChild<QSlider*>();
  ASSERT_NE(slider, nullptr);
  EXPECT_TRUE(slider->isVisible());
  emit slider->sliderPressed();
  ASSERT_TRUE(process_until([&] { return slider->maximum() == 99; }));
  slider->setValue(37);
  EXPECT_EQ(differing(shown(), snapshot(37)), 0);
  window->commands()[Command::kPositionSlider]->trigger();
  EXPECT_FALSE(slider->isVisible());
  EXPECT_FALSE(settings.position_slider());
}

// "Show in structure" on a line of the Frames or Gops list selects its picture or group.
TEST_F(StructureWindowsTest, InformationListsShowTheirLineInStructure) {
  open(test::sample_path("testsrc-mpeg2.m2v"));
  window->commands()[Command::kMeasureWholeFile]->trigger();
  ASSERT_TRUE(process_until([this] { return window->controller().structure_complete(); }));
  const std::pair<WindowKind, NodeId> cases[] = {
      {WindowKind::kFrameList, NodeId::make(NodeKind::kPicture, 5)},
      {WindowKind::kGopList, NodeId::make(NodeKind::kGroup, 2)},
  };
  for (const auto& [kind, node] : cases) {
    window->open_window(kind);
    auto* list = view_of<InformationListView>(kind);
    ASSERT_NE(list, nullptr);
    const int line = int(node.index());
    const MenuEntries entries = list->menu_entries(QPoint(4, kFirstLineY + kLinePitch * line + 2));
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries[0].first, QStringLiteral("Show in structure"));
    entries[0].second();
    ASSERT_TRUE(process_until(
        [&, node = node] { return window->structure_windows().link().selected() == node; }));
    EXPECT_NE(view_of<StructureView>(WindowKind::kStructure), nullptr);
  }
}

}  // namespace
}  // namespace tavik::gui
