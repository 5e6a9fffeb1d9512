#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "analysis/analysis_store.h"
#include "base/messages.h"
#include "decoder/syntax/decoder_state.h"
#include "display/dither.h"
#include "session/decoding_session.h"

namespace tavik::test {

// A frame as frame_ready handed it over: the planes at the coded size, copied.
struct RecordedFrame {
  FrameGeometry geometry;
  DecodingVariables vars;
  std::array<std::vector<uint8_t>, 3> planes;
  int step = 0;  // the decode_step call that delivered it (1-based; the ending call included)

  // Sample (x, y) of plane 0 (Y), 1 (Cb) or 2 (Cr).
  [[nodiscard]] int sample(int plane, int x, int y) const;
  [[nodiscard]] FramePlanes frame_planes();
};

// What the listener saw, in order.
enum class SessionEvent { kFrame, kPicture };

// Records everything a session hands over.
class SessionRecorder final : public SessionListener {
 public:
  void frame_ready(const FramePlanes& frame, const FrameGeometry& geometry,
                   const DecodingVariables& vars) override;
  void picture_ready(PaletteImage& image) override;
  void session_ended(const std::string& summary) override;

  int step = 0;  // set by the caller before each decode_step
  std::vector<RecordedFrame> frames;
  std::vector<PaletteImage> images;
  std::vector<int> image_steps;
  std::vector<SessionEvent> events;
  std::vector<std::string> summaries;
};

// A decoding session with everything it reports.
struct RecordedSession {
  explicit RecordedSession(SessionOptions options = {});

  // Opens the bytes (kept here, for open_memory) or a file.
  void open(std::vector<uint8_t> stream);
  void open(const std::filesystem::path& path);
  // One decode_step, numbered for the recorder.
  bool step();
  // Steps to the end (at most `limit` pictures); returns the pictures decoded.
  int run(int limit = 10000);

  AnalysisStore store;
  CollectedMessages messages;
  SessionRecorder recorder;
  DecodingSession session;
  std::vector<uint8_t> bytes;
};

}  // namespace tavik::test
