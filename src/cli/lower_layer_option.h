#pragma once

#include <string>

namespace CLI {
class App;
}

namespace tavik::cli {

// --lower-layer PATTERN: the file names of the lower layer of spatially scalable pictures,
// checked when the command line is parsed.
void add_lower_layer_option(CLI::App& command, std::string& pattern);

}  // namespace tavik::cli
