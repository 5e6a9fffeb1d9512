#include "session/decoding_session.h"

#include <algorithm>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "analysis/start_code_scanner.h"
#include "base/fatal_error.h"
#include "decoder/picture/frame_store.h"
#include "decoder/picture/macroblock_record.h"
#include "decoder/picture/picture_decoder.h"
#include "decoder/scalable/spatial_prediction.h"
#include "decoder/syntax/decoder_state.h"
#include "decoder/syntax/header_parser.h"
#include "decoder/syntax/stream_info.h"
#include "display/dither.h"
#include "display/palette.h"
#include "input/byte_input.h"
#include "input/input_probe.h"
#include "input/pes_timestamps.h"
#include "input/stream_start.h"
#include "input/video_source.h"
#include "results/summary.h"
#include "session/slice_threads.h"
#include "timing/picture_timeline.h"

namespace tavik {

namespace {

// Measures the stream as the header parser walks it: the scanner measures up to each picture
// start code and to the sequence end code, and labels each picture with the type last read;
// the stream's description is kept from the headers, and the pictures' timing when asked for.
class MeasuringEvents final : public HeaderEvents {
 public:
  MeasuringEvents(StartCodeScanner& scanner, AnalysisStore& store, StreamInfo& info,
                  HeaderEvents* observer, const std::unique_ptr<DecoderContext>& ctx)
      : scanner_(scanner), store_(store), info_(info), observer_(observer), ctx_(ctx) {}
  // `timestamps`: the packets of a container's video stream (nullptr in an elementary stream).
  void gather_timing(PictureTimeline* timeline, PesTimestamps* timestamps,
                     const VideoSource* source) {
    timeline_ = timeline;
    timestamps_ = timestamps;
    source_ = source;
  }
  void header_read(const HeaderRecord& record) override {
    info_.header_read(record);
    if (observer_ != nullptr) observer_->header_read(record);
    if (timeline_ == nullptr) return;
    PesStamps stamps;
    if (record.kind == HeaderKind::kPictureHeader && timestamps_ != nullptr) {
      stamps = timestamps_->picture_at(record.bit_offset >> 3);
    }
    timeline_->header_read(record, info_.current, stamps);
  }
  // The scanner labels the picture it has just measured with the type still held.
  void picture_start_code() override {
    scanner_.measure_picture();
    picture_start_bit = ctx_->layer.reader.consumed_bits() - 32;
    ++pictures;
  }
  void picture_type_read(int picture_coding_type) override {
    store_.current_picture_type = picture_coding_type;
  }
  void sequence_end_code(int64_t byte, bool sequence_follows) override {
    if (sequence_follows) info_.stopped_at = byte;
    scanner_.measure_picture();
    // The end code is the one the source gives after the end of a stream that has none.
    if (timeline_ != nullptr) timeline_->stream_end(std::min(byte + 4, source_->video_bytes()));
  }

  int64_t pictures = 0;            // picture start codes met
  uint64_t picture_start_bit = 0;  // where the last one began in the video stream

 private:
  StartCodeScanner& scanner_;
  AnalysisStore& store_;
  StreamInfo& info_;
  HeaderEvents* observer_;
  PictureTimeline* timeline_ = nullptr;
  PesTimestamps* timestamps_ = nullptr;
  const VideoSource* source_ = nullptr;
  const std::unique_ptr<DecoderContext>& ctx_;
};

}  // namespace

class DecodingSession::Impl {
 public:
  Impl(AnalysisStore& store, Messages& messages, SessionListener& listener, SessionOptions options)
      : store_(store),
        messages_(messages),
        listener_(listener),
        options_(std::move(options)),
        scanner_(store, messages),
        events_(scanner_, store, info_, options_.header_observer, ctx_),
        ditherer_(options_.dither_kernels ? *options_.dither_kernels : fastest_dither_kernels()),
        spatial_(messages, options_.lower_layer_pattern,
                 options_.lower_layer_files ? *options_.lower_layer_files : disk_files_,
                 options_.verbose_level) {}

  ~Impl() { close(); }

  void open_stream(const std::string& path) {
    close();
    auto decoder_input = open_file(path);
    auto scanner_input = open_file(path);
    start(std::move(decoder_input), std::move(scanner_input));
  }

  void open_inputs(std::unique_ptr<ByteInput> decoder_input,
                   std::unique_ptr<ByteInput> scanner_input) {
    close();
    start(std::move(decoder_input), std::move(scanner_input));
  }

  bool decode_step() {
    if (!open_) return false;
    try {
      if (parser_->read_headers() == 1) {
        decode_next_picture();
        return true;
      }
      end_session();
    } catch (const FatalError&) {
      close();
      throw;
    }
    return false;
  }

  [[nodiscard]] bool is_open() const { return open_; }
  [[nodiscard]] int picture_counter() const { return picture_counter_; }
  void set_macroblock_records(bool on) { macroblock_records_ = on; }
  [[nodiscard]] const StreamInfo& stream_info() const { return info_; }

 private:
  std::unique_ptr<FileInput> open_file(const std::string& path) {
    auto input = FileInput::open(path);
    if (!input) {
      messages_.message_box("Error al abrir fichero");
      throw FatalError("Input file " + path + " not found\n");
    }
    return input;
  }

  // Everything of the open after the two inputs exist. The decoding state starts afresh with
  // every stream.
  void start(std::unique_ptr<ByteInput> decoder_input, std::unique_ptr<ByteInput> scanner_input) {
    decoder_input_ = std::move(decoder_input);
    scanner_input_ = std::move(scanner_input);
    messages_.session_started();
    ctx_ = std::make_unique<DecoderContext>(messages_);
    ctx_->trace_enabled = options_.trace_enabled;
    info_ = StreamInfo{};
    events_.pictures = 0;
    parser_ = std::make_unique<HeaderParser>(*ctx_, events_, options_.verbose_level,
                                             options_.all_sequences);
    picture_decoder_ = std::make_unique<PictureDecoder>(*ctx_, *parser_);
    if (options_.threads > 1 && !options_.trace_enabled && options_.verbose_level == 0) {
      slice_threads_ = std::make_unique<SliceThreads>(options_.threads);
    }
    open_ = true;
    try {
      const Container container = open_container();
      info_.container = container;

      scanner_.attach(scanner_input_.get());
      // A session opened before the last one ended must not label its first measurement with
      // the type of a picture of that one.
      store_.current_picture_type = 0;
      store_.update([](StoreData& data) { data.scan_reset_pending = true; });
      scanner_.measure_picture();
      scanner_.set_container(container);
      timestamps_ = PesTimestamps{};
      if (options_.timeline != nullptr) *options_.timeline = PictureTimeline{};
      if (container == Container::kElementary) {
        source_ = std::make_unique<ElementarySource>(*decoder_input_);
        events_.gather_timing(options_.timeline, nullptr, source_.get());
      } else {
        auto demux = make_demux(container, &messages_);
        demux->set_observer(options_.container_observer);
        auto source = std::make_unique<ContainerSource>(*decoder_input_, std::move(demux));
        if (options_.timeline != nullptr) source->keep_timestamps(&timestamps_);
        events_.gather_timing(options_.timeline, &timestamps_, source.get());
        source_ = std::move(source);
      }
      source_->set_payload_observer(options_.payload_observer);
      ctx_->layer.reader.reset_reader(source_.get());
    } catch (const FatalError&) {
      close();
      throw;
    }
    needs_init_ = true;
    picture_counter_ = 0;
    first_frame_of_size_ = 0;
    second_field_pending_ = false;
    spatial_frame_ = -1;
  }

  // The container of the stream and a check that it holds MPEG video. A capture cut in the
  // middle of a stream (nothing else recognised in it) is read from its first sequence or pack
  // header.
  Container open_container() {
    try {
      return checked_container();
    } catch (const UnrecognisedInput&) {
      decoder_input_->rewind();
      const auto start = locate_stream_start(*decoder_input_);
      if (!start || start->offset == 0) throw;
      skip_to(*start);
      return checked_container();
    }
  }

  Container checked_container() {
    const Container container = detect_container(*decoder_input_);
    if (container != Container::kElementary) check_container_video(*decoder_input_, container);
    return container;
  }

  // Both inputs start at the header found; the bytes before it are neither decoded nor
  // measured.
  void skip_to(const StreamStart& start) {
    decoder_input_ = std::make_unique<OffsetInput>(std::move(decoder_input_), start.offset);
    scanner_input_ = std::make_unique<OffsetInput>(std::move(scanner_input_), start.offset);
    info_.skipped_bytes = start.offset;
    messages_.err(format_text("skipped %llu bytes before the first %s header\n",
                              static_cast<unsigned long long>(start.offset),
                              start.system_stream ? "pack" : "sequence"));
  }

  void decode_next_picture() {
    // Pictures before the first sequence header (a system stream cut in the middle) have no
    // size to be decoded at; they are measured and passed over.
    if (info_.sequences == 0) {
      pass_slices();
      return;
    }
    if (needs_init_) {
      setup_decoder();
      needs_init_ = false;
    }
    process_picture(picture_counter_);
    if (!second_field_pending_) ++picture_counter_;
  }

  void setup_decoder() {
    DecodingVariables& vars = ctx_->vars;
    if (!ctx_->layer.mpeg2) set_mpeg1_values(vars);
    ctx_->geometry = frame_geometry_for(vars, ctx_->layer.mpeg2);
    if (options_.decode_pictures) allocate_frames();
  }

  // Sizes the frame store and the display images for the headers read so far. A later
  // sequence header with another picture size sizes them again rather than being decoded
  // into buffers of the old size.
  void allocate_frames() {
    frames_.allocate(ctx_->geometry);
    if (!options_.display_disabled) {
      ditherer_.init_display(kDisplayDepth, ctx_->geometry.coded_width,
                             ctx_->geometry.coded_height);
    }
  }

  [[nodiscard]] bool size_changed() const {
    const FrameGeometry now = frame_geometry_for(ctx_->vars, ctx_->layer.mpeg2);
    const FrameGeometry& was = frames_.geometry();
    return now.coded_width != was.coded_width || now.coded_height != was.coded_height ||
           now.chroma_format != was.chroma_format;
  }

  // Frame management around one picture. The picture's slice data lies between here and the
  // next start code that is not a slice start code.
  void process_picture(int frame_number) {
    const DecodingVariables& vars = ctx_->vars;
    const int picture_structure = vars.picture_structure;
    if (picture_structure == 3 && second_field_pending_) {
      messages_.out("odd number of field pictures\n");
      second_field_pending_ = false;
    }
    if (!options_.decode_pictures) {
      pass_slices();
    } else {
      if (!second_field_pending_ && size_changed()) resize_frames(frame_number);
      // Frames decoded at the current size before this one.
      const int frames_before = frame_number - first_frame_of_size_;
      const bool b_picture = vars.picture_coding_type == kBPicture;
      if (!b_picture && !second_field_pending_) frames_.swap_references();
      PredictionFrames prediction;
      prediction.older_reference = frames_.older_reference;
      prediction.newer_reference = frames_.newer_reference;
      prediction.current = b_picture ? frames_.b_frame : frames_.newer_reference;
      prediction.second_field = second_field_pending_;
      if (const char* refused = refused_scalability()) {
        if (!ctx_->quiet) messages_.err(refused);
        pass_slices();
      } else {
        const std::span<MacroblockRecord> records = fresh_records();
        if (slice_threads_ && ctx_->layer.scalable_mode == kNotScalable) {
          slice_threads_->decode_picture(*ctx_, frames_before, prediction, show_second_field_,
                                         records);
        } else {
          // Scalable pictures keep one thread: their lower layer is read picture by picture.
          prediction.spatial = spatial_prediction_for(frame_number);
          picture_decoder_->set_records(records);
          picture_decoder_->decode_slices(frames_before, prediction, show_second_field_);
        }
        if (!records.empty()) hand_over_records(records, prediction.current.plane[0]);
      }

      // Display order: a B frame at once, a reference frame when the next one is decoded.
      if (frames_before != 0) {
        if (picture_structure == 3 || second_field_pending_) {
          show_frame(b_picture ? frames_.b_frame : frames_.older_reference, vars);
        } else {
          show_second_field();
        }
      }
      decoded_vars_ = vars;
    }
    if (picture_structure != 3) second_field_pending_ = !second_field_pending_;
  }

  // The picture's records, all cleared, when the listener asked for them; else empty. The
  // buffer grows with the picture size and is reused.
  std::span<MacroblockRecord> fresh_records() {
    if (!macroblock_records_) return {};
    const FrameGeometry& g = ctx_->geometry;
    const bool frame_picture = ctx_->vars.picture_structure == 3;
    const auto count = size_t(g.mb_columns) * size_t(frame_picture ? g.mb_rows : g.mb_rows / 2);
    if (records_.size() < count) records_.resize(count);
    std::fill_n(records_.begin(), count, MacroblockRecord{});
    return {records_.data(), count};
  }

  void hand_over_records(std::span<const MacroblockRecord> records, const uint8_t* frame) {
    const DecodingVariables& v = ctx_->vars;
    PictureMacroblocks picture;
    picture.records = records;
    picture.picture = events_.pictures - 1;
    picture.picture_coding_type = v.picture_coding_type;
    picture.picture_structure = v.picture_structure;
    picture.mb_columns = ctx_->geometry.mb_columns;
    picture.mb_rows = int(records.size()) / std::max(picture.mb_columns, 1);
    picture.mpeg2 = ctx_->layer.mpeg2;
    if (picture.mpeg2) {
      picture.r_size[0][0] = v.forw_hor_r_size;
      picture.r_size[0][1] = v.forw_vert_r_size;
      picture.r_size[1][0] = v.back_hor_r_size;
      picture.r_size[1][1] = v.back_vert_r_size;
    } else {
      picture.r_size[0][0] = picture.r_size[0][1] = v.forw_r_size;
      picture.r_size[1][0] = picture.r_size[1][1] = v.back_r_size;
    }
    picture.picture_bits = ctx_->layer.reader.consumed_bits() - events_.picture_start_bit;
    picture.frame = frame;
    listener_.macroblocks_decoded(picture);
  }

  // Scalable layers that cannot be decoded on their own: their pictures are passed over.
  [[nodiscard]] const char* refused_scalability() const {
    switch (ctx_->layer.scalable_mode) {
      case kDataPartitioning:
        return "data partitioning not supported: picture not decoded\n";
      case kSnrScalability:
        return "SNR scalability not supported: picture not decoded\n";
      default:
        return nullptr;
    }
  }

  // The upsampled lower layer of a spatially scalable picture, or nullptr. The second field of
  // a frame uses the one formed for its first field.
  const FramePlanes* spatial_prediction_for(int frame_number) {
    if (!ctx_->layer.picture_spatial_scalable) return nullptr;
    if (second_field_pending_ && spatial_frame_ == frame_number) {
      spatial_.reuse(*ctx_);
    } else {
      spatial_.prepare(*ctx_);
      spatial_frame_ = frame_number;
    }
    return spatial_.planes();
  }

  // A later sequence header with another picture size. The last reference frame of the old
  // size is shown before its buffers go; the new size then starts as the first picture did.
  void resize_frames(int frame_number) {
    if (frame_number != first_frame_of_size_) show_frame(frames_.newer_reference, decoded_vars_);
    first_frame_of_size_ = frame_number;
    ctx_->geometry = frame_geometry_for(ctx_->vars, ctx_->layer.mpeg2);
    allocate_frames();
  }

  // `vars` are those of the last picture decoded into the frame's buffers.
  void show_frame(const FramePlanes& frame, const DecodingVariables& vars) {
    listener_.frame_ready(frame, ctx_->geometry, vars);
    if (!options_.display_disabled) {
      listener_.picture_ready(ditherer_.display_picture(frame, ctx_->geometry, vars));
    }
  }

  void show_second_field() {
    if (!options_.display_disabled) listener_.picture_ready(ditherer_.second_display_image());
  }

  // The headers-only walk: the slices are passed over, start code by start code; their headers
  // are read only for a header observer.
  void pass_slices() {
    BitReader& reader = ctx_->layer.reader;
    const bool read_slice_headers = options_.header_observer != nullptr;
    for (;;) {
      reader.next_start_code();
      const uint32_t code = reader.peek_bits(32);
      if (!is_slice_start_code(code)) return;
      reader.read_bits32();
      if (read_slice_headers) (void)parser_->read_slice_header(code);
    }
  }

  void flush_last_frame() {
    if (second_field_pending_) {
      messages_.out("last frame incomplete, not stored\n");
    } else if (options_.decode_pictures) {
      show_frame(frames_.newer_reference, decoded_vars_);
    }
  }

  void end_session() {
    if (picture_counter_ != 0) flush_last_frame();
    close();
    store_.current_picture_type = 0;
    listener_.session_ended(BuildSummary(store_));
  }

  // Releases both inputs; the session then does nothing more until the next open.
  void close() {
    open_ = false;
    if (ctx_) ctx_->layer.reader.reset_reader(nullptr);
    scanner_.attach(nullptr);
    source_.reset();
    decoder_input_.reset();
    scanner_input_.reset();
  }

  AnalysisStore& store_;
  Messages& messages_;
  SessionListener& listener_;
  const SessionOptions options_;
  bool macroblock_records_ = options_.macroblock_records;
  StartCodeScanner scanner_;
  MeasuringEvents events_;

  std::unique_ptr<ByteInput> decoder_input_;
  std::unique_ptr<ByteInput> scanner_input_;
  std::unique_ptr<VideoSource> source_;
  PesTimestamps timestamps_;  // of the container's video packets, when the timing is gathered
  std::unique_ptr<DecoderContext> ctx_;
  StreamInfo info_;
  std::unique_ptr<HeaderParser> parser_;
  std::unique_ptr<PictureDecoder> picture_decoder_;
  std::unique_ptr<SliceThreads> slice_threads_;
  FrameStore frames_;
  Ditherer ditherer_;
  const std::function<void()> show_second_field_ = [this] { show_second_field(); };
  DiskLowerLayerFiles disk_files_;
  SpatialPrediction spatial_;
  std::vector<MacroblockRecord> records_;
  int spatial_frame_ = -1;  // the frame whose spatial prediction spatial_ holds

  bool open_ = false;
  bool needs_init_ = false;
  int picture_counter_ = 0;
  int first_frame_of_size_ = 0;     // picture_counter_ when the frame store took its size
  DecodingVariables decoded_vars_;  // those of the last picture decoded
  bool second_field_pending_ = false;
};

DecodingSession::DecodingSession(AnalysisStore& store, Messages& messages,
                                 SessionListener& listener, SessionOptions options)
    : impl_(std::make_unique<Impl>(store, messages, listener, options)) {}

DecodingSession::~DecodingSession() = default;

void DecodingSession::open_stream(const std::string& path) {
  impl_->open_stream(path);
}

void DecodingSession::open_memory(std::span<const uint8_t> bytes) {
  impl_->open_inputs(std::make_unique<MemoryInput>(bytes), std::make_unique<MemoryInput>(bytes));
}

void DecodingSession::open_inputs(std::unique_ptr<ByteInput> decoder_input,
                                  std::unique_ptr<ByteInput> scanner_input) {
  impl_->open_inputs(std::move(decoder_input), std::move(scanner_input));
}

bool DecodingSession::decode_step() {
  return impl_->decode_step();
}

bool DecodingSession::is_open() const {
  return impl_->is_open();
}

int DecodingSession::picture_counter() const {
  return impl_->picture_counter();
}

void DecodingSession::set_macroblock_records(bool on) {
  impl_->set_macroblock_records(on);
}

const StreamInfo& DecodingSession::stream_info() const {
  return impl_->stream_info();
}

}  // namespace tavik
