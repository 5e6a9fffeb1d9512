#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "analysis/analysis_store.h"
#include "base/messages.h"
#include "decoder/picture/macroblock_statistics.h"
#include "display/dither.h"
#include "display/true_colour.h"
#include "playback/playback_machine.h"
#include "playback/timing_share.h"
#include "playback/window_kind.h"
#include "session/decoding_session.h"
#include "session/frame_macroblocks.h"
#include "structure/file_structure.h"

namespace tavik {

// What playback asks of the windows. The post_ calls come from any thread: they queue the
// request for the window thread and return at once, never waiting for it. The window thread
// answers each post_repaint with repaint_issued(kind) once it has asked that window (if it
// still exists) to repaint. open_window and close_windows are called on the window thread only.
class PlaybackWindows {
 public:
  virtual ~PlaybackWindows() = default;
  virtual void post_repaint(WindowKind kind, bool erase) = 0;
  virtual void post_end_of_stream(const std::string& summary) = 0;
  virtual void post_fatal_error(const std::string& text) = 0;
  virtual void post_state_changed() = 0;
  // Measuring the whole file: how far it is (0..100), and its end.
  virtual void post_measure_progress(int percent) = 0;
  virtual void post_measure_done(bool completed) = 0;
  virtual void open_window(WindowKind kind) = 0;
  virtual void close_windows(WindowKind kind) = 0;
};

// What the command states are derived from.
struct PlaybackState {
  bool file_loaded = false;
  bool playing = false;
  bool measuring = false;
  bool filter_i = false;
  bool filter_p = false;
  bool filter_b = false;
  bool show_frame_chart = true;
  bool show_gop_chart = true;
  bool show_slice_chart = true;
};

// The picture the video window shows, published whole by the decoding thread.
struct ShownPicture {
  PaletteImage image;
  RgbImage rgb;  // filled only while true colour is on
  int matrix_coefficients = 5;
  int horizontal_size = 0;
  int vertical_size = 0;
  uint64_t serial = 0;  // 0 = nothing shown yet
  // The pictures decoded into the frame shown, while macroblock records are asked for (their
  // records point into each KeptPicture's own).
  std::vector<KeptPicture> macroblocks;
};

// Drives the decoding session from the user's commands and keeps the windows up to date while
// a stream plays. Commands are called on the window thread; the play worker steps the session
// on a thread of its own. The playback status (phase and video window) changes only through
// next_status, under the lock that also guards the repaint flags. One lock serialises every
// decoding step and restart; every wait blocks on a condition variable. Nothing here ever waits
// for the window thread.
class PlaybackController {
 public:
  PlaybackController(AnalysisStore& store, Messages& messages, PlaybackWindows& windows);
  ~PlaybackController();
  PlaybackController(const PlaybackController&) = delete;
  PlaybackController& operator=(const PlaybackController&) = delete;

  // File opening: the start of every open (no file loaded), then the chosen file.
  void clear_input();
  void set_input(const std::string& path);
  [[nodiscard]] std::string input_path() const;

  // The video window: created, first painted, closed.
  void video_view_created();
  // The first paint since the file was opened or since "Go to the beginning": restart and two
  // decoding steps. False when the session could not be opened; the failure is reported once
  // and later paints do not try again (a playback command does).
  bool first_paint();
  [[nodiscard]] bool video_shown() const { return status().video_shown(); }
  [[nodiscard]] bool video_closed() const { return status().video_closed(); }
  [[nodiscard]] bool session_open() const { return status().session_open(); }
  // The close sequence of the video window, up to closing the other windows (the caller's).
  void close_video();

  void play();
  void play_frame();
  void pause();
  void go_to_beginning();
  // "Measure whole file": the headers-only walk of the whole file fills the store on a thread
  // of its own, without decoding; playing afterwards starts from the beginning.
  void measure_whole_file();
  void cancel_measuring();
  // The structure the last "Measure whole file" built (null before one), and whether it covers
  // the whole file.
  [[nodiscard]] std::shared_ptr<const FileStructure> structure() const;
  [[nodiscard]] bool structure_complete() const;
  // Shows the frame of coded picture `picture` in the video window, decoded from the nearest
  // picture that makes it decodable, found in the structure of a whole-file measure. The store
  // keeps the measure's figures: the new session measures into a store of its own, and playing
  // goes on from there. False when there is no such structure or picture.
  bool show_picture(uint32_t picture);
  void toggle_filter(PictureType type);
  // The Show commands of the three charts (frame_chart, gop_chart, slice_chart).
  void toggle_show(WindowKind chart);
  void set_show_preference(WindowKind chart, bool shown);

  // Analysis windows report their life. A closing list waits for its repaint in progress.
  void window_opened(WindowKind kind);
  void window_closed(WindowKind kind);
  [[nodiscard]] bool window_open(WindowKind kind) const;

  // The window thread has handled a post_repaint of this kind.
  void repaint_issued(WindowKind kind);

  [[nodiscard]] PlaybackState state() const;

  // True colour: the decoded frames are also converted to RGB for the video window.
  void set_true_colour(bool on) { true_colour_ = on; }
  // Real time: continuous play keeps to the stream's frame rate, repeated fields included,
  // instead of playing as fast as it decodes.
  void set_real_time(bool on) { real_time_ = on; }
  [[nodiscard]] bool real_time() const { return real_time_; }
  // What the next session opens with (opening a file, Go to the beginning): the lower layer's
  // file name pattern, read beside the input unless it is an absolute path (empty: none), and
  // the threads that decode the slices of each picture.
  void set_decoding_options(std::string lower_layer_pattern, int threads);
  // The macroblock overlays of the video window: while they are on, or while a Picture window
  // is open, the session records every macroblock from the next picture on.
  void set_macroblock_overlays(bool on) { macroblock_overlays_ = on; }
  // The coding figures of a picture (coded order, as the store counts frames) decoded while
  // records were asked for.
  [[nodiscard]] std::optional<PictureStatistics> picture_statistics(int64_t picture) const;

  // The timing of the pictures read so far, by the session or by "Measure whole file"; it
  // outlives the controller for the workers that still read it.
  [[nodiscard]] std::shared_ptr<const TimingShare> timing() const { return timing_; }

  // Runs fn(const ShownPicture&) under the picture's lock.
  template <typename Fn>
  decltype(auto) read_picture(Fn&& fn) const {
    std::lock_guard lock(picture_mutex_);
    return fn(static_cast<const ShownPicture&>(shown_));
  }

 private:
  class Listener;
  using Flag = std::atomic<bool>;

  [[nodiscard]] PlaybackStatus status() const;
  // Applies one transition; false (and nothing changes) when it is not allowed now.
  bool apply(PlaybackEvent event);
  void set_flag(Flag& flag, bool value);
  void restart();
  [[nodiscard]] SessionOptions session_options() const;
  void step();
  void end_playback();
  void fail(const std::string& text);
  void start_repaint(WindowKind kind);
  void repaint_after_picture();
  // A Bitrate or VBV buffer window is open: the timing is published as it grows, not only when
  // a session opens or ends.
  [[nodiscard]] bool timing_charted() const;
  void gop_closed();
  void play_worker();
  // The display time of what the session has read so far, in seconds; 0 without a frame rate.
  [[nodiscard]] double shown_seconds() const;
  void join_worker();
  void measure_worker();
  void wait_for_done(std::initializer_list<WindowKind> kinds);
  void publish_picture(PaletteImage& image);
  void keep_macroblocks(const PictureMacroblocks& picture);
  [[nodiscard]] bool macroblock_records_wanted() const;
  void publish_frame(const FramePlanes& frame, const FrameGeometry& geometry,
                     const DecodingVariables& vars);

  AnalysisStore& store_;
  Messages& messages_;
  PlaybackWindows& windows_;
  std::unique_ptr<Listener> listener_;
  // The structure a session opened part-way reads its input through: it outlives the session.
  std::shared_ptr<const FileStructure> seek_structure_;
  std::unique_ptr<DecodingSession> session_;
  std::string pending_summary_;

  mutable std::mutex input_mutex_;
  std::string input_path_;

  Flag true_colour_{false};
  Flag real_time_{false};
  Flag macroblock_overlays_{false};
  std::array<Flag, kWindowKinds> window_open_{};
  std::array<Flag, 3> show_preference_{};
  // Repaint requests: done is false while one is being issued or, for the windows the play
  // worker repaints, while a decoding step runs; ready is false from a request until the window
  // thread has handled it.
  std::array<Flag, kWindowKinds> done_{};
  std::array<Flag, kWindowKinds> ready_{};
  mutable std::mutex state_mutex_;
  std::condition_variable state_changed_;
  PlaybackStatus status_;  // guarded by state_mutex_

  mutable std::mutex options_mutex_;
  std::string lower_layer_pattern_;
  int threads_ = 1;
  // The options the current session was made with.
  std::string session_pattern_;
  int session_threads_ = 1;

  mutable std::mutex structure_mutex_;
  std::shared_ptr<const FileStructure> structure_;
  bool structure_complete_ = false;
  // A session opened part-way by show_picture measures into seek_store_. The seek phase
  // (decoding thread, under decode_mutex_) passes over the frames before the one to show and
  // everything after it in the same step.
  AnalysisStore seek_store_;
  bool seeking_session_ = false;
  enum class SeekPhase { kNone, kSkipping, kTarget, kShown } seek_phase_ = SeekPhase::kNone;
  uint64_t seek_skip_ = 0;

  std::mutex decode_mutex_;
  PictureTimeline timeline_;  // the session's, guarded by decode_mutex_
  const std::shared_ptr<TimingShare> timing_ = std::make_shared<TimingShare>();
  std::thread worker_;
  std::thread measurer_;

  mutable std::mutex picture_mutex_;
  ShownPicture shown_;
  // Filled by the decoding thread, then exchanged with shown_ under the lock.
  PaletteImage image_scratch_;
  RgbImage rgb_scratch_;
  // The decoding thread's records: what the session was last asked for, each frame set's
  // pictures, and those of the frame handed over, until its image is published.
  bool records_on_ = false;
  FrameMacroblocks frame_macroblocks_;
  std::vector<KeptPicture> macroblock_scratch_;
  bool macroblocks_pending_ = false;
  mutable std::mutex statistics_mutex_;
  std::vector<PictureStatistics> statistics_;  // by picture; macroblocks 0: not recorded
  int pending_matrix_ = 5;
  int pending_width_ = 0;
  int pending_height_ = 0;
};

}  // namespace tavik
