// G.721 decoding against sox's reading of Sun .au files of encoding 23, with codes made by
// libavcodec's G.726 encoder at 32 kbit/s.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "codec/g721.h"
#include "../support/temp_dir.h"

namespace orvel::codec {
namespace {

std::vector<int16_t> speech_like(int samples) {
    std::vector<int16_t> out(samples);
    uint32_t noise = 12345;
    for (int i = 0; i < samples; ++i) {
        const double t = i / 8000.0;
        const double syllable = 0.5 + 0.5 * std::sin(2 * M_PI * 3.1 * t);
        const double pitch = 120 + 30 * std::sin(2 * M_PI * 0.7 * t);
        double v = 0.6 * std::sin(2 * M_PI * pitch * t) +
                   0.3 * std::sin(2 * M_PI * 3 * pitch * t + 1) +
                   0.15 * std::sin(2 * M_PI * 2300 * t);
        noise = noise * 1664525u + 1013904223u;
        v += ((noise >> 16) / 65536.0 - 0.5) * 0.1;
        out[i] = static_cast<int16_t>(v * syllable * 14000);
    }
    return out;
}

std::vector<int16_t> tone(int samples) {
    std::vector<int16_t> out(samples);
    for (int i = 0; i < samples; ++i)
        out[i] = static_cast<int16_t>(9000 * std::sin(2 * M_PI * 1000 * i / 8000.0));
    return out;
}

// libavcodec's G.726 encoder at 32 kbit/s, low nibble first.
std::vector<uint8_t> encode_g726(const std::vector<int16_t>& pcm) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_ADPCM_G726LE);
    if (codec == nullptr) return {};
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    ctx->sample_rate = 8000;
    ctx->bit_rate = 32000;
    ctx->sample_fmt = AV_SAMPLE_FMT_S16;
    av_channel_layout_default(&ctx->ch_layout, 1);
    std::vector<uint8_t> out;
    if (avcodec_open2(ctx, codec, nullptr) == 0) {
        const int frame_size = ctx->frame_size > 0 ? ctx->frame_size : 1024;
        AVFrame* frame = av_frame_alloc();
        AVPacket* pkt = av_packet_alloc();
        for (std::size_t pos = 0; pos + frame_size <= pcm.size(); pos += frame_size) {
            frame->nb_samples = frame_size;
            frame->format = AV_SAMPLE_FMT_S16;
            av_channel_layout_copy(&frame->ch_layout, &ctx->ch_layout);
            av_frame_get_buffer(frame, 0);
            std::memcpy(frame->data[0], pcm.data() + pos, frame_size * 2);
            avcodec_send_frame(ctx, frame);
            av_frame_unref(frame);
            while (avcodec_receive_packet(ctx, pkt) == 0) {
                out.insert(out.end(), pkt->data, pkt->data + pkt->size);
                av_packet_unref(pkt);
            }
        }
        av_packet_free(&pkt);
        av_frame_free(&frame);
    }
    avcodec_free_context(&ctx);
    return out;
}

void put_be32(std::vector<uint8_t>& v, uint32_t x) {
    for (int s = 24; s >= 0; s -= 8) v.push_back(static_cast<uint8_t>(x >> s));
}

// Decodes the codes with sox through a Sun .au file of encoding 23 (G.721, 4 bits).
bool sox_reference(const std::vector<uint8_t>& codes, std::vector<int16_t>& samples) {
    const orvel::test::TempDir dir;
    const std::string au = dir.file("g721.au").string(), raw = dir.file("g721.raw").string();
    std::vector<uint8_t> file;
    put_be32(file, 0x2e736e64);  // ".snd"
    put_be32(file, 24);
    put_be32(file, static_cast<uint32_t>(codes.size()));
    put_be32(file, 23);
    put_be32(file, 8000);
    put_be32(file, 1);
    file.insert(file.end(), codes.begin(), codes.end());
    std::ofstream(au, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()),
               static_cast<std::streamsize>(file.size()));
    const std::string command =
        "sox -q -t au '" + au + "' -t raw -e signed-integer -b 16 -L '" + raw + "' 2>/dev/null";
    if (std::system(command.c_str()) != 0) return false;
    std::ifstream in(raw, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    samples.resize(bytes.size() / 2);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<int16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                          (static_cast<uint8_t>(bytes[2 * i + 1]) << 8));
    return true;
}

std::vector<int16_t> decode_all(const std::vector<uint8_t>& codes, const G721State& start) {
    AudioDecoderState state;
    state.codec = start;
    std::vector<int16_t> out(codes.size() * 2);
    EXPECT_EQ(audio_decode(state, out.data(), codes.data(), codes.size()), codes.size() * 4);
    return out;
}

TEST(G721, MatchesTheReferenceDecoderSampleForSample) {
    if (std::system("sox --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "sox is not installed";
    for (const bool speech : {true, false}) {
        SCOPED_TRACE(speech ? "speech" : "tone");
        const std::vector<uint8_t> codes = encode_g726(speech ? speech_like(16384) : tone(16384));
        ASSERT_GT(codes.size(), 4000u);
        std::vector<int16_t> reference;
        ASSERT_TRUE(sox_reference(codes, reference));
        ASSERT_EQ(reference.size(), codes.size() * 2);

        const std::vector<int16_t> ours = decode_all(codes, g721_standard_reset_state());
        std::size_t mismatches = 0, first = 0;
        for (std::size_t i = 0; i < ours.size(); ++i) {
            if (ours[i] != reference[i] && mismatches++ == 0) first = i;
        }
        EXPECT_EQ(mismatches, 0u) << "first mismatch at sample " << first;

        // The program starts from an all-zero state; it must fall in step with the reference.
        const std::vector<int16_t> from_zero = decode_all(codes, G721State{});
        std::size_t last_difference = 0;
        for (std::size_t i = 0; i < from_zero.size(); ++i)
            if (from_zero[i] != reference[i]) last_difference = i + 1;
        std::printf("zero start state converges after %zu samples\n", last_difference);
        EXPECT_LT(last_difference, from_zero.size() / 2);
    }
}

TEST(G721, LowNibbleFirstAndTimesFourScaling) {
    // From the zero state a zero code keeps the predictor at zero: two zero samples.
    AudioDecoderState state;
    int16_t out[2] = {1, 1};
    const uint8_t zero = 0x00;
    EXPECT_EQ(audio_decode(state, out, &zero, 1), 4u);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 0);

    // The byte 0x70 is code 0 then code 7: decoding the codes one by one gives the same.
    AudioDecoderState a, b;
    const uint8_t byte = 0x70;
    int16_t pair[2];
    audio_decode(a, pair, &byte, 1);
    const int16_t first = g721_decode_code(b.codec, 0x0);
    const int16_t second = g721_decode_code(b.codec, 0x7);
    EXPECT_EQ(pair[0], first);
    EXPECT_EQ(pair[1], second);
    EXPECT_NE(pair[0], pair[1]);
    // Every sample is the 14-bit reconstruction times 4.
    EXPECT_EQ(pair[1] % 4, 0);
    EXPECT_GT(pair[1], 0);

    // A block of 512 bytes gives 1024 samples and carries the state on.
    AudioDecoderState block;
    for (std::size_t i = 0; i < kAudioBlockBytes; ++i)
        block.input[i] = static_cast<uint8_t>(i * 37);
    audio_decode_block(block);
    AudioDecoderState split;
    std::vector<int16_t> halves(kAudioBlockSamples);
    audio_decode(split, halves.data(), block.input, 256);
    audio_decode(split, halves.data() + 512, block.input + 256, 256);
    EXPECT_TRUE(std::equal(halves.begin(), halves.end(), block.output));
}

}  // namespace
}  // namespace orvel::codec
