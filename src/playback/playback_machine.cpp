#include "playback/playback_machine.h"

namespace tavik {

std::optional<PlaybackStatus> next_status(PlaybackStatus from, PlaybackEvent event) {
  using Phase = PlaybackPhase;
  using Video = VideoWindowState;
  PlaybackStatus to = from;
  const auto move = [&to](Phase phase) {
    to.phase = phase;
    return to;
  };
  const Phase phase = from.phase;
  switch (event) {
    case PlaybackEvent::kFileChosen:
      // Choosing again keeps what runs; only the file name changes.
      return phase == Phase::kNoFile ? move(Phase::kLoaded) : to;
    case PlaybackEvent::kFileCleared:
      return move(Phase::kNoFile);
    case PlaybackEvent::kVideoCreated:
      // A new video window starts without a session; a measurement goes on.
      to.video = Video::kCreated;
      return from.session_open() ? move(Phase::kLoaded) : to;
    case PlaybackEvent::kVideoShown:
      if (from.video == Video::kClosed) return std::nullopt;
      to.video = Video::kShown;
      return to;
    case PlaybackEvent::kSessionOpened:
      // A restart keeps a play or a step going on the new session.
      if (phase == Phase::kLoaded) return move(Phase::kIdle);
      if (from.session_open()) return to;
      return std::nullopt;
    case PlaybackEvent::kSessionEnded:
      return from.session_open() ? move(Phase::kLoaded) : to;
    case PlaybackEvent::kPlay:
      if (phase == Phase::kIdle) return move(Phase::kPlaying);
      return std::nullopt;
    case PlaybackEvent::kStep:
      if (phase == Phase::kIdle) return move(Phase::kStepping);
      return std::nullopt;
    case PlaybackEvent::kStepDone:
      if (phase == Phase::kStepping) return move(Phase::kIdle);
      return std::nullopt;
    case PlaybackEvent::kPause:
      if (from.playing()) return move(Phase::kIdle);
      return std::nullopt;
    case PlaybackEvent::kRewind:
      if (phase != Phase::kLoaded && phase != Phase::kIdle) return std::nullopt;
      if (from.video == Video::kShown) to.video = Video::kCreated;
      return move(Phase::kLoaded);
    case PlaybackEvent::kMeasure:
      if (phase == Phase::kLoaded || phase == Phase::kIdle) return move(Phase::kMeasuring);
      return std::nullopt;
    case PlaybackEvent::kCancelMeasure:
      if (phase == Phase::kMeasuring) return move(Phase::kCancellingMeasure);
      return std::nullopt;
    case PlaybackEvent::kMeasureDone:
      if (from.measuring()) return move(Phase::kLoaded);
      return std::nullopt;
    case PlaybackEvent::kVideoClosed:
      return PlaybackStatus{Phase::kNoFile, Video::kClosed};
  }
  return std::nullopt;
}

}  // namespace tavik
