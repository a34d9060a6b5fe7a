// Draws the program's icon and writes it as a .ico file: one 128 x 128 image,
// 32 bits per pixel with alpha, stored as a DIB with its 1-bit AND mask.
//
// The art is procedural so the build is reproducible and needs no binary
// asset: a clipboard board with its clip, a few memory rows in the main
// window's pale yellow and black, and a quill lying across it. Edges are
// anti-aliased by supersampling each pixel.
//
// Usage: make_icon <output.ico>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <vector>

namespace {

constexpr int kSize = 128;
constexpr int kSamples = 8;  // per axis, so 64 samples per pixel
constexpr double kPi = 3.14159265358979323846;

struct Color {
    double r, g, b;
};

// Premultiplied colour with alpha, for compositing.
struct Pixel {
    double r = 0, g = 0, b = 0, a = 0;
};

void paint(Pixel& p, const Color& c) {
    // Every layer is opaque, so "over" just replaces the sample.
    p = {c.r, c.g, c.b, 1.0};
}

// Signed distance to a rounded rectangle given by its edges; negative inside.
double roundRect(double x, double y, double left, double top, double right,
                 double bottom, double radius) {
    const double cx = (left + right) / 2, cy = (top + bottom) / 2;
    const double qx = std::fabs(x - cx) - ((right - left) / 2 - radius);
    const double qy = std::fabs(y - cy) - ((bottom - top) / 2 - radius);
    const double ox = std::max(qx, 0.0), oy = std::max(qy, 0.0);
    return std::sqrt(ox * ox + oy * oy) + std::min(std::max(qx, qy), 0.0) - radius;
}

const Color kBoardEdge{96, 58, 30};
const Color kBoard{186, 126, 68};
const Color kRowYellow{255, 255, 213};  // the main window's memory rows
const Color kRowBlack{0, 0, 0};
const Color kRowEdge{70, 44, 22};
const Color kClipEdge{58, 62, 70};
const Color kClip{182, 188, 198};
const Color kClipShine{226, 230, 236};
const Color kQuillEdge{96, 98, 112};
const Color kVane{252, 252, 246};
const Color kBarb{206, 208, 216};
const Color kShaft{120, 104, 84};
const Color kNib{34, 34, 42};

// The colour of one sample point, layers painted back to front.
Pixel sample(double x, double y) {
    Pixel p;

    // Board.
    if (roundRect(x, y, 12, 14, 116, 126, 14) < 0) paint(p, kBoardEdge);
    if (roundRect(x, y, 15, 17, 113, 123, 11) < 0) paint(p, kBoard);

    // Memory rows, alternating as in a table, each with a thin dark rim.
    constexpr int kRows = 6;
    constexpr double kRowTop = 36, kRowHeight = 11, kRowGap = 3;
    for (int i = 0; i < kRows; ++i) {
        const double top = kRowTop + i * (kRowHeight + kRowGap);
        const double bottom = top + kRowHeight;
        if (roundRect(x, y, 25, top - 1, 103, bottom + 1, 3) < 0) paint(p, kRowEdge);
        if (roundRect(x, y, 26, top, 102, bottom, 2) < 0)
            paint(p, i % 2 == 0 ? kRowYellow : kRowBlack);
    }

    // Clip: a plate across the board's top edge with a rounded tab above it.
    if (roundRect(x, y, 38, 15, 90, 32, 5) < 0 || roundRect(x, y, 48, 3, 80, 24, 9) < 0)
        paint(p, kClipEdge);
    if (roundRect(x, y, 41, 18, 87, 29, 3) < 0 || roundRect(x, y, 51, 6, 77, 21, 6) < 0)
        paint(p, kClip);
    if (roundRect(x, y, 44, 20, 84, 22, 1) < 0) paint(p, kClipShine);
    {
        const double dx = x - 64, dy = y - 12;
        const double d = std::sqrt(dx * dx + dy * dy);
        if (d < 4.5) paint(p, kClipEdge);
    }

    // Quill, from its nib at the lower middle up to the top right corner.
    // u runs along the quill from the nib, v across it.
    const double tipX = 66, tipY = 118, endX = 122, endY = 10;
    const double len = std::hypot(endX - tipX, endY - tipY);
    const double dx = (endX - tipX) / len, dy = (endY - tipY) / len;
    const double u = (x - tipX) * dx + (y - tipY) * dy;
    const double v = (x - tipX) * dy - (y - tipY) * dx;

    constexpr double kVaneStart = 24;
    if (u > kVaneStart && u < len) {
        const double t = (u - kVaneStart) / (len - kVaneStart);
        // Fuller on one side, as a real feather is.
        const double reach = std::pow(std::sin(kPi * std::pow(t, 0.8)), 0.6);
        const double half = (v > 0 ? 13.0 : 9.0) * reach;
        if (std::fabs(v) < half + 1.6) paint(p, kQuillEdge);
        if (std::fabs(v) < half) {
            // Slanted barbs give the vane its texture.
            const double phase = (u + 0.7 * std::fabs(v)) / 7.0;
            paint(p, phase - std::floor(phase) < 0.14 ? kBarb : kVane);
        }
    }
    if (u > 12 && u < len - 2 && std::fabs(v) < 1.3) paint(p, kShaft);
    if (u >= 0 && u <= 16 && std::fabs(v) < 0.6 + 3.2 * u / 16) paint(p, kNib);

    return p;
}

void put16(std::vector<std::uint8_t>& out, unsigned value) {
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

std::uint8_t toByte(double v) {
    return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output.ico>\n", argc > 0 ? argv[0] : "make_icon");
        return 2;
    }

    // Straight (not premultiplied) BGRA, top row first while drawing.
    std::vector<std::uint8_t> bgra(kSize * kSize * 4);
    for (int py = 0; py < kSize; ++py) {
        for (int px = 0; px < kSize; ++px) {
            Pixel sum;
            for (int sy = 0; sy < kSamples; ++sy) {
                for (int sx = 0; sx < kSamples; ++sx) {
                    const Pixel s = sample(px + (sx + 0.5) / kSamples, py + (sy + 0.5) / kSamples);
                    sum.r += s.r * s.a;
                    sum.g += s.g * s.a;
                    sum.b += s.b * s.a;
                    sum.a += s.a;
                }
            }
            std::uint8_t* out = &bgra[(py * kSize + px) * 4];
            const std::uint8_t alpha = toByte(sum.a * 255.0 / (kSamples * kSamples));
            if (alpha == 0) {
                out[0] = out[1] = out[2] = out[3] = 0;
                continue;
            }
            out[0] = toByte(sum.b / sum.a);
            out[1] = toByte(sum.g / sum.a);
            out[2] = toByte(sum.r / sum.a);
            out[3] = alpha;
        }
    }

    constexpr std::uint32_t kXorBytes = kSize * kSize * 4;  // 65,536
    constexpr std::uint32_t kMaskStride = kSize / 8;       // 16 bytes, already 32-bit aligned
    constexpr std::uint32_t kAndBytes = kMaskStride * kSize;  // 2,048
    constexpr std::uint32_t kHeaderBytes = 40;
    constexpr std::uint32_t kImageBytes = kHeaderBytes + kXorBytes + kAndBytes;  // 67,624
    constexpr std::uint32_t kImageOffset = 6 + 16;  // ICONDIR + one ICONDIRENTRY

    std::vector<std::uint8_t> ico;
    ico.reserve(kImageOffset + kImageBytes);

    // ICONDIR
    put16(ico, 0);  // reserved
    put16(ico, 1);  // type: icon
    put16(ico, 1);  // one image
    // ICONDIRENTRY; a width or height byte of 0 would mean 256, 128 fits as is.
    ico.push_back(kSize);
    ico.push_back(kSize);
    ico.push_back(0);  // no palette
    ico.push_back(0);  // reserved
    put16(ico, 1);     // planes
    put16(ico, 32);    // bits per pixel
    put32(ico, kImageBytes);
    put32(ico, kImageOffset);

    // BITMAPINFOHEADER; the height counts the colour and mask bitmaps together.
    put32(ico, kHeaderBytes);
    put32(ico, kSize);
    put32(ico, kSize * 2);
    put16(ico, 1);   // planes
    put16(ico, 32);  // bits per pixel
    put32(ico, 0);   // BI_RGB
    put32(ico, 0);   // image size: may be 0 for BI_RGB
    put32(ico, 0);   // horizontal resolution
    put32(ico, 0);   // vertical resolution
    put32(ico, 0);   // colours used
    put32(ico, 0);   // colours important

    // Colour bitmap, bottom row first.
    for (int py = kSize - 1; py >= 0; --py)
        ico.insert(ico.end(), &bgra[py * kSize * 4], &bgra[(py + 1) * kSize * 4]);

    // AND mask, bottom row first, leftmost pixel in the high bit: set where the
    // image is fully transparent, for readers that ignore the alpha channel.
    for (int py = kSize - 1; py >= 0; --py) {
        for (std::uint32_t byte = 0; byte < kMaskStride; ++byte) {
            std::uint8_t bits = 0;
            for (int bit = 0; bit < 8; ++bit) {
                const int px = static_cast<int>(byte) * 8 + bit;
                if (bgra[(py * kSize + px) * 4 + 3] == 0) bits |= static_cast<std::uint8_t>(0x80 >> bit);
            }
            ico.push_back(bits);
        }
    }

    if (ico.size() != kImageOffset + kImageBytes) {
        std::fprintf(stderr, "make_icon: internal size mismatch (%zu bytes)\n", ico.size());
        return 1;
    }

    std::ofstream file(argv[1], std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(ico.data()), static_cast<std::streamsize>(ico.size()));
    file.close();
    if (!file) {
        std::fprintf(stderr, "make_icon: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
