#include "stream/scene.h"

#include <algorithm>

namespace dvrsim {
namespace {

// Seven-segment digit masks: bit 0 top, 1 upper right, 2 lower right, 3 bottom, 4 lower
// left, 5 upper left, 6 middle.
constexpr uint8_t kSegments[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};

void fill_luma(PlanarPicture& p, int x0, int y0, int w, int h, uint8_t value) {
    const int x1 = std::clamp(x0 + w, 0, p.width), y1 = std::clamp(y0 + h, 0, p.height);
    x0 = std::clamp(x0, 0, p.width);
    y0 = std::clamp(y0, 0, p.height);
    for (int r = y0; r < y1; ++r)
        std::fill(p.y() + r * p.width + x0, p.y() + r * p.width + x1, value);
}

void draw_digit(PlanarPicture& p, int digit, int x, int y, int size) {
    const int t = std::max(2, size / 5);  // stroke thickness
    const int w = size, h = size * 2;
    const uint8_t m = kSegments[digit % 10];
    const uint8_t ink = 235;
    if (m & 0x01) fill_luma(p, x, y, w, t, ink);
    if (m & 0x02) fill_luma(p, x + w - t, y, t, h / 2, ink);
    if (m & 0x04) fill_luma(p, x + w - t, y + h / 2, t, h / 2, ink);
    if (m & 0x08) fill_luma(p, x, y + h - t, w, t, ink);
    if (m & 0x10) fill_luma(p, x, y + h / 2, t, h / 2, ink);
    if (m & 0x20) fill_luma(p, x, y, t, h / 2, ink);
    if (m & 0x40) fill_luma(p, x, y + h / 2 - t / 2, w, t, ink);
}

}  // namespace

void draw_scene(PlanarPicture& p, int width, int height, int camera, int index) {
    p.width = width;
    p.height = height;
    p.bytes.resize(static_cast<size_t>(width) * height * 3 / 2);
    // Background: a soft diagonal gradient drifting slowly.
    for (int r = 0; r < height; ++r) {
        uint8_t* row = p.y() + r * width;
        for (int c = 0; c < width; ++c)
            row[c] = static_cast<uint8_t>(48 + (((c + r) / 4 + index) & 0x3F));
    }
    // A sweeping bar and a bouncing box whose speeds depend on the camera.
    const int bar_x = (index * (4 + camera % 5)) % std::max(1, width);
    fill_luma(p, bar_x, 0, std::max(2, width / 40), height, 200);
    const int span_x = std::max(1, width - width / 5), span_y = std::max(1, height - height / 5);
    const int t = index * (3 + camera % 7);
    int bx = t % (2 * span_x), by = (t * 2 / 3) % (2 * span_y);
    if (bx >= span_x) bx = 2 * span_x - bx;
    if (by >= span_y) by = 2 * span_y - by;
    fill_luma(p, bx, by, width / 5, height / 5, 160);
    // The camera number, large, top left.
    const int size = std::max(8, height / 6);
    draw_digit(p, camera / 10, size / 2, size / 2, size);
    draw_digit(p, camera % 10, size / 2 + size * 3 / 2, size / 2, size);
    // Chroma: a hue of the camera's own.
    const uint8_t cu = static_cast<uint8_t>(128 + ((camera * 37) % 96) - 48);
    const uint8_t cv = static_cast<uint8_t>(128 + ((camera * 71) % 96) - 48);
    const size_t chroma = static_cast<size_t>(width / 2) * (height / 2);
    std::fill(p.u(), p.u() + chroma, cu);
    std::fill(p.v(), p.v() + chroma, cv);
}

}  // namespace dvrsim
