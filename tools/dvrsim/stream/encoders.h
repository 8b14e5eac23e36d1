// Encoders the simulated DVR pre-encodes its loops with: MPEG-4 Part 2 through libavcodec
// and through libxvidcore, the system's own codec 4321, and G.721 audio (32 kbit/s codes,
// low nibble first) through libavcodec's G.726 encoder.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "stream/scene.h"

namespace dvrsim {

struct EncodedFrame {
    std::vector<uint8_t> bytes;
    bool key = false;
};

// Draws picture `index` of the clip into the given picture.
using SceneFn = std::function<void(PlanarPicture&, int index)>;

// `frames` pictures with a key frame every `gop`; empty with `error` set on failure.
std::vector<EncodedFrame> encode_mpeg4_lavc(int width, int height, int frames, int gop,
                                            const SceneFn& scene, std::string& error);
std::vector<EncodedFrame> encode_mpeg4_xvid(int width, int height, int frames, int gop,
                                            const SceneFn& scene, std::string& error);
std::vector<EncodedFrame> encode_4321(int width, int height, int frames, int gop,
                                      const SceneFn& scene, std::string& error);

// G.721 codes of `seconds` of speech-like sound at 8000 samples/s: two codes per byte.
std::vector<uint8_t> encode_g721_speech(int seconds, std::string& error);

}  // namespace dvrsim
