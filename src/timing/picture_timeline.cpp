#include "timing/picture_timeline.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/picture_type.h"

namespace tavik {

namespace {

constexpr double kTicksPerSecond = 90000;
constexpr int64_t kStampWrap = int64_t{1} << 33;

[[nodiscard]] double frames_per_second(const SequenceValues& sequence) {
  const Rational rate = frame_rate(sequence);
  return rate.num == 0 ? 0.0 : double(rate.num) / double(rate.den);
}

[[nodiscard]] bool is_reference(const PictureTiming& p) {
  return p.type == kIPicture || p.type == kPPicture;
}

// A 33-bit time stamp carried on past the wrap: the value nearest to the one before it.
[[nodiscard]] int64_t unwrapped(int64_t stamp, int64_t previous) {
  if (previous < 0) return stamp;
  int64_t step = (stamp - previous) % kStampWrap;
  if (step < 0) step += kStampWrap;
  if (step > kStampWrap / 2) step -= kStampWrap;
  return previous + step;
}

std::string seconds_text(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.4f s", seconds);
  return text;
}

}  // namespace

void PictureTimeline::header_read(const HeaderRecord& record, const SequenceValues& sequence,
                                  PesStamps stamps) {
  switch (record.kind) {
    case HeaderKind::kSequenceHeader:
    case HeaderKind::kGroupOfPictures:
      if (unit_start_ < 0) unit_start_ = record.bit_offset >> 3;
      if (record.kind == HeaderKind::kGroupOfPictures) ++gop_;
      break;
    case HeaderKind::kPictureHeader:
      picture_header_read(record, sequence, stamps);
      break;
    case HeaderKind::kPictureCodingExtension:
      coding_extension_read(record, sequence);
      break;
    default:
      break;
  }
}

int PictureTimeline::interval_fields() const {
  const PictureTiming& p = pictures_.back();
  const bool waits_for_reference =
      is_reference(p) && sequence_.low_delay == 0 && reference_fields_ > 0;
  if (p.structure != 3) {
    if (!second_field_) return 1;
    return waits_for_reference ? std::max(reference_fields_ - 1, 1) : 1;
  }
  return waits_for_reference ? reference_fields_ : p.fields;
}

void PictureTimeline::close_last_picture(int64_t end) {
  PictureTiming& p = pictures_.back();
  p.es_bytes = end - p.es_offset;
  fields_since_base_ += interval_fields();
  if (is_reference(p) && (p.structure == 3 || second_field_)) {
    last_reference_fields_ = p.structure == 3 ? p.fields : 2;
  }
}

void PictureTimeline::picture_header_read(const HeaderRecord& h, const SequenceValues& sequence,
                                          PesStamps stamps) {
  using namespace elements::picture_header;
  const int64_t start_code = h.bit_offset >> 3;
  const int64_t start = unit_start_ >= 0 ? unit_start_ : start_code;
  unit_start_ = -1;
  const double rate = frames_per_second(sequence);
  if (pictures_.empty()) {
    sequence_ = sequence;
  } else {
    close_last_picture(start);
  }
  // A sequence of another frame rate counts its time from its first picture.
  const double last_rate = pictures_.empty() ? rate : pictures_.back().frame_rate;
  const double time =
      last_rate > 0 ? base_time_ + double(fields_since_base_) / (2 * last_rate) : base_time_;
  if (rate != last_rate) {
    base_time_ = time;
    fields_since_base_ = 0;
  }
  if (rate == 0 && problem_.empty()) {
    problem_ = "frame_rate_code " + std::to_string(sequence.frame_rate_code) + " is forbidden";
  }

  PictureTiming& p = pictures_.emplace_back();
  p.es_offset = start;
  p.start_code_offset = start_code;
  p.decode_time = time;
  p.frame_rate = rate;
  p.stamps = stamps;
  p.gop = gop_;
  p.temporal_reference = h.value(kTemporalReference);
  p.vbv_delay = h.value(kVbvDelay);
  p.type = static_cast<uint8_t>(h.value(kPictureCodingType));
  if (is_reference(p)) reference_fields_ = last_reference_fields_;
  // MPEG-1 pictures are whole frames shown once.
  p.structure = 3;
  p.fields = 2;
  second_field_ = false;
}

void PictureTimeline::coding_extension_read(const HeaderRecord& h, const SequenceValues& sequence) {
  using namespace elements::picture_coding_extension;
  if (pictures_.empty()) return;
  PictureTiming& p = pictures_.back();
  const int structure = h.value(kPictureStructure);
  const int top_first = h.value(kTopFieldFirst);
  const int repeat = h.value(kRepeatFirstField);
  p.structure = static_cast<uint8_t>(structure == 0 ? 3 : structure);
  second_field_ = p.structure != 3 && first_field_pending_;
  first_field_pending_ = p.structure != 3 && !first_field_pending_;
  if (p.structure != 3) {
    p.fields = 1;
  } else if (sequence.progressive_sequence != 0) {
    // A progressive sequence repeats whole frames: once, or twice with top_field_first.
    p.fields = static_cast<uint8_t>(2 * (1 + repeat * (1 + top_first)));
  } else {
    p.fields = static_cast<uint8_t>(2 + repeat);
  }
}

void PictureTimeline::stream_end(int64_t byte) {
  if (pictures_.empty()) return;
  close_last_picture(byte);
  // Whole fields are summed over each run of one frame rate before the division, as the
  // stream's description counts them: the durations then agree to the last bit.
  duration_ = 0;
  int64_t fields = 0;
  double rate = 0;
  const auto add_run = [&] {
    if (rate > 0) duration_ += double(fields) / (2 * rate);
  };
  for (const PictureTiming& p : pictures_) {
    if (p.frame_rate != rate) {
      add_run();
      fields = 0;
      rate = p.frame_rate;
    }
    fields += p.fields;
  }
  add_run();
  presentation_times();
  check_stamps();
}

// Within a GOP the pictures are shown in the order of their temporal references, each for its
// display duration, and one GOP after the other. The first reference picture is shown when the
// next reference picture is decoded (at once with low delay); that sets the origin.
void PictureTimeline::presentation_times() {
  std::vector<size_t> order;
  double group_start = 0;
  bool origin_known = false;
  size_t first = 0;
  while (first < pictures_.size()) {
    size_t last = first;
    while (last < pictures_.size() && pictures_[last].gop == pictures_[first].gop) ++last;
    order.resize(last - first);
    for (size_t i = 0; i < order.size(); ++i) order[i] = first + i;
    std::stable_sort(order.begin(), order.end(), [this](size_t a, size_t b) {
      return pictures_[a].temporal_reference < pictures_[b].temporal_reference;
    });
    double offset = 0;
    for (const size_t i : order) {
      PictureTiming& p = pictures_[i];
      p.presentation_time = offset;
      offset += p.frame_rate > 0 ? p.fields / (2 * p.frame_rate) : 0;
    }
    if (!origin_known) {
      // The first reference picture of the stream, and when it is shown.
      size_t reference = first;
      while (reference < last && !is_reference(pictures_[reference])) ++reference;
      if (reference < last) {
        const PictureTiming& r = pictures_[reference];
        // The next reference picture after its frame (both fields of a field pair).
        size_t next = reference + (r.structure != 3 ? 2 : 1);
        while (next < pictures_.size() && !is_reference(pictures_[next])) ++next;
        double shown = r.decode_time;
        if (sequence_.low_delay == 0) {
          shown = next < pictures_.size() ? pictures_[next].decode_time
                  : r.frame_rate > 0      ? shown + r.fields / (2 * r.frame_rate)
                                          : shown;
        }
        group_start = shown - pictures_[reference].presentation_time;
        origin_known = true;
      }
    }
    for (size_t i = first; i < last; ++i) pictures_[i].presentation_time += group_start;
    group_start += offset;
    first = last;
  }
}

// The packets' time stamps against the times the frame rate gives, from the first picture with
// a time stamp on: a decoding time stamp (the presentation time stamp where there is none) off
// by more than a frame period is a jump, from which the comparison goes on; a presentation time
// stamp off by more than a frame period from the presentation time disagrees.
void PictureTimeline::check_stamps() {
  if (!problem_.empty()) return;
  int64_t last_pts = -1;
  int64_t last_dts = -1;
  bool anchored = false;
  double offset = 0;  // stamp time less derived time
  for (size_t i = 0; i < pictures_.size(); ++i) {
    PictureTiming& p = pictures_[i];
    if (!p.stamps.present()) continue;
    p.stamps.pts = last_pts = unwrapped(p.stamps.pts, last_pts);
    if (p.stamps.dts >= 0) p.stamps.dts = last_dts = unwrapped(p.stamps.dts, last_dts);
    const double period = 1 / p.frame_rate + 1e-6;
    const double decoded =
        double(p.stamps.dts >= 0 ? p.stamps.dts : p.stamps.pts) / kTicksPerSecond;
    const double presented = double(p.stamps.pts) / kTicksPerSecond;
    if (!anchored) {
      offset = decoded - p.decode_time;
      anchored = true;
    } else if (std::abs(decoded - (p.decode_time + offset)) > period) {
      warnings_.push_back({int64_t(i), "PES time stamps jump: " + seconds_text(decoded) +
                                           " where the frame rate gives " +
                                           seconds_text(p.decode_time + offset)});
      offset = decoded - p.decode_time;
    }
    // Without a decoding time stamp the presentation time stamp is both (ISO/IEC 13818-1
    // 2.4.3.7), and has been compared as the decoding time.
    if (p.stamps.dts < 0) continue;
    const double expected = p.presentation_time + offset;
    if (std::abs(presented - expected) > period) {
      warnings_.push_back({int64_t(i), "PES PTS " + seconds_text(presented) +
                                           " disagrees with the presentation time " +
                                           seconds_text(expected)});
    }
  }
}

}  // namespace tavik
