#include "playback/playback_machine.h"

#include <gtest/gtest.h>

namespace tavik {
namespace {

using Phase = PlaybackPhase;
using Video = VideoWindowState;
using Event = PlaybackEvent;

constexpr PlaybackStatus at(Phase phase, Video video = Video::kShown) {
  return {phase, video};
}

TEST(PlaybackMachineTest, AllowsTheRulesTransitionsAndRefusesTheOthers) {
  const std::optional<PlaybackStatus> refused;
  const struct {
    PlaybackStatus from;
    Event event;
    std::optional<PlaybackStatus> to;
  } table[] = {
      {at(Phase::kNoFile, Video::kClosed), Event::kFileChosen, at(Phase::kLoaded, Video::kClosed)},
      {at(Phase::kPlaying), Event::kFileChosen, at(Phase::kPlaying)},
      {at(Phase::kPlaying), Event::kVideoCreated, at(Phase::kLoaded, Video::kCreated)},
      {at(Phase::kMeasuring), Event::kVideoCreated, at(Phase::kMeasuring, Video::kCreated)},
      {at(Phase::kLoaded, Video::kClosed), Event::kVideoShown, refused},
      {at(Phase::kLoaded, Video::kCreated), Event::kSessionOpened,
       at(Phase::kIdle, Video::kCreated)},
      {at(Phase::kPlaying), Event::kSessionOpened, at(Phase::kPlaying)},
      {at(Phase::kMeasuring), Event::kSessionOpened, refused},
      {at(Phase::kStepping), Event::kSessionEnded, at(Phase::kLoaded)},
      {at(Phase::kIdle), Event::kPlay, at(Phase::kPlaying)},
      {at(Phase::kLoaded), Event::kPlay, refused},
      {at(Phase::kPlaying), Event::kStep, refused},
      {at(Phase::kPlaying), Event::kPause, at(Phase::kIdle)},
      {at(Phase::kIdle), Event::kPause, refused},
      {at(Phase::kIdle), Event::kRewind, at(Phase::kLoaded, Video::kCreated)},
      {at(Phase::kMeasuring), Event::kRewind, refused},
      {at(Phase::kIdle), Event::kMeasure, at(Phase::kMeasuring)},
      {at(Phase::kMeasuring), Event::kCancelMeasure, at(Phase::kCancellingMeasure)},
      {at(Phase::kCancellingMeasure), Event::kMeasureDone, at(Phase::kLoaded)},
      {at(Phase::kNoFile), Event::kMeasureDone, refused},
      {at(Phase::kPlaying), Event::kVideoClosed, at(Phase::kNoFile, Video::kClosed)},
  };
  for (const auto& row : table) {
    EXPECT_EQ(next_status(row.from, row.event), row.to)
        << "phase " << static_cast<int>(row.from.phase) << ", video "
        << static_cast<int>(row.from.video) << ", event " << static_cast<int>(row.event);
  }
}

}  // namespace
}  // namespace tavik
