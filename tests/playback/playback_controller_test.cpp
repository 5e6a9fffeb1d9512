// Playback driven as the desktop drives it, with a fake window thread: the test thread plays
// the window thread and handles the requests the controller queues for it.
#include "playback/playback_controller.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <thread>

#include "support/spatial_stream_writer.h"
#include "support/stream_tools.h"

namespace tavik {
namespace {

using namespace std::chrono_literals;

class FakeWindows final : public PlaybackWindows {
 public:
  void post_repaint(WindowKind kind, bool /*erase*/) override {
    post([this, kind] {
      ++repaints[index_of(kind)];
      controller->repaint_issued(kind);
    });
  }
  void post_end_of_stream(const std::string& summary) override {
    post([this, summary] { summaries.push_back(summary); });
  }
  void post_fatal_error(const std::string& text) override {
    post([this, text] { errors.push_back(text); });
  }
  void post_state_changed() override {}
  void post_measure_progress(int percent) override {
    post([this, percent] { progress.push_back(percent); });
  }
  void post_measure_done(bool completed) override {
    post([this, completed] { measured.push_back(completed); });
  }
  void open_window(WindowKind kind) override {
    opened.push_back(kind);
    controller->window_opened(kind);
  }
  void close_windows(WindowKind kind) override {
    closed.push_back(kind);
    controller->window_closed(kind);
  }

  // Handles queued requests until `done` holds; false if it never does (a hang guard only).
  bool pump_until(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (!done()) {
      std::function<void()> request;
      {
        std::unique_lock lock(mutex_);
        if (!posted_.wait_until(lock, deadline, [this] { return !queue_.empty(); })) return false;
        request = std::move(queue_.front());
        queue_.pop_front();
      }
      request();
    }
    return true;
  }
  void pump() {
    for (;;) {
      std::function<void()> request;
      {
        std::lock_guard lock(mutex_);
        if (queue_.empty()) return;
        request = std::move(queue_.front());
        queue_.pop_front();
      }
      request();
    }
  }
  size_t queued() {
    std::lock_guard lock(mutex_);
    return queue_.size();
  }

  PlaybackController* controller = nullptr;
  std::array<int, kWindowKinds> repaints{};
  std::vector<std::string> summaries, errors;
  std::vector<WindowKind> opened, closed;
  std::vector<int> progress;
  std::vector<bool> measured;

 private:
  void post(std::function<void()> request) {
    {
      std::lock_guard lock(mutex_);
      queue_.push_back(std::move(request));
    }
    posted_.notify_all();
  }
  std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<std::function<void()>> queue_;
};

class PlaybackTest : public ::testing::Test {
 protected:
  void SetUp() override { windows.controller = &controller; }

  void open(const std::string& path) {
    controller.clear_input();
    controller.set_input(path);
    controller.video_view_created();
  }
  void open_sample() { open(test::sample_path("testsrc-mpeg2.m2v").string()); }
  int last_frame() const {
    return store.read([](const StoreData& data) { return data.last_frame; });
  }
  bool frames_reach(int frame) {
    return windows.pump_until([&] { return last_frame() >= frame; });
  }

  AnalysisStore store;
  CollectedMessages messages;
  FakeWindows windows;
  PlaybackController controller{store, messages, windows};
};

constexpr int kSampleFrames = 100;

TEST_F(PlaybackTest, PlayAFrameRecordsTheFirstFrameThenOneFrameEachTime) {
  open_sample();
  controller.play_frame();
  EXPECT_EQ(last_frame(), 0);
  controller.play_frame();
  EXPECT_EQ(last_frame(), 1);
  EXPECT_FALSE(controller.state().playing);
}

TEST_F(PlaybackTest, PlaysToTheEndShowsTheSummaryOnceAndPlaysAgainFromTheStart) {
  open_sample();
  ASSERT_TRUE(controller.first_paint());
  controller.play();
  EXPECT_TRUE(controller.state().playing);
  ASSERT_TRUE(windows.pump_until([&] { return !windows.summaries.empty(); }));
  EXPECT_EQ(last_frame(), kSampleFrames - 1);
  EXPECT_FALSE(controller.state().playing);
  EXPECT_TRUE(controller.state().file_loaded);
  EXPECT_NE(windows.summaries[0].find("100 frames"), std::string::npos);
  EXPECT_GE(windows.repaints[index_of(WindowKind::kVideo)], kSampleFrames - 2);
  windows.pump();
  EXPECT_EQ(windows.summaries.size(), 1u);

  controller.play();
  ASSERT_TRUE(windows.pump_until([&] { return !windows.summaries.empty() && last_frame() < 50; }));
  ASSERT_TRUE(frames_reach(5));
  controller.pause();
  EXPECT_FALSE(controller.state().playing);
}

// The worker decodes the next picture only once the window thread has handled the repaints of
// the previous one, so no queue of stale repaints builds up.
TEST_F(PlaybackTest, WorkerWaitsForTheWindowThread) {
  open_sample();
  ASSERT_TRUE(controller.first_paint());
  windows.pump();
  controller.play();
  std::this_thread::sleep_for(100ms);
  EXPECT_LE(last_frame(), 2);
  EXPECT_LE(windows.queued(), 2u);
  ASSERT_TRUE(frames_reach(30));
  controller.pause();
}

TEST_F(PlaybackTest, PauseStopsTheWorkerAfterItsStep) {
  open_sample();
  ASSERT_TRUE(controller.first_paint());
  controller.play();
  ASSERT_TRUE(frames_reach(10));
  controller.pause();
  windows.pump_until([] { return true; });
  std::this_thread::sleep_for(20ms);
  windows.pump();
  const int paused_at = last_frame();
  std::this_thread::sleep_for(50ms);
  windows.pump();
  EXPECT_EQ(last_frame(), paused_at);
  controller.play();
  ASSERT_TRUE(frames_reach(paused_at + 5));
  controller.play();  // while playing: pauses
  EXPECT_FALSE(controller.state().playing);
}

TEST_F(PlaybackTest, GoToTheBeginningDuringPlayZeroesTheStoreAndShowsTheFirstPictureAgain) {
  open_sample();
  ASSERT_TRUE(controller.first_paint());
  controller.play();
  ASSERT_TRUE(frames_reach(20));
  controller.go_to_beginning();
  EXPECT_FALSE(controller.state().playing);
  EXPECT_FALSE(controller.video_shown());
  EXPECT_EQ(last_frame(), -1);
  EXPECT_TRUE(store.read(
      [](const StoreData& data) { return data.frame_bytes[0] == 0 && data.frame_bytes[19] == 0; }));
  ASSERT_TRUE(controller.first_paint());
  EXPECT_EQ(last_frame(), 0);
}

TEST_F(PlaybackTest, ClosingTheVideoWhilePlayingStopsEverything) {
  open_sample();
  ASSERT_TRUE(controller.first_paint());
  controller.play();
  ASSERT_TRUE(frames_reach(5));
  controller.close_video();
  windows.pump();
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(windows.queued(), 0u);
  EXPECT_EQ(last_frame(), -1);
  EXPECT_FALSE(controller.state().file_loaded);
  EXPECT_FALSE(controller.state().playing);
  EXPECT_EQ(controller.read_picture([](const ShownPicture& shown) { return shown.serial; }), 0u);
}

TEST_F(PlaybackTest, FilterTurnedOnDuringPlayKeepsWhatWasRecorded) {
  open_sample();
  ASSERT_TRUE(controller.first_paint());
  for (int i = 0; i < 20; ++i) controller.play_frame();
  const StoreData before = store.snapshot();
  controller.toggle_filter(kBPicture);
  EXPECT_TRUE(controller.state().filter_b);
  controller.play();
  ASSERT_TRUE(windows.pump_until([&] { return !windows.summaries.empty(); }));
  const StoreData after = store.snapshot();
  int b_frames_before = 0;
  for (int i = 0; i <= before.last_frame; ++i) {
    EXPECT_EQ(after.frame_types[i], before.frame_types[i]);
    b_frames_before += before.frame_types[i] == kBPicture;
  }
  EXPECT_GT(b_frames_before, 0);
  for (int i = before.last_frame + 1; i <= after.last_frame; ++i) {
    EXPECT_NE(after.frame_types[i], uint32_t(kBPicture)) << i;
  }
}

TEST_F(PlaybackTest, MeasuringTheWholeFileFillsTheStoreAndPlayStartsAgain) {
  open_sample();
  ASSERT_TRUE(controller.first_paint());
  for (int i = 0; i < 5; ++i) controller.play_frame();
  controller.measure_whole_file();
  ASSERT_TRUE(windows.pump_until([&] { return !windows.measured.empty(); }));
  EXPECT_TRUE(windows.measured[0]);
  EXPECT_FALSE(controller.state().measuring);
  EXPECT_EQ(last_frame(), kSampleFrames - 1);
  EXPECT_TRUE(std::is_sorted(windows.progress.begin(), windows.progress.end()));
  EXPECT_GT(windows.progress.size(), 10u);
  controller.play_frame();
  EXPECT_EQ(last_frame(), 0);
}

TEST_F(PlaybackTest, ShowCommandsToggleThePreferenceOrTheWindow) {
  controller.toggle_show(WindowKind::kGopChart);
  EXPECT_FALSE(controller.state().show_gop_chart);
  EXPECT_TRUE(windows.opened.empty());
  controller.toggle_show(WindowKind::kGopChart);

  open_sample();
  controller.toggle_show(WindowKind::kFrameChart);
  ASSERT_EQ(windows.opened, std::vector{WindowKind::kFrameChart});
  EXPECT_TRUE(controller.window_open(WindowKind::kFrameChart));
  EXPECT_TRUE(controller.state().show_frame_chart);
  controller.toggle_show(WindowKind::kFrameChart);
  ASSERT_EQ(windows.closed, std::vector{WindowKind::kFrameChart});
  EXPECT_FALSE(controller.state().show_frame_chart);
}

TEST_F(PlaybackTest, FatalErrorEndsTheSessionAndKeepsTheFileLoaded) {
  const auto path = test::scratch_dir() / "not-mpeg.bin";
  test::write_file(path, std::vector<uint8_t>(4096, 0x55));
  open(path.string());
  EXPECT_FALSE(controller.first_paint());
  ASSERT_TRUE(windows.pump_until([&] { return !windows.errors.empty(); }));
  EXPECT_EQ(windows.errors[0], "This not a valid MPEG system or video stream\n");
  EXPECT_TRUE(controller.state().file_loaded);
  controller.play();
  ASSERT_TRUE(windows.pump_until([&] { return windows.errors.size() == 2; }));
  EXPECT_FALSE(controller.state().playing);

  std::filesystem::remove(path);
  controller.play_frame();
  ASSERT_TRUE(windows.pump_until([&] { return windows.errors.size() == 3; }));
  EXPECT_EQ(windows.errors[2], "Input file " + path.string() + " not found\n");
  EXPECT_EQ(messages.box_text, "Error al abrir fichero");
}

// A relative lower-layer pattern names files beside the stream (in a folder whose name holds a
// conversion); the options apply from the next restart, and a session without the lower layer
// warns once per picture.
TEST_F(PlaybackTest, DecodingOptionsReachTheNextSession) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("tavik-options-%d-" + std::to_string(getpid()));
  fs::create_directories(dir);
  test::write_file(dir / "enhancement.m2v",
                   test::spatial_stream({32, 16, 1, {32, 16, 1, 1, 1, 1}},
                                        {{.lower_temporal_reference = 4},
                                         {.type = 2, .lower_temporal_reference = 4}}));
  for (const char* name : {"base_4a", "base_4b"}) {
    for (const char* suffix : {".Y", ".U", ".V"}) {
      test::write_file(dir / (std::string(name) + suffix), std::vector<uint8_t>(256, 90));
    }
  }
  // As the desktop opens a file: the video window of the last one closes first.
  const auto play_through = [&] {
    controller.close_video();
    messages.err_text.clear();
    windows.summaries.clear();
    open((dir / "enhancement.m2v").string());
    ASSERT_TRUE(controller.first_paint());
    controller.play();
    ASSERT_TRUE(windows.pump_until([&] { return !windows.summaries.empty(); }));
  };
  play_through();
  const auto warnings = [&] {
    size_t count = 0;
    for (size_t at = 0;
         (at = messages.err_text.find("without spatial prediction", at)) != std::string::npos;
         ++at) {
      ++count;
    }
    return count;
  };
  EXPECT_EQ(warnings(), 2u) << messages.err_text;
  controller.set_decoding_options("base_%d%c", 2);
  play_through();
  EXPECT_EQ(warnings(), 0u) << messages.err_text;
  fs::remove_all(dir);
}

}  // namespace
}  // namespace tavik
