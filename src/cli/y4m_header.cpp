#include "cli/y4m_header.h"

#include "results/stream_description.h"

namespace tavik::cli {

namespace {

std::string_view chroma_tag(const SequenceValues& values) {
  switch (values.chroma_format) {
    case 2:
      return "422";
    case 3:
      return "444";
    default:
      // MPEG-2 places 4:2:0 chroma samples between the rows but level with the columns.
      return values.mpeg2 ? "420mpeg2" : "420jpeg";
  }
}

char interlacing_tag(const StreamInfo& info) {
  const std::string_view order = field_order(info);
  if (order == "top field first") return 't';
  if (order == "bottom field first") return 'b';
  if (order == "mixed") return 'm';
  return 'p';
}

}  // namespace

std::string y4m_stream_header(const StreamInfo& info, const PlaneSizes& sizes) {
  const Rational rate = frame_rate(info.sequence);
  const Rational aspect = sample_aspect_ratio(info.sequence);
  std::string header = "YUV4MPEG2 W" + std::to_string(sizes.width[0]) + " H" +
                       std::to_string(sizes.height[0]) + " F" + std::to_string(rate.num) + ":" +
                       std::to_string(rate.num == 0 ? 0 : rate.den) + " I" + interlacing_tag(info) +
                       " A" + std::to_string(aspect.num) + ":" + std::to_string(aspect.den) + " C";
  header += chroma_tag(info.sequence);
  return header + "\n";
}

}  // namespace tavik::cli
