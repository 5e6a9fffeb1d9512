#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/messages.h"
#include "decoder/syntax/decoder_state.h"

namespace tavik {

// Where the lower layer's decoded fields come from: one raw file per field and component.
class LowerLayerFiles {
 public:
  virtual ~LowerLayerFiles() = default;
  // Reads the start of the named file into `out`. Returns the bytes read (fewer than asked
  // when the file is short), or -1 when it cannot be opened.
  virtual long read(const std::string& name, std::span<uint8_t> out) = 0;
};

// Reads the files from the file system.
class DiskLowerLayerFiles final : public LowerLayerFiles {
 public:
  long read(const std::string& name, std::span<uint8_t> out) override;
};

// The spatial prediction of a spatially scalable picture: the lower layer's two fields, read
// from files named by a pattern, deinterlaced and upsampled to the picture's size, at the frame
// store's coded size (its line steps). Samples the upsampled lower layer does not reach are
// 128.
class SpatialPrediction {
 public:
  // `files` outlives this object. `verbose_level` above 1 names every file read.
  SpatialPrediction(Messages& messages, std::string pattern, LowerLayerFiles& files,
                    int verbose_level);

  // Forms the prediction for the picture whose headers `ctx` holds. When it cannot (no
  // pattern, a name too long, a file missing or short, a lower layer smaller than 2x4 or larger
  // than the picture's coded size, a subsampling factor 0) the picture is
  // decoded without it, and a warning on the standard error stream says why.
  void prepare(const DecoderContext& ctx);
  // The second field of a frame uses its first field's prediction; the warning is repeated
  // when there is none.
  void reuse(const DecoderContext& ctx);

  // The prediction's planes, or nullptr when the picture has none.
  [[nodiscard]] const FramePlanes* planes() const { return available_ ? &planes_ : nullptr; }

 private:
  // Reads and upsamples; returns why it could not, or an empty string.
  std::string form(const DecoderContext& ctx);
  std::string read_component(int component, int temporal_reference, int width, int height);
  void warn(const DecoderContext& ctx) const;

  Messages& messages_;
  const std::string pattern_;
  LowerLayerFiles& files_;
  const int verbose_level_;
  bool available_ = false;
  std::string problem_;
  FramePlanes planes_;
  std::vector<uint8_t> memory_;       // the prediction's planes
  std::vector<uint8_t> lower_[3][2];  // by component, set a and set b
  std::vector<uint8_t> file_bytes_;
  std::vector<int> row_;
};

// Combines the temporal prediction of the macroblock at (bx, by) (by in field lines for field
// pictures), already in `current`, with the spatial prediction, field by field as weight type
// `stwtype` says: weight 1/2 averages the two, weight 1 takes the spatial prediction alone.
// Without a spatial prediction (`spatial` nullptr) weight 1/2 keeps the temporal prediction and
// weight 1 gives 128.
void combine_spatial_prediction(const FrameGeometry& geometry, int picture_structure,
                                const FramePlanes* spatial, const FramePlanes& current, int bx,
                                int by, int stwtype);

}  // namespace tavik
