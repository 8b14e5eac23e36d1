// The .dvr reader's bounds and the builder's layout.
#include "media/dvr_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "../support/temp_dir.h"

namespace orvel::media {
namespace {

DvrHeader header_for(int32_t marker, uint32_t width = 352, uint32_t height = 288) {
    DvrHeader h;
    h.width = width;
    h.height = height;
    h.stream_id = 9;
    h.codec_marker = marker;
    return h;
}

struct Parsed {
    DvrStatus header_status;
    DvrStatus end_status;
    std::vector<DvrRecordHeader> records;
    std::vector<std::vector<uint8_t>> payloads;
    DvrHeader header;
    std::size_t index_count = 0;
};

Parsed parse(const std::vector<uint8_t>& bytes, std::size_t capacity = kPayloadBufferBytes) {
    MemoryDvrSource source(bytes.data(), bytes.size());
    DvrReader reader(source);
    Parsed p;
    p.header_status = reader.read_header_block();
    p.header = reader.header();
    if (p.header_status != DvrStatus::ok) return p;
    p.index_count = reader.index_count();
    std::vector<uint8_t> payload(capacity);
    DvrRecordHeader record;
    while ((p.end_status = reader.next_record(record, payload.data(), capacity)) == DvrStatus::ok) {
        p.records.push_back(record);
        p.payloads.emplace_back(payload.begin(), payload.begin() + record.payload_bytes);
    }
    return p;
}

TEST(DvrFile, StandardFileRoundTripsWithIndexDurationAndClosedMark) {
    DvrBuilder b(header_for(0));
    const std::vector<uint8_t> key(100, 0xAA), delta(40, 0xBB), audio(512, 0x11);
    b.add_video(key.data(), 100, 0, true, 0x12345678);
    b.add_audio(audio.data(), 7);
    b.add_video(delta.data(), 40, 40, false);
    b.add_video(key.data(), 100, 80, true);
    b.finish();
    ASSERT_EQ(b.bytes().size(), kStdHeaderBlockBytes + 3 * 12 + 240 + 12 + 512);

    const Parsed p = parse(b.bytes());
    ASSERT_EQ(p.header_status, DvrStatus::ok);
    EXPECT_EQ(p.end_status, DvrStatus::end_of_file);
    EXPECT_EQ(p.header.width, 352u);
    EXPECT_EQ(p.header.closed_mark, 1);
    EXPECT_EQ(p.header.duration_ms, 80u);
    EXPECT_EQ(p.header.decoder_type(), 1);
    EXPECT_EQ(p.index_count, 2u);
    ASSERT_EQ(p.records.size(), 4u);
    EXPECT_EQ(p.records[0].kind, RecordKind::video);
    EXPECT_TRUE(p.records[0].key_frame);
    EXPECT_EQ(p.records[0].packed_datetime, 0x12345678u);
    EXPECT_EQ(p.records[1].kind, RecordKind::audio);
    EXPECT_EQ(p.payloads[1], audio);
    EXPECT_FALSE(p.records[2].key_frame);
    EXPECT_EQ(p.payloads[2], delta);
    // The index points at the record header of each key frame.
    MemoryDvrSource source(b.bytes().data(), b.bytes().size());
    DvrReader reader(source);
    ASSERT_EQ(reader.read_header_block(), DvrStatus::ok);
    EXPECT_EQ(reader.index_entry(0).offset, kStdHeaderBlockBytes);
    EXPECT_EQ(reader.index_entry(1).offset, kStdHeaderBlockBytes + 112 + 524 + 52);
    EXPECT_EQ(reader.index_entry(1).time_ms, 80u);
}

TEST(DvrFile, DualFileUsesLongBlockSixteenByteRecordsAndSkipsOtherClasses) {
    DvrBuilder b(header_for(kMarkerDual));
    const std::vector<uint8_t> video(300000, 0x42);  // above 16 bits: only the dual form holds it
    b.add_video(video.data(), 1000, 0, true);
    const uint8_t other_class[16] = {0x05, 0, 0, 0, 0xFF, 0xFF, 0, 0};  // class 5: no payload read
    b.add_raw(other_class, sizeof other_class);
    b.add_video(video.data(), static_cast<uint32_t>(video.size()), 40, false);
    b.finish();
    const Parsed p = parse(b.bytes());
    ASSERT_EQ(p.header_status, DvrStatus::ok);
    EXPECT_EQ(p.header.decoder_type(), 0);
    ASSERT_EQ(p.records.size(), 2u);  // then the 300,000-byte record exceeds the payload buffer
    EXPECT_EQ(p.end_status, DvrStatus::damaged);

    const Parsed roomy = parse(b.bytes(), 400000);
    ASSERT_EQ(roomy.records.size(), 3u);
    EXPECT_EQ(roomy.records[0].frame_class, 0);
    EXPECT_EQ(roomy.records[1].kind, RecordKind::other);
    EXPECT_EQ(roomy.records[1].payload_bytes, 0u);
    EXPECT_EQ(roomy.records[2].payload_bytes, 300000u);
    EXPECT_EQ(roomy.end_status, DvrStatus::end_of_file);
}

TEST(DvrFile, StandardFormRefusesARecordItsLengthFieldCannotCarry) {
    DvrBuilder b(header_for(0));
    const std::vector<uint8_t> video(0x10000, 0x42);
    const std::size_t before = b.bytes().size();
    EXPECT_FALSE(b.add_video(video.data(), 0x10000, 0, true));
    EXPECT_EQ(b.bytes().size(), before);
    EXPECT_TRUE(b.add_video(video.data(), 0xFFFF, 40, true));
    b.finish();
    const Parsed p = parse(b.bytes());
    ASSERT_EQ(p.records.size(), 1u);
    EXPECT_EQ(p.records[0].payload_bytes, 0xFFFFu);
    EXPECT_EQ(p.index_count, 1u);
    EXPECT_EQ(p.header.duration_ms, 40u);
    EXPECT_EQ(p.end_status, DvrStatus::end_of_file);
}

TEST(DvrFile, ShortHeaderBlocksAreDamaged) {
    DvrBuilder standard(header_for(0));
    std::vector<uint8_t> bytes = standard.bytes();
    bytes.resize(kStdHeaderBlockBytes - 1);
    EXPECT_EQ(parse(bytes).header_status, DvrStatus::damaged);
    bytes.resize(10);
    EXPECT_EQ(parse(bytes).header_status, DvrStatus::damaged);
    bytes.clear();
    EXPECT_EQ(parse(bytes).header_status, DvrStatus::damaged);
    // A dual marker needs the 128,028-byte block even when 8,028 bytes are there.
    DvrBuilder dual(header_for(kMarkerDual));
    std::vector<uint8_t> dual_bytes = dual.bytes();
    dual_bytes.resize(kStdHeaderBlockBytes);
    EXPECT_EQ(parse(dual_bytes).header_status, DvrStatus::damaged);
}

TEST(DvrFile, TruncatedTailsStopCleanlyAtTheLastWholeRecord) {
    DvrBuilder b(header_for(0));
    const std::vector<uint8_t> video(200, 1);
    b.add_video(video.data(), 200, 0, true);
    b.add_video(video.data(), 200, 40, false);
    const std::size_t whole = b.bytes().size();
    for (const std::size_t cut : {whole - 1, whole - 200, whole - 205, whole - 211}) {
        std::vector<uint8_t> bytes(b.bytes().begin(), b.bytes().begin() + static_cast<long>(cut));
        const Parsed p = parse(bytes);
        EXPECT_EQ(p.records.size(), 1u) << cut;
        EXPECT_EQ(p.end_status, DvrStatus::truncated) << cut;
    }
}

TEST(DvrFile, StandardIndexStopsAtOneThousandEntries) {
    DvrBuilder b(header_for(0));
    const uint8_t byte = 0;
    for (uint32_t i = 0; i < 1005; ++i) b.add_video(&byte, 1, i * 40 + 1, true);
    b.finish();
    const Parsed p = parse(b.bytes());
    EXPECT_EQ(p.index_count, 1000u);
    EXPECT_EQ(p.records.size(), 1005u);
    EXPECT_EQ(p.header.duration_ms, 1004u * 40 + 1);
}

TEST(DvrFile, StandardAudioBitAndKeyBitsFollowTheFlagsByte) {
    uint8_t raw[12] = {0x21, 0, 0x10, 0x00, 5, 0, 0, 0, 0, 0, 0, 0};
    DvrRecordHeader r = parse_record_header(raw, false);
    EXPECT_EQ(r.kind, RecordKind::audio);
    EXPECT_FALSE(r.key_frame);
    EXPECT_EQ(r.length_bytes, 16u);
    EXPECT_EQ(r.payload_bytes, kAudioRecordBytes);  // audio is one block whatever the field says
    EXPECT_EQ(r.time_ms, 5u);
    raw[0] = 0x00;
    r = parse_record_header(raw, false);
    EXPECT_EQ(r.kind, RecordKind::video);
    EXPECT_TRUE(r.key_frame);
    EXPECT_EQ(r.payload_bytes, 16u);
}

TEST(DvrFile, SeekLandsOnTheFirstIndexEntryWithinFiveSecondsOfTheTarget) {
    DvrBuilder b(header_for(0));
    const std::vector<uint8_t> frame(30, 7);
    for (uint32_t t = 0; t <= 10000; t += 500) b.add_video(frame.data(), 30, t, t % 2000 == 0);
    b.finish();
    std::vector<uint8_t> bytes = b.bytes();
    MemoryDvrSource source(bytes.data(), bytes.size());
    DvrReader reader(source);
    ASSERT_EQ(reader.read_header_block(), DvrStatus::ok);
    std::vector<uint8_t> payload(64);
    DvrRecordHeader record;
    auto time_after_seek = [&](uint32_t target) -> int64_t {
        DvrIndexEntry landed;
        if (!reader.seek_time(target, &landed)) return -1;
        EXPECT_EQ(reader.position(), landed.offset);
        EXPECT_EQ(reader.next_record(record, payload.data(), payload.size()), DvrStatus::ok);
        EXPECT_TRUE(record.key_frame);
        return record.time_ms;
    };
    EXPECT_EQ(time_after_seek(0), 0);
    EXPECT_EQ(time_after_seek(9000), 6000);  // 4000 + 5000 does not exceed 9000
    EXPECT_EQ(time_after_seek(14999), 10000);
    const uint64_t before = reader.position();
    EXPECT_EQ(time_after_seek(15000), -1);  // nothing qualifies: the position stays
    EXPECT_EQ(reader.position(), before);

    // An entry that does not point at its key frame is passed over.
    store_u32(bytes.data() + kStreamHeaderBytes, kStdHeaderBlockBytes + 42);
    MemoryDvrSource bad_source(bytes.data(), bytes.size());
    DvrReader bad(bad_source);
    ASSERT_EQ(bad.read_header_block(), DvrStatus::ok);
    DvrIndexEntry landed;
    ASSERT_TRUE(bad.seek_time(0, &landed));
    EXPECT_EQ(landed.time_ms, 2000u);
}

TEST(DvrFile, OpeningForReadingNeverCreatesAFile) {
    orvel::test::TempDir dir;
    const auto missing = dir.file("missing.dvr");
    FileDvrSource source;
    DvrReader reader(source);
    EXPECT_EQ(open_dvr_file(missing.string(), source, reader), DvrStatus::cannot_open);
    EXPECT_FALSE(std::filesystem::exists(missing));
    FileDvrSource folder_source;
    DvrReader folder_reader(folder_source);
    EXPECT_EQ(open_dvr_file(dir.path().string(), folder_source, folder_reader),
              DvrStatus::cannot_open);
    DvrBuilder b(header_for(0));
    b.finish();
    ASSERT_TRUE(b.save(dir.file("empty.dvr").string()));
    FileDvrSource file_source;
    DvrReader file_reader(file_source);
    EXPECT_EQ(open_dvr_file(dir.file("empty.dvr").string(), file_source, file_reader),
              DvrStatus::ok);
}

}  // namespace
}  // namespace orvel::media
