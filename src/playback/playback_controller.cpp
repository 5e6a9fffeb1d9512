#include "playback/playback_controller.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <filesystem>
#include <utility>

#include "base/fatal_error.h"
#include "decoder/syntax/stream_info.h"
#include "results/stream_description.h"
#include "results/summary.h"
#include "structure/index_builder.h"
#include "structure/seek_plan.h"
#include "structure/video_ranges_input.h"

namespace tavik {

namespace {

[[nodiscard]] int chart_slot(WindowKind chart) {
  switch (chart) {
    case WindowKind::kFrameChart:
      return 0;
    case WindowKind::kGopChart:
      return 1;
    case WindowKind::kSliceChart:
      return 2;
    default:
      return -1;
  }
}

[[nodiscard]] std::uintmax_t file_size(const std::string& path) {
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  return error ? 0 : size;
}

[[nodiscard]] bool is_list(WindowKind kind) {
  return kind == WindowKind::kFrameList || kind == WindowKind::kGopList ||
         kind == WindowKind::kSliceList;
}

// A relative pattern names files in the input's folder; a % in the folder's name is escaped so
// that it is not read as a conversion.
[[nodiscard]] std::string pattern_beside(const std::string& input, const std::string& pattern) {
  if (pattern.empty() || std::filesystem::path(pattern).is_absolute()) return pattern;
  const std::string folder = std::filesystem::path(input).parent_path().string();
  if (folder.empty()) return pattern;
  std::string resolved;
  for (const char c : folder) {
    if (c == '%') resolved += '%';
    resolved += c;
  }
  return resolved + '/' + pattern;
}

}  // namespace

// The session's hand-over, on whichever thread is stepping it.
class PlaybackController::Listener final : public SessionListener {
 public:
  explicit Listener(PlaybackController& owner) : owner_(owner) {}
  void frame_ready(const FramePlanes& frame, const FrameGeometry& geometry,
                   const DecodingVariables& vars) override {
    using Phase = SeekPhase;
    Phase& phase = owner_.seek_phase_;
    if (phase == Phase::kSkipping && owner_.seek_skip_-- == 0) phase = Phase::kTarget;
    if (phase == Phase::kSkipping || phase == Phase::kShown) return;
    owner_.publish_frame(frame, geometry, vars);
  }
  void picture_ready(PaletteImage& image) override {
    using Phase = SeekPhase;
    Phase& phase = owner_.seek_phase_;
    if (phase == Phase::kSkipping || phase == Phase::kShown) return;
    if (phase == Phase::kTarget) phase = Phase::kShown;
    owner_.publish_picture(image);
    owner_.repaint_after_picture();
  }
  void macroblocks_decoded(const PictureMacroblocks& picture) override {
    owner_.keep_macroblocks(picture);
  }
  void session_ended(const std::string& summary) override { owner_.pending_summary_ = summary; }

 private:
  PlaybackController& owner_;
};

PlaybackController::PlaybackController(AnalysisStore& store, Messages& messages,
                                       PlaybackWindows& windows)
    : store_(store),
      messages_(messages),
      windows_(windows),
      listener_(std::make_unique<Listener>(*this)) {
  for (auto& flag : done_) flag = true;
  for (auto& flag : ready_) flag = true;
  for (auto& flag : show_preference_) flag = true;
  store_.set_gop_closed_callback([this] { gop_closed(); });
}

PlaybackController::~PlaybackController() {
  apply(PlaybackEvent::kVideoClosed);
  cancel_measuring();
  join_worker();
  store_.set_gop_closed_callback({});
}

PlaybackStatus PlaybackController::status() const {
  std::lock_guard lock(state_mutex_);
  return status_;
}

bool PlaybackController::apply(PlaybackEvent event) {
  {
    std::lock_guard lock(state_mutex_);
    const std::optional<PlaybackStatus> next = next_status(status_, event);
    if (!next) return false;
    status_ = *next;
  }
  state_changed_.notify_all();
  return true;
}

void PlaybackController::set_flag(Flag& flag, bool value) {
  {
    std::lock_guard lock(state_mutex_);
    flag = value;
  }
  state_changed_.notify_all();
}

void PlaybackController::clear_input() {
  apply(PlaybackEvent::kFileCleared);
  windows_.post_state_changed();
}

void PlaybackController::set_input(const std::string& path) {
  {
    std::lock_guard lock(input_mutex_);
    input_path_ = path;
  }
  store_.set_filters(false, false, false);
  for (auto& flag : show_preference_) flag = true;
  {
    std::lock_guard lock(structure_mutex_);
    structure_.reset();
  }
  apply(PlaybackEvent::kFileChosen);
  windows_.post_state_changed();
}

std::string PlaybackController::input_path() const {
  std::lock_guard lock(input_mutex_);
  return input_path_;
}

void PlaybackController::video_view_created() {
  done_[index_of(WindowKind::kVideo)] = true;
  ready_[index_of(WindowKind::kVideo)] = true;
  apply(PlaybackEvent::kVideoCreated);
}

bool PlaybackController::first_paint() {
  bool opened = false;
  {
    std::lock_guard lock(decode_mutex_);
    restart();
    opened = status().session_open();
    if (opened) {
      step();
      step();
    }
  }
  apply(PlaybackEvent::kVideoShown);
  return opened;
}

void PlaybackController::close_video() {
  apply(PlaybackEvent::kVideoClosed);
  window_open_[index_of(WindowKind::kFrameChart)] = false;
  window_open_[index_of(WindowKind::kFrameList)] = false;
  cancel_measuring();
  join_worker();
  {
    // The session's inputs and frame store go with the window.
    std::lock_guard lock(decode_mutex_);
    session_.reset();
  }
  store_.close_reset();
  {
    std::lock_guard lock(picture_mutex_);
    shown_ = ShownPicture{};
  }
  {
    std::lock_guard lock(structure_mutex_);
    structure_.reset();
  }
  windows_.post_state_changed();
}

void PlaybackController::play() {
  const PlaybackStatus now = status();
  if (!now.file_loaded() || now.measuring()) return;
  if (now.playing()) {
    pause();
    return;
  }
  join_worker();
  // Read after the join: the step the last worker finished may have ended the stream.
  if (!status().session_open()) {
    std::lock_guard lock(decode_mutex_);
    restart();
  }
  if (apply(PlaybackEvent::kPlay)) worker_ = std::thread([this] { play_worker(); });
  windows_.post_state_changed();
}

void PlaybackController::play_frame() {
  const PlaybackStatus now = status();
  if (!now.file_loaded() || now.playing() || now.measuring()) return;
  {
    std::lock_guard lock(decode_mutex_);
    if (!status().session_open()) restart();
    if (apply(PlaybackEvent::kStep)) {
      // The first picture is recorded only when the second picture start code is met.
      if (store_.read([](const StoreData& data) { return data.last_frame; }) == -1) step();
      step();
      apply(PlaybackEvent::kStepDone);
    }
  }
  windows_.post_state_changed();
}

void PlaybackController::pause() {
  if (apply(PlaybackEvent::kPause)) windows_.post_state_changed();
}

void PlaybackController::go_to_beginning() {
  const PlaybackStatus now = status();
  if (!now.file_loaded() || now.measuring()) return;
  wait_for_done(
      {WindowKind::kVideo, WindowKind::kFrameChart, WindowKind::kFrameList, WindowKind::kGopChart});
  pause();
  apply(PlaybackEvent::kRewind);
  store_.current_picture_type = 0;
  join_worker();
  {
    std::lock_guard lock(decode_mutex_);
    restart();
  }
  windows_.post_state_changed();
}

void PlaybackController::measure_whole_file() {
  const PlaybackStatus now = status();
  if (!now.file_loaded() || now.measuring()) return;
  pause();
  join_worker();
  if (measurer_.joinable()) measurer_.join();
  // The session being played is left behind: the next play opens the file afresh.
  if (apply(PlaybackEvent::kMeasure)) measurer_ = std::thread([this] { measure_worker(); });
  windows_.post_state_changed();
}

void PlaybackController::set_decoding_options(std::string lower_layer_pattern, int threads) {
  std::lock_guard lock(options_mutex_);
  lower_layer_pattern_ = std::move(lower_layer_pattern);
  threads_ = std::max(threads, 1);
}

void PlaybackController::cancel_measuring() {
  apply(PlaybackEvent::kCancelMeasure);
  if (measurer_.joinable()) measurer_.join();
}

void PlaybackController::measure_worker() {
  bool completed = false;
  {
    std::lock_guard lock(decode_mutex_);
    store_.zero_arrays();
    SessionListener quiet;
    auto structure = std::make_shared<FileStructure>();
    IndexBuilder builder(structure->index);
    SessionOptions options;
    options.decode_pictures = false;
    PictureTimeline timeline;
    options.timeline = &timeline;
    options.observe_structure(builder);
    DecodingSession walk(store_, messages_, quiet, options);
    const std::string path = input_path();
    try {
      try {
        walk.open_stream(path);
      } catch (const std::exception&) {
        store_.clear_measurements();
        throw;
      }
      const auto size = static_cast<double>(std::max<std::uintmax_t>(file_size(path), 1));
      int reported = -1;
      const auto walking = [this] { return status().phase == PlaybackPhase::kMeasuring; };
      while (walking() && walk.decode_step()) {
        const auto scanned = store_.read([](const StoreData& data) { return data.bytes_scanned; });
        const int percent = static_cast<int>(std::min(99.0, 100.0 * double(scanned) / size));
        if (percent != reported) windows_.post_measure_progress(reported = percent);
        if (timing_charted()) timing_->publish(timeline, false);
      }
      timing_->publish(timeline, true);
      completed = walking();
    } catch (const std::exception& error) {
      structure->error = error.what();
      windows_.post_fatal_error(error.what());
    }
    structure->file = RandomAccessFile::open(path);
    if (structure->file) {
      const StreamInfo& info = walk.stream_info();
      builder.finish(info.container, structure->file->size(), info.skipped_bytes, structure->error);
      std::lock_guard publish(structure_mutex_);
      structure_ = std::move(structure);
      structure_complete_ = completed;
    }
    store_.current_picture_type = 0;
    apply(PlaybackEvent::kMeasureDone);
  }
  windows_.post_measure_done(completed);
  windows_.post_state_changed();
}

std::shared_ptr<const FileStructure> PlaybackController::structure() const {
  std::lock_guard lock(structure_mutex_);
  return structure_;
}

bool PlaybackController::structure_complete() const {
  std::lock_guard lock(structure_mutex_);
  return structure_ != nullptr && structure_complete_;
}

bool PlaybackController::show_picture(uint32_t picture) {
  const PlaybackStatus now = status();
  if (!now.file_loaded() || now.measuring() || !structure_complete()) return false;
  std::shared_ptr<const FileStructure> structure = this->structure();
  const std::optional<SeekPlan> plan = plan_seek(structure->index, picture);
  if (!plan) return false;
  pause();
  join_worker();
  {
    std::lock_guard lock(decode_mutex_);
    const StreamIndex& index = structure->index;
    const std::vector<VideoRange> ranges = seek_ranges(index, plan->start_picture);
    seek_store_.zero_arrays();
    session_.reset();
    seek_structure_ = structure;
    seeking_session_ = true;
    session_ =
        std::make_unique<DecodingSession>(seek_store_, messages_, *listener_, session_options());
    try {
      session_->open_inputs(std::make_unique<VideoRangesInput>(index, *structure->file, ranges),
                            std::make_unique<VideoRangesInput>(index, *structure->file, ranges));
    } catch (const std::exception& error) {
      fail(error.what());
      return false;
    }
    // A session that was open (a play after the measure) is replaced; one that was not opens.
    apply(PlaybackEvent::kSessionOpened);
    if (apply(PlaybackEvent::kStep)) {
      seek_phase_ = SeekPhase::kSkipping;
      seek_skip_ = plan->frames_before;
      while (seek_phase_ != SeekPhase::kShown && status().session_open()) step();
      seek_phase_ = SeekPhase::kNone;
      apply(PlaybackEvent::kStepDone);
    }
  }
  windows_.post_state_changed();
  return true;
}

void PlaybackController::toggle_filter(PictureType type) {
  store_.update([type](StoreData& data) {
    bool& filter = type == kIPicture   ? data.filter_i
                   : type == kPPicture ? data.filter_p
                                       : data.filter_b;
    filter = filter != 0 ? 0 : 1;
  });
  windows_.post_state_changed();
}

void PlaybackController::toggle_show(WindowKind chart) {
  const int slot = chart_slot(chart);
  if (slot < 0) return;
  if (!status().file_loaded()) {
    show_preference_[slot] = !show_preference_[slot];
    windows_.post_state_changed();
  } else if (!window_open_[index_of(chart)]) {
    windows_.open_window(chart);
  } else {
    windows_.close_windows(chart);
  }
}

void PlaybackController::set_show_preference(WindowKind chart, bool shown) {
  if (const int slot = chart_slot(chart); slot >= 0) show_preference_[slot] = shown;
}

void PlaybackController::window_opened(WindowKind kind) {
  set_show_preference(kind, true);
  set_flag(window_open_[index_of(kind)], true);
  // A timing window gets what the session read while none was open, unless a step is running:
  // that step publishes it. Without a session the share holds the last measure's timing.
  if ((kind == WindowKind::kBitrate || kind == WindowKind::kVbv) && status().session_open()) {
    if (std::unique_lock lock(decode_mutex_, std::try_to_lock); lock) {
      timing_->publish(timeline_, true);
    }
  }
  windows_.post_state_changed();
}

bool PlaybackController::timing_charted() const {
  return window_open_[index_of(WindowKind::kBitrate)] || window_open_[index_of(WindowKind::kVbv)];
}

void PlaybackController::window_closed(WindowKind kind) {
  set_flag(window_open_[index_of(kind)], false);
  set_show_preference(kind, false);
  if (is_list(kind)) wait_for_done({kind});
  windows_.post_state_changed();
}

bool PlaybackController::window_open(WindowKind kind) const {
  return window_open_[index_of(kind)];
}

void PlaybackController::repaint_issued(WindowKind kind) {
  set_flag(ready_[index_of(kind)], true);
}

PlaybackState PlaybackController::state() const {
  const PlaybackStatus now = status();
  PlaybackState state;
  state.file_loaded = now.file_loaded();
  state.playing = now.playing();
  state.measuring = now.measuring();
  store_.read([&state](const StoreData& data) {
    state.filter_i = data.filter_i;
    state.filter_p = data.filter_p;
    state.filter_b = data.filter_b;
  });
  state.show_frame_chart = show_preference_[0];
  state.show_gop_chart = show_preference_[1];
  state.show_slice_chart = show_preference_[2];
  return state;
}

// Called with decode_mutex_ held. Zeroes the store, opens the session afresh and asks the
// video window and the frame and GOP windows to repaint.
void PlaybackController::restart() {
  store_.zero_arrays();
  try {
    SessionOptions options = session_options();
    options.timeline = &timeline_;
    if (!session_ || seeking_session_ || options.lower_layer_pattern != session_pattern_ ||
        options.threads != session_threads_) {
      session_pattern_ = options.lower_layer_pattern;
      session_threads_ = options.threads;
      session_ = std::make_unique<DecodingSession>(store_, messages_, *listener_, options);
      seeking_session_ = false;
      seek_structure_.reset();
    }
    // A new session may decode into buffers where an old one kept records.
    frame_macroblocks_ = FrameMacroblocks{};
    records_on_ = false;
    {
      std::lock_guard lock(statistics_mutex_);
      statistics_.clear();
    }
    session_->open_stream(input_path());
    timing_->publish(timeline_, true);
  } catch (const std::exception& error) {
    store_.clear_measurements();
    fail(error.what());
    return;
  }
  apply(PlaybackEvent::kSessionOpened);
  if (status().video_closed()) return;
  start_repaint(WindowKind::kVideo);
  if (window_open_[index_of(WindowKind::kFrameChart)]) {
    store_.frame_max_changed = true;
    start_repaint(WindowKind::kFrameChart);
  }
  if (window_open_[index_of(WindowKind::kFrameList)]) start_repaint(WindowKind::kFrameList);
  if (window_open_[index_of(WindowKind::kGopChart)]) {
    store_.gop_max_changed = true;
    start_repaint(WindowKind::kGopChart);
  }
}

SessionOptions PlaybackController::session_options() const {
  SessionOptions options;
  std::lock_guard lock(options_mutex_);
  options.lower_layer_pattern = pattern_beside(input_path(), lower_layer_pattern_);
  options.threads = threads_;
  return options;
}

// One decoding step, with decode_mutex_ held; the end of the stream and fatal errors end
// the playback.
void PlaybackController::step() {
  if (!session_ || !status().session_open()) return;
  const bool records = macroblock_records_wanted();
  if (records != records_on_) {
    // Frames decoded while records were off have none: what is kept from before is stale.
    frame_macroblocks_ = FrameMacroblocks{};
    records_on_ = records;
    session_->set_macroblock_records(records);
  }
  try {
    const bool more = session_->decode_step();
    if (!more || timing_charted()) timing_->publish(timeline_, !more);
    if (more) return;
    end_playback();
    // A session opened part-way measured only its own part: the summary is the store's.
    windows_.post_end_of_stream(seeking_session_ ? BuildSummary(store_) : pending_summary_);
  } catch (const std::exception& error) {
    fail(error.what());
  }
}

void PlaybackController::end_playback() {
  apply(PlaybackEvent::kSessionEnded);
  store_.current_picture_type = 0;
  windows_.post_state_changed();
}

void PlaybackController::fail(const std::string& text) {
  end_playback();
  windows_.post_fatal_error(text);
}

// A repaint request. The window thread handles it later and then sets ready again.
void PlaybackController::start_repaint(WindowKind kind) {
  const int i = index_of(kind);
  set_flag(ready_[i], false);
  done_[i] = false;
  const bool wanted = !status().video_closed() && (kind == WindowKind::kVideo || window_open_[i]);
  if (wanted) {
    bool erase = kind == WindowKind::kGopList;
    if (kind == WindowKind::kFrameChart) erase = store_.frame_max_changed.exchange(false);
    if (kind == WindowKind::kGopChart) erase = store_.gop_max_changed.exchange(false);
    windows_.post_repaint(kind, erase);
  } else {
    ready_[i] = true;
  }
  set_flag(done_[i], true);
}

void PlaybackController::repaint_after_picture() {
  if (!status().video_shown()) return;
  start_repaint(WindowKind::kVideo);
  for (WindowKind kind : {WindowKind::kFrameChart, WindowKind::kFrameList, WindowKind::kSliceList,
                          WindowKind::kPicture}) {
    if (window_open_[index_of(kind)]) start_repaint(kind);
  }
}

void PlaybackController::gop_closed() {
  for (WindowKind kind : {WindowKind::kGopChart, WindowKind::kGopList}) {
    if (window_open_[index_of(kind)]) start_repaint(kind);
  }
}

double PlaybackController::shown_seconds() const {
  if (!session_) return 0;
  const StreamInfo& info = session_->stream_info();
  const Rational rate = frame_rate(info.current);
  return rate.num > 0 ? double(info.fields) * double(rate.den) / (2.0 * double(rate.num)) : 0;
}

void PlaybackController::play_worker() {
  constexpr WindowKind kStepped[] = {WindowKind::kVideo, WindowKind::kFrameChart,
                                     WindowKind::kFrameList};
  using Clock = std::chrono::steady_clock;
  const Clock::time_point started = Clock::now();
  double shown_at_start = -1;
  double shown_now = 0;
  for (;;) {
    {
      std::unique_lock lock(state_mutex_);
      const auto leaving = [this] { return status_.stop_requested() || status_.video_closed(); };
      state_changed_.wait(lock, [&] {
        return leaving() ||
               (ready_[index_of(WindowKind::kVideo)] && ready_[index_of(WindowKind::kFrameChart)]);
      });
      if (leaving()) return;
      if (real_time_ && shown_at_start >= 0) {
        // The next picture is due when the ones read before it have been shown for their time.
        const auto due = started + std::chrono::duration_cast<Clock::duration>(
                                       std::chrono::duration<double>(shown_now - shown_at_start));
        if (state_changed_.wait_until(lock, due, leaving)) return;
      }
      for (WindowKind kind : kStepped) done_[index_of(kind)] = false;
    }
    {
      std::lock_guard lock(decode_mutex_);
      step();
      shown_now = shown_seconds();
      if (shown_at_start < 0) shown_at_start = shown_now;
    }
    {
      std::lock_guard lock(state_mutex_);
      for (WindowKind kind : kStepped) done_[index_of(kind)] = true;
    }
    state_changed_.notify_all();
  }
}

// Safe on the window thread: the worker never waits for it.
void PlaybackController::join_worker() {
  if (worker_.joinable()) worker_.join();
}

void PlaybackController::wait_for_done(std::initializer_list<WindowKind> kinds) {
  std::unique_lock lock(state_mutex_);
  state_changed_.wait(lock, [this, kinds] {
    for (WindowKind kind : kinds) {
      if (!done_[index_of(kind)]) return false;
    }
    return true;
  });
}

void PlaybackController::publish_frame(const FramePlanes& frame, const FrameGeometry& geometry,
                                       const DecodingVariables& vars) {
  pending_matrix_ = vars.matrix_coefficients;
  pending_width_ = vars.horizontal_size;
  pending_height_ = vars.vertical_size;
  macroblocks_pending_ = true;
  if (records_on_) {
    const std::span<const KeptPicture> shown = frame_macroblocks_.shown(frame);
    macroblock_scratch_.assign(shown.begin(), shown.end());
    for (KeptPicture& kept : macroblock_scratch_) kept.picture.records = kept.records;
  } else {
    macroblock_scratch_.clear();
  }
  if (!true_colour_) return;
  convert_to_rgb(frame, geometry, vars, rgb_scratch_);
  std::lock_guard lock(picture_mutex_);
  std::swap(shown_.rgb, rgb_scratch_);
}

// Takes the pixels from the session, giving back the buffer shown before (of the same size once
// a first picture of that size has been copied): no copy per picture.
void PlaybackController::publish_picture(PaletteImage& image) {
  if (image_scratch_.pixels.size() == image.pixels.size()) {
    std::swap(image_scratch_.pixels, image.pixels);
  } else {
    image_scratch_.pixels.assign(image.pixels.begin(), image.pixels.end());
  }
  image_scratch_.width = image.width;
  image_scratch_.height = image.height;
  std::lock_guard lock(picture_mutex_);
  std::swap(shown_.image, image_scratch_);
  shown_.matrix_coefficients = pending_matrix_;
  shown_.horizontal_size = pending_width_;
  shown_.vertical_size = pending_height_;
  // A second field's image shows the frame whose records are already there.
  if (macroblocks_pending_) std::swap(shown_.macroblocks, macroblock_scratch_);
  macroblocks_pending_ = false;
  ++shown_.serial;
}

bool PlaybackController::macroblock_records_wanted() const {
  return macroblock_overlays_ || window_open_[index_of(WindowKind::kPicture)];
}

void PlaybackController::keep_macroblocks(const PictureMacroblocks& picture) {
  frame_macroblocks_.picture_decoded(picture);
  const PictureStatistics figures = tavik::picture_statistics(picture);
  std::lock_guard lock(statistics_mutex_);
  if (statistics_.size() <= size_t(picture.picture))
    statistics_.resize(size_t(picture.picture) + 1);
  statistics_[size_t(picture.picture)] = figures;
}

std::optional<PictureStatistics> PlaybackController::picture_statistics(int64_t picture) const {
  std::lock_guard lock(statistics_mutex_);
  if (picture < 0 || size_t(picture) >= statistics_.size() ||
      statistics_[size_t(picture)].macroblocks == 0) {
    return std::nullopt;
  }
  return statistics_[size_t(picture)];
}

}  // namespace tavik
