// The simulated DVR's file port, served in-process and read with the client's own request
// builder and stream socket code: recordings from an offset in the stream's frame form, the
// connection closed at the recording's end, fast mode, bad requests, and the recording days
// and day index built from the same recordings.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "../support/blocking_socket.h"
#include "file_service.h"
#include "media/stream_format.h"
#include "net/day_index.h"
#include "net/protocol.h"
#include "net/stream/stream_request.h"
#include "replies.h"
#include "scenario.h"
#include "server.h"

namespace dvrsim {
namespace {

using namespace std::chrono_literals;
namespace net = orvel::net;

constexpr int kSlowMs = 10'000;  // includes encoding a loop on first use

struct ReadFrame {
    std::uint8_t first = 0;
    std::uint32_t packed = 0;
    std::uint32_t length = 0;
};

int packed_second_of_day(std::uint32_t packed) {
    return static_cast<int>(((packed >> 15) & 0x1F) * 3600 + ((packed >> 20) & 0x3F) * 60 +
                            ((packed >> 26) & 0x3F));
}

class DvrsimFiles : public ::testing::Test {
protected:
    void start(const std::string& lines) {
        Scenario s;
        std::string error;
        ASSERT_TRUE(load_scenario_text("user admin 1234\ndevice 1\nswitch 4\n" + lines, s, error))
            << error;
        s.stream.loop_frames = 12;
        s.stream.gop = 6;
        server_ = std::make_unique<Server>(std::move(s));
        ASSERT_TRUE(server_->start("127.0.0.1", 0, error)) << error;
    }
    void TearDown() override {
        if (server_) server_->stop();
        for (int fd : fds_) ::close(fd);
    }
    // Sends a file request; returns the descriptor (-1 on failure).
    int request(const std::array<std::uint8_t, net::kFileRequestBytes>& bytes) {
        const int fd = orvel::test::socket_connect("127.0.0.1", server_->command_port() + 2);
        if (fd < 0) return -1;
        fds_.push_back(fd);
        return orvel::test::socket_send(fd, bytes.data(), bytes.size()) ? fd : -1;
    }
    // Reads the header and every frame until the DVR closes; false on a short read.
    bool read_all(int fd, orvel::media::DvrHeader& header, std::vector<ReadFrame>& frames) {
        std::uint8_t h[orvel::media::kStreamHeaderBytes];
        if (orvel::test::socket_receive_exact(fd, h, sizeof h, kSlowMs) != sizeof h) return false;
        header = orvel::media::parse_stream_header(h);
        const bool dual = header.codec_marker == orvel::media::kMarkerDual;
        const std::size_t head_bytes = dual ? 16 : 12;
        std::vector<std::uint8_t> payload;
        for (;;) {
            std::uint8_t fh[16];
            const std::size_t got = orvel::test::socket_receive_exact(fd, fh, head_bytes, kSlowMs);
            if (got == 0) return true;  // closed at a frame boundary
            if (got != head_bytes) return false;
            ReadFrame f;
            f.first = fh[0];
            f.length = dual ? orvel::media::load_u32(fh + 4) : orvel::media::load_u16(fh + 2);
            f.packed = orvel::media::load_u32(fh + (dual ? 12 : 8));
            payload.resize(f.length);
            if (orvel::test::socket_receive_exact(fd, payload.data(), f.length, kSlowMs) !=
                f.length)
                return false;
            frames.push_back(f);
        }
    }

    std::unique_ptr<Server> server_;
    std::vector<int> fds_;
};

TEST_F(DvrsimFiles, StreamsARecordingFromItsOffsetAndClosesAtItsEnd) {
    start("recording 3 2009-03-07 D 10:15:00 2 1\nstream 3 c4321 176x144\n");
    const std::string path = "D:\\dvr_media\\video\\09-03-07\\camera 03\\09-03-07-10-15-00-03.dvr";
    const int fd = request(net::build_file_request(false, 1, path));
    ASSERT_GE(fd, 0);
    orvel::media::DvrHeader header;
    std::vector<ReadFrame> frames;
    ASSERT_TRUE(read_all(fd, header, frames));
    EXPECT_EQ(header.codec_marker, orvel::media::kMarker4321);
    EXPECT_EQ(header.width, 176u);
    std::vector<ReadFrame> video;
    std::copy_if(frames.begin(), frames.end(), std::back_inserter(video),
                 [](const ReadFrame& f) { return (f.first & 1) == 0; });
    // Offset 1 s is frame 25; the stream starts at the key frame before it (24, the loop's
    // key frames are every 6) and runs to the recording's 50th frame.
    ASSERT_EQ(video.size(), 26u);
    EXPECT_EQ(video.front().first & 0xF0, 0) << "the first frame is a key frame";
    EXPECT_EQ(packed_second_of_day(video.front().packed), 10 * 3600 + 15 * 60);
    EXPECT_EQ(packed_second_of_day(video.back().packed), 10 * 3600 + 15 * 60 + 1);
    EXPECT_EQ(video.front().packed & 0x3F, 9u) << "year in the century";
    EXPECT_EQ((video.front().packed >> 10) & 0x1F, 7u) << "day";
    const auto audio = std::count_if(frames.begin(), frames.end(),
                                     [](const ReadFrame& f) { return (f.first & 1) != 0; });
    EXPECT_EQ(audio, 2) << "a 3,072-byte sound frame per 768 ms of recording";
    for (const auto& f : frames) {
        if (f.first & 1) {
            EXPECT_EQ(f.length, 3072u);
        }
    }
}

TEST_F(DvrsimFiles, FastModeSendsTheKeyFramesFourTimesAsOften) {
    start("recording 1 2009-03-07 08:00:00 1 0\nstream 1 dual 320x240 noaudio\n");
    const std::string path = "C:\\dvr_media\\video\\09-03-07\\camera 01\\09-03-07-08-00-00-01.dvr";
    const int fd = request(net::build_file_request(true, 0, path));
    ASSERT_GE(fd, 0);
    orvel::media::DvrHeader header;
    std::vector<ReadFrame> frames;
    ASSERT_TRUE(read_all(fd, header, frames));
    EXPECT_EQ(header.codec_marker, orvel::media::kMarkerDual);
    // One second of recording (25 frames): its key frames only.
    ASSERT_FALSE(frames.empty());
    EXPECT_LT(frames.size(), 25u);
    for (const ReadFrame& f : frames)
        EXPECT_EQ(f.first, 2) << "dual form, sub-stream class, key frame";

    SimRecording r;
    r.length_s = 10;
    const FilePlan normal = plan_file_stream(r, 0, 0, 25);
    const FilePlan fast = plan_file_stream(r, 0, kFastPlayMode, 25);
    EXPECT_EQ(file_frame_due_ms(normal, 100), 4 * file_frame_due_ms(fast, 100));
    EXPECT_EQ(plan_file_stream(r, 99, 0, 25).first_frame, 250) << "an offset past the end";
}

TEST_F(DvrsimFiles, BadRequestsDropOnlyThatClient) {
    start("recording 2 2009-03-07 08:00:00 3 0\nstream 2 c4321 176x144 noaudio\n");
    const std::string path = "C:\\dvr_media\\video\\09-03-07\\camera 02\\09-03-07-08-00-00-02.dvr";
    const int good = request(net::build_file_request(false, 0, path));
    ASSERT_GE(good, 0);
    std::uint8_t h[orvel::media::kStreamHeaderBytes];
    ASSERT_EQ(orvel::test::socket_receive_exact(good, h, sizeof h, kSlowMs), sizeof h);

    auto unterminated = net::build_file_request(false, 0, "");
    std::fill(unterminated.begin() + 12, unterminated.end(), 'A');
    for (const auto& bad : {unterminated, net::build_file_request(false, 0, ""),
                            net::build_file_request(false, 0, "C:\\no\\such.dvr")}) {
        const int fd = request(bad);
        ASSERT_GE(fd, 0);
        std::uint8_t b;
        EXPECT_EQ(orvel::test::socket_receive_exact(fd, &b, 1, kSlowMs), 0u)
            << "closed without a header";
    }
    // The good client keeps receiving its recording meanwhile.
    std::uint8_t frame_head[12];
    EXPECT_EQ(orvel::test::socket_receive_exact(good, frame_head, sizeof frame_head, kSlowMs), 12u);
    EXPECT_EQ(frame_head[0], 0);
}

TEST(DvrsimRecordings, DaysAndDayIndexComeFromTheSameRecordings) {
    Scenario s;
    std::string error;
    ASSERT_TRUE(load_scenario_text(
        "recording 3 2009-03-07 08:00:00 300 0\nrecording 3 2009-03-07 E 09:30:00 600 1\n"
        "recording 3 2009-01-31 08:00:00 10 0\nrecording 4 2009-03-07 07:00:00 10 0\n",
        s, error))
        << error;
    std::vector<std::uint8_t> out;
    std::vector<std::size_t> ends;
    const auto days = net::build_recording_days_query({2009, 3, 9});
    answer_request(s, days.bytes.data(), days.length_bytes, out, ends);
    net::RecordingDays masks;
    ASSERT_TRUE(net::parse_recording_days(out, masks));
    EXPECT_EQ(masks.masks[0], 1u << 30) << "January 31";
    EXPECT_EQ(masks.masks[1], 0u);
    EXPECT_EQ(masks.masks[2], 1u << 6) << "March 7";

    const auto query = net::build_day_index_query(3, {2009, 3, 7});
    answer_request(s, query.bytes.data(), query.length_bytes, out, ends);
    net::DayIndex index;
    EXPECT_EQ(index.add_reply(out), 2);
    const auto* row = index.row_for(3);
    ASSERT_NE(row, nullptr);
    ASSERT_EQ(row->segments.size(), 2u);
    EXPECT_EQ(row->segments[1].drive, 'E');
    EXPECT_EQ(row->segments[1].kind, 1);
    // Each listed recording is one the file port serves under the path the client builds.
    SimRecording r = s.recordings[1];
    EXPECT_EQ(find_recording(s, recording_path(r)), &s.recordings[1]);
    EXPECT_EQ(recording_path(r),
              "E:\\dvr_media\\video\\09-03-07\\camera 03\\09-03-07-09-30-00-03.dvr");
}

}  // namespace
}  // namespace dvrsim
