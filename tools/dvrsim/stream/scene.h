// Synthetic camera pictures for the simulated DVR: every camera shows its own number in
// large digits, a colour of its own, a sweeping bar and a bouncing box, so frozen or
// swapped video is obvious at a glance.
#pragma once

#include <cstdint>
#include <vector>

namespace dvrsim {

// Planar 4:2:0 picture: luma width x height, then the two chroma planes (width/2 x height/2).
struct PlanarPicture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> bytes;
    uint8_t* y() { return bytes.data(); }
    uint8_t* u() { return bytes.data() + width * height; }
    uint8_t* v() { return u() + (width / 2) * (height / 2); }
};

// Draws frame `index` of camera `camera` (1-based) into `picture` (resized as needed).
void draw_scene(PlanarPicture& picture, int width, int height, int camera, int index);

}  // namespace dvrsim
