// Types 0 and 1 against libavcodec's own decode of streams made by real encoders.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "clip_tools.h"
#include "codec/decoder_table.h"
#include "codec/mpeg4_vol.h"
#include "codec/xvid_decoder.h"

namespace orvel::codec {
namespace {

using testing::Packet;
using testing::Picture;

class TableFixture : public ::testing::Test {
protected:
    void SetUp() override { decoder_table_init(); }
    void TearDown() override { decoder_table_shutdown(); }
};

// Decodes every packet through a fresh handle; returns the pictures written, in order.
std::vector<Picture> decode_through_table(int type, int width, int height,
                                          const std::vector<Packet>& packets) {
    const int handle = decoder_create(type, width, height);
    EXPECT_GE(handle, 0);
    std::vector<Picture> out;
    Picture buffer(static_cast<std::size_t>(width) * height * 2, 0);
    for (const Packet& p : packets) {
        if (decoder_decode(handle, static_cast<int>(p.size()), p.data(), buffer.data()) > 0)
            out.push_back(buffer);
    }
    decoder_destroy(handle);
    return out;
}

std::vector<Picture> non_empty(std::vector<Picture> pictures) {
    pictures.erase(std::remove_if(pictures.begin(), pictures.end(),
                                  [](const Picture& p) { return p.empty(); }),
                   pictures.end());
    return pictures;
}

int max_difference(const Picture& a, const Picture& b) {
    int worst = 0;
    for (std::size_t i = 0; i < a.size(); ++i) worst = std::max(worst, std::abs(a[i] - b[i]));
    return worst;
}

// Two conforming decoders with different inverse transforms: each byte within 2, and on
// average far below one step (a misplaced row or chroma plane gives tens).
void expect_close(const Picture& ours, const Picture& reference, const char* what, std::size_t i) {
    ASSERT_EQ(ours.size(), reference.size());
    long total = 0;
    for (std::size_t k = 0; k < ours.size(); ++k) total += std::abs(ours[k] - reference[k]);
    EXPECT_LE(max_difference(ours, reference), 2) << what << " picture " << i;
    EXPECT_LT(static_cast<double>(total) / static_cast<double>(ours.size()), 0.1)
        << what << " picture " << i;
}

struct ClipSize {
    int width;
    int height;
};

class Mpeg4DecodeTest : public TableFixture, public ::testing::WithParamInterface<ClipSize> {};

TEST_P(Mpeg4DecodeTest, BothTypesMatchLibavcodecOnBothEncoders) {
    const auto [w, h] = GetParam();
    const int frames = w >= 1280 ? 3 : 5;
    for (const bool xvid_encoded : {false, true}) {
        SCOPED_TRACE(xvid_encoded ? "xvid encoder" : "libavcodec encoder");
        const std::vector<Packet> clip = xvid_encoded ? testing::encode_xvid(w, h, frames, 3)
                                                      : testing::encode_lavc(w, h, frames, 3);
        ASSERT_EQ(clip.size(), static_cast<std::size_t>(frames));
        const std::vector<Picture> reference = non_empty(testing::reference_decode(clip));
        ASSERT_EQ(reference.size(), static_cast<std::size_t>(frames));

        // Type 1 is the same library: identical bytes.
        const std::vector<Picture> type1 = decode_through_table(DECODER_MPEG4LIB, w, h, clip);
        ASSERT_EQ(type1.size(), reference.size());
        for (std::size_t i = 0; i < reference.size(); ++i)
            EXPECT_EQ(type1[i], reference[i]) << "type 1 picture " << i;

        // Type 1's planar output is the same picture before packing; type 0 has none.
        const int planar_handle = decoder_create(DECODER_MPEG4LIB, w, h);
        std::size_t shown = 0;
        for (const Packet& packet : clip) {
            PlanarPicture planar;
            if (decoder_decode_planar(planar_handle, static_cast<int>(packet.size()),
                                      packet.data(), &planar) <= 0)
                continue;
            ASSERT_LT(shown, reference.size());
            ASSERT_EQ(planar.width, w);
            ASSERT_EQ(planar.height, h);
            Picture packed(static_cast<std::size_t>(w) * h * 2);
            pack_yuy2(planar, w, h, packed.data(), static_cast<std::ptrdiff_t>(w) * 2);
            EXPECT_EQ(packed, reference[shown]) << "planar picture " << shown;
            ++shown;
        }
        EXPECT_EQ(shown, reference.size());
        decoder_destroy(planar_handle);
        const int xvid_handle = decoder_create(DECODER_XVID, w, h);
        PlanarPicture none;
        EXPECT_EQ(decoder_decode_planar(xvid_handle, static_cast<int>(clip[0].size()),
                                        clip[0].data(), &none),
                  kNoPlanarOutput);
        decoder_destroy(xvid_handle);

        // Type 0 has its own inverse transform: within rounding of the reference.
        const std::vector<Picture> type0 = decode_through_table(DECODER_XVID, w, h, clip);
        ASSERT_EQ(type0.size(), reference.size());
        for (std::size_t i = 0; i < reference.size(); ++i)
            expect_close(type0[i], reference[i], "type 0", i);
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, Mpeg4DecodeTest,
                         ::testing::Values(ClipSize{352, 288}, ClipSize{704, 576},
                                           ClipSize{1280, 720}, ClipSize{320, 240},
                                           ClipSize{200, 136}),
                         [](const auto& info) {
                             return std::to_string(info.param.width) + "x" +
                                    std::to_string(info.param.height);
                         });

TEST(XvidPriming, HeaderCarriesTheSizeBetweenMarkerBits) {
    uint8_t header[kXvidPrimingBytes];
    xvid_priming_header(704, 576, header);
    const uint8_t expected[kXvidPrimingBytes] = {0x00, 0x00, 0x01, 0x01, 0x00, 0x00,
                                                 0x01, 0x20, 0x00, 0x84, 0x40, 0x07,
                                                 0xA8, 0xB0, 0x22, 0x40, 0xA2};
    EXPECT_EQ(0, std::memcmp(header, expected, sizeof expected));
}

TEST_F(TableFixture, XvidDecodesAStreamWithoutSequenceHeaderThanksToPriming) {
    const std::vector<Packet> clip = testing::encode_lavc(352, 288, 4, 4);
    const std::vector<Picture> reference = non_empty(testing::reference_decode(clip));
    std::vector<Packet> headerless = clip;
    const std::size_t cut = testing::first_picture_offset(headerless[0]);
    ASSERT_GT(cut, 0u);
    ASSERT_LT(cut, headerless[0].size());
    headerless[0].erase(headerless[0].begin(), headerless[0].begin() + static_cast<long>(cut));

    // The priming header carries no low-delay flag, so the library hands each picture out
    // one call late; every picture but the last comes out, in order.
    const std::vector<Picture> type0 = decode_through_table(DECODER_XVID, 352, 288, headerless);
    ASSERT_EQ(type0.size(), reference.size() - 1);
    for (std::size_t i = 0; i < type0.size(); ++i)
        expect_close(type0[i], reference[i], "type 0", i);
}

TEST_F(TableFixture, HeaderOnlyBufferGivesNoPictureAndLeavesOutputUntouched) {
    const std::vector<Packet> clip = testing::encode_lavc(352, 288, 1, 1);
    const Packet header(
        clip[0].begin(),
        clip[0].begin() + static_cast<long>(testing::first_picture_offset(clip[0])));
    for (const int type : {DECODER_XVID, DECODER_MPEG4LIB}) {
        const int handle = decoder_create(type, 352, 288);
        Picture buffer(352 * 288 * 2, 0x5A);
        EXPECT_LE(
            decoder_decode(handle, static_cast<int>(header.size()), header.data(), buffer.data()),
            0)
            << "type " << type;
        EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](uint8_t b) { return b == 0x5A; }))
            << "type " << type;
        decoder_destroy(handle);
    }
}

TEST_F(TableFixture, LibavcodecTypeLearnsTheSizeFromTheStream) {
    const std::vector<Packet> clip = testing::encode_lavc(320, 240, 2, 2);
    const std::vector<Picture> reference = non_empty(testing::reference_decode(clip));
    const int handle = decoder_create(DECODER_MPEG4LIB, 0, 0);
    ASSERT_GE(handle, 0);
    Picture buffer(1280 * 720 * 2, 0);
    ASSERT_GT(
        decoder_decode(handle, static_cast<int>(clip[0].size()), clip[0].data(), buffer.data()), 0);
    EXPECT_TRUE(std::equal(reference[0].begin(), reference[0].end(), buffer.begin()));
    decoder_destroy(handle);
}

// A stream larger than the size given at creation must never write past that size: the
// picture is cropped to it, at the created stride.
TEST_F(TableFixture, LargerStreamThanCreatedIsCroppedNotOverrun) {
    const std::vector<Packet> clip = testing::encode_lavc(704, 576, 2, 2);
    const std::vector<Picture> reference = non_empty(testing::reference_decode(clip));
    const std::size_t picture_bytes = 352 * 288 * 2;
    for (const int type : {DECODER_XVID, DECODER_MPEG4LIB}) {
        SCOPED_TRACE(type);
        const int handle = decoder_create(type, 352, 288);
        Picture buffer(picture_bytes + 4096, 0xC3);
        int pictures = 0;
        for (const Packet& p : clip)
            if (decoder_decode(handle, static_cast<int>(p.size()), p.data(), buffer.data()) > 0)
                ++pictures;
        EXPECT_EQ(pictures, 2);
        EXPECT_TRUE(std::all_of(buffer.begin() + picture_bytes, buffer.end(),
                                [](uint8_t b) { return b == 0xC3; }));
        // Row 10 of the crop is the first 352 pixels of row 10 of the full picture.
        const uint8_t* row = buffer.data() + 10 * 352 * 2;
        const uint8_t* full = reference[1].data() + 10 * 704 * 2;
        EXPECT_LE(max_difference(Picture(row, row + 704), Picture(full, full + 704)), 2);
        decoder_destroy(handle);
    }
}

// Stream headers are read for their size before a library sees them: the two encoders'
// headers give their picture sizes, and a header above the limit never reaches the library,
// which would allocate its reference pictures for it (hundreds of megabytes at 8191 x 8191).
TEST(StreamSizeLimit, OversizedHeadersNeverReachTheLibrary) {
    const std::vector<Packet> lavc = testing::encode_lavc(352, 288, 1, 1);
    ASSERT_FALSE(lavc.empty());
    EXPECT_EQ(largest_vol_pixels(lavc[0].data(), lavc[0].size()), 352 * 288);
    const std::vector<Packet> xvid = testing::encode_xvid(176, 144, 1, 1);
    ASSERT_FALSE(xvid.empty());
    EXPECT_EQ(largest_vol_pixels(xvid[0].data(), xvid[0].size()), 176 * 144);

    uint8_t huge[kXvidPrimingBytes];
    xvid_priming_header(2049, 2048, huge);
    EXPECT_EQ(largest_vol_pixels(huge, sizeof huge), 2049 * 2048);
    XvidDecoder decoder(0, 0);
    ASSERT_TRUE(decoder.open());
    std::vector<uint8_t> output(kUnknownSizeOutputBytes);
    EXPECT_EQ(decoder.decode(huge, output.data(), sizeof huge), 0);
    EXPECT_EQ(decoder.stream_width(), 0);
    // A header at the limit is taken.
    uint8_t largest[kXvidPrimingBytes];
    xvid_priming_header(2048, 2048, largest);
    decoder.decode(largest, output.data(), sizeof largest);
    EXPECT_EQ(decoder.stream_width(), 2048);
}

TEST_F(TableFixture, EmptyAndGarbageBuffersAreHarmless) {
    const std::vector<Packet> clip = testing::encode_lavc(352, 288, 2, 2);
    for (const int type : {DECODER_XVID, DECODER_MPEG4LIB}) {
        const int handle = decoder_create(type, 352, 288);
        Picture buffer(352 * 288 * 2, 0);
        EXPECT_LE(decoder_decode(handle, 0, clip[0].data(), buffer.data()), 0);
        const Packet garbage(300, 0xFF);
        decoder_decode(handle, static_cast<int>(garbage.size()), garbage.data(), buffer.data());
        // An empty buffer must not end the stream: the decoder still decodes afterwards.
        EXPECT_GT(
            decoder_decode(handle, static_cast<int>(clip[0].size()), clip[0].data(), buffer.data()),
            0)
            << "type " << type;
        decoder_destroy(handle);
    }
}

}  // namespace
}  // namespace orvel::codec
