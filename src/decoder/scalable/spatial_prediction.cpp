#include "decoder/scalable/spatial_prediction.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <utility>

#include "decoder/scalable/lower_layer_name.h"
#include "decoder/scalable/spatial_upsampling.h"

namespace tavik {

namespace {

constexpr const char* kSuffixes[3] = {".Y", ".U", ".V"};
constexpr uint8_t kNeutral = 128;

}  // namespace

long DiskLowerLayerFiles::read(const std::string& name, std::span<uint8_t> out) {
  std::FILE* file = std::fopen(name.c_str(), "rb");
  if (file == nullptr) return -1;
  const size_t got = std::fread(out.data(), 1, out.size(), file);
  std::fclose(file);
  return static_cast<long>(got);
}

SpatialPrediction::SpatialPrediction(Messages& messages, std::string pattern,
                                     LowerLayerFiles& files, int verbose_level)
    : messages_(messages),
      pattern_(std::move(pattern)),
      files_(files),
      verbose_level_(verbose_level) {}

void SpatialPrediction::prepare(const DecoderContext& ctx) {
  problem_ = form(ctx);
  available_ = problem_.empty();
  if (!available_) warn(ctx);
}

void SpatialPrediction::reuse(const DecoderContext& ctx) {
  if (!available_) warn(ctx);
}

void SpatialPrediction::warn(const DecoderContext& ctx) const {
  if (!ctx.quiet) {
    messages_.err("picture decoded without spatial prediction: " + problem_ + "\n");
  }
}

std::string SpatialPrediction::form(const DecoderContext& ctx) {
  const DecodingVariables& v = ctx.vars;
  const FrameGeometry& g = ctx.geometry;
  if (pattern_.empty()) return "no lower-layer file name pattern is set";
  if (const std::string problem = lower_layer_pattern_problem(pattern_); !problem.empty()) {
    return "invalid lower-layer file name pattern (" + problem + ")";
  }
  if (g.chroma_format != 1) return "only 4:2:0 pictures are predicted from a lower layer";
  const int width = v.lower_layer_prediction_horizontal_size;
  const int height = v.lower_layer_prediction_vertical_size;
  const SubsamplingFactors factors{
      v.horizontal_subsampling_factor_m, v.horizontal_subsampling_factor_n,
      v.vertical_subsampling_factor_m, v.vertical_subsampling_factor_n};
  // A lower layer has at most the picture's resolution: a larger one is damage, and would
  // cost its whole size in reading and deinterlacing for every picture.
  if (width < 2 || height < 4 || width > g.coded_width || height > g.coded_height ||
      factors.horizontal_m == 0 || factors.horizontal_n == 0 || factors.vertical_m == 0 ||
      factors.vertical_n == 0) {
    return format_text("a lower layer of %dx%d with subsampling factors %d/%d, %d/%d", width,
                       height, factors.horizontal_m, factors.horizontal_n, factors.vertical_m,
                       factors.vertical_n) +
           " cannot be upsampled";
  }
  for (int component = 0; component < 3; ++component) {
    std::string problem =
        read_component(component, v.lower_layer_temporal_reference, width, height);
    if (!problem.empty()) return problem;
  }

  const size_t luma = size_t(g.coded_width) * size_t(g.coded_height);
  const size_t chroma = size_t(g.chroma_width) * size_t(g.chroma_height);
  memory_.assign(luma + 2 * chroma, kNeutral);
  planes_.plane[0] = memory_.data();
  planes_.plane[1] = memory_.data() + luma;
  planes_.plane[2] = memory_.data() + luma + chroma;
  for (int component = 0; component < 3; ++component) {
    const int shift = component == 0 ? 0 : 1;
    const LowerLayerComponent lower{lower_[component][0].data(), lower_[component][1].data(),
                                    width >> shift, height >> shift};
    // The displayed size, within the planes: a sequence header between the two fields of a
    // frame can announce a size the frame store does not have yet.
    const int plane_width = component == 0 ? g.coded_width : g.chroma_width;
    const int plane_height = component == 0 ? g.coded_height : g.chroma_height;
    const UpsampleTarget target{planes_.plane[component], plane_width,
                                std::min(v.horizontal_size >> shift, plane_width),
                                std::min(v.vertical_size >> shift, plane_height)};
    // The luminance of a frame picture is deinterlaced from both fields.
    const int aperture = (component == 0 && v.picture_structure == 3) ? 0 : 1;
    upsample_component(lower, target, v.lower_layer_horizontal_offset / (1 << shift),
                       v.lower_layer_vertical_offset / (1 << shift), factors, aperture, row_);
  }
  return {};
}

std::string SpatialPrediction::read_component(int component, int temporal_reference, int width,
                                              int height) {
  const int shift = component == 0 ? 0 : 1;
  const size_t line_size = size_t(width >> shift);
  const int lines = height >> shift;
  for (int field = 0; field < 2; ++field) {
    std::vector<uint8_t>& set = lower_[component][field];
    set.resize(line_size * size_t(lines));
    const std::optional<std::string> name = lower_layer_file_name(
        pattern_, temporal_reference, char('a' + field), kSuffixes[component]);
    if (!name) {
      return format_text("a lower-layer file name is longer than %zu characters",
                         kMaxLowerLayerNameLength);
    }
    if (verbose_level_ > 1) messages_.out(format_text("reading %s\n", name->c_str()));
    // Field a is the set's even lines, field b its odd lines.
    const int field_lines = field == 0 ? (lines + 1) / 2 : lines / 2;
    file_bytes_.resize(line_size * size_t(field_lines));
    const long got = files_.read(*name, file_bytes_);
    if (got < 0) return "cannot open lower-layer file " + *name;
    if (size_t(got) < file_bytes_.size()) return "lower-layer file " + *name + " is short";
    for (int k = 0; k < field_lines; ++k) {
      std::memcpy(set.data() + size_t(field + 2 * k) * line_size,
                  file_bytes_.data() + size_t(k) * line_size, line_size);
    }
  }
  return {};
}

void combine_spatial_prediction(const FrameGeometry& g, int picture_structure,
                                const FramePlanes* spatial, const FramePlanes& current, int bx,
                                int by, int stwtype) {
  const int weights[2] = {stwtype % 3, stwtype / 3};  // top, bottom field
  const bool frame_picture = picture_structure == 3;
  const int bottom_field = picture_structure == 2 ? 1 : 0;
  for (int p = 0; p < 3; ++p) {
    const bool narrow = p != 0 && g.chroma_format != 3;
    const bool short_block = p != 0 && g.chroma_format == 1;
    const int width = narrow ? 8 : 16;
    const int height = short_block ? 8 : 16;
    const int x0 = narrow ? bx / 2 : bx;
    const int y0 = short_block ? by / 2 : by;
    const int stride = p == 0 ? g.coded_width : g.chroma_width;
    for (int r = 0; r < height; ++r) {
      // A frame's even lines belong to its top field; a field picture has the first weight.
      const int weight = weights[frame_picture ? (r & 1) : 0];
      if (weight == 0) continue;
      const int line = frame_picture ? y0 + r : 2 * (y0 + r) + bottom_field;
      const size_t offset = size_t(line) * size_t(stride) + size_t(x0);
      uint8_t* out = current.plane[p] + offset;
      if (spatial == nullptr) {
        if (weight == 2) std::memset(out, kNeutral, size_t(width));
        continue;
      }
      const uint8_t* in = spatial->plane[p] + offset;
      for (int x = 0; x < width; ++x) {
        out[x] = weight == 2 ? in[x] : uint8_t((out[x] + in[x] + 1) >> 1);
      }
    }
  }
}

}  // namespace tavik
