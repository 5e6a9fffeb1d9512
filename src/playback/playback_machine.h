#pragma once

#include <optional>

namespace tavik {

// Where playback is. The session is open in kIdle, kStepping and kPlaying only.
enum class PlaybackPhase {
  kNoFile,
  kLoaded,  // a file is chosen; no session is open (before the first restart, after its end)
  kIdle,    // session open, nothing running
  kStepping,
  kPlaying,  // the play worker steps the session
  kMeasuring,
  kCancellingMeasure,  // the walk leaves after the picture in progress
};

// The life of the video window. Playing, stepping and measuring may all run before its first
// paint, so this is kept beside the phase rather than multiplied into it.
enum class VideoWindowState {
  kClosed,
  kCreated,  // its first paint (a restart and two steps) is still to come
  kShown,
};

enum class PlaybackEvent {
  kFileChosen,
  kFileCleared,
  kVideoCreated,
  kVideoShown,
  kSessionOpened,
  kSessionEnded,  // end of stream or a fatal error
  kPlay,
  kStep,
  kStepDone,
  kPause,
  kRewind,  // "Go to the beginning", before its restart
  kMeasure,
  kCancelMeasure,
  kMeasureDone,
  kVideoClosed,
};

struct PlaybackStatus {
  PlaybackPhase phase = PlaybackPhase::kNoFile;
  VideoWindowState video = VideoWindowState::kClosed;

  [[nodiscard]] bool file_loaded() const { return phase != PlaybackPhase::kNoFile; }
  [[nodiscard]] bool playing() const {
    return phase == PlaybackPhase::kStepping || phase == PlaybackPhase::kPlaying;
  }
  // The play worker leaves its loop after the current step.
  [[nodiscard]] bool stop_requested() const { return phase != PlaybackPhase::kPlaying; }
  // The decoder may be stepped.
  [[nodiscard]] bool session_open() const { return phase == PlaybackPhase::kIdle || playing(); }
  [[nodiscard]] bool measuring() const {
    return phase == PlaybackPhase::kMeasuring || phase == PlaybackPhase::kCancellingMeasure;
  }
  [[nodiscard]] bool video_closed() const { return video == VideoWindowState::kClosed; }
  [[nodiscard]] bool video_shown() const { return video == VideoWindowState::kShown; }

  bool operator==(const PlaybackStatus&) const = default;
};

// Every transition of playback: the status after `event`, or nothing when the event is not
// allowed in `from` (the caller then does not act on it).
[[nodiscard]] std::optional<PlaybackStatus> next_status(PlaybackStatus from, PlaybackEvent event);

}  // namespace tavik
