#include "analysis/raised_message.h"

namespace tavik {

RaisedMessage raised_message(const AnalysisStore& store, std::string_view text) {
  if (text.ends_with('\n')) text.remove_suffix(1);
  const int64_t frame =
      store.read([](const StoreData& data) { return int64_t{data.frame_count()}; });
  return {std::string(text), frame};
}

}  // namespace tavik
