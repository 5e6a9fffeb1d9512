#include "decoder/scalable/lower_layer_name.h"

#include <string>

namespace tavik {

namespace {

// One piece of a pattern: literal text, or a conversion.
enum class PieceKind { kText, kTemporalReference, kField, kInvalid };

struct Piece {
  PieceKind kind = PieceKind::kText;
  std::string_view text;  // kText: the characters; kInvalid: what is wrong
  size_t width = 0;       // kTemporalReference: zero-padded width, 0 for none
  size_t length = 0;      // characters of the pattern taken
};

// The piece that starts at `at`.
Piece next_piece(std::string_view pattern, size_t at) {
  if (pattern[at] != '%') {
    const size_t end = std::min(pattern.find('%', at), pattern.size());
    return {PieceKind::kText, pattern.substr(at, end - at), 0, end - at};
  }
  size_t i = at + 1;
  if (i < pattern.size() && pattern[i] == '%') return {PieceKind::kText, "%", 0, 2};
  size_t width = 0;
  if (i < pattern.size() && pattern[i] == '0') {
    ++i;
    if (i < pattern.size() && pattern[i] >= '1' && pattern[i] <= '9')
      width = size_t(pattern[i++] - '0');
    if (width == 0) return {PieceKind::kInvalid, "a zero flag needs a width of 1 to 9"};
  }
  if (i >= pattern.size()) return {PieceKind::kInvalid, "the pattern ends inside a conversion"};
  if (pattern[i] == 'd') return {PieceKind::kTemporalReference, {}, width, i + 1 - at};
  if (pattern[i] == 'c' && width == 0) return {PieceKind::kField, {}, 0, i + 1 - at};
  return {PieceKind::kInvalid, "only %d, %c and %% are accepted"};
}

// Walks the pattern; `emit` gets every valid piece. Returns what is wrong, or nothing.
template <typename Emit>
std::string walk(std::string_view pattern, Emit&& emit) {
  bool reference_seen = false;
  bool field_seen = false;
  for (size_t at = 0; at < pattern.size();) {
    const Piece piece = next_piece(pattern, at);
    switch (piece.kind) {
      case PieceKind::kInvalid:
        return std::string(piece.text);
      case PieceKind::kTemporalReference:
        if (reference_seen || field_seen) return "%d must come once, before %c";
        reference_seen = true;
        break;
      case PieceKind::kField:
        if (field_seen) return "%c must come once";
        field_seen = true;
        break;
      case PieceKind::kText:
        break;
    }
    emit(piece);
    at += piece.length;
  }
  return {};
}

}  // namespace

std::string lower_layer_pattern_problem(std::string_view pattern) {
  return walk(pattern, [](const Piece&) {});
}

std::optional<std::string> lower_layer_file_name(std::string_view pattern, int temporal_reference,
                                                 char field, std::string_view suffix) {
  std::string name;
  const std::string problem = walk(pattern, [&](const Piece& piece) {
    if (name.size() > kMaxLowerLayerNameLength) return;
    if (piece.kind == PieceKind::kText) {
      name += piece.text;
    } else if (piece.kind == PieceKind::kField) {
      name += field;
    } else {
      const std::string digits = std::to_string(temporal_reference);
      if (digits.size() < piece.width) name.append(piece.width - digits.size(), '0');
      name += digits;
    }
  });
  name += suffix;
  if (!problem.empty() || name.size() > kMaxLowerLayerNameLength) return std::nullopt;
  return name;
}

}  // namespace tavik
