#pragma once
// Camera-like test content shared by the codec 4321 benchmark and the profiling driver, so
// that instruction counts and timed ratios are taken on the same pictures.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace c4321_bench {

inline constexpr int kFrames = 50;
inline constexpr int kIntraPeriod = 25;
inline constexpr int kQuantiserCode = 1;

struct Yuv {
    int width, height;
    std::vector<uint8_t> y, u, v;
};

// Camera-like content: a textured background panning, moving shapes, sensor noise.
inline std::vector<Yuv> make_content(int width, int height) {
    std::vector<Yuv> frames;
    std::mt19937 rng(99);
    std::normal_distribution<double> noise(0.0, 2.0);
    for (int i = 0; i < kFrames; ++i) {
        Yuv f{width, height, std::vector<uint8_t>(size_t(width) * height),
              std::vector<uint8_t>(size_t(width / 2) * (height / 2)),
              std::vector<uint8_t>(size_t(width / 2) * (height / 2))};
        const double cx = width * (0.3 + 0.4 * std::sin(i * 0.08));
        const double cy = height * (0.5 + 0.2 * std::cos(i * 0.05));
        const double r = height * 0.12;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                double value = 100 + 45 * std::sin((x + i) * 0.07) * std::cos(y * 0.05) + 0.1 * y;
                if ((x - cx) * (x - cx) + (y - cy) * (y - cy) < r * r) value = 210;
                value += noise(rng);
                f.y[size_t(y) * width + x] = uint8_t(std::clamp(value, 0.0, 255.0));
            }
        }
        for (int y = 0; y < height / 2; ++y) {
            for (int x = 0; x < width / 2; ++x) {
                f.u[size_t(y) * (width / 2) + x] = uint8_t(128 + 20 * std::sin((x * 2 + i) * 0.03));
                f.v[size_t(y) * (width / 2) + x] = uint8_t(128 + 15 * std::cos(y * 0.05));
            }
        }
        frames.push_back(std::move(f));
    }
    return frames;
}

}  // namespace c4321_bench
