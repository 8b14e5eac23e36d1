#pragma once
// The baseline every live benchmark divides by: libavcodec's own single-thread decode of the
// simulator's CIF camera loops, measured in the benchmark's own run.
#include <cstdint>
#include <vector>

namespace orvel::bench {

// One loop of encoded frames per camera (padded as libavcodec wants its input).
using CameraLoops = std::vector<std::vector<std::vector<uint8_t>>>;

inline constexpr int kLoopWidth = 352, kLoopHeight = 288, kLoopFrames = 50, kLoopGop = 25;

// The cameras' loops, encoded as the simulator encodes them (camera numbers from 1).
CameraLoops camera_loops(int cameras);

// CPU seconds of the calling thread.
double thread_cpu_seconds();

// One decoder per camera, frames taken round-robin as the panes receive them, one thread,
// four rounds: CPU seconds per decoded picture (0 when nothing decoded).
double bare_decode_seconds_per_frame(const CameraLoops& loops);

}  // namespace orvel::bench
