// Writes the program's icon: a concrete cross-section on a blue tile, the chloride and carbonation
// front coming in from the exposed face, four bars of which the two in the front have rusted, and
// the crack that the rust has opened up to the surface.
//
// The icon is drawn once per size (so that small sizes stay sharp) with 8 x 8 samples a pixel and
// written as 8-bit RGBA PNG files, pellucor-N.png for N = 16, 24, 32, 48, 64, 128, 256. The PNGs
// are stored without compression (the resource compiler and the package compress them anyway),
// which keeps the writer to a few lines. Deterministic: the same bytes on every build.
// Usage: make_icon OUTPUT_FOLDER
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr std::array<int, 7> kSizes = {16, 24, 32, 48, 64, 128, 256};
constexpr int kSamples = 8;

struct Rgba {
  double r = 0;
  double g = 0;
  double b = 0;
  double a = 0;
};

// Paints `top` (straight colour, coverage `cover`) over `under` (premultiplied).
Rgba over(const Rgba& under, double r, double g, double b, double cover) {
  return {r * cover + under.r * (1 - cover), g * cover + under.g * (1 - cover),
          b * cover + under.b * (1 - cover), cover + under.a * (1 - cover)};
}

double clamp01(double v) {
  return std::clamp(v, 0.0, 1.0);
}

// Signed distance to a rounded rectangle [x0, x1] x [y0, y1] with corner radius rad.
double rounded_rect(double x, double y, double x0, double y0, double x1, double y1, double rad) {
  const double cx = (x0 + x1) / 2;
  const double cy = (y0 + y1) / 2;
  const double qx = std::abs(x - cx) - ((x1 - x0) / 2 - rad);
  const double qy = std::abs(y - cy) - ((y1 - y0) / 2 - rad);
  const double ox = std::max(qx, 0.0);
  const double oy = std::max(qy, 0.0);
  return std::sqrt(ox * ox + oy * oy) + std::min(std::max(qx, qy), 0.0) - rad;
}

double circle(double x, double y, double cx, double cy, double rad) {
  return std::sqrt((x - cx) * (x - cx) + (y - cy) * (y - cy)) - rad;
}

// Distance to the segment (ax, ay)-(bx, by).
double segment(double x, double y, double ax, double ay, double bx, double by) {
  const double vx = bx - ax;
  const double vy = by - ay;
  const double t = clamp01(((x - ax) * vx + (y - ay) * vy) / (vx * vx + vy * vy));
  const double dx = x - (ax + vx * t);
  const double dy = y - (ay + vy * t);
  return std::sqrt(dx * dx + dy * dy);
}

// The crack from the front right bar to the exposed face, as a polyline.
constexpr std::array<std::array<double, 2>, 5> kCrack = {
    {{0.655, 0.345}, {0.690, 0.290}, {0.655, 0.250}, {0.700, 0.205}, {0.680, 0.170}}};

// Colour at a point of the unit square (y downwards), premultiplied.
Rgba shade(double x, double y, int size) {
  Rgba c;
  // Lines never get thinner than about a pixel.
  const double px = 1.0 / size;
  const double tile = rounded_rect(x, y, 0.03, 0.03, 0.97, 0.97, 0.19);
  if (tile > 0) return c;
  // The tile: deep blue, lighter towards the top.
  c = over(c, 0.13 + 0.10 * (1 - y), 0.30 + 0.14 * (1 - y), 0.52 + 0.14 * (1 - y), 1);

  const double section = rounded_rect(x, y, 0.17, 0.17, 0.83, 0.83, 0.035);
  if (section <= 0) {
    // Concrete with a few darker aggregate grains.
    c = over(c, 0.82, 0.81, 0.78, 1);
    if (size >= 48) {
      constexpr std::array<std::array<double, 3>, 7> kGrains = {{{0.26, 0.55, 0.030},
                                                                 {0.50, 0.30, 0.022},
                                                                 {0.47, 0.76, 0.028},
                                                                 {0.75, 0.55, 0.024},
                                                                 {0.28, 0.25, 0.018},
                                                                 {0.52, 0.53, 0.034},
                                                                 {0.74, 0.77, 0.020}}};
      for (const auto& g : kGrains) {
        if (circle(x, y, g[0], g[1], g[2]) <= 0) c = over(c, 0.66, 0.65, 0.62, 1);
      }
    }
    // The front that has come in from the exposed (top) face, slightly wavy.
    const double front = 0.40 + 0.018 * std::sin(x * 31.0);
    if (y < front) c = over(c, 0.93, 0.55, 0.20, 0.55);
    // Four bars; the two in the front are rusted and have a stain around them.
    constexpr std::array<std::array<double, 2>, 4> kBars = {
        {{0.345, 0.38}, {0.655, 0.38}, {0.345, 0.66}, {0.655, 0.66}}};
    for (std::size_t i = 0; i < kBars.size(); ++i) {
      const bool rusted = i < 2;
      const double bx = kBars[i][0];
      const double by = kBars[i][1];
      if (rusted && circle(x, y, bx, by, 0.095) <= 0) c = over(c, 0.62, 0.30, 0.12, 0.45);
      if (circle(x, y, bx, by, 0.07) <= 0) {
        if (rusted) {
          c = over(c, 0.55, 0.22, 0.07, 1);
        } else {
          c = over(c, 0.28, 0.31, 0.36, 1);
        }
      }
      // A highlight on each bar.
      if (circle(x, y, bx - 0.022, by - 0.022, 0.018) <= 0) {
        c = over(c, 1, 1, 1, rusted ? 0.25 : 0.35);
      }
    }
    // The crack.
    double crack = 1;
    for (std::size_t i = 0; i + 1 < kCrack.size(); ++i) {
      crack = std::min(
          crack, segment(x, y, kCrack[i][0], kCrack[i][1], kCrack[i + 1][0], kCrack[i + 1][1]));
    }
    if (crack <= std::max(0.011, 0.6 * px)) c = over(c, 0.20, 0.14, 0.12, 1);
  }
  // A thin dark rim round the section.
  if (std::abs(section) <= std::max(0.008, 0.5 * px)) c = over(c, 0.10, 0.16, 0.26, 0.8);
  return c;
}

std::vector<std::uint8_t> render(int size) {
  std::vector<std::uint8_t> rgba(static_cast<std::size_t>(size) * size * 4);
  for (int py = 0; py < size; ++py) {
    for (int px = 0; px < size; ++px) {
      Rgba sum;
      for (int sy = 0; sy < kSamples; ++sy) {
        for (int sx = 0; sx < kSamples; ++sx) {
          const double x = (px + (sx + 0.5) / kSamples) / size;
          const double y = (py + (sy + 0.5) / kSamples) / size;
          const Rgba s = shade(x, y, size);
          sum.r += s.r;
          sum.g += s.g;
          sum.b += s.b;
          sum.a += s.a;
        }
      }
      constexpr double n = kSamples * kSamples;
      const double a = sum.a / n;
      auto byte = [](double v) {
        return static_cast<std::uint8_t>(std::lround(clamp01(v) * 255.0));
      };
      std::uint8_t* out = &rgba[(static_cast<std::size_t>(py) * size + px) * 4];
      // Back from premultiplied to straight alpha, as PNG keeps it.
      out[0] = a > 0 ? byte(sum.r / n / a) : 0;
      out[1] = a > 0 ? byte(sum.g / n / a) : 0;
      out[2] = a > 0 ? byte(sum.b / n / a) : 0;
      out[3] = byte(a);
    }
  }
  return rgba;
}

std::uint32_t crc32(const std::uint8_t* data, std::size_t n, std::uint32_t crc = 0) {
  crc = ~crc;
  for (std::size_t i = 0; i < n; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

void chunk(std::vector<std::uint8_t>& png, const char* type,
           const std::vector<std::uint8_t>& data) {
  put32(png, static_cast<std::uint32_t>(data.size()));
  std::vector<std::uint8_t> body(type, type + 4);
  body.insert(body.end(), data.begin(), data.end());
  png.insert(png.end(), body.begin(), body.end());
  put32(png, crc32(body.data(), body.size()));
}

std::vector<std::uint8_t> png(int size, const std::vector<std::uint8_t>& rgba) {
  std::vector<std::uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<std::uint8_t> header;
  put32(header, static_cast<std::uint32_t>(size));
  put32(header, static_cast<std::uint32_t>(size));
  header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA, deflate, no filter, no interlace
  chunk(out, "IHDR", header);

  // Scanlines with filter type 0, in a zlib stream of stored blocks.
  std::vector<std::uint8_t> raw;
  const std::size_t row = static_cast<std::size_t>(size) * 4;
  for (int y = 0; y < size; ++y) {
    raw.push_back(0);
    raw.insert(raw.end(), rgba.begin() + static_cast<std::ptrdiff_t>(y * row),
               rgba.begin() + static_cast<std::ptrdiff_t>((y + 1) * row));
  }
  std::vector<std::uint8_t> z = {0x78, 0x01};
  std::size_t at = 0;
  do {
    const std::size_t len = std::min<std::size_t>(raw.size() - at, 65535);
    const bool last = at + len == raw.size();
    z.push_back(last ? 1 : 0);
    z.push_back(static_cast<std::uint8_t>(len & 0xFF));
    z.push_back(static_cast<std::uint8_t>(len >> 8));
    z.push_back(static_cast<std::uint8_t>(~len & 0xFF));
    z.push_back(static_cast<std::uint8_t>((~len >> 8) & 0xFF));
    z.insert(z.end(), raw.begin() + static_cast<std::ptrdiff_t>(at),
             raw.begin() + static_cast<std::ptrdiff_t>(at + len));
    at += len;
  } while (at < raw.size());
  std::uint32_t a = 1;
  std::uint32_t b = 0;
  for (const std::uint8_t v : raw) {
    a = (a + v) % 65521;
    b = (b + a) % 65521;
  }
  put32(z, (b << 16) | a);
  chunk(out, "IDAT", z);
  chunk(out, "IEND", {});
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make_icon OUTPUT_FOLDER\n";
    return 1;
  }
  const std::string folder = argv[1];
  for (const int size : kSizes) {
    const std::string path = folder + "/pellucor-" + std::to_string(size) + ".png";
    const std::vector<std::uint8_t> bytes = png(size, render(size));
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    if (!file) {
      std::cerr << "make_icon: cannot write " << path << "\n";
      return 1;
    }
  }
  return 0;
}
