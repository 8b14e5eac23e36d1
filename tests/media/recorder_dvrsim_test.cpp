// The recorder fed from the DVR simulator over a real socket: a live stream that is dropped
// and comes back, across an hour boundary, and a recording from the file port saved from the
// middle. Every file passes the structure check and every frame received is in a file.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "media/dvr_verify.h"
#include "media/record_writer.h"
#include "net/stream/stream_request.h"
#include "../support/blocking_socket.h"
#include "recording_support.h"
#include "scenario.h"
#include "server.h"

namespace orvel::media::test {
namespace {

// Wall time that starts at a chosen moment and runs at the real rate.
class RunningClock final : public WallClock {
public:
    explicit RunningClock(int64_t start_ms) : start_ms_(start_ms) {}
    int64_t now_ms() const override {
        return start_ms_ + std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now() - began_)
                               .count();
    }
    LocalTime local(int64_t ms) const override { return utc_time(ms); }

private:
    int64_t start_ms_;
    std::chrono::steady_clock::time_point began_ = std::chrono::steady_clock::now();
};

struct Received {
    int video = 0;
    int audio = 0;
};

// One stream connection for channel 1 fed to the recording until the DVR closes it or
// `for_ms` has passed. False when it could not be opened.
bool receive_stream(int port, PaneRecording& rec, int for_ms, Received& got, bool& dropped) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    timeval timeout{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<uint16_t>(port));
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const uint8_t request[12] = {0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0, 0};
    std::vector<uint8_t> buffer(1 << 20);
    std::size_t fill = 0;
    auto read_some = [&]() {
        const ssize_t n = ::recv(fd, buffer.data() + fill, buffer.size() - fill, 0);
        if (n > 0) fill += static_cast<std::size_t>(n);
        return n > 0;
    };
    if (::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
        ::send(fd, request, sizeof request, MSG_NOSIGNAL) != sizeof request) {
        ::close(fd);
        return false;
    }
    while (fill < kStreamHeaderBytes) {
        if (!read_some()) {
            ::close(fd);
            return false;
        }
    }
    rec.stream_header(buffer.data());
    std::size_t at = kStreamHeaderBytes;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(for_ms);
    dropped = false;
    while (std::chrono::steady_clock::now() < end) {
        while (fill - at >= kStdRecordHeaderBytes) {
            const std::size_t frame = kStdRecordHeaderBytes + load_u16(buffer.data() + at + 2);
            if (fill - at < frame) break;
            rec.frame(buffer.data() + at, frame);
            ++((buffer[at] & 1) ? got.audio : got.video);
            at += frame;
        }
        std::copy(buffer.begin() + static_cast<long>(at), buffer.begin() + static_cast<long>(fill),
                  buffer.begin());
        fill -= at;
        at = 0;
        if (!read_some()) {
            dropped = true;
            rec.stream_ended();
            break;
        }
    }
    ::close(fd);
    return true;
}

TEST(RecorderWithDvrsim, ADroppedStreamAndAnHourBoundaryLoseNoReceivedFrame) {
    dvrsim::Scenario scenario;
    std::string error;
    ASSERT_TRUE(dvrsim::load_scenario_text(
        "user admin 1234\ndevice 1\nswitch 4\nstream * mpeg4\nstream-fault drop 1800\n", scenario,
        error))
        << error;
    scenario.stream.loop_frames = 12;
    scenario.stream.gop = 6;
    dvrsim::Server server(std::move(scenario));
    ASSERT_TRUE(server.start("127.0.0.1", 0, error)) << error;

    RecordingPlace place("D");
    const RunningClock clock(utc_ms(2025, 12, 9, 10, 59, 59));
    RecordWriter writer(place.env(clock));
    auto rec = writer.start(0, "127.0.0.1", 1);
    Received got;
    bool dropped = false;
    ASSERT_TRUE(receive_stream(server.command_port() + 1, *rec, 5000, got, dropped));
    EXPECT_TRUE(dropped);
    ASSERT_TRUE(receive_stream(server.command_port() + 1, *rec, 1000, got, dropped));
    EXPECT_FALSE(dropped);
    writer.stop(*rec);
    ASSERT_TRUE(writer.wait_idle(10000));
    server.stop();

    const auto files = place.files();
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[0].filename(), "25-12-09-10-59-01.dvr");
    EXPECT_EQ(files[1].filename(), "25-12-09-11-00-01.dvr");
    EXPECT_EQ(files[2].filename(), "25-12-09-11-00-01_2.dvr");
    uint64_t video = 0, audio = 0;
    for (const auto& f : files) {
        const VerifyReport v = verify_dvr_file(f);
        EXPECT_EQ(v.verdict, VerifyVerdict::sound)
            << f << (v.problems.empty() ? "" : v.problems[0]);
        video += v.video_records;
        audio += v.audio_records;
        const ReadBack r = read_back(file_bytes(f));
        ASSERT_FALSE(r.records.empty());
        EXPECT_TRUE(r.records[0].key_frame && r.records[0].kind == RecordKind::video) << f;
        EXPECT_EQ(r.records[0].time_ms, 0u) << f;
    }
    EXPECT_EQ(video, static_cast<uint64_t>(got.video));
    EXPECT_EQ(audio, 6u * static_cast<uint64_t>(got.audio));
    EXPECT_EQ(rec->status().frames_lost, 0u);
    EXPECT_EQ(rec->status().fault, RecordFault::none);
}

TEST(RemoteSaverWithDvrsim, ACopySavedFromTheMiddleOfARecordingIsSoundFromItsKeyFrame) {
    dvrsim::Scenario scenario;
    std::string error;
    ASSERT_TRUE(
        dvrsim::load_scenario_text("user admin 1234\ndevice 1\nswitch 4\n"
                                   "recording 3 2009-03-07 D 10:15:00 4 0\n"
                                   "stream 3 mpeg4 176x144\n",
                                   scenario, error))
        << error;
    scenario.stream.loop_frames = 12;
    scenario.stream.gop = 6;
    dvrsim::Server server(std::move(scenario));
    ASSERT_TRUE(server.start("127.0.0.1", 0, error)) << error;
    const std::string dvr_path =
        "D:\\dvr_media\\video\\09-03-07\\camera 03\\09-03-07-10-15-00-03.dvr";
    const int fd = orvel::test::socket_connect("127.0.0.1", server.command_port() + 2);
    ASSERT_GE(fd, 0);
    // Normal speed: fast play sends key frames only and no sound.
    const auto request = net::build_file_request(false, 0, dvr_path);
    ASSERT_TRUE(orvel::test::socket_send(fd, request.data(), request.size()));
    uint8_t header[kStreamHeaderBytes];
    ASSERT_EQ(orvel::test::socket_receive_exact(fd, header, sizeof header, 10000), sizeof header);

    RecordingPlace place("C");
    const TestClock clock(utc_ms(2025, 12, 9, 12, 0, 0));
    RecordWriter writer(place.env(clock));
    std::shared_ptr<RemoteSaving> saving;
    // Saving begins after the 27th picture; the copy begins at the 31st (key frames every 6).
    int video = 0, saved_video = 0, saved_audio = 0;
    std::vector<uint8_t> frame;
    for (;;) {
        frame.resize(kStdRecordHeaderBytes);
        const std::size_t got = orvel::test::socket_receive_exact(fd, frame.data(), frame.size(), 10000);
        if (got == 0) break;  // the DVR closed the recording
        ASSERT_EQ(got, kStdRecordHeaderBytes);
        const std::size_t length = load_u16(frame.data() + 2);
        frame.resize(kStdRecordHeaderBytes + length);
        ASSERT_EQ(orvel::test::socket_receive_exact(fd, frame.data() + 12, length, 10000), length);
        const bool audio = frame[0] & 1;
        if (saving) {
            if (!audio && video >= 30) ++saved_video;
            if (audio && saved_video > 0) ++saved_audio;
            saving->frame(frame.data(), frame.size());
        }
        if (!audio && ++video == 27)
            saving = writer.start_remote(0, "127.0.0.1", dvr_path, 3, header);
    }
    orvel::test::socket_close(fd);
    ASSERT_TRUE(saving);
    saving->stream_ended();
    ASSERT_TRUE(writer.wait_idle(10000));
    server.stop();
    EXPECT_TRUE(saving->status().finished);
    EXPECT_EQ(saving->dvr_path(), dvr_path);

    const auto files = place.files();
    ASSERT_EQ(files.size(), 1u);
    // 1.2 s into the recording: named 10:15:01 in the recording's own folders.
    EXPECT_EQ(files[0], place.dir.file("c") / "dvr_media/video/127.0.0.1/09-03-07/camera 03" /
                            "09-03-07-10-15-01-03.dvr");
    const VerifyReport v = verify_dvr_file(files[0]);
    EXPECT_EQ(v.verdict, VerifyVerdict::sound) << (v.problems.empty() ? "" : v.problems[0]);
    const ReadBack r = read_back(file_bytes(files[0]));
    EXPECT_EQ(r.end_status, DvrStatus::end_of_file);
    ASSERT_GT(saved_video, 10);
    ASSERT_GT(saved_audio, 0);
    EXPECT_EQ(v.video_records, static_cast<uint64_t>(saved_video));
    EXPECT_EQ(v.audio_records, 6u * static_cast<uint64_t>(saved_audio));
    EXPECT_TRUE(r.records[0].key_frame && r.records[0].kind == RecordKind::video);
    const auto times = video_times(r);
    EXPECT_EQ(times.front(), 0u);
    EXPECT_EQ(r.header.duration_ms, times.back());
    EXPECT_EQ(r.header.codec_marker, 0);
    EXPECT_EQ(r.header.width, 176u);
}

}  // namespace
}  // namespace orvel::media::test
