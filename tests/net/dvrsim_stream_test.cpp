// The simulated DVR's stream port, served in-process and read by the client's own stream
// socket code: stream lines of the scenario, the header and frames of every kind, main-stream
// selects from the command port, stream faults and a prompt stop with clients connected.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "codec/decoder_table.h"
#include "media/stream_format.h"
#include "net/protocol.h"
#include "net/stream/stream_request.h"
#include "scenario.h"
#include "server.h"

namespace dvrsim {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using StreamHeaderFields = orvel::media::DvrHeader;

// Plain blocking socket steps of a test client.
int connect_loopback(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<std::uint16_t>(port));
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0) return fd;
    if (fd >= 0) ::close(fd);
    return -1;
}

bool send_bytes(int fd, const std::uint8_t* bytes, std::size_t length) {
    return ::send(fd, bytes, length, MSG_NOSIGNAL) == static_cast<ssize_t>(length);
}

// Receives until `length` bytes came, the peer closed, or `timeout_ms` passed in total.
std::size_t receive_exact(int fd, std::uint8_t* into, std::size_t length, int timeout_ms) {
    std::size_t got = 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (got < length) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd p{fd, POLLIN, 0};
        if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0) break;
        const ssize_t n = ::recv(fd, into + got, length - got, 0);
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    return got;
}

// Bound of waits that include encoding a camera's loop on first use (slow in sanitizer builds).
constexpr int kSlowMs = 10'000;

TEST(DvrsimScenario, StreamLinesSetKindsSizesAndFaults) {
    Scenario s;
    std::string error;
    ASSERT_TRUE(
        load_scenario_text("stream * c4321 176x144\nstream 3 dual 320x240 noaudio\nstream 5 mpeg4\n"
                           "stream-fault stall 700\nstream-fault drop 0\n"
                           "stream 6 mpeg4 1920x1080 header 4096x4096\n"
                           "stream-fault header-delay 3000\n",
                           s, error))
        << error;
    EXPECT_EQ(s.stream.defaults.kind, StreamKind::c4321);
    EXPECT_EQ(s.stream.defaults.width, 176);
    EXPECT_TRUE(s.stream.defaults.audio);
    const StreamSettings& dual = s.stream.settings_for(3);
    EXPECT_EQ(dual.kind, StreamKind::dual);
    EXPECT_EQ(dual.height, 240);
    EXPECT_FALSE(dual.audio);
    EXPECT_EQ(s.stream.settings_for(5).width, 352) << "a camera line without size is CIF";
    EXPECT_EQ(s.stream.settings_for(4).kind, StreamKind::c4321) << "others keep the default";
    EXPECT_EQ(s.stream.faults.stall_after_ms, 700);
    EXPECT_EQ(s.stream.faults.drop_after_ms, 0);
    EXPECT_EQ(s.stream.faults.header_delay_ms, 3000);
    EXPECT_EQ(s.stream.settings_for(6).width, 1920);
    EXPECT_EQ(s.stream.settings_for(6).header_width, 4096) << "a header that lies";

    for (const char* bad :
         {"stream", "stream 1", "stream 0 mpeg4", "stream x mpeg4", "stream 1 h264",
          "stream 1 mpeg4 100x100", "stream 1 mpeg4 1936x1088", "stream 1 mpeg4 352x288x2",
          "stream 1 mpeg4 header 0x288", "stream 1 mpeg4 header 65536x1", "stream 1 dual 704x576",
          "stream 1 mpeg4 352x288 loud", "stream-fault drop", "stream-fault melt 10",
          "stream-fault drop -1", "stream-fault header-delay"}) {
        Scenario t;
        EXPECT_FALSE(load_scenario_text(std::string("user a b\n") + bad, t, error)) << bad;
        EXPECT_NE(error.find("line 2"), std::string::npos) << error;
    }
}

struct Frame {
    std::uint8_t first = 0;  // flags (standard form) or class (dual form)
    std::vector<std::uint8_t> payload;
};

// One frame of either form, or false when the connection ends or stays silent.
bool read_frame(int fd, bool dual, Frame& frame, int timeout_ms = 2000) {
    std::uint8_t head[16];
    const std::size_t head_bytes = dual ? 16 : 12;
    if (receive_exact(fd, head, head_bytes, timeout_ms) != head_bytes) return false;
    const std::uint32_t length =
        dual ? orvel::net::read_u32(head + 4) : orvel::net::read_u16(head + 2);
    if (length > 1'000'000) return false;
    frame.first = head[0];
    frame.payload.resize(length);
    return length == 0 || receive_exact(fd, frame.payload.data(), length, timeout_ms) == length;
}

bool is_audio(const Frame& f, bool dual) { return dual ? (f.first & 0x7F) == 1 : (f.first & 1); }
bool is_key(const Frame& f, bool dual) { return dual ? !(f.first & 0x80) : !(f.first & 0xF0); }

int decoder_type_for(int32_t marker) {
    StreamHeaderFields h;
    h.codec_marker = marker;
    return h.decoder_type();
}

// Decodes `frame` with the decoder a header's marker selects; returns the luma spread of
// the picture (0 when no picture came out).
int decoded_luma_spread(int32_t marker, int width, int height, const Frame& frame) {
    const int handle = orvel::codec::decoder_create(decoder_type_for(marker), width, height);
    if (handle < 0) return 0;
    std::vector<std::uint8_t> picture(static_cast<std::size_t>(width) * height * 2);
    const int rc = orvel::codec::decoder_decode(handle, static_cast<int>(frame.payload.size()),
                                                frame.payload.data(), picture.data());
    orvel::codec::decoder_destroy(handle);
    if (rc <= 0) return 0;
    int lo = 255, hi = 0;
    for (std::size_t i = 0; i < picture.size(); i += 2) {
        lo = std::min<int>(lo, picture[i]);
        hi = std::max<int>(hi, picture[i]);
    }
    return hi - lo;
}

class DvrsimStreams : public ::testing::Test {
protected:
    static void SetUpTestSuite() { orvel::codec::decoder_table_init(); }
    static void TearDownTestSuite() { orvel::codec::decoder_table_shutdown(); }

    // Four cameras; short loops keep the first connection to each camera quick.
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

    int connect_port(int offset) {
        const int fd = connect_loopback(server_->command_port() + offset);
        if (fd >= 0) fds_.push_back(fd);
        return fd;
    }
    // A stream connection to `channel` that has read its header; -1 on failure.
    int open_stream(int channel, StreamHeaderFields& header) {
        const int fd = connect_port(1);
        if (fd < 0) return -1;
        const auto request = orvel::net::build_stream_request(channel);
        std::uint8_t bytes[orvel::media::kStreamHeaderBytes];
        if (!send_bytes(fd, request.data(), request.size()) ||
            receive_exact(fd, bytes, sizeof bytes, kSlowMs) != sizeof bytes)
            return -1;
        header = orvel::media::parse_stream_header(bytes);
        return fd;
    }
    int log_count(const std::string& needle) const {
        const auto lines = server_->log_lines();
        return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const auto& l) {
            return l.find(needle) != std::string::npos;
        }));
    }
    bool wait_log(const std::string& needle, int count = 1) const {
        for (const auto end = Clock::now() + std::chrono::milliseconds(kSlowMs);
             Clock::now() < end;) {
            if (log_count(needle) >= count) return true;
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }

    std::unique_ptr<Server> server_;
    std::vector<int> fds_;
};

TEST_F(DvrsimStreams, EachKindSendsItsHeaderAndDecodableFrames) {
    start("stream * mpeg4\nstream 2 c4321 176x144 noaudio\nstream 3 dual 320x240\n");
    struct Case {
        int channel;
        int width, height;
        int32_t marker;
        std::uint32_t stream_id;
        bool audio;
    };
    for (const Case& c : {Case{1, 352, 288, 0, 0, true}, Case{2, 176, 144, 4321, 0, false},
                          Case{3, 320, 240, 1234, stream_id_for(3), true}}) {
        SCOPED_TRACE(c.channel);
        StreamHeaderFields h;
        const int fd = open_stream(c.channel, h);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(h.width, static_cast<std::uint32_t>(c.width));
        EXPECT_EQ(h.height, static_cast<std::uint32_t>(c.height));
        EXPECT_EQ(h.codec_marker, c.marker);
        EXPECT_EQ(static_cast<std::uint32_t>(h.stream_id), c.stream_id);
        const bool dual = c.marker == orvel::media::kMarkerDual;
        int video = 0, audio = 0, spread = -1;
        Frame f;
        // The first batch carries the first sound; 8 pictures take about 300 ms.
        while (video < 8 && read_frame(fd, dual, f)) {
            if (is_audio(f, dual)) {
                ++audio;
                EXPECT_EQ(f.payload.size(), 3072u);
                continue;
            }
            if (dual) {
                EXPECT_EQ(f.first & 0x7F, 2) << "sub stream only until main is selected";
            }
            if (video++ == 0) {
                EXPECT_TRUE(is_key(f, dual)) << "a stream starts with a key frame";
                spread = decoded_luma_spread(c.marker, c.width, c.height, f);
            }
        }
        EXPECT_EQ(video, 8);
        EXPECT_EQ(audio > 0, c.audio);
        EXPECT_GT(spread, 60) << "the first picture decodes into a scene";
    }
    EXPECT_TRUE(wait_log("stream: channel 2 started, marker 4321"));

    // A channel beyond the DVR's cameras is closed without a header.
    const int fd = connect_port(1);
    const auto request = orvel::net::build_stream_request(5);
    ASSERT_TRUE(send_bytes(fd, request.data(), request.size()));
    std::uint8_t byte = 0;
    EXPECT_EQ(receive_exact(fd, &byte, 1, 3000), 0u);
    EXPECT_TRUE(wait_log("unknown channel 5"));
}

TEST_F(DvrsimStreams, SelectOnTheCommandPortSwitchesADualCameraToMainAndBack) {
    start("stream 3 dual 320x240 noaudio\n");
    StreamHeaderFields h;
    const int stream = open_stream(3, h);
    ASSERT_GE(stream, 0);
    const int command = connect_port(0);
    ASSERT_GE(command, 0);
    auto send_select = [&](bool main, std::uint32_t id) {
        const auto r = orvel::net::build_stream_select(main, id);
        return send_bytes(command, r.bytes.data(), r.length_bytes);
    };

    // A select naming a camera without dual streams changes nothing.
    ASSERT_TRUE(send_select(true, stream_id_for(1)));
    EXPECT_TRUE(wait_log("stream-select main id=257 (no dual-stream camera"));
    Frame f;
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(read_frame(stream, true, f));
        EXPECT_EQ(f.first & 0x7F, 2);
    }

    ASSERT_TRUE(send_select(true, static_cast<std::uint32_t>(h.stream_id)));
    int spread = 0;
    for (int i = 0; i < 60 && spread == 0; ++i) {
        ASSERT_TRUE(read_frame(stream, true, f));
        if ((f.first & 0x7F) == 0 && is_key(f, true))
            spread = decoded_luma_spread(1234, 960, 720, f);  // 320 wide: main is 960 x 720
    }
    EXPECT_GT(spread, 60) << "main-stream pictures of 960 x 720 follow the select";

    ASSERT_TRUE(send_select(false, static_cast<std::uint32_t>(h.stream_id)));
    ASSERT_TRUE(wait_log("stream-select sub id=" + std::to_string(h.stream_id)));
    // Frames built before the select may still be on their way.
    for (const auto end = Clock::now() + 150ms; Clock::now() < end;)
        ASSERT_TRUE(read_frame(stream, true, f));
    for (int i = 0; i < 8; ++i) {
        ASSERT_TRUE(read_frame(stream, true, f));
        EXPECT_EQ(f.first & 0x7F, 2) << "sub stream only again";
    }
}

TEST_F(DvrsimStreams, FaultLinesTakeEffect) {
    start("stream-fault drop 300\n");
    StreamHeaderFields h;
    int fd = open_stream(1, h);
    ASSERT_GE(fd, 0);
    const auto opened = Clock::now();
    Frame f;
    int frames = 0;
    while (read_frame(fd, false, f)) ++frames;
    const auto lasted = Clock::now() - opened;
    EXPECT_GE(frames, 5);
    EXPECT_GT(lasted, 200ms);
    EXPECT_LT(lasted, 1500ms) << "dropped by the fault, not by a timeout";
    EXPECT_TRUE(wait_log("channel 1 dropped (fault)"));
    server_->stop();

    // A stalled connection stays open but silent, and ends when the client leaves.
    start("stream-fault stall 200\n");
    fd = open_stream(2, h);
    ASSERT_GE(fd, 0);
    frames = 0;
    while (read_frame(fd, false, f, 600)) ++frames;
    EXPECT_GE(frames, 3);
    std::uint8_t byte = 0;
    EXPECT_EQ(::recv(fd, &byte, 1, MSG_DONTWAIT | MSG_PEEK), -1) << "open, nothing to read";
    ::shutdown(fd, SHUT_RDWR);
    EXPECT_TRUE(wait_log("client 1 closed"));
}

TEST_F(DvrsimStreams, StopWithStreamClientsConnectedIsPrompt) {
    start("stream 2 c4321 176x144\nstream 4 dual 352x288\n");
    StreamHeaderFields h;
    for (int channel = 1; channel <= 4; ++channel) ASSERT_GE(open_stream(channel, h), 0);
    const int silent = connect_port(1);  // connected, never sends its request
    ASSERT_GE(silent, 0);
    const int command = connect_port(0);
    ASSERT_GE(command, 0);
    ASSERT_TRUE(wait_log("connected to the stream port", 5));
    ASSERT_TRUE(wait_log("client 6 connected"));
    std::this_thread::sleep_for(200ms);  // the readers fall behind: nobody reads

    const auto before = Clock::now();
    server_->stop();
    const auto took = Clock::now() - before;
    EXPECT_LT(took, 1000ms) << "stop took "
                            << std::chrono::duration_cast<std::chrono::milliseconds>(took).count()
                            << " ms";
    EXPECT_EQ(server_->clients_served(), 6);
    EXPECT_EQ(log_count(" closed"), 6) << "every client thread ran to its end";
    // Every connection was closed by the server: after what was sent, the end.
    for (int fd : fds_) {
        timeval limit{2, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        std::vector<std::uint8_t> drain(1 << 16);
        long n = 1;
        for (int i = 0; i < 10000 && n > 0; ++i) n = ::recv(fd, drain.data(), drain.size(), 0);
        EXPECT_EQ(n, 0);
    }
}

}  // namespace
}  // namespace dvrsim
