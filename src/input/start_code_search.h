#pragma once

#include <cstdint>

namespace tavik {

// Where the next start code prefix 00 00 01 begins: the first p in [begin, end) whose three
// bytes p[0], p[1], p[2] all lie before `end` and read 00 00 01; `end` when there is none.
// Sixty-four bytes at a time with AVX2, else thirty-two with SSE2.
[[nodiscard]] const uint8_t* find_start_code(const uint8_t* begin, const uint8_t* end);

#if defined(__SSE2__)
// The vector versions find_start_code picks from, each run by the tests; the AVX2 one only
// where the processor has it.
[[nodiscard]] const uint8_t* find_start_code_sse2(const uint8_t* begin, const uint8_t* end);
[[nodiscard]] const uint8_t* find_start_code_avx2(const uint8_t* begin, const uint8_t* end);
#endif

// The same, byte by byte: the reference for find_start_code and its tail.
[[nodiscard]] const uint8_t* find_start_code_plain(const uint8_t* begin, const uint8_t* end);

}  // namespace tavik
