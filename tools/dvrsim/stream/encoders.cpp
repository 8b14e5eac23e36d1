#include "stream/encoders.h"

#include <xvid.h>

#include <cmath>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
}

#include "codec/c4321/encoder.h"

namespace dvrsim {
namespace {

// Owns the libavcodec objects of one encode.
struct LavcEncoder {
    AVCodecContext* ctx = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    ~LavcEncoder() {
        av_packet_free(&packet);
        av_frame_free(&frame);
        avcodec_free_context(&ctx);
    }
};

}  // namespace

std::vector<EncodedFrame> encode_mpeg4_lavc(int width, int height, int frames, int gop,
                                            const SceneFn& scene, std::string& error) {
    std::vector<EncodedFrame> out;
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    LavcEncoder e;
    if (codec == nullptr || (e.ctx = avcodec_alloc_context3(codec)) == nullptr) {
        error = "no MPEG-4 encoder";
        return out;
    }
    e.ctx->width = width;
    e.ctx->height = height;
    e.ctx->time_base = AVRational{1, 25};
    e.ctx->framerate = AVRational{25, 1};
    e.ctx->pix_fmt = AV_PIX_FMT_YUV420P;
    e.ctx->gop_size = gop;
    e.ctx->max_b_frames = 0;
    // ~500 kbit/s at CIF; large pictures get less per pixel so every frame stays below the
    // standard form's 64 KiB.
    e.ctx->bit_rate = std::min<int64_t>(static_cast<int64_t>(width) * height * 5, 2'000'000);
    e.ctx->thread_count = 1;
    if (avcodec_open2(e.ctx, codec, nullptr) < 0) {
        error = "MPEG-4 encoder refused the settings";
        return out;
    }
    e.frame = av_frame_alloc();
    e.packet = av_packet_alloc();
    e.frame->width = width;
    e.frame->height = height;
    e.frame->format = AV_PIX_FMT_YUV420P;
    if (av_frame_get_buffer(e.frame, 0) < 0) {
        error = "no frame buffer";
        return out;
    }
    PlanarPicture pic;
    auto drain = [&] {
        while (avcodec_receive_packet(e.ctx, e.packet) == 0) {
            out.push_back({std::vector<uint8_t>(e.packet->data, e.packet->data + e.packet->size),
                           (e.packet->flags & AV_PKT_FLAG_KEY) != 0});
            av_packet_unref(e.packet);
        }
    };
    for (int i = 0; i < frames; ++i) {
        scene(pic, i);
        av_frame_make_writable(e.frame);
        const uint8_t* planes[3] = {pic.y(), pic.u(), pic.v()};
        for (int p = 0; p < 3; ++p) {
            const int w = p == 0 ? width : width / 2, h = p == 0 ? height : height / 2;
            for (int r = 0; r < h; ++r)
                std::memcpy(e.frame->data[p] + r * e.frame->linesize[p], planes[p] + r * w, w);
        }
        e.frame->pts = i;
        if (i % gop == 0)
            e.frame->pict_type = AV_PICTURE_TYPE_I;
        else
            e.frame->pict_type = AV_PICTURE_TYPE_NONE;
        avcodec_send_frame(e.ctx, e.frame);
        drain();
    }
    avcodec_send_frame(e.ctx, nullptr);
    drain();
    return out;
}

std::vector<EncodedFrame> encode_mpeg4_xvid(int width, int height, int frames, int gop,
                                            const SceneFn& scene, std::string& error) {
    std::vector<EncodedFrame> out;
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
    if (xvid_encore(nullptr, XVID_ENC_CREATE, &create, nullptr) < 0) {
        error = "xvid encoder refused the settings";
        return out;
    }
    std::vector<uint8_t> bitstream(static_cast<size_t>(width) * height * 2 + 4096);
    PlanarPicture pic;
    for (int i = 0; i < frames; ++i) {
        scene(pic, i);
        xvid_enc_frame_t f{};
        f.version = XVID_VERSION;
        f.input.csp = XVID_CSP_PLANAR;
        f.input.plane[0] = pic.y();
        f.input.plane[1] = pic.u();
        f.input.plane[2] = pic.v();
        f.input.stride[0] = width;
        f.input.stride[1] = width / 2;
        f.input.stride[2] = width / 2;
        f.vop_flags = XVID_VOP_HALFPEL | XVID_VOP_INTER4V;
        f.type = i % gop == 0 ? XVID_TYPE_IVOP : XVID_TYPE_AUTO;
        f.quant = 5;
        f.bitstream = bitstream.data();
        f.length = static_cast<int>(bitstream.size());
        xvid_enc_stats_t stats{};
        stats.version = XVID_VERSION;
        const int n = xvid_encore(create.handle, XVID_ENC_ENCODE, &f, &stats);
        if (n > 0)
            out.push_back({std::vector<uint8_t>(bitstream.data(), bitstream.data() + n),
                           (f.out_flags & XVID_KEYFRAME) != 0 || stats.type == XVID_TYPE_IVOP});
    }
    xvid_encore(create.handle, XVID_ENC_DESTROY, nullptr, nullptr);
    return out;
}

std::vector<EncodedFrame> encode_4321(int width, int height, int frames, int gop,
                                      const SceneFn& scene, std::string& error) {
    std::vector<EncodedFrame> out;
    orvel::codec::c4321::Encoder encoder(width, height);
    if (!encoder.valid()) {
        error = "codec 4321 encoder refused the size";
        return out;
    }
    PlanarPicture pic;
    for (int i = 0; i < frames; ++i) {
        scene(pic, i);
        const bool key = i % gop == 0;
        const auto& bytes = encoder.encode_planar(
            pic.y(), width, pic.u(), pic.v(), width / 2,
            key ? orvel::codec::c4321::PictureType::intra : orvel::codec::c4321::PictureType::inter,
            1);
        out.push_back({bytes, key});
    }
    return out;
}

std::vector<uint8_t> encode_g721_speech(int seconds, std::string& error) {
    std::vector<uint8_t> out;
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_ADPCM_G726LE);
    LavcEncoder e;
    if (codec == nullptr || (e.ctx = avcodec_alloc_context3(codec)) == nullptr) {
        error = "no G.726 encoder";
        return out;
    }
    e.ctx->sample_rate = 8000;
    e.ctx->sample_fmt = AV_SAMPLE_FMT_S16;
    e.ctx->bit_rate = 32000;
    av_channel_layout_default(&e.ctx->ch_layout, 1);
    if (avcodec_open2(e.ctx, codec, nullptr) < 0) {
        error = "G.726 encoder refused the settings";
        return out;
    }
    const int frame_samples = e.ctx->frame_size > 0 ? e.ctx->frame_size : 1024;
    e.frame = av_frame_alloc();
    e.packet = av_packet_alloc();
    e.frame->nb_samples = frame_samples;
    e.frame->format = AV_SAMPLE_FMT_S16;
    av_channel_layout_default(&e.frame->ch_layout, 1);
    e.frame->sample_rate = 8000;
    if (av_frame_get_buffer(e.frame, 0) < 0) {
        error = "no audio buffer";
        return out;
    }
    auto drain = [&] {
        while (avcodec_receive_packet(e.ctx, e.packet) == 0) {
            out.insert(out.end(), e.packet->data, e.packet->data + e.packet->size);
            av_packet_unref(e.packet);
        }
    };
    const int total = seconds * 8000;
    for (int start = 0; start < total; start += frame_samples) {
        av_frame_make_writable(e.frame);
        auto* s = reinterpret_cast<int16_t*>(e.frame->data[0]);
        for (int i = 0; i < frame_samples; ++i) {
            // Two voiced tones under a syllable-rate envelope: speech-like, easy to hear.
            const double t = (start + i) / 8000.0;
            const double envelope = 0.5 + 0.5 * std::sin(2 * M_PI * 3.0 * t);
            const double v = envelope * (0.5 * std::sin(2 * M_PI * 220.0 * t) +
                                         0.3 * std::sin(2 * M_PI * 660.0 * t));
            s[i] = static_cast<int16_t>(v * 9000.0);
        }
        e.frame->pts = start;
        avcodec_send_frame(e.ctx, e.frame);
        drain();
    }
    avcodec_send_frame(e.ctx, nullptr);
    drain();
    return out;
}

}  // namespace dvrsim
