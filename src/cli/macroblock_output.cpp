#include "cli/macroblock_output.h"

#include <array>
#include <cstdio>
#include <string_view>

#include "results/report_files.h"

namespace tavik::cli {

namespace {

constexpr std::array<std::string_view, 6> kCategoryKeys = {
    "intra", "forward", "backward", "bidirectional", "skipped", "not_decoded"};

nlohmann::ordered_json range_json(const VectorRange& range) {
  nlohmann::ordered_json json;
  json["min"] = range.used ? nlohmann::ordered_json(range.used_min) : nullptr;
  json["max"] = range.used ? nlohmann::ordered_json(range.used_max) : nullptr;
  json["allowed_min"] = range.allowed ? nlohmann::ordered_json(range.allowed_min) : nullptr;
  json["allowed_max"] = range.allowed ? nlohmann::ordered_json(range.allowed_max) : nullptr;
  return json;
}

std::string_view structure_key(int picture_structure) {
  return picture_structure == 1 ? "top" : picture_structure == 2 ? "bottom" : "frame";
}

// Calls `each(picture, field_order, address, record)` for every macroblock decoded.
template <typename Each>
void for_each_decoded(const ShownFrame& shown, Each each) {
  for (size_t f = 0; f < shown.pictures.size(); ++f) {
    const PictureMacroblocks& picture = shown.pictures[f].picture;
    for (size_t a = 0; a < picture.records.size(); ++a) {
      const MacroblockRecord& record = picture.records[a];
      if (record.decoded()) each(picture, int(f), int(a), record);
    }
  }
}

constexpr std::string_view kCsvHeader =
    "frame,picture,type,structure,address,column,row,x,y,skipped,intra,forward,backward,"
    "pattern,quant,motion_type,dct_type,quantiser_scale,coded_block_pattern,"
    "forward0_x,forward0_y,forward0_select,forward1_x,forward1_y,forward1_select,"
    "backward0_x,backward0_y,backward0_select,backward1_x,backward1_y,backward1_select,"
    "dmvector_x,dmvector_y,bits,weight_type\n";

}  // namespace

nlohmann::ordered_json statistics_json(const PictureStatistics& stats) {
  nlohmann::ordered_json json;
  json["frame"] = stats.picture;
  json["type"] = std::string(type_letter(uint32_t(stats.picture_coding_type), "non detected"));
  json["structure"] = structure_key(stats.picture_structure);
  json["macroblocks"] = stats.macroblocks;
  for (size_t i = 0; i < kCategoryKeys.size(); ++i) json[kCategoryKeys[i]] = stats.counts[i];
  const bool quantised =
      stats.count(MacroblockCategory::kSkipped) + stats.count(MacroblockCategory::kLost) <
      stats.macroblocks;
  json["quantiser"] = quantised ? nlohmann::ordered_json{{"min", stats.quantiser_min},
                                                         {"max", stats.quantiser_max},
                                                         {"average", stats.quantiser_average}}
                                : nlohmann::ordered_json(nullptr);
  const char* const directions[2] = {"forward", "backward"};
  nlohmann::ordered_json vectors;
  for (int s = 0; s < 2; ++s) {
    vectors[directions[s]] = {{"horizontal", range_json(stats.vectors[s][0])},
                              {"vertical", range_json(stats.vectors[s][1])}};
  }
  json["vectors"] = vectors;
  json["macroblock_bits"] = stats.macroblock_bits;
  json["header_bits"] = stats.header_bits;
  return json;
}

std::string macroblocks_csv_header() {
  return std::string(kCsvHeader);
}

void append_macroblocks_csv(std::string& out, const ShownFrame& shown) {
  for_each_decoded(shown, [&](const PictureMacroblocks& picture, int field_order, int address,
                              const MacroblockRecord& r) {
    const MacroblockBox box = macroblock_box(picture, address, field_order);
    char line[512];
    int n = std::snprintf(
        line, sizeof line, "%lld,%lld,%s,%s,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%s,%d,%d,%d",
        static_cast<long long>(shown.frame), static_cast<long long>(picture.picture),
        std::string(type_letter(uint32_t(picture.picture_coding_type), "non detected")).c_str(),
        std::string(structure_key(picture.picture_structure)).c_str(), address,
        address % picture.mb_columns, address / picture.mb_columns, box.x, box.y,
        r.has(kMbRecordSkipped), r.has(kMbRecordIntra), r.has(kMbRecordForward),
        r.has(kMbRecordBackward), r.has(kMbRecordPattern), r.has(kMbRecordQuant),
        std::string(motion_type_name(picture, r)).c_str(), r.dct_type, r.quantiser_scale,
        r.coded_block_pattern);
    out.append(line, size_t(n));
    for (int s = 0; s < 2; ++s) {
      const int vectors = direction_vectors(picture, r, s);
      for (int v = 0; v < 2; ++v) {
        if (v < vectors) {
          n = std::snprintf(line, sizeof line, ",%d,%d,%d", r.vectors[v][s][0], r.vectors[v][s][1],
                            r.field_select[v][s]);
          out.append(line, size_t(n));
        } else {
          out += ",,,";
        }
      }
    }
    n = std::snprintf(line, sizeof line, ",%d,%d,%u,%d\n", r.dmvector[0], r.dmvector[1], r.bits,
                      r.weight_type);
    out.append(line, size_t(n));
  });
}

void append_macroblocks_json(nlohmann::ordered_json& rows, const ShownFrame& shown) {
  for_each_decoded(shown, [&](const PictureMacroblocks& picture, int field_order, int address,
                              const MacroblockRecord& r) {
    const MacroblockBox box = macroblock_box(picture, address, field_order);
    nlohmann::ordered_json row;
    row["frame"] = shown.frame;
    row["picture"] = picture.picture;
    row["type"] = std::string(type_letter(uint32_t(picture.picture_coding_type), "non detected"));
    row["structure"] = structure_key(picture.picture_structure);
    row["address"] = address;
    row["column"] = address % picture.mb_columns;
    row["row"] = address / picture.mb_columns;
    row["x"] = box.x;
    row["y"] = box.y;
    row["skipped"] = r.has(kMbRecordSkipped);
    row["intra"] = r.has(kMbRecordIntra);
    row["forward"] = r.has(kMbRecordForward);
    row["backward"] = r.has(kMbRecordBackward);
    row["pattern"] = r.has(kMbRecordPattern);
    row["quant"] = r.has(kMbRecordQuant);
    const std::string_view motion = motion_type_name(picture, r);
    row["motion_type"] = motion.empty() ? nlohmann::ordered_json(nullptr) : motion;
    row["dct_type"] = r.dct_type;
    row["quantiser_scale"] = r.quantiser_scale;
    row["coded_block_pattern"] = r.coded_block_pattern;
    const char* const directions[2] = {"forward_vectors", "backward_vectors"};
    for (int s = 0; s < 2; ++s) {
      nlohmann::ordered_json vectors = nlohmann::ordered_json::array();
      for (int v = 0; v < direction_vectors(picture, r, s); ++v) {
        vectors.push_back({{"x", r.vectors[v][s][0]},
                           {"y", r.vectors[v][s][1]},
                           {"select", r.field_select[v][s]}});
      }
      row[directions[s]] = vectors;
    }
    row["dmvector"] = {r.dmvector[0], r.dmvector[1]};
    row["bits"] = r.bits;
    row["weight_type"] = r.weight_type;
    rows.push_back(std::move(row));
  });
}

namespace {

// The statistics types of the YUView file.
enum YuviewType { kTypeMacroblock, kTypeForward, kTypeBackward, kTypeQuantiser, kTypeBits };

}  // namespace

std::string yuview_header(const std::string& input, int width, int height, double frame_rate) {
  char line[1024];
  std::string out = "%;syntax-version;v1.22\n";
  std::snprintf(line, sizeof line, "%%;seq-specs;%s;0;%d;%d;%g\n", input.c_str(), width, height,
                frame_rate);
  out += line;
  // Colours (red, green, blue, alpha) of the categories, as the video window's overlay has them.
  out += "%;type;0;Macroblock type;map\n";
  out += "%;mapColor;0;255;0;0;128\n";      // intra
  out += "%;mapColor;1;0;0;255;128\n";      // forward
  out += "%;mapColor;2;0;160;0;128\n";      // backward
  out += "%;mapColor;3;255;160;0;128\n";    // bidirectional
  out += "%;mapColor;4;128;128;128;128\n";  // skipped
  out += "%;type;1;Forward vector;vector\n";
  out += "%;vectorColor;0;255;255;255\n";
  out += "%;scaleFactor;2\n";
  out += "%;type;2;Backward vector;vector\n";
  out += "%;vectorColor;255;255;0;255\n";
  out += "%;scaleFactor;2\n";
  out += "%;type;3;Quantiser;range\n";
  out += "%;defaultRange;1;112;jet\n";
  out += "%;type;4;Bits;range\n";
  out += "%;defaultRange;0;2000;jet\n";
  return out;
}

void append_yuview(std::string& out, const ShownFrame& shown) {
  for_each_decoded(shown, [&](const PictureMacroblocks& picture, int field_order, int address,
                              const MacroblockRecord& r) {
    const MacroblockBox box = macroblock_box(picture, address, field_order);
    const auto frame = static_cast<long long>(shown.frame);
    char line[256];
    const auto add = [&](int type, int value) {
      const int n = std::snprintf(line, sizeof line, "%lld;%d;%d;16;16;%d;%d\n", frame, box.x,
                                  box.y, type, value);
      out.append(line, size_t(n));
    };
    const auto category = macroblock_category(r, picture.picture_coding_type);
    add(kTypeMacroblock, static_cast<int>(category));
    for (int s = 0; s < 2; ++s) {
      const int vectors = direction_vectors(picture, r, s);
      if (r.has(kMbRecordIntra)) continue;
      // Two vectors share the block: one for each half of it.
      for (int v = 0; v < vectors; ++v) {
        const int height = 16 / vectors;
        const int n =
            std::snprintf(line, sizeof line, "%lld;%d;%d;16;%d;%d;%d;%d\n", frame, box.x,
                          box.y + v * height, height, s == 0 ? kTypeForward : kTypeBackward,
                          r.vectors[v][s][0], frame_vertical(picture, r, r.vectors[v][s][1]));
        out.append(line, size_t(n));
      }
    }
    if (category != MacroblockCategory::kSkipped) add(kTypeQuantiser, r.quantiser_scale);
    add(kTypeBits, int(r.bits));
  });
}

}  // namespace tavik::cli
