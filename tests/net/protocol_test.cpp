#include "net/protocol.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "net/day_index.h"
#include "net/net_session.h"
#include "net/reply_assembler.h"

namespace orvel::net {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytes_of(const Request& r) {
    return Bytes(r.bytes.begin(), r.bytes.begin() + r.length_bytes);
}

Bytes header(std::uint8_t type, std::uint8_t code, std::uint16_t param, std::uint16_t length) {
    return {type,
            code,
            static_cast<std::uint8_t>(param & 0xFF),
            static_cast<std::uint8_t>(param >> 8),
            static_cast<std::uint8_t>(length & 0xFF),
            static_cast<std::uint8_t>(length >> 8)};
}

void append_text(Bytes& b, const std::string& s, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i)
        b.push_back(i < s.size() ? static_cast<std::uint8_t>(s[i]) : 0);
}

void set_length(Bytes& b) {
    b[4] = static_cast<std::uint8_t>(b.size() & 0xFF);
    b[5] = static_cast<std::uint8_t>(b.size() >> 8);
}

Bytes login_reply(int device, int sw, int result, const std::vector<std::string>& names,
                  int tag = -1, std::uint32_t mask = 0) {
    Bytes b = header(0, 0, 0, 0);
    b.push_back(static_cast<std::uint8_t>(device));
    b.push_back(static_cast<std::uint8_t>(sw));
    b.push_back(static_cast<std::uint8_t>(result));
    for (const auto& n : names) append_text(b, n, 36);
    if (tag >= 0) b.push_back(static_cast<std::uint8_t>(tag));
    if (tag == 2)
        for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(mask >> (8 * i)));
    set_length(b);
    return b;
}

TEST(Requests, DayIndexQueryIsByteExact) {
    const Bytes expected = {5, 11, 3, 0, 14, 0, '0', '9', '-', '0', '3', '-', '0', '7'};
    EXPECT_EQ(bytes_of(build_day_index_query(3, {2009, 3, 7})), expected);
}

TEST(Requests, RecordingDaysQueryCarriesTheDateWithoutTerminator) {
    const Bytes expected = {7, 0, 0, 0, 14, 0, '2', '6', '-', '1', '2', '-', '3', '1'};
    EXPECT_EQ(bytes_of(build_recording_days_query({2026, 12, 31})), expected);
    EXPECT_EQ(format_query_date({2100, 1, 2}), "00-01-02");
}

TEST(Requests, LoginCutsAndPadsCredentialsToEightBytes) {
    const Bytes got = bytes_of(build_login("administrator", "pw"));
    ASSERT_EQ(got.size(), 22u);
    const Bytes head = {0, 11, 0x21, 0x1C, 22, 0};  // param 7201
    EXPECT_EQ(Bytes(got.begin(), got.begin() + 6), head);
    EXPECT_EQ(std::string(got.begin() + 6, got.begin() + 14), "administ");
    EXPECT_EQ(std::string(got.begin() + 14, got.begin() + 16), "pw");
    for (std::size_t i = 16; i < 22; ++i) EXPECT_EQ(got[i], 0) << i;
}

TEST(Requests, ControlCheckAndStreamSelect) {
    EXPECT_EQ(bytes_of(build_camera_control(kGotoPreset, 5, 3)),
              (Bytes{1, 21, 49, 1, 6, 0}));  // 305
    EXPECT_EQ(bytes_of(build_connection_check()), (Bytes{6, 0, 0, 0, 6, 0}));
    EXPECT_EQ(bytes_of(build_stream_select(true, 0x01020304)),
              (Bytes{60, 0, 0, 0, 10, 0, 4, 3, 2, 1}));
    EXPECT_EQ(bytes_of(build_stream_select(false, 7))[0], 61);
}

TEST(LoginReply, SixteenCamerasWithATagOtherThanTwoAreAllOffered) {
    std::vector<std::string> names(16, "x");
    LoginReply r;
    ASSERT_TRUE(parse_login_reply(login_reply(4, 4, 1, names, 7), r));
    EXPECT_EQ(r.announced_cameras, 16);
    ASSERT_EQ(r.cameras.size(), 16u);
    EXPECT_FALSE(r.has_mask);
    for (const auto& c : r.cameras) EXPECT_TRUE(c.offered);
}

TEST(LoginReply, MaskSelectsCamerasAndNamesAreBounded) {
    const std::string full(36, 'N');  // no terminator in the field
    LoginReply r;
    ASSERT_TRUE(parse_login_reply(login_reply(1, 4, 1, {"a", "", full, "d"}, 2, 0b101), r));
    ASSERT_EQ(r.cameras.size(), 4u);
    EXPECT_TRUE(r.cameras[0].offered);
    EXPECT_FALSE(r.cameras[1].offered);
    EXPECT_TRUE(r.cameras[2].offered);
    EXPECT_FALSE(r.cameras[3].offered);
    EXPECT_EQ(r.cameras[1].name, "");
    EXPECT_EQ(r.cameras[2].name, full);
}

TEST(LoginReply, CountsBeyondTheBytesOrTheSiteAreClamped) {
    LoginReply r;
    // 100 x 100 announced, only two names received.
    ASSERT_TRUE(parse_login_reply(login_reply(100, 100, 1, {"a", "b"}), r));
    EXPECT_EQ(r.cameras.size(), 2u);
    // 7 x 7 = 49 names received: only 36 kept.
    ASSERT_TRUE(parse_login_reply(login_reply(7, 7, 1, std::vector<std::string>(49, "c")), r));
    EXPECT_EQ(r.cameras.size(), 36u);
    // Negative counts offer nothing; a rejected reply carries no cameras.
    ASSERT_TRUE(parse_login_reply(login_reply(-2, 4, 1, {}), r));
    EXPECT_TRUE(r.cameras.empty());
    ASSERT_TRUE(parse_login_reply(login_reply(4, 4, 0, {}), r));
    EXPECT_FALSE(r.accepted);
    EXPECT_FALSE(parse_login_reply(header(0, 0, 0, 8), r));
}

TEST(PresetReply, IndexOfThirtySixOrMoreIsRejectedAndShortRepliesArePadded) {
    Bytes b = header(1, 0, 36, 0);
    append_text(b, "Home", 448);
    set_length(b);
    PresetReply p;
    EXPECT_FALSE(parse_preset_reply(b, p));
    b[2] = 35;
    ASSERT_TRUE(parse_preset_reply(b, p));
    EXPECT_EQ(p.camera_index, 35);
    EXPECT_EQ(fixed_text(p.names.data(), 28), "Home");
    Bytes shortened = header(1, 0, 2, 10);
    append_text(shortened, "Gate", 4);
    ASSERT_TRUE(parse_preset_reply(shortened, p));
    EXPECT_EQ(fixed_text(p.names.data(), 28), "Gate");
    EXPECT_EQ(p.names[447], 0);
}

TEST(RecordingDaysReply, ThreeMasksOrNothing) {
    Bytes b = header(7, 0, 0, 18);
    for (std::uint32_t m : {1u, 0x80000000u, 0x5u})
        for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(m >> (8 * i)));
    RecordingDays d;
    ASSERT_TRUE(parse_recording_days(b, d));
    EXPECT_EQ(d.masks[0], 1u);
    EXPECT_EQ(d.masks[1], 0x80000000u);
    EXPECT_EQ(d.masks[2], 5u);
    b.pop_back();
    EXPECT_FALSE(parse_recording_days(b, d));
}

TEST(DayIndex, ExampleRecordGivesTwoSegmentsOnDriveC) {
    Bytes b = header(5, 0, 3, 0);
    for (int v : {0x43, 0x08, 0, 0, 0, 0x2C, 0x01, 0, 0, 0x09, 0x1E, 0, 0x01, 0x58, 0x02, 0, 0})
        b.push_back(static_cast<std::uint8_t>(v));
    set_length(b);
    DayIndex index;
    EXPECT_EQ(index.add_reply(b), 2);
    const DayIndexRow* row = index.row_for(3);
    ASSERT_NE(row, nullptr);
    ASSERT_EQ(row->segments.size(), 2u);
    EXPECT_EQ(row->segments[0].drive, 'C');
    EXPECT_EQ(row->segments[0].start_s(), 8 * 3600);
    EXPECT_EQ(row->segments[0].length_s, 300);
    EXPECT_EQ(row->segments[0].kind, 0);
    EXPECT_EQ(row->segments[1].drive, 'C');
    EXPECT_EQ(row->segments[1].start_s(), 9 * 3600 + 30 * 60);
    EXPECT_EQ(row->segments[1].length_s, 600);
    EXPECT_EQ(row->segments[1].kind, 1);
}

TEST(DayIndex, SortsLettersLengthsAndStopsOnZeroLength) {
    Bytes b = header(5, 0, 7, 0);
    for (int v : {0x44, 10, 0, 0, 0,  0x3D, 0x0F, 0, 0,  // 10:00, 3901 s -> 0, drive D
                  9,    0,  0, 0, 10, 0,    0,    0,     // 09:00, inherits D
                  10,   0,  0, 2, 5,  0,    0,    0})    // equal to 10:00: goes after it
        b.push_back(static_cast<std::uint8_t>(v));
    set_length(b);
    Bytes stop = header(5, 0, 9, 0);  // length 0 ends the walk: what follows is not read
    b.insert(b.end(), stop.begin(), stop.end());
    Bytes after = header(5, 0, 10, 14);
    for (int v : {1, 0, 0, 0, 1, 0, 0, 0}) after.push_back(static_cast<std::uint8_t>(v));
    b.insert(b.end(), after.begin(), after.end());
    DayIndex index;
    index.add_reply(b);
    ASSERT_EQ(index.rows().size(), 1u);
    const auto& s = index.rows()[0].segments;
    ASSERT_EQ(s.size(), 3u);
    EXPECT_EQ(s[0].hour, 9);
    EXPECT_EQ(s[0].drive, 'D');
    EXPECT_EQ(s[1].length_s, 0);
    EXPECT_EQ(s[2].kind, 2);
}

TEST(DayIndex, AtMostThirtySixRowsAndRecordsNeverPastTheMessage) {
    DayIndex index;
    Segment seg;
    for (int cam = 1; cam <= 40; ++cam) index.add_segment(cam, seg);
    EXPECT_EQ(index.rows().size(), 36u);
    EXPECT_EQ(index.row_for(37), nullptr);
    // A record that claims more bytes than arrived only yields whole entries.
    Bytes b = header(5, 0, 1, 200);
    for (int v : {8, 0, 0, 0, 1, 0, 0, 0, 9, 9}) b.push_back(static_cast<std::uint8_t>(v));
    DayIndex other;
    EXPECT_EQ(other.add_reply(b), 1);
}

TEST(ReplyAssembler, SplitAndJoinedRepliesComeOutWhole) {
    Bytes a = login_reply(1, 2, 1, {"one", "two"});
    Bytes p = header(1, 0, 0, 0);
    append_text(p, "preset", 448);
    set_length(p);
    Bytes stream = a;
    stream.insert(stream.end(), p.begin(), p.end());

    std::vector<Bytes> joined, split;
    ReplyAssembler j, s;
    j.feed(stream,
           [&](std::span<const std::uint8_t> m) { joined.emplace_back(m.begin(), m.end()); });
    for (std::size_t at = 0; at < stream.size(); at += 5) {
        const std::size_t n = std::min<std::size_t>(5, stream.size() - at);
        s.feed({stream.data() + at, n},
               [&](std::span<const std::uint8_t> m) { split.emplace_back(m.begin(), m.end()); });
    }
    ASSERT_EQ(joined.size(), 2u);
    EXPECT_EQ(joined[0], a);
    EXPECT_EQ(joined[1], p);
    EXPECT_EQ(split, joined);
    EXPECT_EQ(s.pending_bytes(), 0u);
}

TEST(ReplyAssembler, LengthBelowHeaderTakesTheRestAsOneMessage) {
    Bytes bad = header(9, 0, 0, 2);
    bad.push_back(0xAA);
    Bytes good = header(6, 0, 0, 6);
    Bytes stream = good;
    stream.insert(stream.end(), bad.begin(), bad.end());
    std::vector<std::size_t> sizes;
    ReplyAssembler asm_;
    asm_.feed(stream, [&](std::span<const std::uint8_t> m) { sizes.push_back(m.size()); });
    EXPECT_EQ(sizes, (std::vector<std::size_t>{6, 7}));
    EXPECT_EQ(asm_.pending_bytes(), 0u);
}

}  // namespace
}  // namespace orvel::net

namespace orvel::net {
namespace {

TEST(TreeTexts, CameraAndSiteTextsAndItemData) {
    EXPECT_EQ(camera_item_text(2, ""), "Cam 02--(Location)");
    EXPECT_EQ(camera_item_text(12, std::string(40, 'x')), "Cam 12--" + std::string(36, 'x'));
    EXPECT_EQ(camera_item_caption("Cam 03--Gate--B"), "Gate--B");
    EXPECT_EQ(camera_item_caption("No dashes here"), "No dashes here");
    EXPECT_EQ(site_item_text("Gate", "10.0.0.5"), "Gate(10.0.0.5)");
    EXPECT_EQ(site_text_address("Yard (east)(10.0.0.5)"), "10.0.0.5");
    EXPECT_EQ(site_text_name("Yard (east)(10.0.0.5)"), "Yard (east)");
    EXPECT_EQ(site_text_address("no address"), "");
    EXPECT_EQ(site_text_name("no address"), "no address");
    const std::uint32_t d = make_item_data(36, 35, 1);
    EXPECT_EQ(d, 36u | (35u << 16) | (1u << 23));
    EXPECT_EQ(item_camera(d), 36);
    EXPECT_EQ(item_pane(d), 35);
    EXPECT_EQ(item_play_state(d), 1);
    EXPECT_EQ(item_play_state(3u << 23), 3);
}

}  // namespace
}  // namespace orvel::net
