// The codec's tables, scans, predictions and inverse DCT checked against the standard: MPEG-4
// Simple-profile streams made here by libavcodec's mpeg4 encoder are read with them, and every
// macroblock must match libavcodec's own decode of the same stream.
#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
}

#include <cstdio>
#include <memory>
#include <random>
#include <vector>

#include "mpeg4_reader.h"
#include "synthetic.h"

namespace orvel::codec::c4321 {
namespace {

struct CodecContextDeleter {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
using ContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;

struct EncodedStream {
    std::vector<std::vector<uint8_t>> packets;
};

// Encodes `frames` synthetic pictures with a fixed quantiser and the options the codec's tables
// cover. Returns false when the encoder is unavailable.
bool encode_reference(int width, int height, int frames, int quantiser, bool four_vectors, EncodedStream& out) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    if (codec == nullptr) return false;
    ContextPtr ctx(avcodec_alloc_context3(codec));
    ctx->width = width;
    ctx->height = height;
    ctx->time_base = AVRational{1, 25};
    ctx->framerate = AVRational{25, 1};
    ctx->pix_fmt = AV_PIX_FMT_YUV420P;
    ctx->gop_size = 12;
    ctx->max_b_frames = 0;
    ctx->flags |= AV_CODEC_FLAG_QSCALE;
    if (four_vectors) ctx->flags |= AV_CODEC_FLAG_4MV;
    ctx->flags |= AV_CODEC_FLAG_AC_PRED;
    ctx->global_quality = FF_QP2LAMBDA * quantiser;
    ctx->me_range = 12;
    ctx->thread_count = 1;
    if (avcodec_open2(ctx.get(), codec, nullptr) < 0) return false;
    FramePtr frame(av_frame_alloc());
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = width;
    frame->height = height;
    if (av_frame_get_buffer(frame.get(), 0) < 0) return false;
    PacketPtr packet(av_packet_alloc());
    testing::PlanarFrame source(width, height);
    std::mt19937 rng(77);
    auto drain = [&]() {
        while (avcodec_receive_packet(ctx.get(), packet.get()) == 0) {
            out.packets.emplace_back(packet->data, packet->data + packet->size);
            av_packet_unref(packet.get());
        }
    };
    for (int i = 0; i < frames; ++i) {
        testing::render_scene(source, i * 2, 2.0, rng);
        if (av_frame_make_writable(frame.get()) < 0) return false;
        for (int y = 0; y < height; ++y) {
            std::copy_n(&source.y[static_cast<size_t>(y) * width], width, frame->data[0] + y * frame->linesize[0]);
        }
        for (int y = 0; y < height / 2; ++y) {
            std::copy_n(&source.u[static_cast<size_t>(y) * (width / 2)], width / 2,
                        frame->data[1] + y * frame->linesize[1]);
            std::copy_n(&source.v[static_cast<size_t>(y) * (width / 2)], width / 2,
                        frame->data[2] + y * frame->linesize[2]);
        }
        frame->pts = i;
        frame->quality = ctx->global_quality;
        if (avcodec_send_frame(ctx.get(), frame.get()) < 0) return false;
        drain();
    }
    avcodec_send_frame(ctx.get(), nullptr);
    drain();
    return static_cast<int>(out.packets.size()) == frames;
}

double block_psnr(const uint8_t* a, int a_stride, const uint8_t* b, int b_stride, int size) {
    return testing::psnr(a, a_stride, b, b_stride, size, size);
}

void compare_with_reference(int width, int height, int frames, int quantiser, bool four_vectors) {
    EncodedStream stream;
    ASSERT_TRUE(encode_reference(width, height, frames, quantiser, four_vectors, stream));
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MPEG4);
    ASSERT_NE(codec, nullptr);
    ContextPtr ctx(avcodec_alloc_context3(codec));
    ctx->thread_count = 1;
    ASSERT_GE(avcodec_open2(ctx.get(), codec, nullptr), 0);
    FramePtr decoded(av_frame_alloc());
    PacketPtr packet(av_packet_alloc());
    testing::Mpeg4Reader reader(width, height);
    double worst = 99.0;
    int inter_pictures = 0;
    for (size_t i = 0; i < stream.packets.size(); ++i) {
        std::vector<uint8_t> bytes = stream.packets[i];
        ASSERT_TRUE(reader.decode(bytes.data(), bytes.size())) << "picture " << i << ": " << reader.error();
        inter_pictures += reader.last_inter() ? 1 : 0;
        bytes.resize(bytes.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        packet->data = bytes.data();
        packet->size = static_cast<int>(stream.packets[i].size());
        ASSERT_EQ(avcodec_send_packet(ctx.get(), packet.get()), 0);
        ASSERT_EQ(avcodec_receive_frame(ctx.get(), decoded.get()), 0);
        const Picture& ours = reader.picture();
        for (int mby = 0; mby < height / 16; ++mby) {
            for (int mbx = 0; mbx < width / 16; ++mbx) {
                const double luma = block_psnr(ours.y.row(mby * 16) + mbx * 16, ours.y.stride,
                                               decoded->data[0] + mby * 16 * decoded->linesize[0] + mbx * 16,
                                               decoded->linesize[0], 16);
                const double cb = block_psnr(ours.u.row(mby * 8) + mbx * 8, ours.u.stride,
                                             decoded->data[1] + mby * 8 * decoded->linesize[1] + mbx * 8,
                                             decoded->linesize[1], 8);
                const double cr = block_psnr(ours.v.row(mby * 8) + mbx * 8, ours.v.stride,
                                             decoded->data[2] + mby * 8 * decoded->linesize[2] + mbx * 8,
                                             decoded->linesize[2], 8);
                const double least = std::min(luma, std::min(cb, cr));
                worst = std::min(worst, least);
                ASSERT_GT(least, 45.0) << "picture " << i << " macroblock " << mbx << "," << mby;
            }
        }
        av_frame_unref(decoded.get());
    }
    EXPECT_GT(inter_pictures, 0);
    const testing::Mpeg4Coverage& c = reader.coverage();
    std::printf("%dx%d q%d%s: %zu pictures, worst macroblock PSNR %.2f dB; AC-predicted %d, four-vector %d, "
                "intra in inter %d, not coded %d, escapes %d/%d/%d\n",
                width, height, quantiser, four_vectors ? " 4mv" : "", stream.packets.size(), worst, c.ac_predicted,
                c.four_vector, c.intra_in_inter, c.not_coded, c.escapes[1], c.escapes[2], c.escapes[3]);
    EXPECT_GT(c.ac_predicted, 0);
    if (four_vectors) {
        EXPECT_GT(c.four_vector, 0);
    }
}

TEST(Mpeg4Reference, IntraAndOneVectorPicturesMatchTheReferenceDecoder) {
    compare_with_reference(176, 144, 14, 4, false);
}

TEST(Mpeg4Reference, FourVectorPicturesAtQuantiserTwoMatchTheReferenceDecoder) {
    compare_with_reference(176, 144, 14, 2, true);
}

}  // namespace
}  // namespace orvel::codec::c4321
