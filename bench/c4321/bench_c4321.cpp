// Codec 4321 speed: decoding with each routine set against libavcodec's MPEG-4 decoder on
// content of similar bitrate (CIF and 1280 x 720), and encoder throughput. Ratios are printed
// at the end of the run (all figures come from this one run).
#include <benchmark/benchmark.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "codec/c4321/encoder.h"
#include "codec/c4321/picture_decoder.h"
#include "codec/c4321/routines.h"
#include "codec/cpu_features.h"
#include "content.h"

namespace c4321 = orvel::codec::c4321;

namespace {

using c4321_bench::kFrames;
using c4321_bench::kIntraPeriod;
using c4321_bench::kQuantiserCode;
using c4321_bench::make_content;
using c4321_bench::Yuv;

struct Content {
    int width = 0, height = 0;
    std::vector<Yuv> frames;
    std::vector<std::vector<uint8_t>> ours;
    std::vector<std::vector<uint8_t>> mpeg4;
    size_t our_bytes = 0, mpeg4_bytes = 0;
};

// Encodes the first `frames` pictures with libavcodec at a fixed quantiser; returns the bytes
// (and keeps the packets when `keep`).
size_t encode_mpeg4_fixed(Content& c, int quantiser, int frames, bool keep) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    ctx->width = c.width;
    ctx->height = c.height;
    ctx->time_base = AVRational{1, 25};
    ctx->pix_fmt = AV_PIX_FMT_YUV420P;
    ctx->gop_size = kIntraPeriod;
    ctx->max_b_frames = 0;
    ctx->thread_count = 1;
    ctx->flags |= AV_CODEC_FLAG_QSCALE;
    ctx->global_quality = FF_QP2LAMBDA * quantiser;
    avcodec_open2(ctx, codec, nullptr);
    AVFrame* frame = av_frame_alloc();
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = c.width;
    frame->height = c.height;
    av_frame_get_buffer(frame, 0);
    AVPacket* packet = av_packet_alloc();
    size_t bytes = 0;
    auto drain = [&]() {
        while (avcodec_receive_packet(ctx, packet) == 0) {
            if (keep) c.mpeg4.emplace_back(packet->data, packet->data + packet->size);
            bytes += size_t(packet->size);
            av_packet_unref(packet);
        }
    };
    for (int i = 0; i < frames; ++i) {
        av_frame_make_writable(frame);
        const Yuv& f = c.frames[size_t(i)];
        for (int y = 0; y < c.height; ++y)
            std::copy_n(&f.y[size_t(y) * c.width], c.width,
                        frame->data[0] + y * frame->linesize[0]);
        for (int y = 0; y < c.height / 2; ++y) {
            std::copy_n(&f.u[size_t(y) * (c.width / 2)], c.width / 2,
                        frame->data[1] + y * frame->linesize[1]);
            std::copy_n(&f.v[size_t(y) * (c.width / 2)], c.width / 2,
                        frame->data[2] + y * frame->linesize[2]);
        }
        frame->pts = i;
        frame->quality = ctx->global_quality;
        avcodec_send_frame(ctx, frame);
        drain();
    }
    avcodec_send_frame(ctx, nullptr);
    drain();
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&ctx);
    return bytes;
}

// Similar bitrate: the fixed MPEG-4 quantiser whose stream size is nearest to ours.
void encode_mpeg4(Content& c) {
    int best_q = 2;
    double best_gap = 1e30;
    for (int q = 2; q <= 31; ++q) {
        const double bytes = double(encode_mpeg4_fixed(c, q, kFrames, false));
        const double gap = std::fabs(bytes - double(c.our_bytes));
        if (gap < best_gap) {
            best_gap = gap;
            best_q = q;
        }
        if (bytes < double(c.our_bytes)) break;
    }
    c.mpeg4_bytes = encode_mpeg4_fixed(c, best_q, kFrames, true);
}

Content& content(int width) {
    static std::map<int, Content> cache;
    Content& c = cache[width];
    if (!c.frames.empty()) return c;
    c.width = width;
    c.height = width == 352 ? 288 : 720;
    c.frames = make_content(c.width, c.height);
    c4321::Encoder encoder(c.width, c.height);
    for (int i = 0; i < kFrames; ++i) {
        const Yuv& f = c.frames[size_t(i)];
        const auto type =
            i % kIntraPeriod == 0 ? c4321::PictureType::intra : c4321::PictureType::inter;
        c.ours.push_back(encoder.encode_planar(f.y.data(), c.width, f.u.data(), f.v.data(),
                                               c.width / 2, type, kQuantiserCode));
        c.our_bytes += c.ours.back().size();
    }
    encode_mpeg4(c);
    return c;
}

void set_counters(benchmark::State& state, size_t bytes) {
    state.SetItemsProcessed(int64_t(state.iterations()) * kFrames);
    state.counters["kbit_per_s"] = double(bytes) * 8 * 25 / kFrames / 1000.0;
}

void BM_Decode4321(benchmark::State& state, const c4321::RoutineSet* set) {
    Content& c = content(int(state.range(0)));
    if (set == nullptr) {
        state.SkipWithError("routine set not built");
        return;
    }
    c4321::PictureDecoder decoder(c.width, c.height, *set);
    std::vector<uint8_t> out(size_t(c.width) * c.height * 2);
    for (auto _ : state) {
        for (const auto& p : c.ours) {
            decoder.decode(p.data(), p.size(), out.data());
        }
        benchmark::DoNotOptimize(out.data());
    }
    set_counters(state, c.our_bytes);
}

// libavcodec's MPEG-4 decoder on one thread, giving planar pictures (Packing::none), or packed
// YUY2 through libswscale or through the row writer codec 4321 uses (the process's set).
enum class Packing { none, swscale, our_rows };

void BM_DecodeMpeg4(benchmark::State& state, Packing packing) {
    Content& c = content(int(state.range(0)));
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MPEG4);
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    ctx->thread_count = 1;
    avcodec_open2(ctx, codec, nullptr);
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    std::vector<std::vector<uint8_t>> padded;
    for (const auto& p : c.mpeg4) {
        padded.push_back(p);
        padded.back().resize(p.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    }
    SwsContext* sws = sws_getContext(c.width, c.height, AV_PIX_FMT_YUV420P, c.width, c.height,
                                     AV_PIX_FMT_YUYV422, SWS_POINT, nullptr, nullptr, nullptr);
    std::vector<uint8_t> out(size_t(c.width) * c.height * 2);
    for (auto _ : state) {
        for (size_t i = 0; i < padded.size(); ++i) {
            packet->data = padded[i].data();
            packet->size = int(c.mpeg4[i].size());
            avcodec_send_packet(ctx, packet);
            while (avcodec_receive_frame(ctx, frame) == 0) {
                if (packing == Packing::swscale) {
                    uint8_t* planes[1] = {out.data()};
                    const int strides[1] = {c.width * 2};
                    sws_scale(sws, frame->data, frame->linesize, 0, c.height, planes, strides);
                } else if (packing == Packing::our_rows) {
                    const c4321::RoutineSet& set = c4321::active_routines();
                    for (int y = 0; y < c.height; ++y) {
                        set.yuy2_row(frame->data[0] + y * frame->linesize[0],
                                     frame->data[1] + (y / 2) * frame->linesize[1],
                                     frame->data[2] + (y / 2) * frame->linesize[2], c.width / 2,
                                     out.data() + size_t(y) * c.width * 2);
                    }
                }
                av_frame_unref(frame);
            }
        }
        benchmark::DoNotOptimize(out.data());
    }
    set_counters(state, c.mpeg4_bytes);
    sws_freeContext(sws);
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&ctx);
}

void BM_Encode4321(benchmark::State& state) {
    Content& c = content(int(state.range(0)));
    c4321::Encoder encoder(c.width, c.height);
    for (auto _ : state) {
        for (int i = 0; i < kFrames; ++i) {
            const Yuv& f = c.frames[size_t(i)];
            const auto type =
                i % kIntraPeriod == 0 ? c4321::PictureType::intra : c4321::PictureType::inter;
            benchmark::DoNotOptimize(encoder
                                         .encode_planar(f.y.data(), c.width, f.u.data(), f.v.data(),
                                                        c.width / 2, type, kQuantiserCode)
                                         .data());
        }
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kFrames);
    state.counters["channels_at_25fps"] =
        benchmark::Counter(double(kFrames) / 25.0, benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK_CAPTURE(BM_Decode4321, plain, &c4321::plain_routines())
    ->Arg(352)
    ->Arg(1280)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Decode4321, sse2, c4321::sse2_routines())
    ->Arg(352)
    ->Arg(1280)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Decode4321, avx2, c4321::avx2_routines())
    ->Arg(352)
    ->Arg(1280)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DecodeMpeg4, decode_only, Packing::none)
    ->Arg(352)
    ->Arg(1280)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DecodeMpeg4, with_swscale, Packing::swscale)
    ->Arg(352)
    ->Arg(1280)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DecodeMpeg4, with_our_rows, Packing::our_rows)
    ->Arg(352)
    ->Arg(1280)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Encode4321)->Arg(352)->Unit(benchmark::kMillisecond);

// Collects every result's CPU time per iteration so that ratios can be printed after the run
// (run with --benchmark_repetitions=N --benchmark_enable_random_interleaving=true to take the
// fastest of N, the repetitions of all benchmarks mixed in time).
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        // The fastest repetition of each benchmark: on a shared machine the others carry noise.
        for (const Run& r : runs) {
            if (r.error_occurred || r.run_type != Run::RT_Iteration) continue;
            const std::string name = r.run_name.str();
            const double t = r.GetAdjustedCPUTime();
            const auto found = times.find(name);
            if (found == times.end() || t < found->second) times[name] = t;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

void print_ratio(const RatioReporter& rep, const std::string& label, const std::string& numerator,
                 const std::string& denominator) {
    const auto a = rep.times.find(numerator);
    const auto b = rep.times.find(denominator);
    if (a == rep.times.end() || b == rep.times.end() || b->second <= 0) return;
    std::printf("%-58s %.2f\n", label.c_str(), a->second / b->second);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    // The encoder (and anything else not given a set) uses the set the process would choose.
    c4321::select_routines(orvel::codec::detect_cpu_features());
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nRatios (CPU time of the first / of the second; above 1 = codec 4321 faster):\n");
    const auto encode = reporter.times.find("BM_Encode4321/352");
    if (encode != reporter.times.end() && encode->second > 0) {
        std::printf("%-58s %.1f\n", "encoder: CIF channels at 25 pictures/s on one core",
                    double(kFrames) * 1000.0 / encode->second / 25.0);
    }
    for (const char* size : {"352", "1280"}) {
        const std::string s = size;
        for (const char* set_name : {"sse2", "avx2"}) {
            const std::string set = set_name;
            const std::string ours = "BM_Decode4321/" + set + "/" + s;
            print_ratio(reporter, "libavcodec mpeg4 decode / 4321 " + set + " decode+YUY2 @" + s,
                        "BM_DecodeMpeg4/decode_only/" + s, ours);
            print_ratio(reporter, "libavcodec mpeg4 decode+swscale YUY2 / 4321 " + set + " @" + s,
                        "BM_DecodeMpeg4/with_swscale/" + s, ours);
            print_ratio(reporter, "libavcodec mpeg4 decode+same YUY2 rows / 4321 " + set + " @" + s,
                        "BM_DecodeMpeg4/with_our_rows/" + s, ours);
            print_ratio(reporter, "4321 plain / 4321 " + set + " (speed-up) @" + s,
                        "BM_Decode4321/plain/" + s, ours);
        }
    }
    std::printf("(the set this processor gets: %s)\n", c4321::active_routines().name);
    benchmark::Shutdown();
    return 0;
}
