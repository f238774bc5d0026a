// Writes the demo's three pictures: SKY.PCX (640 x 200 sky with layered
// clouds) and LOGO1.PCX / LOGO2.PCX (264 x 40 lettering with outline and
// shadow, colour 0 where the sky shows through). All three share one palette
// in entries 10..245, so whichever file is loaded last leaves every picture's
// colours right. Only integer arithmetic and basic floating-point operations
// are used (no library maths), so the bytes are the same on every build.
//
//   scaling-scrolling-picgen OUTPUT_DIR
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "demo/geometry.h"
#include "pcx_writer.h"

namespace {

// The sizes the demo reads its pictures at.
constexpr int kSkyWidth = kSkyColumns;
constexpr int kSkyHeight = kSkyRows;

// Palette layout. The sky is a grid of gradient steps by cloud cover: entry
// kSkyFirst + step * kCoverLevels + cover.
constexpr int kSkyFirst = 10;
constexpr int kGradientSteps = 16;
constexpr int kCoverLevels = 12;
constexpr int kOutline = kSkyFirst + kGradientSteps * kCoverLevels;  // 202
constexpr int kShadow = kOutline + 1;
constexpr int kGoldFirst = kShadow + 1;  // 204..223
constexpr int kRampLength = 20;
constexpr int kIceFirst = kGoldFirst + kRampLength;  // 224..243
constexpr int kHighlight = kIceFirst + kRampLength;  // 244
constexpr int kLastUsed = kHighlight + 1;            // 245
static_assert(kLastUsed == 245, "the pictures use entries 10..245 exactly");

struct Rgb {
    double r, g, b;
};

Rgb mix(const Rgb& a, const Rgb& b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

uint8_t to_byte(double v) {
    if (v <= 0.0) return 0;
    if (v >= 255.0) return 255;
    return static_cast<uint8_t>(std::lround(v));
}

// Sky colour at height t (0 = top, 1 = horizon).
Rgb sky_colour(double t) {
    const Rgb zenith{22, 56, 148};
    const Rgb middle{86, 150, 222};
    const Rgb horizon{232, 226, 228};
    if (t < 0.6) return mix(zenith, middle, t / 0.6);
    return mix(middle, horizon, (t - 0.6) / 0.4);
}

// Cloud colour at height t: cool white high up, warm white near the horizon.
Rgb cloud_colour(double t) { return mix(Rgb{246, 250, 255}, Rgb{255, 244, 236}, t); }

void set_entry(std::vector<uint8_t>& palette, int index, const Rgb& c) {
    palette[index * 3 + 0] = to_byte(c.r);
    palette[index * 3 + 1] = to_byte(c.g);
    palette[index * 3 + 2] = to_byte(c.b);
}

std::vector<uint8_t> build_palette() {
    std::vector<uint8_t> palette(768, 0);
    for (int step = 0; step < kGradientSteps; ++step) {
        const double t = static_cast<double>(step) / (kGradientSteps - 1);
        for (int cover = 0; cover < kCoverLevels; ++cover) {
            const double a = static_cast<double>(cover) / (kCoverLevels - 1);
            set_entry(palette, kSkyFirst + step * kCoverLevels + cover, mix(sky_colour(t), cloud_colour(t), a));
        }
    }
    set_entry(palette, kOutline, Rgb{16, 20, 52});
    set_entry(palette, kShadow, Rgb{8, 14, 42});
    for (int i = 0; i < kRampLength; ++i) {
        const double t = static_cast<double>(i) / (kRampLength - 1);
        // Gold: pale yellow at the top of a letter to deep orange at its foot.
        set_entry(palette, kGoldFirst + i,
                  t < 0.5 ? mix(Rgb{255, 246, 160}, Rgb{255, 200, 40}, t / 0.5)
                          : mix(Rgb{255, 200, 40}, Rgb{222, 96, 18}, (t - 0.5) / 0.5));
        // Ice: white at the top to a strong cyan-blue at the foot.
        set_entry(palette, kIceFirst + i,
                  t < 0.5 ? mix(Rgb{250, 255, 255}, Rgb{120, 226, 255}, t / 0.5)
                          : mix(Rgb{120, 226, 255}, Rgb{30, 120, 220}, (t - 0.5) / 0.5));
    }
    set_entry(palette, kHighlight, Rgb{255, 255, 255});
    set_entry(palette, kLastUsed, Rgb{200, 60, 90});
    return palette;
}

// 4 x 4 ordered-dither thresholds in [0, 1).
double bayer(int x, int y) {
    static const int kMatrix[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    return (kMatrix[y & 3][x & 3] + 0.5) / 16.0;
}

// Lattice hash to [0, 1).
double hash(int x, int y, uint32_t seed) {
    uint32_t h = static_cast<uint32_t>(x) * 0x8da6b343u ^ static_cast<uint32_t>(y) * 0xd8163841u ^ seed * 0xcb1ab31fu;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    return (h & 0xffffff) / 16777216.0;
}

double smooth(double t) { return t * t * (3.0 - 2.0 * t); }

int floor_int(double v) {
    const int i = static_cast<int>(v);
    return (v < i) ? i - 1 : i;
}

double value_noise(double x, double y, uint32_t seed) {
    const int x0 = floor_int(x);
    const int y0 = floor_int(y);
    const double fx = smooth(x - x0);
    const double fy = smooth(y - y0);
    const double top = hash(x0, y0, seed) + (hash(x0 + 1, y0, seed) - hash(x0, y0, seed)) * fx;
    const double bottom = hash(x0, y0 + 1, seed) + (hash(x0 + 1, y0 + 1, seed) - hash(x0, y0 + 1, seed)) * fx;
    return top + (bottom - top) * fy;
}

// Fractal noise: five octaves, each twice as fine and half as strong.
double fractal(double x, double y, uint32_t seed) {
    double sum = 0.0;
    double weight = 0.5;
    double total = 0.0;
    for (int octave = 0; octave < 5; ++octave) {
        sum += value_noise(x, y, seed + octave) * weight;
        total += weight;
        x *= 2.0;
        y *= 2.0;
        weight *= 0.5;
    }
    return sum / total;
}

double smooth_step(double edge0, double edge1, double v) {
    if (v <= edge0) return 0.0;
    if (v >= edge1) return 1.0;
    return smooth((v - edge0) / (edge1 - edge0));
}

struct CloudLayer {
    double centre;     // row of the layer's middle
    double half_span;  // rows from the middle to where the layer fades out
    double scale_x;    // pixels per noise cell
    double scale_y;
    double threshold;  // noise value where the cloud begins
    double softness;   // noise range over which it thickens
    double opacity;    // cover where it is thickest
    uint32_t seed;
};

// Far to near: thin high streaks, a middle band, big soft clouds low down.
const CloudLayer kLayers[] = {
    {34, 34, 150, 10, 0.50, 0.22, 0.55, 11},
    {96, 40, 80, 22, 0.52, 0.20, 0.80, 23},
    {164, 50, 56, 30, 0.50, 0.18, 0.97, 37},
};

double cloud_cover(int x, int y) {
    double clear = 1.0;
    for (const CloudLayer& layer : kLayers) {
        const double d = (y - layer.centre) / layer.half_span;
        const double envelope = 1.0 - d * d;
        if (envelope <= 0.0) continue;
        const double n = fractal(x / layer.scale_x, y / layer.scale_y, layer.seed);
        const double cover =
            smooth_step(layer.threshold, layer.threshold + layer.softness, n) * smooth(envelope) * layer.opacity;
        clear *= 1.0 - cover;
    }
    return 1.0 - clear;
}

pcxwrite::Picture build_sky(const std::vector<uint8_t>& palette) {
    pcxwrite::Picture sky;
    sky.width = kSkyWidth;
    sky.height = kSkyHeight;
    sky.palette = palette;
    sky.indices.resize(static_cast<size_t>(kSkyWidth) * kSkyHeight);
    for (int y = 0; y < kSkyHeight; ++y) {
        for (int x = 0; x < kSkyWidth; ++x) {
            const double gradient = static_cast<double>(y) / (kSkyHeight - 1) * (kGradientSteps - 1);
            const double cover = cloud_cover(x, y) * (kCoverLevels - 1);
            int step = floor_int(gradient + bayer(x, y));
            int level = floor_int(cover + bayer(x + 2, y + 1));
            if (step > kGradientSteps - 1) step = kGradientSteps - 1;
            if (level > kCoverLevels - 1) level = kCoverLevels - 1;
            sky.indices[static_cast<size_t>(y) * kSkyWidth + x] =
                static_cast<uint8_t>(kSkyFirst + step * kCoverLevels + level);
        }
    }
    return sky;
}

// A hand-drawn 5 x 7 capital font, just the letters the logos need.
struct Glyph {
    char letter;
    const char* rows[7];
};
const Glyph kFont[] = {
    {'A', {".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    {'C', {".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."}},
    {'G', {".###.", "#...#", "#....", "#.###", "#...#", "#...#", ".####"}},
    {'I', {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "#####"}},
    {'L', {"#....", "#....", "#....", "#....", "#....", "#....", "#####"}},
    {'N', {"#...#", "##..#", "##..#", "#.#.#", "#..##", "#..##", "#...#"}},
    {'O', {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
    {'R', {"####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"}},
    {'S', {".####", "#....", "#....", ".###.", "....#", "....#", "####."}},
};

const Glyph* find_glyph(char letter) {
    for (const Glyph& glyph : kFont) {
        if (glyph.letter == letter) return &glyph;
    }
    return nullptr;
}

constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 7;
constexpr int kCell = 4;  // pixels per font dot
constexpr int kOutlineWidth = 2;
constexpr int kShadowOffset = 3;

// Letter mask of a word at kCell pixels per dot, centred in the logo. Dots
// that touch only diagonally are joined by a filled triangle in the empty
// cell between them, and lone outer corners lose their corner pixel, which
// turns the blocky dots into strokes.
std::vector<uint8_t> letter_mask(const std::string& word) {
    std::vector<uint8_t> mask(static_cast<size_t>(kLogoWidth) * kLogoHeight, 0);
    const int dots_wide = static_cast<int>(word.size()) * (kGlyphWidth + 1) - 1;
    const int left = (kLogoWidth - dots_wide * kCell) / 2 - 1;
    const int top = (kLogoHeight - kGlyphHeight * kCell - kShadowOffset) / 2;
    for (size_t i = 0; i < word.size(); ++i) {
        const Glyph* glyph = find_glyph(word[i]);
        if (glyph == nullptr) continue;
        auto dot = [glyph](int c, int r) {
            return c >= 0 && c < kGlyphWidth && r >= 0 && r < kGlyphHeight && glyph->rows[r][c] == '#';
        };
        for (int r = 0; r < kGlyphHeight; ++r) {
            for (int c = 0; c < kGlyphWidth; ++c) {
                const bool filled = dot(c, r);
                const int x0 = left + (static_cast<int>(i) * (kGlyphWidth + 1) + c) * kCell;
                const int y0 = top + r * kCell;
                for (int py = 0; py < kCell; ++py) {
                    for (int px = 0; px < kCell; ++px) {
                        // The quadrant of the cell this pixel lies in, and its
                        // distance from the cell's middle towards that corner.
                        const int dx = 2 * px < kCell ? -1 : 1;
                        const int dy = 2 * py < kCell ? -1 : 1;
                        const int u = dx > 0 ? px : kCell - 1 - px;
                        const int v = dy > 0 ? py : kCell - 1 - py;
                        const bool sides_filled = dot(c + dx, r) && dot(c, r + dy);
                        const bool sides_empty = !dot(c + dx, r) && !dot(c, r + dy);
                        bool on;
                        if (filled) {
                            on = !(sides_empty && u == kCell - 1 && v == kCell - 1);
                        } else {
                            on = sides_filled && !dot(c + dx, r + dy) && u + v >= kCell;
                        }
                        if (on) mask[static_cast<size_t>(y0 + py) * kLogoWidth + x0 + px] = 1;
                    }
                }
            }
        }
    }
    return mask;
}

bool covered(const std::vector<uint8_t>& mask, int x, int y) {
    return x >= 0 && x < kLogoWidth && y >= 0 && y < kLogoHeight && mask[static_cast<size_t>(y) * kLogoWidth + x];
}

// The lettering: a drop shadow, a dark outline, then the letters with a
// vertical colour ramp and a bright line along their top edges.
pcxwrite::Picture build_logo(const std::string& word, int ramp_first, const std::vector<uint8_t>& palette) {
    const std::vector<uint8_t> mask = letter_mask(word);
    pcxwrite::Picture logo;
    logo.width = kLogoWidth;
    logo.height = kLogoHeight;
    logo.palette = palette;
    logo.indices.assign(static_cast<size_t>(kLogoWidth) * kLogoHeight, 0);
    int top = kLogoHeight;
    int bottom = -1;
    for (int y = 0; y < kLogoHeight; ++y) {
        for (int x = 0; x < kLogoWidth; ++x) {
            if (covered(mask, x, y)) {
                if (y < top) top = y;
                if (y > bottom) bottom = y;
            }
        }
    }
    for (int y = 0; y < kLogoHeight; ++y) {
        for (int x = 0; x < kLogoWidth; ++x) {
            uint8_t& out = logo.indices[static_cast<size_t>(y) * kLogoWidth + x];
            if (covered(mask, x, y)) {
                if (!covered(mask, x, y - 1)) {
                    out = kHighlight;
                } else {
                    out = static_cast<uint8_t>(ramp_first + (y - top) * (kRampLength - 1) / (bottom - top));
                }
                continue;
            }
            bool near_letter = false;
            for (int dy = -kOutlineWidth; dy <= kOutlineWidth && !near_letter; ++dy) {
                for (int dx = -kOutlineWidth; dx <= kOutlineWidth && !near_letter; ++dx) {
                    if (dx * dx + dy * dy <= kOutlineWidth * kOutlineWidth + 1)
                        near_letter = covered(mask, x + dx, y + dy);
                }
            }
            if (near_letter) {
                out = kOutline;
            } else if (covered(mask, x - kShadowOffset, y - kShadowOffset) ||
                       covered(mask, x - kShadowOffset + 1, y - kShadowOffset)) {
                out = kShadow;
            }
        }
    }
    return logo;
}

bool write(const std::string& dir, const char* name, const pcxwrite::Picture& picture) {
    pcxwrite::Options options;  // 8 bits, version 5 with trailer, origin (0, 0)
    const std::vector<uint8_t> bytes = pcxwrite::encode(picture, options);
    const std::string path = dir + "/" + name;
    if (bytes.empty() || !pcxwrite::write_file(path, bytes)) {
        std::fprintf(stderr, "scaling-scrolling-picgen: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: scaling-scrolling-picgen OUTPUT_DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    const std::vector<uint8_t> palette = build_palette();
    bool ok = write(dir, "SKY.PCX", build_sky(palette));
    ok = write(dir, "LOGO1.PCX", build_logo("SCROLLING", kIceFirst, palette)) && ok;
    ok = write(dir, "LOGO2.PCX", build_logo("SCALING", kGoldFirst, palette)) && ok;
    return ok ? 0 : 1;
}
