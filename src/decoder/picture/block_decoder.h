#pragma once

#include "decoder/syntax/decoder_state.h"

namespace tavik {

// Block readers: variable-length decoding, run-length expansion, inverse scan and inverse
// quantisation of one block in one pass, into ctx.layer.block[comp] (which they clear first),
// raster order. Blocks 0-3 are luminance; from 4 on Cb (even) and Cr (odd) alternate.
// dc_dct_pred holds the Y, Cb and Cr DC predictors; the intra readers update the one of the
// block's colour component. On an invalid code a reader writes its warning, sets
// ctx.decode_fault and returns; the coefficients decoded so far stay in the block.

// MPEG-1 (ISO/IEC 11172-2): coefficients saturated to -2048..2047 after the oddification.
void getintrablock(DecoderContext& ctx, int comp, int dc_dct_pred[3]);
void getinterblock(DecoderContext& ctx, int comp);

// MPEG-2 (ISO/IEC 13818-2 7.4): saturation to -2048..2047 and mismatch control.
void getmpg2intrablock(DecoderContext& ctx, int comp, int dc_dct_pred[3]);
void getmpg2interblock(DecoderContext& ctx, int comp);

// The coded blocks of one macroblock (coded_block_pattern's first bit is block 0), read as the
// readers above read them, stopping at the first invalid code.
void read_coded_blocks(DecoderContext& ctx, int coded_block_pattern, bool intra,
                       int dc_dct_pred[3]);

// MPEG-1 D pictures: the DC coefficient alone, without end of block (ISO/IEC 11172-2 2.4.3.7).
void getdcblock(DecoderContext& ctx, int comp, int dc_dct_pred[3]);

// dct_dc_size and dct_dc_differential of a luminance or chrominance block: the signed
// differential.
[[nodiscard]] int get_luminance_dc_diff(DecoderContext& ctx);
[[nodiscard]] int get_chrominance_dc_diff(DecoderContext& ctx);

}  // namespace tavik
