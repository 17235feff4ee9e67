// Writes the main window's background picture: the soffit of a reinforced-concrete floor seen
// from below, three beams running away from the viewer with rust stains, spalls and cracks along
// their bars, and the program's title lettered in red across the lower part.
//
// The picture is a 1022 x 764 uncompressed 24-bit bottom-up BMP. The program is deterministic: it
// uses integer hashing for its noise and only +, -, *, / and sqrt on doubles, so every build writes
// the same bytes. Usage: make_background OUTPUT.bmp
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 1022;
constexpr int kHeight = 764;

struct Rgb {
  double r = 0;
  double g = 0;
  double b = 0;
};

Rgb mix(const Rgb& a, const Rgb& b, double t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}
Rgb scale(const Rgb& a, double f) {
  return {a.r * f, a.g * f, a.b * f};
}

double clamp01(double v) {
  return std::clamp(v, 0.0, 1.0);
}
double smoothstep(double e0, double e1, double x) {
  const double t = clamp01((x - e0) / (e1 - e0));
  return t * t * (3.0 - 2.0 * t);
}

// Integer hash of a lattice point and a seed, mapped to [0, 1).
double hash01(std::int64_t x, std::int64_t y, std::uint32_t seed) {
  std::uint32_t h = seed * 0x9E3779B9u;
  h ^= static_cast<std::uint32_t>(x) * 0x85EBCA6Bu;
  h = (h << 13) | (h >> 19);
  h ^= static_cast<std::uint32_t>(y) * 0xC2B2AE35u;
  h ^= h >> 16;
  h *= 0x7FEB352Du;
  h ^= h >> 15;
  h *= 0x846CA68Bu;
  h ^= h >> 16;
  return static_cast<double>(h >> 8) / static_cast<double>(1u << 24);
}

// Smoothly interpolated lattice noise in [0, 1).
double value_noise(double x, double y, std::uint32_t seed) {
  const double fx = std::floor(x);
  const double fy = std::floor(y);
  const auto ix = static_cast<std::int64_t>(fx);
  const auto iy = static_cast<std::int64_t>(fy);
  const double tx = x - fx;
  const double ty = y - fy;
  const double sx = tx * tx * (3.0 - 2.0 * tx);
  const double sy = ty * ty * (3.0 - 2.0 * ty);
  const double a = hash01(ix, iy, seed);
  const double b = hash01(ix + 1, iy, seed);
  const double c = hash01(ix, iy + 1, seed);
  const double d = hash01(ix + 1, iy + 1, seed);
  return (a + (b - a) * sx) + ((c + (d - c) * sx) - (a + (b - a) * sx)) * sy;
}

// Five octaves of value noise, in [0, 1).
double fbm(double x, double y, std::uint32_t seed) {
  double sum = 0;
  double amplitude = 0.5;
  double norm = 0;
  for (int octave = 0; octave < 5; ++octave) {
    sum += amplitude * value_noise(x, y, seed + static_cast<std::uint32_t>(octave) * 101u);
    norm += amplitude;
    x *= 2.03;
    y *= 2.03;
    amplitude *= 0.5;
  }
  return sum / norm;
}

// ---------------------------------------------------------------------------------------------
// The concrete soffit in a one-point perspective: the floor runs away from the viewer towards a
// vanishing point above the picture. u is the lateral position on the soffit, z the distance.

constexpr double kVanishX = kWidth / 2.0;
constexpr double kVanishY = -700.0;
constexpr double kLateralScale = 4.0;

constexpr std::array<double, 3> kBeams = {-1.75, 0.0, 1.75};
constexpr double kBeamHalfWidth = 0.26;
constexpr double kBarOffset = 0.15;  // bars at +-kBarOffset from the beam's axis

const Rgb kConcrete{158, 155, 146};
const Rgb kConcreteDark{104, 102, 97};
const Rgb kRust{156, 78, 30};
const Rgb kRustDark{88, 42, 18};
const Rgb kBar{70, 34, 20};

// Concrete surface colour with its mottling and pores at soffit coordinates (u, z).
Rgb concrete(double u, double z, double brightness, std::uint32_t seed) {
  const double mottle = fbm(u * 9.0, z * 9.0, seed);
  Rgb c = mix(kConcreteDark, kConcrete, 0.35 + 0.65 * mottle);
  const double grain = hash01(static_cast<std::int64_t>(std::floor(u * 400.0)),
                              static_cast<std::int64_t>(std::floor(z * 400.0)), seed + 7u);
  c = scale(c, 0.93 + 0.1 * grain);
  const double pore = value_noise(u * 120.0, z * 120.0, seed + 13u);
  if (pore > 0.93) c = scale(c, 0.72);
  return scale(c, brightness);
}

// Rust stain strength (0..1) around a bar line at lateral distance du, position z along the beam.
double rust_along_bar(double du, double z, std::uint32_t seed) {
  const double corroded = smoothstep(0.43, 0.64, fbm(3.0, z * 2.2, seed));
  if (corroded <= 0) return 0;
  const double spread = 0.03 + 0.1 * fbm(du * 20.0, z * 14.0, seed + 3u);
  const double falloff = 1.0 - smoothstep(spread * 0.4, spread, std::abs(du));
  const double blotch = fbm(du * 30.0, z * 30.0, seed + 5u);
  return clamp01(corroded * falloff * (0.55 + 0.8 * blotch));
}

Rgb soffit(int px, int py) {
  const double d = static_cast<double>(py) - kVanishY;
  const double u = (static_cast<double>(px) - kVanishX) / d * kLateralScale;
  const double z = 900.0 / d;
  // Light falls from the lower edge of the picture, the far end is dimmer.
  const double light = 0.62 + 0.42 * (static_cast<double>(py) / kHeight);

  for (std::size_t i = 0; i < kBeams.size(); ++i) {
    const double b = kBeams[i];
    const auto seed = static_cast<std::uint32_t>(1000 + 17 * i);
    const double du = u - b;
    if (std::abs(du) <= kBeamHalfWidth) {
      // Bottom face of the beam: the brightest surface.
      Rgb c = concrete(u, z, light * 1.08, seed);
      for (const double bar : {-kBarOffset, kBarOffset}) {
        const double off = du - bar;
        const auto barSeed = seed + (bar < 0 ? 11u : 29u);
        const double rust = rust_along_bar(off, z, barSeed);
        c = mix(c, mix(kRust, kRustDark, fbm(u * 40.0, z * 40.0, barSeed + 1u)),
                rust * 0.85 * light);
        // Longitudinal crack that wanders along the bar.
        const double wander = (fbm(1.0, z * 6.0, barSeed + 2u) - 0.5) * 0.03;
        const double crackWidth = 0.004 + 0.004 * rust;
        const double crack = 1.0 - smoothstep(crackWidth * 0.5, crackWidth, std::abs(off - wander));
        c = mix(c, scale(kRustDark, 0.45), crack * smoothstep(0.3, 0.6, rust + 0.25));
        // Spalls where the rust is heaviest: the corroded bar shows, with its ribs.
        if (rust > 0.82 && std::abs(off) < 0.045) {
          const double across = std::abs(off) / 0.045;
          const double rib = z * 160.0 - std::floor(z * 160.0);
          const double ribShade = rib < 0.3 ? 0.75 : 1.0;
          c = scale(kBar, (1.25 - 0.6 * across * across) * ribShade * light);
        }
      }
      return c;
    }
    // The side of the beam that faces the middle of the picture is seen in the shadow.
    const double edge = b + (b < 0 ? kBeamHalfWidth : (b > 0 ? -kBeamHalfWidth : 0.0));
    if (b != 0) {
      const double sideWidth = 0.12 + 0.11 * std::abs(b);
      const double into = b < 0 ? u - edge : edge - u;
      if (into > 0 && into < sideWidth) {
        const double t = into / sideWidth;
        Rgb c = concrete(u * 0.5, z, light * (0.62 + 0.12 * t), seed + 3u);
        // Rust washed down the side from the bars.
        const double streakCell = std::floor(z * 55.0);
        const double streak = hash01(static_cast<std::int64_t>(streakCell), 7, seed + 9u);
        if (streak > 0.86) {
          const double along = clamp01(1.0 - t * 1.4);
          c = mix(c, kRustDark, 0.55 * along * light);
        }
        return c;
      }
    }
  }
  // The slab between the beams, darker because the beams shade it, with formwork joints.
  Rgb c = concrete(u, z, light * 0.8, 77u);
  const double boardPos = z * 26.0;
  const double joint = boardPos - std::floor(boardPos);
  if (joint < 0.035) c = scale(c, 0.8);
  // A few damp rust patches on the slab.
  const double damp = smoothstep(0.66, 0.8, fbm(u * 2.5, z * 5.0, 91u));
  c = mix(c, kRustDark, damp * 0.45);
  return c;
}

// ---------------------------------------------------------------------------------------------
// The title in a simple stroke font. Glyph coordinates: baseline at y 0, x-height 6.5, cap and
// ascender height 10, y pointing up; each glyph is a list of polylines.

struct Point {
  double x = 0;
  double y = 0;
};
using Polyline = std::vector<Point>;
struct Glyph {
  double width = 0;
  std::vector<Polyline> strokes;
};

const Polyline kBowlC = {{5.5, 5.3}, {4.8, 6.0}, {3.5, 6.5}, {2.0, 6.5}, {0.7, 6.0}, {0.0, 4.5},
                         {0.0, 2.0}, {0.7, 0.5}, {2.0, 0.0}, {3.5, 0.0}, {4.8, 0.5}, {5.5, 1.2}};

Glyph glyph(char ch) {
  switch (ch) {
    case 'P':
      return {6.0,
              {{{0, 0}, {0, 10}},
               {{0, 10}, {4, 10}, {5.4, 9.3}, {6, 7.8}, {6, 7.2}, {5.4, 5.7}, {4, 5}, {0, 5}}}};
    case 'e':
      return {5.5,
              {{{0.2, 3.4},
                {5.5, 3.4},
                {5.5, 4.5},
                {4.8, 6.0},
                {3.5, 6.5},
                {2.0, 6.5},
                {0.7, 6.0},
                {0.0, 4.5},
                {0.0, 2.0},
                {0.7, 0.5},
                {2.0, 0.0},
                {3.5, 0.0},
                {4.8, 0.4},
                {5.5, 1.1}}}};
    case 'l':
      return {0.0, {{{0, 0}, {0, 10}}}};
    case 'u':
      return {5.5,
              {{{0, 6.5}, {0, 2.0}, {0.7, 0.5}, {2.0, 0.0}, {3.5, 0.0}, {4.8, 0.5}, {5.5, 2.0}},
               {{5.5, 6.5}, {5.5, 0}}}};
    case 'c':
      return {5.5, {kBowlC}};
    case 'o':
      return {5.5,
              {{{2.0, 0.0},
                {3.5, 0.0},
                {4.8, 0.5},
                {5.5, 2.0},
                {5.5, 4.5},
                {4.8, 6.0},
                {3.5, 6.5},
                {2.0, 6.5},
                {0.7, 6.0},
                {0.0, 4.5},
                {0.0, 2.0},
                {0.7, 0.5},
                {2.0, 0.0}}}};
    case 'r':
      return {4.3,
              {{{0, 0}, {0, 6.5}}, {{0, 4.0}, {0.8, 5.6}, {2.0, 6.4}, {3.3, 6.5}, {4.3, 6.2}}}};
    default:
      return {4.0, {}};
  }
}

struct Segment {
  Point a;
  Point b;
};

double distance_to_segment(const Segment& s, double x, double y) {
  const double vx = s.b.x - s.a.x;
  const double vy = s.b.y - s.a.y;
  const double wx = x - s.a.x;
  const double wy = y - s.a.y;
  const double len2 = vx * vx + vy * vy;
  const double t = len2 > 0 ? clamp01((wx * vx + wy * vy) / len2) : 0.0;
  const double dx = wx - t * vx;
  const double dy = wy - t * vy;
  return std::sqrt(dx * dx + dy * dy);
}

// The title's strokes in picture pixels, centred on centreX.
std::vector<Segment> title_segments(const std::string& text, double unit, double centreX,
                                    double baseline) {
  constexpr double kGap = 3.4;
  double total = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    total += glyph(text[i]).width + (i + 1 < text.size() ? kGap : 0.0);
  }
  double pen = centreX - total * unit / 2.0;
  std::vector<Segment> out;
  for (const char ch : text) {
    const Glyph g = glyph(ch);
    for (const auto& line : g.strokes) {
      for (std::size_t k = 1; k < line.size(); ++k) {
        out.push_back({{pen + line[k - 1].x * unit, baseline - line[k - 1].y * unit},
                       {pen + line[k].x * unit, baseline - line[k].y * unit}});
      }
    }
    pen += (g.width + kGap) * unit;
  }
  return out;
}

double nearest(const std::vector<Segment>& segments, double x, double y) {
  double best = 1e300;
  for (const auto& s : segments) best = std::min(best, distance_to_segment(s, x, y));
  return best;
}

void letter_title(std::vector<Rgb>& image) {
  // Centred in the main window's design client area (748 x 621), so that the whole title shows
  // when the window has its design size.
  constexpr double kUnit = 11.0;
  constexpr double kCentreX = 374.0;
  constexpr double kBaseline = 580.0;
  constexpr double kHalfStroke = 9.0;
  constexpr double kShadowX = 6.0;
  constexpr double kShadowY = 6.0;
  const auto segments = title_segments("Pellucor", kUnit, kCentreX, kBaseline);
  const Rgb red{214, 26, 22};
  const Rgb redLight{246, 84, 64};
  const Rgb shadow{24, 12, 10};
  for (int y = 0; y < kHeight; ++y) {
    if (y < kBaseline - 10.0 * kUnit - 2 * kHalfStroke ||
        y > kBaseline + 2 * kHalfStroke + kShadowY)
      continue;
    for (int x = 0; x < kWidth; ++x) {
      const double cx = x + 0.5;
      const double cy = y + 0.5;
      Rgb& px = image[static_cast<std::size_t>(y) * kWidth + static_cast<std::size_t>(x)];
      const double ds = nearest(segments, cx - kShadowX, cy - kShadowY);
      px = mix(px, shadow, 0.6 * clamp01(kHalfStroke + 0.5 - ds));
      const double d = nearest(segments, cx, cy);
      const double cover = clamp01(kHalfStroke + 0.5 - d);
      if (cover <= 0) continue;
      // Brighter along the middle of a stroke, as if the paint were raised.
      const Rgb paint = mix(red, redLight, 0.45 * clamp01(1.0 - d / kHalfStroke));
      px = mix(px, paint, cover);
    }
  }
}

// ---------------------------------------------------------------------------------------------

void put16(std::vector<unsigned char>& out, std::uint16_t v) {
  out.push_back(static_cast<unsigned char>(v & 0xFF));
  out.push_back(static_cast<unsigned char>(v >> 8));
}
void put32(std::vector<unsigned char>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>((v >> (8 * i)) & 0xFF));
}

unsigned char channel(double v) {
  const double c = std::clamp(v, 0.0, 255.0);
  return static_cast<unsigned char>(std::lround(c));
}

std::vector<unsigned char> encode_bmp(const std::vector<Rgb>& image) {
  const std::uint32_t rowBytes = (kWidth * 3 + 3) / 4 * 4;
  const std::uint32_t pixelBytes = rowBytes * kHeight;
  const std::uint32_t offset = 14 + 40;
  std::vector<unsigned char> out;
  out.reserve(offset + pixelBytes);
  out.push_back('B');
  out.push_back('M');
  put32(out, offset + pixelBytes);  // file size
  put32(out, 0);                    // reserved
  put32(out, offset);               // pixel data offset
  put32(out, 40);                   // info header size
  put32(out, kWidth);
  put32(out, kHeight);  // positive: rows bottom-up
  put16(out, 1);        // planes
  put16(out, 24);       // bits per pixel
  put32(out, 0);        // no compression
  put32(out, pixelBytes);
  put32(out, 3780);  // 96 dpi in pixels per metre
  put32(out, 3780);
  put32(out, 0);  // palette size
  put32(out, 0);  // important colours
  for (int y = kHeight - 1; y >= 0; --y) {
    const std::size_t start = out.size();
    for (int x = 0; x < kWidth; ++x) {
      const Rgb& p = image[static_cast<std::size_t>(y) * kWidth + static_cast<std::size_t>(x)];
      out.push_back(channel(p.b));
      out.push_back(channel(p.g));
      out.push_back(channel(p.r));
    }
    while (out.size() - start < rowBytes) out.push_back(0);
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make_background OUTPUT.bmp\n";
    return 1;
  }
  std::vector<Rgb> image(static_cast<std::size_t>(kWidth) * kHeight);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      image[static_cast<std::size_t>(y) * kWidth + static_cast<std::size_t>(x)] = soffit(x, y);
    }
  }
  letter_title(image);
  const auto bytes = encode_bmp(image);
  std::ofstream file(argv[1], std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  file.close();
  if (!file) {
    std::cerr << "make_background: cannot write " << argv[1] << "\n";
    return 1;
  }
  return 0;
}
