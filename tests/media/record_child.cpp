// Helper process of the kill test: records an MPEG-4 clip in a loop into the drive tree of
// the configuration given on the command line, reports on standard output how many frames
// are on disk, and goes on recording until it is killed.
#include <chrono>
#include <cstdio>
#include <thread>

#include "clip_tools.h"
#include "media/record_writer.h"
#include "platform/drives.h"
#include "platform/ini_file.h"

int main(int argc, char** argv) {
    if (argc != 3) return 1;
    using namespace orvel;
    const platform::IniFile ini(argv[1]);
    const platform::DriveMap drives(ini, argv[2]);
    const media::SystemWallClock clock;
    const media::RecorderEnv env{&ini, &drives, &clock};
    media::RecordWriter writer(env);
    const auto clip = testing::encode_lavc(352, 288, 50, 10);
    auto rec = writer.start(0, "127.0.0.1", 1);
    uint8_t header[media::kStreamHeaderBytes] = {};
    media::store_u32(header + 8, 352);
    media::store_u32(header + 12, 288);
    rec->stream_header(header);
    std::vector<uint8_t> frame(media::kPayloadBufferBytes);
    for (uint32_t i = 0;; ++i) {
        const auto& packet = clip[i % clip.size()];
        const bool key = i % 10 == 0;
        frame[0] = key ? 0x00 : 0x10;
        media::store_u16(frame.data() + 2, static_cast<uint16_t>(packet.size()));
        media::store_u32(frame.data() + 4, 1000 + i * 40);
        std::copy(packet.begin(), packet.end(), frame.begin() + 12);
        rec->frame(frame.data(), packet.size() + 12);
        if (i + 1 == 200) {
            writer.wait_idle(10000);
            std::printf("written %u\n", i + 1);
            std::fflush(stdout);
        }
        if (i >= 200) std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
}
