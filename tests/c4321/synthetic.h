#pragma once
// Synthetic test pictures: moving shapes and gradients over a textured background, with
// optional camera-like noise; deterministic for a given seed.
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace orvel::codec::c4321::testing {

struct PlanarFrame {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> y, u, v;
    PlanarFrame(int w, int h)
        : width(w), height(h), y(static_cast<size_t>(w) * h), u(static_cast<size_t>(w / 2) * (h / 2)),
          v(static_cast<size_t>(w / 2) * (h / 2)) {}
};

inline uint8_t clamp_pixel(double v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v + 0.5)); }

// Frame `index` of a scene: a background texture panning slowly, a bright disc and a dark
// rectangle moving at different speeds, and gaussian noise of `noise_sigma` on every pixel.
inline void render_scene(PlanarFrame& f, int index, double noise_sigma, std::mt19937& rng) {
    std::normal_distribution<double> noise(0.0, noise_sigma > 0 ? noise_sigma : 1.0);
    const double pan = index * 0.75;
    const double disc_x = f.width * (0.2 + 0.6 * (0.5 + 0.5 * std::sin(index * 0.05)));
    const double disc_y = f.height * (0.5 + 0.3 * std::cos(index * 0.07));
    const double disc_r = f.height * 0.15;
    const int rect_x = (index * 3) % (f.width + 40) - 40;
    const int rect_y = f.height / 4 + (index % 20);
    for (int y = 0; y < f.height; ++y) {
        for (int x = 0; x < f.width; ++x) {
            double value = 90 + 40 * std::sin((x + pan) * 0.09) * std::cos(y * 0.06) + 0.2 * y;
            const double dx = x - disc_x;
            const double dy = y - disc_y;
            if (dx * dx + dy * dy < disc_r * disc_r) value = 220 - 0.3 * std::sqrt(dx * dx + dy * dy);
            if (x >= rect_x && x < rect_x + 40 && y >= rect_y && y < rect_y + 30) value = 30 + ((x / 4 + y / 4) % 2) * 20;
            if (noise_sigma > 0) value += noise(rng);
            f.y[static_cast<size_t>(y) * f.width + x] = clamp_pixel(value);
        }
    }
    for (int y = 0; y < f.height / 2; ++y) {
        for (int x = 0; x < f.width / 2; ++x) {
            const double base_u = 128 + 30 * std::sin((x * 2 + pan) * 0.03);
            const double base_v = 128 + 25 * std::cos((y * 2 + index) * 0.04);
            double u = base_u;
            double v = base_v;
            const double dx = x * 2 - disc_x;
            const double dy = y * 2 - disc_y;
            if (dx * dx + dy * dy < disc_r * disc_r) {
                u = 90;
                v = 200;
            }
            if (noise_sigma > 0) {
                u += noise(rng) * 0.5;
                v += noise(rng) * 0.5;
            }
            f.u[static_cast<size_t>(y) * (f.width / 2) + x] = clamp_pixel(u);
            f.v[static_cast<size_t>(y) * (f.width / 2) + x] = clamp_pixel(v);
        }
    }
}

inline double psnr(const uint8_t* a, int a_stride, const uint8_t* b, int b_stride, int width, int height) {
    double sum = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double d = static_cast<double>(a[y * a_stride + x]) - b[y * b_stride + x];
            sum += d * d;
        }
    }
    const double mse = sum / (static_cast<double>(width) * height);
    return mse <= 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

}  // namespace orvel::codec::c4321::testing
