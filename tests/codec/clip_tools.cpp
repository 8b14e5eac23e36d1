#include "clip_tools.h"

#include <xvid.h>

#include <cstring>
#include <stdexcept>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace orvel::testing {

std::vector<uint8_t> synthetic_frame(int width, int height, int index) {
    std::vector<uint8_t> f(static_cast<std::size_t>(width) * height * 3 / 2);
    uint8_t* y = f.data();
    uint8_t* u = y + width * height;
    uint8_t* v = u + (width / 2) * (height / 2);
    const int box_x = (index * 7) % (width / 2);
    const int box_y = (index * 5) % (height / 2);
    for (int r = 0; r < height; ++r) {
        for (int c = 0; c < width; ++c) {
            int value = (c + r * 2 + index * 3) & 0xFF;
            if (c >= box_x && c < box_x + width / 4 && r >= box_y && r < box_y + height / 4)
                value = 235 - ((c * r) & 0x3F);
            y[r * width + c] = static_cast<uint8_t>(value);
        }
    }
    for (int r = 0; r < height / 2; ++r) {
        for (int c = 0; c < width / 2; ++c) {
            u[r * (width / 2) + c] = static_cast<uint8_t>(128 + ((c + index) & 0x3F) - 32);
            v[r * (width / 2) + c] = static_cast<uint8_t>(128 + ((r * 2 - index) & 0x3F) - 32);
        }
    }
    return f;
}

std::vector<Packet> encode_lavc(int width, int height, int frames, int gop) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    ctx->width = width;
    ctx->height = height;
    ctx->time_base = AVRational{1, 30};
    ctx->framerate = AVRational{30, 1};
    ctx->pix_fmt = AV_PIX_FMT_YUV420P;
    ctx->gop_size = gop;
    ctx->max_b_frames = 0;
    ctx->bit_rate = static_cast<int64_t>(width) * height * 4;
    ctx->thread_count = 1;
    if (avcodec_open2(ctx, codec, nullptr) < 0) throw std::runtime_error("mpeg4 encoder");
    AVFrame* frame = av_frame_alloc();
    frame->width = width;
    frame->height = height;
    frame->format = AV_PIX_FMT_YUV420P;
    av_frame_get_buffer(frame, 0);
    AVPacket* pkt = av_packet_alloc();
    std::vector<Packet> out;
    auto drain = [&] {
        while (avcodec_receive_packet(ctx, pkt) == 0) {
            out.emplace_back(pkt->data, pkt->data + pkt->size);
            av_packet_unref(pkt);
        }
    };
    for (int i = 0; i < frames; ++i) {
        av_frame_make_writable(frame);
        const std::vector<uint8_t> src = synthetic_frame(width, height, i);
        const uint8_t* planes[3] = {src.data(), src.data() + width * height,
                                    src.data() + width * height + (width / 2) * (height / 2)};
        for (int p = 0; p < 3; ++p) {
            const int w = p == 0 ? width : width / 2;
            const int h = p == 0 ? height : height / 2;
            for (int r = 0; r < h; ++r)
                std::memcpy(frame->data[p] + r * frame->linesize[p], planes[p] + r * w, w);
        }
        frame->pts = i;
        avcodec_send_frame(ctx, frame);
        drain();
    }
    avcodec_send_frame(ctx, nullptr);
    drain();
    av_packet_free(&pkt);
    av_frame_free(&frame);
    avcodec_free_context(&ctx);
    return out;
}

std::vector<Packet> encode_xvid(int width, int height, int frames, int gop) {
    xvid_gbl_init_t init{};
    init.version = XVID_VERSION;
    xvid_global(nullptr, XVID_GBL_INIT, &init, nullptr);
    xvid_enc_create_t create{};
    create.version = XVID_VERSION;
    create.width = width;
    create.height = height;
    create.fincr = 1;
    create.fbase = 25;
    create.max_key_interval = gop;
    create.max_bframes = 0;
    if (xvid_encore(nullptr, XVID_ENC_CREATE, &create, nullptr) < 0)
        throw std::runtime_error("xvid encoder");
    std::vector<Packet> out;
    std::vector<uint8_t> bitstream(static_cast<std::size_t>(width) * height * 4);
    for (int i = 0; i < frames; ++i) {
        std::vector<uint8_t> src = synthetic_frame(width, height, i);
        xvid_enc_frame_t f{};
        f.version = XVID_VERSION;
        f.input.csp = XVID_CSP_PLANAR;
        f.input.plane[0] = src.data();
        f.input.plane[1] = src.data() + width * height;
        f.input.plane[2] = src.data() + width * height + (width / 2) * (height / 2);
        f.input.stride[0] = width;
        f.input.stride[1] = width / 2;
        f.input.stride[2] = width / 2;
        f.vop_flags = XVID_VOP_HALFPEL | XVID_VOP_INTER4V;
        f.type = XVID_TYPE_AUTO;
        f.quant = 4;
        f.bitstream = bitstream.data();
        f.length = static_cast<int>(bitstream.size());
        xvid_enc_stats_t stats{};
        stats.version = XVID_VERSION;
        const int n = xvid_encore(create.handle, XVID_ENC_ENCODE, &f, &stats);
        if (n > 0) out.emplace_back(bitstream.data(), bitstream.data() + n);
    }
    xvid_encore(create.handle, XVID_ENC_DESTROY, nullptr, nullptr);
    return out;
}

std::vector<Picture> reference_decode(const std::vector<Packet>& packets) {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MPEG4);
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    ctx->thread_count = 1;
    avcodec_open2(ctx, codec, nullptr);
    AVFrame* frame = av_frame_alloc();
    AVPacket* pkt = av_packet_alloc();
    std::vector<Picture> out;
    for (const Packet& p : packets) {
        std::vector<uint8_t> padded(p.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        std::memcpy(padded.data(), p.data(), p.size());
        pkt->data = padded.data();
        pkt->size = static_cast<int>(p.size());
        avcodec_send_packet(ctx, pkt);
        Picture picture;
        while (avcodec_receive_frame(ctx, frame) == 0) {
            const int w = frame->width, h = frame->height;
            picture.assign(static_cast<std::size_t>(w) * h * 2, 0);
            for (int r = 0; r < h; ++r) {
                const uint8_t* y = frame->data[0] + r * frame->linesize[0];
                const uint8_t* u = frame->data[1] + (r / 2) * frame->linesize[1];
                const uint8_t* v = frame->data[2] + (r / 2) * frame->linesize[2];
                uint8_t* o = picture.data() + static_cast<std::size_t>(r) * w * 2;
                for (int c = 0; c < w; c += 2) {
                    o[2 * c] = y[c];
                    o[2 * c + 1] = u[c / 2];
                    o[2 * c + 2] = y[c + 1];
                    o[2 * c + 3] = v[c / 2];
                }
            }
            av_frame_unref(frame);
        }
        out.push_back(std::move(picture));
    }
    av_packet_free(&pkt);
    av_frame_free(&frame);
    avcodec_free_context(&ctx);
    return out;
}

std::size_t first_picture_offset(const Packet& packet) {
    for (std::size_t i = 0; i + 3 < packet.size(); ++i) {
        if (packet[i] == 0 && packet[i + 1] == 0 && packet[i + 2] == 1 &&
            (packet[i + 3] == 0xB6 || packet[i + 3] == 0xB3))
            return i;
    }
    return packet.size();
}

}  // namespace orvel::testing
