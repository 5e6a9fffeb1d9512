// Walks any bytes headers-only, as the analysis of an arbitrary file would, gathering the
// pictures' timing, and measures their bitrate and buffer: the session must end or fail with a
// FatalError, never crash, hang, divide by zero or read outside a buffer.
#include <cstddef>
#include <cstdint>
#include <span>

#include "analysis/analysis_store.h"
#include "base/fatal_error.h"
#include "base/messages.h"
#include "session/decoding_session.h"
#include "timing/bitrate.h"
#include "timing/picture_timeline.h"
#include "timing/vbv_model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tavik::AnalysisStore store;
  tavik::CollectedMessages messages;
  tavik::SessionListener listener;
  tavik::PictureTimeline timeline;
  // The full trace runs every formatting path of the header parser.
  tavik::DecodingSession session(
      store, messages, listener,
      {.decode_pictures = false, .verbose_level = 4, .timeline = &timeline});
  try {
    session.open_memory(std::span<const uint8_t>(data, size));
    while (session.decode_step()) {
    }
  } catch (const tavik::FatalError&) {
    return 0;
  }
  (void)tavik::bitrate_report(timeline,
                              {.pictures = size % 2 == 0, .length = 1 + int64_t(size % 5)});
  (void)tavik::model_vbv(timeline);
  return 0;
}
