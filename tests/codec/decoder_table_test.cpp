// The handle table's rules, with a counting fake decoder injected through the factory hook.
#include "codec/decoder_table.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "codec/c4321/codec4321_decoder.h"
#include "codec/mpeg4lib_decoder.h"
#include "codec/xvid_decoder.h"

namespace orvel::codec {
namespace {

struct Record {
    std::vector<int> created_types;
    std::vector<int> destroyed_ids;
    bool open_result = true;
    int next_id = 0;
};
Record g_record;

class FakeDecoder final : public VideoDecoder {
public:
    FakeDecoder(int type, int width, int height)
        : type_(type), width_(width), height_(height), id_(g_record.next_id++) {}
    ~FakeDecoder() override { g_record.destroyed_ids.push_back(id_); }
    bool open() override { return g_record.open_result; }
    int decode(const uint8_t* data, uint8_t* output, int length) override {
        output[0] = data[0];
        return length + type_ * 1000 + width_ * 0 + height_ * 0;
    }

private:
    int type_, width_, height_, id_;
};

VideoDecoder* fake_factory(int type, int width, int height) {
    g_record.created_types.push_back(type);  // as the table passed it
    return new FakeDecoder(type, width, height);
}

VideoDecoder* failing_allocation(int, int, int) { return nullptr; }

class DecoderTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_record = Record{};
        decoder_table_set_factory(fake_factory);
        decoder_table_init();
    }
    void TearDown() override {
        decoder_table_shutdown();
        decoder_table_set_factory(nullptr);
    }
};

TEST_F(DecoderTableTest, TableHoldsExactly128AndReusesTheFreedHandle) {
    for (int i = 0; i < kDecoderSlots; ++i) ASSERT_EQ(decoder_create(1, 352, 288), i);
    EXPECT_EQ(decoder_live_count(), 128);
    EXPECT_EQ(decoder_create(1, 352, 288), -1);
    EXPECT_EQ(decoder_live_count(), 128);
    decoder_destroy(57);
    EXPECT_EQ(decoder_create(0, 352, 288), 57);
}

TEST_F(DecoderTableTest, LowestFreeSlotFirst) {
    EXPECT_EQ(decoder_create(1, 8, 8), 0);
    EXPECT_EQ(decoder_create(1, 8, 8), 1);
    decoder_destroy(0);
    EXPECT_EQ(decoder_create(2, 8, 8), 0);
    EXPECT_EQ(decoder_create(2, 8, 8), 2);
}

TEST_F(DecoderTableTest, UnlistedTypesGiveTheXvidType) {
    // The table hands any type to the factory unchanged...
    EXPECT_GE(decoder_create(7, 352, 288), 0);
    EXPECT_GE(decoder_create(-3, 352, 288), 0);
    EXPECT_EQ(g_record.created_types, (std::vector<int>{7, -3}));
    // ...and the built-in factory makes an XviD decoder of every type it does not list.
    for (const int type : {7, -3, static_cast<int>(DECODER_XVID)}) {
        const std::unique_ptr<VideoDecoder> real(make_decoder(type, 352, 288));
        EXPECT_NE(dynamic_cast<XvidDecoder*>(real.get()), nullptr) << "type " << type;
    }
    const std::unique_ptr<VideoDecoder> lib(make_decoder(DECODER_MPEG4LIB, 352, 288));
    EXPECT_NE(dynamic_cast<Mpeg4LibDecoder*>(lib.get()), nullptr);
    const std::unique_ptr<VideoDecoder> own(make_decoder(DECODER_4321, 352, 288));
    EXPECT_NE(dynamic_cast<Codec4321Decoder*>(own.get()), nullptr);
}

TEST_F(DecoderTableTest, DoubleDestroyAndBadHandlesChangeNothing) {
    const int h = decoder_create(1, 8, 8);
    decoder_create(1, 8, 8);
    decoder_destroy(h);
    EXPECT_EQ(decoder_live_count(), 1);
    decoder_destroy(h);
    decoder_destroy(-1);
    decoder_destroy(128);
    decoder_destroy(1 << 30);
    EXPECT_EQ(decoder_live_count(), 1);
    EXPECT_EQ(g_record.destroyed_ids.size(), 1u);
}

TEST_F(DecoderTableTest, DecodeReachesTheInstanceAndRejectsFreeOrBadHandles) {
    const int h = decoder_create(2, 8, 8);
    const uint8_t data[3] = {42, 0, 0};
    uint8_t out[4] = {};
    EXPECT_EQ(decoder_decode(h, 3, data, out), 2003);
    EXPECT_EQ(out[0], 42);
    EXPECT_EQ(decoder_decode(h + 1, 3, data, out), -1);
    EXPECT_EQ(decoder_decode(-1, 3, data, out), -1);
    EXPECT_EQ(decoder_decode(500, 3, data, out), -1);
    EXPECT_EQ(decoder_decode(h, -5, data, out), -1);
    EXPECT_EQ(decoder_decode(h, 3, nullptr, out), -1);
}

TEST_F(DecoderTableTest, FailedOpenOrAllocationLeavesTheSlotFree) {
    g_record.open_result = false;
    EXPECT_EQ(decoder_create(1, 8, 8), -1);
    EXPECT_EQ(decoder_live_count(), 0);
    EXPECT_EQ(g_record.destroyed_ids.size(), 1u);  // the failed instance was freed
    decoder_table_set_factory(failing_allocation);
    EXPECT_EQ(decoder_create(1, 8, 8), -1);
    decoder_table_set_factory(fake_factory);
    g_record.open_result = true;
    EXPECT_EQ(decoder_create(1, 8, 8), 0);
}

TEST_F(DecoderTableTest, ShutdownDestroysEveryInstanceInSlotOrderAndStopsCreation) {
    for (int i = 0; i < 4; ++i) decoder_create(1, 8, 8);
    decoder_destroy(1);
    decoder_table_shutdown();
    EXPECT_EQ(g_record.destroyed_ids, (std::vector<int>{1, 0, 2, 3}));
    EXPECT_EQ(decoder_create(1, 8, 8), -1);
    decoder_table_init();
    EXPECT_EQ(decoder_create(1, 8, 8), 0);
}

}  // namespace
}  // namespace orvel::codec
