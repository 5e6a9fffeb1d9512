#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "analysis/analysis_store.h"
#include "base/messages.h"
#include "input/byte_input.h"

namespace tavik {

class LowerLayerFiles;
class PictureTimeline;
struct DitherKernels;
class HeaderEvents;
class PayloadObserver;
class ContainerObserver;

struct SessionOptions {
  // false: the headers-only walk; each picture's slices are passed over, not decoded.
  bool decode_pictures = true;
  int verbose_level = 0;       // header trace, 0 = off
  bool trace_enabled = false;  // macroblock trace
  // No dithering: frames are still handed over through frame_ready.
  bool display_disabled = false;
  // Threads that decode the slices of each picture (1: the calling thread alone). Traces need
  // one thread and keep it.
  int threads = 1;
  // Spatially scalable pictures: the lower layer's file name pattern (see
  // lower_layer_pattern_problem; empty: none, the pictures are decoded without their spatial
  // prediction), and where the files are read (nullptr: the file system; must outlive the
  // session).
  std::string lower_layer_pattern;
  LowerLayerFiles* lower_layer_files = nullptr;
  // Go on through every sequence of the file instead of ending at the first sequence end code.
  bool all_sequences = false;
  // The dither's row kernels (nullptr: the fastest this processor runs); benchmarks put in
  // others to weigh their parts. Must outlive the session.
  const DitherKernels* dither_kernels = nullptr;
  // Told of every header record read (slice headers included, which the headers-only walk then
  // reads too) and of where the video's bytes lie in the input; both must outlive the session.
  HeaderEvents* header_observer = nullptr;
  PayloadObserver* payload_observer = nullptr;
  // Told of the container's packs, packets and transport packets.
  ContainerObserver* container_observer = nullptr;
  // Filled afresh at every open with the timing and the elementary-stream size of every
  // picture, the packets' time stamps included (nullptr: not gathered). Must outlive the
  // session.
  PictureTimeline* timeline = nullptr;
  // Hand the listener the record of every macroblock decoded, picture by picture.
  bool macroblock_records = false;

  // One observer of the headers, the video's bytes and the container (a structure's index
  // builder); it must outlive the session.
  template <class Observer>
  void observe_structure(Observer& observer) {
    header_observer = &observer;
    payload_observer = &observer;
    container_observer = &observer;
  }
};

struct FrameGeometry;
struct DecodingVariables;
struct FramePlanes;
struct PaletteImage;
struct PictureMacroblocks;
struct StreamInfo;

// What a session tells the outside. Called on the decoding thread.
class SessionListener {
 public:
  virtual ~SessionListener() = default;
  // A decoded frame, in display order, at the coded size (planes as the frame store holds them).
  virtual void frame_ready(const FramePlanes& frame, const FrameGeometry& geometry,
                           const DecodingVariables& vars) {}
  // A dithered image to show (a frame, or one field image of interlaced material). Instead of
  // copying the pixels, the listener may take them by exchanging the pixel buffer for one of the
  // same size: later pictures are dithered into whatever buffer the image then holds.
  virtual void picture_ready(PaletteImage& image) {}
  // The macroblocks of a picture just decoded, in coded order, before any frame it completes
  // is handed over (only when the options ask for them). The records are valid during the call.
  virtual void macroblocks_decoded(const PictureMacroblocks& picture) {}
  // The stream is over: the inputs are closed, playback goes back to idle, and the summary
  // text is handed over to be shown.
  virtual void session_ended(const std::string& summary) {}
};

// Opens a stream, decodes (or walks) it one picture per step, measures it through the scanner
// and ends with the summary. Fatal stream errors are thrown as FatalError; the session is then
// closed.
class DecodingSession {
 public:
  DecodingSession(AnalysisStore& store, Messages& messages, SessionListener& listener,
                  SessionOptions options = {});
  ~DecodingSession();

  // Opens and checks the file. Throws FatalError ("Input file %s not found\n", or
  // "This not a valid MPEG system or video stream\n"). A file that starts with neither a
  // sequence header nor a pack header is read from the first of them; the bytes before it are
  // not measured, and a warning says how many they are.
  void open_stream(const std::string& path);
  // The same on bytes in memory that outlive the session (tests, fuzzing).
  void open_memory(std::span<const uint8_t> bytes);
  // The same on two inputs that give the same bytes, one for the decoder and one for the
  // scanner (a pipe read once for both).
  void open_inputs(std::unique_ptr<ByteInput> decoder_input,
                   std::unique_ptr<ByteInput> scanner_input);

  // Decodes the next picture and returns true, or ends the session and returns false.
  bool decode_step();

  [[nodiscard]] bool is_open() const;
  // Frames completed in this session (a pair of field pictures counts once).
  [[nodiscard]] int picture_counter() const;
  // Asks for the macroblock records from the next picture on (or no longer), between steps.
  void set_macroblock_records(bool on);
  // What the headers read so far tell; kept after the session ends, until the next open.
  [[nodiscard]] const StreamInfo& stream_info() const;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tavik
