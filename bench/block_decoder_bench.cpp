// Block reader throughput: decodes a synthetic stream of coded blocks and reports blocks/second.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "base/messages.h"
#include "decoder/picture/block_decoder.h"
#include "decoder/syntax/decoder_state.h"
#include "decoder/syntax/scan_tables.h"
#include "decoder/syntax/vlc_tables.h"
#include "input/byte_input.h"
#include "input/video_source.h"

namespace tavik {
namespace {

constexpr int kBlocks = 50000;

enum class Kind { kIntra, kInter, kMpeg2Intra, kMpeg2Inter, kMpeg2IntraTableOne };

class BitWriter {
 public:
  void put(uint32_t value, int length) {
    for (int bit = length - 1; bit >= 0; --bit) {
      if (count_ % 8 == 0) bytes_.push_back(0);
      if ((value >> bit) & 1) bytes_.back() |= static_cast<uint8_t>(0x80 >> (count_ % 8));
      ++count_;
    }
  }
  [[nodiscard]] const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  int64_t count_ = 0;
};

// A stream of kBlocks coded blocks of one kind. The coefficient codes are drawn by random
// leading bits of the short-code table, so short codes come as often as in coded video; a few
// coefficients use the escape.
std::vector<uint8_t> make_blocks(Kind kind, uint32_t seed) {
  const bool mpeg2 = kind != Kind::kIntra && kind != Kind::kInter;
  const bool intra =
      kind == Kind::kIntra || kind == Kind::kMpeg2Intra || kind == Kind::kMpeg2IntraTableOne;
  const DctCoefficientTable& table =
      kind == Kind::kMpeg2IntraTableOne ? kDctCoefficientsOne : kDctCoefficientsZero;
  uint32_t end_of_block = 0;
  int end_of_block_length = 0;
  for (size_t k = 0; k < table.short_codes.size(); ++k) {
    const DctCode& code = table.short_codes[k];
    if (code.run == kEndOfBlock) {
      end_of_block = static_cast<uint32_t>(k + kDctShortFirst) >> (8 - code.length);
      end_of_block_length = code.length;
    }
  }
  std::mt19937 random(seed);
  BitWriter writer;
  for (int n = 0; n < kBlocks; ++n) {
    int i = 0;
    if (intra) {
      // dct_dc_size 0: "100" for luminance, "00" for chrominance.
      if (n % 6 < 4) {
        writer.put(0b100, 3);
      } else {
        writer.put(0b00, 2);
      }
      i = 1;
    }
    const int count = 1 + static_cast<int>(random() % 10);
    // A non-intra block has at least one coefficient.
    for (int c = 0; c < count || i == 0; ++c) {
      if (random() % 32 == 0) {
        const int run = static_cast<int>(random() % 4);
        if (i + run > 63) break;
        const int level = 1 + static_cast<int>(random() % 100);
        writer.put(0b0000'01, 6);
        writer.put(static_cast<uint32_t>(run), 6);
        writer.put(static_cast<uint32_t>(level), mpeg2 ? 12 : 8);
        i += run + 1;
        continue;
      }
      const uint32_t index = kDctShortFirst + random() % table.short_codes.size();
      const DctCode& code = table.short_codes[index - kDctShortFirst];
      if (code.run >= kEndOfBlock || i + code.run > 63) continue;
      if (!intra && i == 0 && code.run == 0 && code.level == 1) {
        writer.put(1, 1);  // the first coefficient's short form
      } else {
        writer.put(index >> (8 - code.length), code.length);
      }
      writer.put(random() & 1, 1);
      i += code.run + 1;
    }
    writer.put(end_of_block, end_of_block_length);
  }
  return writer.bytes();
}

void decode_blocks(benchmark::State& state, Kind kind) {
  const std::vector<uint8_t> bytes = make_blocks(kind, 7);
  CollectedMessages messages;
  DecoderContext ctx(messages);
  LayerState& layer = ctx.layer;
  layer.mpeg2 = kind != Kind::kIntra && kind != Kind::kInter;
  layer.quantiser_scale = 8;
  std::copy(kDefaultIntraQuantiserMatrix.begin(), kDefaultIntraQuantiserMatrix.end(),
            layer.intra_quantiser_matrix.begin());
  layer.non_intra_quantiser_matrix.fill(16);
  layer.chroma_intra_quantiser_matrix = layer.intra_quantiser_matrix;
  layer.chroma_non_intra_quantiser_matrix = layer.non_intra_quantiser_matrix;
  ctx.vars.intra_vlc_format = kind == Kind::kMpeg2IntraTableOne ? 1 : 0;
  for (auto _ : state) {
    MemoryInput input(bytes);
    ElementarySource source(input);
    layer.reader.reset_reader(&source);
    int dc_dct_pred[3] = {0, 0, 0};
    for (int n = 0; n < kBlocks; ++n) {
      const int comp = n % 6;
      std::memset(layer.block[comp], 0, sizeof layer.block[comp]);
      switch (kind) {
        case Kind::kIntra:
          getintrablock(ctx, comp, dc_dct_pred);
          break;
        case Kind::kInter:
          getinterblock(ctx, comp);
          break;
        case Kind::kMpeg2Intra:
        case Kind::kMpeg2IntraTableOne:
          getmpg2intrablock(ctx, comp, dc_dct_pred);
          break;
        case Kind::kMpeg2Inter:
          getmpg2interblock(ctx, comp);
          break;
      }
    }
    if (ctx.decode_fault) {
      state.SkipWithError(messages.err_text.c_str());
      break;
    }
    benchmark::DoNotOptimize(layer.block);
  }
  state.counters["blocks/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * kBlocks,
                                                  benchmark::Counter::kIsRate);
  state.counters["bits/block"] = static_cast<double>(bytes.size()) * 8 / kBlocks;
}

BENCHMARK_CAPTURE(decode_blocks, mpeg1_intra, Kind::kIntra);
BENCHMARK_CAPTURE(decode_blocks, mpeg1_inter, Kind::kInter);
BENCHMARK_CAPTURE(decode_blocks, mpeg2_intra, Kind::kMpeg2Intra);
BENCHMARK_CAPTURE(decode_blocks, mpeg2_intra_table_one, Kind::kMpeg2IntraTableOne);
BENCHMARK_CAPTURE(decode_blocks, mpeg2_inter, Kind::kMpeg2Inter);

}  // namespace
}  // namespace tavik

BENCHMARK_MAIN();
