#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "decoder/scalable/spatial_prediction.h"

namespace tavik::test {

// Serves every lower-layer file from some input bytes, cyclically from a place that depends on
// the name; some names are short or missing. Lets fuzzed inputs reach the spatial prediction.
class InputLowerLayer final : public LowerLayerFiles {
 public:
  explicit InputLowerLayer(std::span<const uint8_t> input) : input_(input) {}

  long read(const std::string& name, std::span<uint8_t> out) override {
    uint32_t hash = 0;
    for (const char c : name) hash = hash * 31 + uint8_t(c);
    if (input_.empty() || hash % 11 == 0) return -1;
    for (size_t i = 0; i < out.size(); ++i) out[i] = input_[(hash + i) % input_.size()];
    return hash % 7 == 0 ? long(out.size() / 2) : long(out.size());
  }

  // The pattern that names the files.
  static constexpr const char* kPattern = "l%d%c";

 private:
  std::span<const uint8_t> input_;
};

}  // namespace tavik::test
