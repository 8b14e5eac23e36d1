#include "codec/c4321/picture.h"

#include <cstring>
#include <new>

namespace orvel::codec::c4321 {
namespace {

size_t plane_bytes(int width, int height, int border) {
    return static_cast<size_t>(width + 2 * border) * static_cast<size_t>(height + 2 * border);
}

void place(Plane& plane, uint8_t* base, int width, int height, int border) {
    plane.width = width;
    plane.height = height;
    plane.stride = width + 2 * border;
    plane.origin = base + static_cast<size_t>(border) * plane.stride + border;
}

// Only the `reach` pixels next to each edge that prediction can read are replicated.
void extend_rows(const Plane& plane, int reach, int first, int count) {
    if (plane.width == 0) return;
    for (int y = first; y < first + count && y < plane.height; ++y) {
        uint8_t* row = plane.row(y);
        uint8_t* left = row - reach;
        uint8_t* right = row + plane.width;
        const uint8_t left_value = row[0];
        const uint8_t right_value = row[plane.width - 1];
        // 8 or 16 bytes: plain loops the compiler turns into a vector store.
        for (int i = 0; i < reach; ++i) left[i] = left_value;
        for (int i = 0; i < reach; ++i) right[i] = right_value;
    }
}

void extend_ends(const Plane& plane, int reach) {
    if (plane.width == 0 || plane.height == 0) return;
    const size_t bytes = static_cast<size_t>(plane.width + 2 * reach);
    uint8_t* first = plane.row(0) - reach;
    uint8_t* last = plane.row(plane.height - 1) - reach;
    for (int i = 1; i <= reach; ++i) {
        std::memcpy(first - static_cast<ptrdiff_t>(i) * plane.stride, first, bytes);
        std::memcpy(last + static_cast<ptrdiff_t>(i) * plane.stride, last, bytes);
    }
}

}  // namespace

bool Picture::allocate(int width, int height) {
    const size_t luma = plane_bytes(width, height, kLumaBorder);
    const size_t chroma = plane_bytes(width / 2, height / 2, kChromaBorder);
    try {
        storage_.assign(luma + 2 * chroma, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    place(y, storage_.data(), width, height, kLumaBorder);
    place(u, storage_.data() + luma, width / 2, height / 2, kChromaBorder);
    place(v, storage_.data() + luma + chroma, width / 2, height / 2, kChromaBorder);
    return true;
}

void Picture::fill(uint8_t luma, uint8_t chroma) {
    const size_t luma_bytes = plane_bytes(y.width, y.height, kLumaBorder);
    std::memset(storage_.data(), luma, luma_bytes);
    std::memset(storage_.data() + luma_bytes, chroma, storage_.size() - luma_bytes);
}

void Picture::extend_edges() {
    extend_sides(0, y.height);
    extend_top_bottom();
}

void Picture::extend_sides(int first_luma_row, int luma_rows) {
    extend_rows(y, kLumaReach, first_luma_row, luma_rows);
    extend_rows(u, kChromaReach, first_luma_row / 2, luma_rows / 2);
    extend_rows(v, kChromaReach, first_luma_row / 2, luma_rows / 2);
}

void Picture::extend_top_bottom() {
    extend_ends(y, kLumaReach);
    extend_ends(u, kChromaReach);
    extend_ends(v, kChromaReach);
}

}  // namespace orvel::codec::c4321
