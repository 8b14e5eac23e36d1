#include "media/bmp.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "media/dvr_file.h"
#include "media/record_paths.h"
#include "media/wall_clock.h"
#include "platform/drives.h"

namespace orvel::media {

namespace {

uint8_t clamp_truncated(float value) {
    const int v = static_cast<int>(value);  // toward zero
    return static_cast<uint8_t>(std::clamp(v, 0, 255));
}

void put_pixel(uint8_t* out, float y, float u, float v) {
    out[0] = clamp_truncated(y + 1.772f * u);
    out[1] = clamp_truncated(y - 0.34414f * u - 0.71414f * v);
    out[2] = clamp_truncated(y + 1.402f * v);
}

}  // namespace

std::size_t bmp_file_bytes(int width, int height, int bits_per_pixel) {
    if (bits_per_pixel != 24 && bits_per_pixel != 32) return 0;
    if (width <= 0 || height <= 0 || width > kBmpMaxSide || height > kBmpMaxSide) return 0;
    const int64_t pixels = static_cast<int64_t>(width) * height;
    if (pixels > kBmpMaxPixels) return 0;
    return kBmpHeaderBytes + static_cast<std::size_t>(pixels) * (bits_per_pixel / 8);
}

void bmp_write_headers(uint8_t* out, int width, int height, int bits_per_pixel) {
    const uint32_t image = static_cast<uint32_t>(width) *
                           static_cast<uint32_t>(bits_per_pixel / 8) *
                           static_cast<uint32_t>(height);
    std::memset(out, 0, kBmpHeaderBytes);
    out[0] = 'B';
    out[1] = 'M';
    store_u32(out + 2, static_cast<uint32_t>(kBmpHeaderBytes) + image);
    store_u32(out + 10, static_cast<uint32_t>(kBmpHeaderBytes));
    store_u32(out + 14, 40);
    store_u32(out + 18, static_cast<uint32_t>(width));
    store_u32(out + 22, static_cast<uint32_t>(height));  // positive: bottom row first
    store_u16(out + 26, 1);
    store_u16(out + 28, static_cast<uint16_t>(bits_per_pixel));
    store_u32(out + 34, image);
}

void yuy2_to_bgr24(int width, int height, uint8_t* output, const uint8_t* picture) {
    const std::size_t in_row = static_cast<std::size_t>(width) * 2;
    const std::size_t out_row = static_cast<std::size_t>(width) * 3;
    for (int r = 0; r < height; ++r) {
        const uint8_t* in = picture + static_cast<std::size_t>(r) * in_row;
        uint8_t* out = output + static_cast<std::size_t>(height - 1 - r) * out_row;
        for (int x = 0; x + 1 < width; x += 2, in += 4, out += 6) {
            const float u = static_cast<float>(in[1]) - 128.0f;
            const float v = static_cast<float>(in[3]) - 128.0f;
            put_pixel(out, in[0], u, v);
            put_pixel(out + 3, in[2], u, v);
        }
    }
}

bool bmp_from_yuy2(const uint8_t* picture, std::size_t picture_bytes, int width, int height,
                   std::vector<uint8_t>& out) {
    out.clear();
    const std::size_t file = bmp_file_bytes(width, height, 24);
    if (file == 0 || width % 2 != 0 || picture == nullptr ||
        picture_bytes / 2 / static_cast<std::size_t>(width) < static_cast<std::size_t>(height)) {
        return false;
    }
    out.resize(file);
    bmp_write_headers(out.data(), width, height, 24);
    yuy2_to_bgr24(width, height, out.data() + kBmpHeaderBytes, picture);
    return true;
}

bool bmp_from_bgrx(const uint8_t* picture, std::size_t picture_bytes, int width, int height,
                   std::vector<uint8_t>& out) {
    out.clear();
    const std::size_t file = bmp_file_bytes(width, height, 32);
    if (file == 0 || picture == nullptr ||
        picture_bytes / 4 / static_cast<std::size_t>(width) < static_cast<std::size_t>(height)) {
        return false;
    }
    out.resize(file);
    bmp_write_headers(out.data(), width, height, 32);
    const std::size_t row = static_cast<std::size_t>(width) * 4;
    for (int r = 0; r < height; ++r) {
        std::memcpy(out.data() + kBmpHeaderBytes + static_cast<std::size_t>(height - 1 - r) * row,
                    picture + static_cast<std::size_t>(r) * row, row);
    }
    return true;
}

bool write_whole_file(const std::string& path, const std::vector<uint8_t>& bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : EIO;
            ::close(fd);
            errno = error;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return ::close(fd) == 0;
}

bool snapshot_write_auto(const platform::DriveMap& drives, const LocalTime& now,
                         const std::vector<uint8_t>& bmp, std::string& written) {
    written.clear();
    const std::string name = snapshot_auto_name(now);
    const auto path = drives.resolve(name);
    const auto root = drives.root(name[0]);
    if (!path || !root) {
        errno = ENOENT;
        return false;
    }
    int error = 0;
    if (!create_folders_durably(*root, path->parent_path(), error)) {
        errno = error;
        return false;
    }
    if (!write_whole_file(path->string(), bmp)) return false;
    written = path->string();
    return true;
}

}  // namespace orvel::media
