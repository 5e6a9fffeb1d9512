#include "playback/playback_machine.h"

#include <gtest/gtest.h>

namespace tavik {
namespace {

using Phase = PlaybackPhase;
using Video = VideoWindowState;
using Event = PlaybackEvent;

struct Transition {
  PlaybackStatus from;
  Event event;
  std::optional<PlaybackStatus> to;  // nothing: refused
};

TEST(PlaybackMachineTest, AllowsTheRulesTransitionsAndRefusesTheOthers) {
  const PlaybackStatus none{Phase::kNoFile, Video::kClosed};
  const Transition table[] = {
      {none, Event::kFileChosen, PlaybackStatus{Phase::kLoaded, Video::kClosed}},
      {{Phase::kPlaying, Video::kShown}, Event::kFileChosen, {{Phase::kPlaying, Video::kShown}}},
      {{Phase::kLoaded, Video::kClosed}, Event::kVideoCreated, {{Phase::kLoaded, Video::kCreated}}},
      {{Phase::kPlaying, Video::kShown}, Event::kVideoCreated, {{Phase::kLoaded, Video::kCreated}}},
      {{Phase::kMeasuring, Video::kShown},
       Event::kVideoCreated,
       {{Phase::kMeasuring, Video::kCreated}}},
      {{Phase::kIdle, Video::kCreated}, Event::kVideoShown, {{Phase::kIdle, Video::kShown}}},
      {{Phase::kLoaded, Video::kClosed}, Event::kVideoShown, std::nullopt},
      {{Phase::kLoaded, Video::kCreated}, Event::kSessionOpened, {{Phase::kIdle, Video::kCreated}}},
      {{Phase::kPlaying, Video::kShown}, Event::kSessionOpened, {{Phase::kPlaying, Video::kShown}}},
      {none, Event::kSessionOpened, std::nullopt},
      {{Phase::kMeasuring, Video::kShown}, Event::kSessionOpened, std::nullopt},
      {{Phase::kStepping, Video::kShown}, Event::kSessionEnded, {{Phase::kLoaded, Video::kShown}}},
      {{Phase::kMeasuring, Video::kShown},
       Event::kSessionEnded,
       {{Phase::kMeasuring, Video::kShown}}},
      {{Phase::kIdle, Video::kShown}, Event::kPlay, {{Phase::kPlaying, Video::kShown}}},
      {{Phase::kLoaded, Video::kShown}, Event::kPlay, std::nullopt},
      {{Phase::kPlaying, Video::kShown}, Event::kStep, std::nullopt},
      {{Phase::kIdle, Video::kShown}, Event::kStep, {{Phase::kStepping, Video::kShown}}},
      {{Phase::kStepping, Video::kShown}, Event::kStepDone, {{Phase::kIdle, Video::kShown}}},
      {{Phase::kLoaded, Video::kShown}, Event::kStepDone, std::nullopt},
      {{Phase::kPlaying, Video::kShown}, Event::kPause, {{Phase::kIdle, Video::kShown}}},
      {{Phase::kIdle, Video::kShown}, Event::kPause, std::nullopt},
      {{Phase::kIdle, Video::kShown}, Event::kRewind, {{Phase::kLoaded, Video::kCreated}}},
      {{Phase::kLoaded, Video::kClosed}, Event::kRewind, {{Phase::kLoaded, Video::kClosed}}},
      {{Phase::kMeasuring, Video::kShown}, Event::kRewind, std::nullopt},
      {{Phase::kIdle, Video::kShown}, Event::kMeasure, {{Phase::kMeasuring, Video::kShown}}},
      {{Phase::kMeasuring, Video::kShown}, Event::kMeasure, std::nullopt},
      {{Phase::kMeasuring, Video::kShown},
       Event::kCancelMeasure,
       {{Phase::kCancellingMeasure, Video::kShown}}},
      {{Phase::kIdle, Video::kShown}, Event::kCancelMeasure, std::nullopt},
      {{Phase::kCancellingMeasure, Video::kShown},
       Event::kMeasureDone,
       {{Phase::kLoaded, Video::kShown}}},
      {none, Event::kMeasureDone, std::nullopt},
      {{Phase::kMeasuring, Video::kShown}, Event::kFileCleared, {{Phase::kNoFile, Video::kShown}}},
      {{Phase::kPlaying, Video::kShown}, Event::kVideoClosed, none},
  };
  for (const Transition& row : table) {
    EXPECT_EQ(next_status(row.from, row.event), row.to)
        << "phase " << static_cast<int>(row.from.phase) << ", video "
        << static_cast<int>(row.from.video) << ", event " << static_cast<int>(row.event);
  }
}

TEST(PlaybackMachineTest, TheNamedFlagsFollowThePhase) {
  struct Flags {
    Phase phase;
    bool file_loaded, playing, stop_requested, session_open, measuring;
  };
  const Flags table[] = {
      {Phase::kNoFile, false, false, true, false, false},
      {Phase::kLoaded, true, false, true, false, false},
      {Phase::kIdle, true, false, true, true, false},
      {Phase::kStepping, true, true, true, true, false},
      {Phase::kPlaying, true, true, false, true, false},
      {Phase::kMeasuring, true, false, true, false, true},
      {Phase::kCancellingMeasure, true, false, true, false, true},
  };
  for (const Flags& row : table) {
    const PlaybackStatus status{row.phase, Video::kShown};
    SCOPED_TRACE(static_cast<int>(row.phase));
    EXPECT_EQ(status.file_loaded(), row.file_loaded);
    EXPECT_EQ(status.playing(), row.playing);
    EXPECT_EQ(status.stop_requested(), row.stop_requested);
    EXPECT_EQ(status.session_open(), row.session_open);
    EXPECT_EQ(status.measuring(), row.measuring);
  }
}

}  // namespace
}  // namespace tavik
