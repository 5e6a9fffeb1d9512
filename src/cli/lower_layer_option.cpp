#include "cli/lower_layer_option.h"

#include <CLI/CLI.hpp>

#include "decoder/scalable/lower_layer_name.h"

namespace tavik::cli {

void add_lower_layer_option(CLI::App& command, std::string& pattern) {
  command
      .add_option("--lower-layer", pattern,
                  "Spatially scalable streams: the lower layer's decoded fields, one raw file "
                  "per field and component, named by this pattern with %d the lower layer's "
                  "temporal reference (%03d: zero-padded), %c the field (a, b), and .Y, .U or "
                  ".V appended (e.g. base_%d%c reads base_4a.Y)")
      ->type_name("PATTERN")
      ->check(CLI::Validator(
          [](const std::string& value) {
            const std::string problem = lower_layer_pattern_problem(value);
            return problem.empty() ? std::string() : "invalid pattern: " + problem;
          },
          "PATTERN"));
}

}  // namespace tavik::cli
