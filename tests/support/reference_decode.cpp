#include "support/reference_decode.h"

#include <cmath>

#include "analysis/analysis_store.h"
#include "base/messages.h"
#include "decoder/picture/frame_output.h"
#include "decoder/syntax/decoder_state.h"
#include "session/decoding_session.h"
#include "support/stream_tools.h"

namespace tavik::test {

namespace {

class FrameCollector final : public SessionListener {
 public:
  explicit FrameCollector(DecodedVideo& video) : video_(video) {}
  void frame_ready(const FramePlanes& frame, const FrameGeometry& geometry,
                   const DecodingVariables& vars) override {
    const PlaneSizes sizes = output_plane_sizes(geometry, vars, false);
    video_.width = sizes.width[0];
    video_.height = sizes.height[0];
    video_.chroma_format = geometry.chroma_format;
    std::vector<uint8_t> bytes;
    bytes.reserve(sizes.total());
    append_planar_frame(bytes, frame, geometry, sizes);
    video_.frames.push_back(std::move(bytes));
  }

 private:
  DecodedVideo& video_;
};

size_t plane_offset(const DecodedVideo& video, int plane) {
  const size_t luma = size_t(video.width) * size_t(video.height);
  const size_t chroma = size_t(video.chroma_width()) * size_t(video.chroma_height());
  return plane == 0 ? 0 : plane == 1 ? luma : luma + chroma;
}

}  // namespace

DecodedVideo decode_with_tavik(const std::filesystem::path& stream, int threads) {
  DecodedVideo video;
  AnalysisStore store;
  CollectedMessages messages;
  FrameCollector collector(video);
  SessionOptions options;
  options.threads = threads;
  DecodingSession session(store, messages, collector, options);
  session.open_stream(stream.string());
  while (session.decode_step()) {
  }
  video.errors = messages.err_text;
  video.notices = messages.out_text;
  return video;
}

DecodedVideo decode_with_ffmpeg(const std::filesystem::path& stream, int width, int height,
                                int chroma_format) {
  DecodedVideo video;
  video.width = width;
  video.height = height;
  video.chroma_format = chroma_format;
  const char* pix_fmt = chroma_format == 1 ? "yuv420p" : chroma_format == 2 ? "yuv422p" : "yuv444p";
  const auto out = scratch_dir() / (stream.filename().string() + ".ffmpeg.yuv");
  const std::string command = "ffmpeg -nostdin -loglevel error -y -i '" + stream.string() +
                              "' -vsync passthrough -f rawvideo -pix_fmt " + pix_fmt + " '" +
                              out.string() + "'";
  if (run_command(command) != 0) return video;
  const auto bytes = read_file(out);
  const size_t frame_size =
      plane_offset(video, 2) + size_t(video.chroma_width()) * size_t(video.chroma_height());
  for (size_t at = 0; frame_size > 0 && at + frame_size <= bytes.size(); at += frame_size) {
    video.frames.emplace_back(bytes.begin() + std::ptrdiff_t(at),
                              bytes.begin() + std::ptrdiff_t(at + frame_size));
  }
  return video;
}

double plane_psnr(const DecodedVideo& video, const std::vector<uint8_t>& a,
                  const std::vector<uint8_t>& b, int plane) {
  const size_t begin = plane_offset(video, plane);
  const size_t count = plane == 0 ? size_t(video.width) * size_t(video.height)
                                  : size_t(video.chroma_width()) * size_t(video.chroma_height());
  if (a.size() < begin + count || b.size() < begin + count) return 0;
  double squared = 0;
  for (size_t i = begin; i < begin + count; ++i) {
    const double d = double(a[i]) - double(b[i]);
    squared += d * d;
  }
  if (squared == 0) return 99;
  return 10 * std::log10(255.0 * 255.0 * double(count) / squared);
}

}  // namespace tavik::test
