#include "bare_decode.h"

#include <time.h>

#include <cstring>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "stream/encoders.h"
#include "stream/scene.h"

namespace orvel::bench {

CameraLoops camera_loops(int cameras) {
    CameraLoops loops(static_cast<size_t>(cameras));
    for (int cam = 1; cam <= cameras; ++cam) {
        std::string error;
        const auto frames = dvrsim::encode_mpeg4_lavc(
            kLoopWidth, kLoopHeight, kLoopFrames, kLoopGop,
            [cam](dvrsim::PlanarPicture& p, int i) {
                dvrsim::draw_scene(p, kLoopWidth, kLoopHeight, cam, i);
            },
            error);
        auto& loop = loops[static_cast<size_t>(cam - 1)];
        for (const auto& f : frames) {
            loop.emplace_back(f.bytes.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
            std::memcpy(loop.back().data(), f.bytes.data(), f.bytes.size());
            loop.back().resize(f.bytes.size());
        }
    }
    return loops;
}

double thread_cpu_seconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

double bare_decode_seconds_per_frame(const CameraLoops& loops) {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MPEG4);
    std::vector<AVCodecContext*> contexts;
    for (size_t i = 0; i < loops.size(); ++i) {
        AVCodecContext* ctx = avcodec_alloc_context3(codec);
        ctx->thread_count = 1;
        avcodec_open2(ctx, codec, nullptr);
        contexts.push_back(ctx);
    }
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    long decoded = 0;
    const double start = thread_cpu_seconds();
    for (int round = 0; round < 4; ++round)
        for (size_t i = 0; i < static_cast<size_t>(kLoopFrames); ++i)
            for (size_t cam = 0; cam < loops.size(); ++cam) {
                if (i >= loops[cam].size()) continue;
                packet->data = const_cast<uint8_t*>(loops[cam][i].data());
                packet->size = static_cast<int>(loops[cam][i].size());
                avcodec_send_packet(contexts[cam], packet);
                while (avcodec_receive_frame(contexts[cam], frame) == 0) ++decoded;
            }
    const double seconds = thread_cpu_seconds() - start;
    av_packet_free(&packet);
    av_frame_free(&frame);
    for (AVCodecContext*& ctx : contexts) avcodec_free_context(&ctx);
    return decoded > 0 ? seconds / static_cast<double>(decoded) : 0;
}

}  // namespace orvel::bench
