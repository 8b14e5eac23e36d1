// Profiling driver for the codec 4321 decoder, free of libavcodec so that it runs under
// callgrind (instruction counts are stable where wall time is not):
//   valgrind --tool=callgrind --toggle-collect='orvel::codec::c4321::PictureDecoder::decode(*'
//            profile_c4321 [width 352|1280] [set plain|sse2|avx2|active] [passes]
// It encodes the benchmark's content and decodes it `passes` times to packed YUY2.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "codec/c4321/encoder.h"
#include "codec/c4321/picture_decoder.h"
#include "codec/c4321/routines.h"
#include "codec/cpu_features.h"
#include "content.h"

namespace c4321 = orvel::codec::c4321;

int main(int argc, char** argv) {
    const int width = argc > 1 ? std::atoi(argv[1]) : 352;
    const char* set_name = argc > 2 ? argv[2] : "active";
    const int passes = argc > 3 ? std::atoi(argv[3]) : 1;
    const int height = width == 352 ? 288 : 720;
    c4321::select_routines(orvel::codec::detect_cpu_features());
    const c4321::RoutineSet* set = &c4321::active_routines();
    if (std::strcmp(set_name, "plain") == 0) set = &c4321::plain_routines();
    if (std::strcmp(set_name, "sse2") == 0) set = c4321::sse2_routines();
    if (std::strcmp(set_name, "avx2") == 0) set = c4321::avx2_routines();
    if (set == nullptr) {
        std::fprintf(stderr, "routine set %s not built\n", set_name);
        return 1;
    }
    const auto frames = c4321_bench::make_content(width, height);
    c4321::Encoder encoder(width, height);
    std::vector<std::vector<uint8_t>> stream;
    size_t bytes = 0;
    for (int i = 0; i < c4321_bench::kFrames; ++i) {
        const auto& f = frames[size_t(i)];
        const auto type = i % c4321_bench::kIntraPeriod == 0 ? c4321::PictureType::intra
                                                             : c4321::PictureType::inter;
        stream.push_back(encoder.encode_planar(f.y.data(), width, f.u.data(), f.v.data(), width / 2,
                                               type, c4321_bench::kQuantiserCode));
        bytes += stream.back().size();
    }
    c4321::PictureDecoder decoder(width, height, *set);
    std::vector<uint8_t> out(size_t(width) * height * 2);
    unsigned checksum = 0;
    for (int p = 0; p < passes; ++p) {
        for (const auto& picture : stream) {
            decoder.decode(picture.data(), picture.size(), out.data());
            checksum = checksum * 31u + out[out.size() / 2];
        }
    }
    std::printf("%dx%d %s: %zu bytes in %d pictures, %d passes, checksum %08x\n", width, height,
                set->name, bytes, c4321_bench::kFrames, passes, checksum);
    return 0;
}
