#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "decoder/syntax/header_records.h"
#include "decoder/syntax/stream_info.h"
#include "input/pes_header.h"

namespace tavik {

// One picture of the video elementary stream, in decoding order: where its data lie, how long
// it is shown and when it is decoded and presented.
struct PictureTiming {
  // Bytes of the video elementary stream: the picture's data begin with the sequence header or
  // GOP header in front of it (else with its picture start code) and run up to the next
  // picture's data (the last picture's up to the end of the stream).
  int64_t es_offset = 0;
  int64_t start_code_offset = 0;  // of the picture start code
  int64_t es_bytes = 0;
  // Seconds from the decoding of the first picture, by the frame rate and the fields shown.
  double decode_time = 0;
  double presentation_time = 0;
  double frame_rate = 0;  // frames per second of the sequence the picture belongs to
  // The packet's time stamps, 90 kHz ticks; after finish(), carried on over the 33-bit wrap.
  PesStamps stamps;
  int32_t gop = -1;  // the GOP header before it, counted from 0; -1 before the first
  int32_t temporal_reference = 0;
  int32_t vbv_delay = 0;
  uint8_t type = 0;       // picture_coding_type
  uint8_t structure = 3;  // picture_structure: 1 top field, 2 bottom field, 3 frame
  uint8_t fields = 2;     // display duration in fields, repeated fields included
};

// Something about the time stamps of a picture that disagrees with the stream's timing.
struct TimingWarning {
  int64_t index = 0;  // the picture, in decoding order
  std::string text;
};

// Gathers the timing of every picture from the headers as they are read (ISO/IEC 13818-2
// Annex C, ISO/IEC 11172-2 Annex C): the decoding time of a picture follows the one before it
// by the display duration of that picture when it is a B picture or the stream has low delay,
// else by that of the reference picture decoded before it (which is shown while it is
// decoded); a field picture of a pair takes one field period, the second one the rest.
class PictureTimeline {
 public:
  // A header has been read; `sequence` holds the values of the sequence in force, its
  // extension included. `stamps` are those of a picture header's packet.
  void header_read(const HeaderRecord& record, const SequenceValues& sequence,
                   PesStamps stamps = {});
  // The video stream ends at `byte` (just past its sequence end code). Completes the last
  // picture, the presentation times and the checks of the time stamps.
  void stream_end(int64_t byte);

  [[nodiscard]] const std::vector<PictureTiming>& pictures() const { return pictures_; }
  // The values of the sequence in force at the first picture.
  [[nodiscard]] const SequenceValues& sequence() const { return sequence_; }
  // Seconds the pictures are shown, repeated fields included (0 when no time is known).
  [[nodiscard]] double duration() const { return duration_; }
  // Why no time is known ("frame_rate_code 9 is forbidden"), or empty.
  [[nodiscard]] const std::string& problem() const { return problem_; }
  [[nodiscard]] const std::vector<TimingWarning>& warnings() const { return warnings_; }

 private:
  void picture_header_read(const HeaderRecord& h, const SequenceValues& sequence, PesStamps stamps);
  void coding_extension_read(const HeaderRecord& h, const SequenceValues& sequence);
  // Decoding interval of the last picture read, in fields.
  [[nodiscard]] int interval_fields() const;
  void close_last_picture(int64_t end);
  void presentation_times();
  void check_stamps();

  std::vector<PictureTiming> pictures_;
  SequenceValues sequence_;
  std::string problem_;
  std::vector<TimingWarning> warnings_;
  int64_t unit_start_ = -1;  // the first sequence or GOP header since the last picture
  int32_t gop_ = -1;
  bool second_field_ = false;         // the last picture read is the second field of a pair
  bool first_field_pending_ = false;  // the last picture read is the first field of a pair
  int reference_fields_ = 0;       // display duration of the reference picture before the last one
  int last_reference_fields_ = 0;  // of the last reference picture read
  // Time of the sequence's first picture and the fields since.
  double base_time_ = 0;
  int64_t fields_since_base_ = 0;
  double duration_ = 0;
};

}  // namespace tavik
