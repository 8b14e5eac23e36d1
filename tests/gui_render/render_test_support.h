#pragma once
// Pictures and pixel checks shared by the renderer tests.
#include <QImage>

#include <cstdint>
#include <vector>

namespace orvel::test {

// Eight vertical colour bars (white, yellow, cyan, green, magenta, red, blue, black) as YUY2,
// from full-range RGB with the inverse of the display equations.
inline std::vector<uint8_t> yuy2_colour_bars(int width, int height) {
    static const int kBars[8][3] = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
                                    {255, 0, 255},   {255, 0, 0},   {0, 0, 255},   {0, 0, 0}};
    std::vector<uint8_t> out(static_cast<size_t>(width) * height * 2);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; x += 2) {
            const int* c = kBars[x * 8 / width];
            const double luma = 0.299 * c[0] + 0.587 * c[1] + 0.114 * c[2];
            const double u = (c[2] - luma) / 1.772 + 128.0;
            const double v = (c[0] - luma) / 1.402 + 128.0;
            uint8_t* p = &out[(static_cast<size_t>(y) * width + x) * 2];
            p[0] = p[2] = static_cast<uint8_t>(luma + 0.5);
            p[1] = static_cast<uint8_t>(u < 0 ? 0 : u > 255 ? 255 : u + 0.5);
            p[3] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v + 0.5);
        }
    }
    return out;
}

inline QRgb bar_colour(int bar) {
    static const QRgb kRgb[8] = {0xffffff, 0xffff00, 0x00ffff, 0x00ff00,
                                 0xff00ff, 0xff0000, 0x0000ff, 0x000000};
    return kRgb[bar];
}

inline bool near_colour(QRgb a, QRgb b, int tolerance) {
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

// Pixels of `image` inside `area` whose colour is near `colour`.
inline int count_near(const QImage& image, const QRect& area, QRgb colour, int tolerance) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (near_colour(image.pixel(x, y), colour, tolerance)) ++n;
    return n;
}

}  // namespace orvel::test
