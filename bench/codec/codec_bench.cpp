// Decoding cost per picture through the decoder table against libavcodec's bare decode to its
// own 4:2:0 output; the YUY2 packing loop against libswscale; G.721 against real time.
// Compare the per-picture times of one run: Table/1 / Bare is the cost ratio of type 1.
#include <benchmark/benchmark.h>

#include <cstring>
#include <map>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libswscale/swscale.h>
}

#include "clip_tools.h"
#include "codec/decoder_table.h"
#include "codec/g721.h"
#include "codec/yuy2_pack.h"

namespace {

using orvel::testing::Packet;

constexpr int kFrames = 30;

const std::vector<Packet>& clip(int width, int height) {
    static std::map<int, std::vector<Packet>> clips;
    auto& c = clips[width * 10000 + height];
    if (c.empty()) c = orvel::testing::encode_lavc(width, height, kFrames, 15);
    return c;
}

void bare_libavcodec(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    const std::vector<Packet>& packets = clip(w, h);
    std::vector<std::vector<uint8_t>> padded;
    for (const Packet& p : packets) {
        padded.emplace_back(p.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        std::memcpy(padded.back().data(), p.data(), p.size());
    }
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MPEG4);
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    for (auto _ : state) {
        AVCodecContext* ctx = avcodec_alloc_context3(codec);
        ctx->thread_count = 1;
        avcodec_open2(ctx, codec, nullptr);
        for (std::size_t i = 0; i < packets.size(); ++i) {
            packet->data = padded[i].data();
            packet->size = static_cast<int>(packets[i].size());
            avcodec_send_packet(ctx, packet);
            while (avcodec_receive_frame(ctx, frame) == 0) {
                benchmark::DoNotOptimize(frame->data[0][0]);
                av_frame_unref(frame);
            }
        }
        avcodec_free_context(&ctx);
    }
    av_packet_free(&packet);
    av_frame_free(&frame);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(packets.size()));
}

void through_table(benchmark::State& state) {
    const int type = static_cast<int>(state.range(0));
    const int w = static_cast<int>(state.range(1)), h = static_cast<int>(state.range(2));
    const std::vector<Packet>& packets = clip(w, h);
    orvel::codec::decoder_table_init();
    std::vector<uint8_t> picture(static_cast<std::size_t>(w) * h * 2);
    for (auto _ : state) {
        const int handle = orvel::codec::decoder_create(type, w, h);
        for (const Packet& p : packets)
            orvel::codec::decoder_decode(handle, static_cast<int>(p.size()), p.data(),
                                         picture.data());
        orvel::codec::decoder_destroy(handle);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(packets.size()));
}

struct Planes {
    std::vector<uint8_t> y, u, v;
};

Planes planes(int w, int h) {
    Planes p{std::vector<uint8_t>(static_cast<std::size_t>(w) * h, 90),
             std::vector<uint8_t>(static_cast<std::size_t>(w / 2) * (h / 2), 100),
             std::vector<uint8_t>(static_cast<std::size_t>(w / 2) * (h / 2), 160)};
    return p;
}

void pack_own(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    Planes p = planes(w, h);
    std::vector<uint8_t> out(static_cast<std::size_t>(w) * h * 2);
    const orvel::codec::PlanarPicture picture{p.y.data(), p.u.data(), p.v.data(), w,
                                              w / 2,      w / 2,      w,          h};
    for (auto _ : state) {
        orvel::codec::pack_yuy2(picture, w, h, out.data(), w * 2);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}

void pack_swscale(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    Planes p = planes(w, h);
    std::vector<uint8_t> out(static_cast<std::size_t>(w) * h * 2);
    SwsContext* sws = sws_getContext(w, h, AV_PIX_FMT_YUV420P, w, h, AV_PIX_FMT_YUYV422, SWS_POINT,
                                     nullptr, nullptr, nullptr);
    const uint8_t* src[3] = {p.y.data(), p.u.data(), p.v.data()};
    const int src_stride[3] = {w, w / 2, w / 2};
    uint8_t* dst[1] = {out.data()};
    const int dst_stride[1] = {w * 2};
    for (auto _ : state) {
        sws_scale(sws, src, src_stride, 0, h, dst, dst_stride);
        benchmark::ClobberMemory();
    }
    sws_freeContext(sws);
    state.SetItemsProcessed(state.iterations());
}

void g721_decode(benchmark::State& state) {
    static orvel::codec::AudioDecoderState decoder;
    std::vector<uint8_t> codes(4000);  // one second of audio
    for (std::size_t i = 0; i < codes.size(); ++i)
        codes[i] = static_cast<uint8_t>(i * 37 + (i >> 3));
    std::vector<int16_t> out(8000);
    for (auto _ : state) {
        orvel::codec::audio_decode(decoder, out.data(), codes.data(), codes.size());
        benchmark::DoNotOptimize(out[7999]);
    }
    // Seconds of sound decoded per second: the real-time factor.
    state.counters["x_realtime"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(bare_libavcodec)
    ->Args({352, 288})
    ->Args({704, 576})
    ->Args({1280, 720})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(through_table)
    ->Args({1, 352, 288})
    ->Args({0, 352, 288})
    ->Args({1, 704, 576})
    ->Args({0, 704, 576})
    ->Args({1, 1280, 720})
    ->Args({0, 1280, 720})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(pack_own)->Args({352, 288})->Args({1280, 720});
BENCHMARK(pack_swscale)->Args({352, 288})->Args({1280, 720});
BENCHMARK(g721_decode)->Unit(benchmark::kMillisecond);
