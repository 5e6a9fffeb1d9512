#include "support/session_recorder.h"

#include <utility>

namespace tavik::test {

int RecordedFrame::sample(int plane, int x, int y) const {
  const int stride = plane == 0 ? geometry.coded_width : geometry.chroma_width;
  return planes[size_t(plane)][size_t(y) * size_t(stride) + size_t(x)];
}

FramePlanes RecordedFrame::frame_planes() {
  FramePlanes frame;
  for (int c = 0; c < 3; ++c) frame.plane[c] = planes[size_t(c)].data();
  return frame;
}

void SessionRecorder::frame_ready(const FramePlanes& frame, const FrameGeometry& geometry,
                                  const DecodingVariables& vars) {
  RecordedFrame recorded{geometry, vars, {}, step};
  const size_t luma = size_t(geometry.coded_width) * size_t(geometry.coded_height);
  const size_t chroma = size_t(geometry.chroma_width) * size_t(geometry.chroma_height);
  for (int c = 0; c < 3; ++c) {
    recorded.planes[size_t(c)].assign(frame.plane[c], frame.plane[c] + (c == 0 ? luma : chroma));
  }
  frames.push_back(std::move(recorded));
  events.push_back(SessionEvent::kFrame);
}

void SessionRecorder::picture_ready(PaletteImage& image) {
  images.push_back(image);
  image_steps.push_back(step);
  events.push_back(SessionEvent::kPicture);
}

void SessionRecorder::session_ended(const std::string& summary) {
  summaries.push_back(summary);
}

RecordedSession::RecordedSession(SessionOptions options)
    : session(store, messages, recorder, options) {}

void RecordedSession::open(std::vector<uint8_t> stream) {
  bytes = std::move(stream);
  session.open_memory(bytes);
}

void RecordedSession::open(const std::filesystem::path& path) {
  session.open_stream(path.string());
}

bool RecordedSession::step() {
  ++recorder.step;
  return session.decode_step();
}

int RecordedSession::run(int limit) {
  int pictures = 0;
  while (pictures < limit && step()) ++pictures;
  return pictures;
}

}  // namespace tavik::test
