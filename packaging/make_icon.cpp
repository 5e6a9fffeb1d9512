// Draws the program's icon, a Bytes/frame chart in small (I, P and B bars over a baseline), as
// an SVG and as a 48x48 PNG from one list of shapes. Run at build time.
#include <png.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kSize = 48;
constexpr int kSamples = 4;  // per pixel and axis, for smooth edges

struct Colour {
  uint8_t r, g, b;
};

// A rectangle with rounded corners (radius 0: square ones), in icon units.
struct Shape {
  double x, y, width, height, radius;
  Colour colour;
};

constexpr Colour kFrame{0x40, 0x40, 0x40};
constexpr Colour kPaper{0xF4, 0xF4, 0xF4};
constexpr Colour kBlue{0x00, 0x00, 0xFF};   // I frames, as the chart paints them
constexpr Colour kRed{0xFF, 0x00, 0x00};    // P frames
constexpr Colour kGreen{0x00, 0x80, 0x00};  // B frames
constexpr Colour kAxis{0x00, 0x00, 0x00};

std::vector<Shape> icon_shapes() {
  std::vector<Shape> shapes = {{2, 2, 44, 44, 7, kFrame}, {4, 4, 40, 40, 5, kPaper}};
  constexpr double kBase = 39;
  const std::array<std::pair<double, Colour>, 6> bars = {
      {{29, kBlue}, {9, kGreen}, {11, kGreen}, {19, kRed}, {10, kGreen}, {8, kGreen}}};
  double x = 8;
  for (const auto& [height, colour] : bars) {
    shapes.push_back({x, kBase - height, 4, height, 0, colour});
    x += 5.5;
  }
  shapes.push_back({7, kBase, 34, 1.5, 0, kAxis});
  return shapes;
}

bool inside(const Shape& s, double px, double py) {
  if (px < s.x || py < s.y || px >= s.x + s.width || py >= s.y + s.height) return false;
  // Outside the corner circles only in the corner squares.
  const double cx = px < s.x + s.radius             ? s.x + s.radius
                    : px > s.x + s.width - s.radius ? s.x + s.width - s.radius
                                                    : px;
  const double cy = py < s.y + s.radius              ? s.y + s.radius
                    : py > s.y + s.height - s.radius ? s.y + s.height - s.radius
                                                     : py;
  return (px - cx) * (px - cx) + (py - cy) * (py - cy) <= s.radius * s.radius;
}

std::string hex(Colour c) {
  char text[8];
  std::snprintf(text, sizeof text, "#%02X%02X%02X", c.r, c.g, c.b);
  return text;
}

bool write_svg(const std::string& path, const std::vector<Shape>& shapes) {
  std::ofstream out(path);
  out << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << kSize << "\" height=\"" << kSize
      << "\" viewBox=\"0 0 " << kSize << " " << kSize << "\">\n";
  for (const Shape& s : shapes) {
    out << "  <rect x=\"" << s.x << "\" y=\"" << s.y << "\" width=\"" << s.width << "\" height=\""
        << s.height << "\"";
    if (s.radius > 0) out << " rx=\"" << s.radius << "\"";
    out << " fill=\"" << hex(s.colour) << "\"/>\n";
  }
  out << "</svg>\n";
  return bool(out);
}

// Each pixel is the mean of its samples, each sample the colour of the topmost shape there
// (transparent outside every shape).
std::vector<uint8_t> raster(const std::vector<Shape>& shapes) {
  std::vector<uint8_t> rgba(size_t(kSize) * kSize * 4);
  for (int y = 0; y < kSize; ++y) {
    for (int x = 0; x < kSize; ++x) {
      std::array<int, 4> sum{};
      for (int sy = 0; sy < kSamples; ++sy) {
        for (int sx = 0; sx < kSamples; ++sx) {
          const double px = x + (sx + 0.5) / kSamples;
          const double py = y + (sy + 0.5) / kSamples;
          for (auto s = shapes.rbegin(); s != shapes.rend(); ++s) {
            if (!inside(*s, px, py)) continue;
            sum[0] += s->colour.r;
            sum[1] += s->colour.g;
            sum[2] += s->colour.b;
            sum[3] += 255;
            break;
          }
        }
      }
      uint8_t* pixel = &rgba[(size_t(y) * kSize + size_t(x)) * 4];
      const int covered = sum[3] / 255;
      for (int c = 0; c < 3; ++c) pixel[c] = uint8_t(covered == 0 ? 0 : sum[c] / covered);
      pixel[3] = uint8_t(sum[3] / (kSamples * kSamples));
    }
  }
  return rgba;
}

bool write_png(const std::string& path, const std::vector<uint8_t>& rgba) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, kSize, kSize, 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < kSize; ++y) png_write_row(png, &rgba[size_t(y) * kSize * 4]);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return std::fclose(file) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_icon OUT.svg OUT.png\n");
    return 2;
  }
  const std::vector<Shape> shapes = icon_shapes();
  if (!write_svg(argv[1], shapes) || !write_png(argv[2], raster(shapes))) {
    std::fprintf(stderr, "make_icon: cannot write the icon\n");
    return 1;
  }
  return 0;
}
