#include "support/field_picture_writer.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <utility>

#include "support/field_writer_bits.h"
#include "support/field_writer_headers.h"
#include "support/field_writer_motion.h"
#include "support/field_writer_picture.h"

namespace tavik::test {

namespace {

using field_writer::Frame;
using field_writer::kBidirectionalPicture;
using field_writer::kIntraPicture;
using field_writer::kPredictedPicture;

struct PlannedFrame {
  int display_index;
  int coding_type;
  int gop_index;
  int gop_start;  // display index of the GOP's first frame
};

// Coding order. Each GOP covers gop_size frames in display order and ends on a reference frame,
// so no B frame refers outside its GOP.
std::vector<PlannedFrame> plan_coding_order(int count, int gop_size, int b_frames) {
  std::vector<PlannedFrame> order;
  for (int gop_start = 0, gop = 0; gop_start < count; gop_start += gop_size, ++gop) {
    const int end = std::min(count, gop_start + gop_size);
    order.push_back({gop_start, kIntraPicture, gop, gop_start});
    for (int previous = gop_start; previous < end - 1;) {
      const int next = std::min(previous + b_frames + 1, end - 1);
      order.push_back({next, kPredictedPicture, gop, gop_start});
      for (int b = previous + 1; b < next; ++b) {
        order.push_back({b, kBidirectionalPicture, gop, gop_start});
      }
      previous = next;
    }
  }
  return order;
}

// Copies one plane into the coded size, repeating the last column and the last line of each
// field into the margins.
void pad_plane(const std::vector<uint8_t>& in, int width, int height, std::vector<uint8_t>& out,
               int coded_width, int coded_height) {
  for (int y = 0; y < coded_height; ++y) {
    const int source_y = y < height ? y : height - 2 + (y & 1);
    for (int x = 0; x < coded_width; ++x) {
      out[size_t(y * coded_width + x)] = in[size_t(source_y * width + std::min(x, width - 1))];
    }
  }
}

Frame padded_frame(const YuvFrame& frame, int width, int height, int coded_width,
                   int coded_height) {
  Frame result(coded_width, coded_height);
  const std::array<const std::vector<uint8_t>*, 3> planes = {&frame.y, &frame.cb, &frame.cr};
  for (int plane = 0; plane < 3; ++plane) {
    const int divisor = plane == 0 ? 1 : 2;
    pad_plane(*planes[size_t(plane)], width / divisor, height / divisor,
              result.planes[size_t(plane)], result.plane_width(plane), result.plane_height(plane));
  }
  return result;
}

YuvFrame cropped_frame(const Frame& frame, int width, int height) {
  YuvFrame result;
  const std::array<std::vector<uint8_t>*, 3> planes = {&result.y, &result.cb, &result.cr};
  for (int plane = 0; plane < 3; ++plane) {
    const int divisor = plane == 0 ? 1 : 2;
    const int plane_width = width / divisor;
    const auto& samples = frame.planes[size_t(plane)];
    for (int y = 0; y < height / divisor; ++y) {
      const auto line = samples.begin() + std::ptrdiff_t(y * frame.plane_width(plane));
      planes[size_t(plane)]->insert(planes[size_t(plane)]->end(), line, line + plane_width);
    }
  }
  return result;
}

void check_arguments(const std::vector<YuvFrame>& frames, int width, int height,
                     const FieldStreamOptions& options) {
  if (options.quantiser_scale_code < 1 || options.quantiser_scale_code > 31) {
    throw std::invalid_argument("quantiser_scale_code must be 1..31");
  }
  if (frames.empty() || width <= 0 || height <= 0 || width % 16 != 0 || height % 16 != 0) {
    throw std::invalid_argument("field picture stream needs frames of a multiple of 16 samples");
  }
  const size_t luma = size_t(width) * size_t(height);
  for (const YuvFrame& frame : frames) {
    if (frame.y.size() != luma || frame.cb.size() != luma / 4 || frame.cr.size() != luma / 4) {
      throw std::invalid_argument("frame planes do not match the picture size");
    }
  }
}

void count_field(const field_writer::FieldPictureHeader& header, FieldStreamStats& stats) {
  ++(header.picture_structure == 1 ? stats.top_field_pictures : stats.bottom_field_pictures);
  ++(header.picture_coding_type == kIntraPicture       ? stats.i_field_pictures
     : header.picture_coding_type == kPredictedPicture ? stats.p_field_pictures
                                                       : stats.b_field_pictures);
}

}  // namespace

FieldStream encode_field_picture_stream(const std::vector<YuvFrame>& frames, int width, int height,
                                        const FieldStreamOptions& options) {
  check_arguments(frames, width, height, options);
  FieldStream stream;
  FieldStreamStats& stats = stream.stats;
  stream.decoded.resize(frames.size());
  const int coded_height = (height + 31) / 32 * 32;
  field_writer::BitWriter bits;
  // The two most recent reference frames in coding order, as decoded.
  Frame past_reference;
  Frame latest_reference;
  for (const PlannedFrame& planned : plan_coding_order(
           int(frames.size()), std::max(options.gop_size, 1), std::max(options.b_frames, 0))) {
    if (planned.display_index == planned.gop_start) {
      field_writer::write_sequence_header(bits, width, height);
      field_writer::write_gop_header(bits, planned.gop_start, options.closed_gop);
    }
    const Frame source =
        padded_frame(frames[size_t(planned.display_index)], width, height, width, coded_height);
    Frame reconstruction(width, coded_height);
    for (int field = 0; field < 2; ++field) {
      field_writer::FieldPictureJob job;
      const int parity = (field == 0) == options.top_field_first ? 0 : 1;
      job.header.temporal_reference = planned.display_index - planned.gop_start;
      job.header.picture_structure = parity + 1;
      job.header.picture_coding_type = planned.coding_type;
      job.quantiser_scale_code = options.quantiser_scale_code;
      job.use_16x8 = options.use_16x8;
      job.source = &source;
      job.reconstruction = &reconstruction;
      // The second field of every other I frame is a P field predicted from the first field.
      const bool p_field_of_i_frame =
          planned.coding_type == kIntraPicture && field == 1 && planned.gop_index % 2 == 1;
      if (p_field_of_i_frame) {
        job.header.picture_coding_type = kPredictedPicture;
        job.references[0][size_t(1 - parity)] = &reconstruction;
        ++stats.p_fields_of_i_frames;
      } else if (planned.coding_type == kPredictedPicture) {
        // The two most recently decoded reference fields: both of the latest reference frame
        // for a first field; for a second field, its own frame's first field in place of the
        // opposite parity.
        job.references[0] = {&latest_reference, &latest_reference};
        if (field == 1) job.references[0][size_t(1 - parity)] = &reconstruction;
      } else if (planned.coding_type == kBidirectionalPicture) {
        job.references[0] = {&past_reference, &past_reference};
        job.references[1] = {&latest_reference, &latest_reference};
      }
      field_writer::encode_field_picture(bits, job, stats);
      count_field(job.header, stats);
    }
    stream.decoded[size_t(planned.display_index)] = cropped_frame(reconstruction, width, height);
    if (planned.coding_type != kBidirectionalPicture) {
      past_reference = std::move(latest_reference);
      latest_reference = std::move(reconstruction);
    }
  }
  field_writer::write_sequence_end(bits);
  stream.bytes = bits.bytes();
  return stream;
}

std::vector<uint8_t> write_field_picture_stream(const std::vector<YuvFrame>& frames, int width,
                                                int height, const FieldStreamOptions& options) {
  return encode_field_picture_stream(frames, width, height, options).bytes;
}

}  // namespace tavik::test
