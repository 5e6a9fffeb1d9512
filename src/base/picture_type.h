#pragma once

#include <cstdint>

namespace tavik {

// Picture coding type codes (picture_coding_type), as recorded in the store's frame types.
enum PictureType : int32_t { kNoPicture = 0, kIPicture = 1, kPPicture = 2, kBPicture = 3 };

}  // namespace tavik
