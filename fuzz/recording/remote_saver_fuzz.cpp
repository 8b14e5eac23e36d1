// The remote saver fed frames of any form, flags, times, PackedDateTimes and lengths, with new
// stream headers and stream ends among them, written by its own writer code on a real folder:
// the copy read back is sound, begins with a video key frame at time 0, and holds exactly the
// video frames from the first key frame on and six (or fewer, for a short payload) 512-byte
// records per sound frame, up to the end of the first stream. No key frame, no file.
//
// Input: form byte (bit 0 dual), 28 header bytes, then per item: kind (0-239 a frame, 240-247
// a new stream header, 248-255 the stream's end), flags, time (4), PackedDateTime (4),
// payload length (2).
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "fuzz_input.h"
#include "media/dvr_verify.h"
#include "media/record_writer.h"
#include "media/remote_saving.h"
#include "platform/drives.h"
#include "platform/ini_file.h"

namespace {

using namespace orvel;
namespace fs = std::filesystem;

class FixedClock final : public media::WallClock {
public:
    int64_t now_ms() const override { return media::utc_ms(2025, 12, 9, 12, 0, 0); }
    media::LocalTime local(int64_t ms) const override { return media::utc_time(ms); }
};

// One folder for the whole run (tmpfs when there is one: syncs cost nothing there).
struct Place {
    fs::path root;
    std::unique_ptr<platform::IniFile> ini;
    std::unique_ptr<platform::DriveMap> drives;
    FixedClock clock;
    Place() {
        const fs::path base = fs::is_directory("/dev/shm") ? "/dev/shm" : fs::temp_directory_path();
        root = base / ("remote_saver_fuzz." + std::to_string(::getpid()));
        fs::create_directories(root / "c");
        ini = std::make_unique<platform::IniFile>((root / "orvelcam.ini").string());
        drives = std::make_unique<platform::DriveMap>(*ini, root / "c");
    }
    ~Place() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
};

std::vector<fs::path> copies(const fs::path& under) {
    std::vector<fs::path> out;
    for (const auto& e : fs::recursive_directory_iterator(under))
        if (e.path().extension() == ".dvr") out.push_back(e.path());
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace orvel::media;
    static Place place;
    orvel::fuzz::Input in{data, size};
    const bool dual = in.byte() & 1;
    uint8_t header[kStreamHeaderBytes];
    for (uint8_t& b : header) b = in.byte();
    store_u32(header + 24, dual ? kMarkerDual : 0);

    auto core = std::make_shared<WriterCore>();  // no writer thread: drained here
    RemoteSaving saving(
        core, RecorderEnv{place.ini.get(), place.drives.get(), &place.clock}, 0, "dvr",
        "C:\\dvr_media\\video\\25-12-09\\camera 01\\25-12-09-10-00-00-01.dvr", 1, header, 1 << 20);
    const std::size_t head = dual ? kDualRecordHeaderBytes : kStdRecordHeaderBytes;
    bool begun = false, ended = false;
    uint64_t video = 0, audio = 0;
    std::vector<uint8_t> frame;
    for (int n = 0; n < 300 && !in.done(); ++n) {
        const uint8_t kind = in.byte();
        if (kind >= 240) {
            if (kind < 248) {
                saving.stream_header(header);
            } else {
                saving.stream_ended();
            }
            ended = true;
        } else {
            const uint8_t flags = in.byte();
            const uint32_t time = in.u32();
            const uint32_t packed = in.u32();
            const std::size_t length = (in.byte() | (in.byte() << 8)) % 20000;
            frame.assign(head + length, static_cast<uint8_t>(n));
            frame[0] = flags;
            if (dual) {
                store_u32(frame.data() + 4, static_cast<uint32_t>(length));
                store_u32(frame.data() + 8, time);
                store_u32(frame.data() + 12, packed);
            } else {
                store_u16(frame.data() + 2, static_cast<uint16_t>(length));
                store_u32(frame.data() + 4, time);
                store_u32(frame.data() + 8, packed);
            }
            saving.frame(frame.data(), frame.size());
            if (!ended) {
                const FrameRole role = frame_role(frame.data(), dual);
                if (role == FrameRole::video && is_video_key_frame(frame.data(), dual))
                    begun = true;
                if (begun && role == FrameRole::video) ++video;
                const std::size_t blocks = length / kAudioRecordBytes;
                if (begun && role == FrameRole::audio) audio += blocks > 6 ? 6 : blocks;
            }
        }
        while (saving.drain(1 << 20)) {
        }
    }
    saving.request_stop();
    while (saving.drain(1 << 20)) {
    }
    const RecordingStatus s = saving.status();
    if (!s.finished || s.frames_lost != 0 || s.fault != RecordFault::none) __builtin_trap();

    const fs::path tree = place.root / "c" / "dvr_media";
    const auto files = fs::exists(tree) ? copies(tree) : std::vector<fs::path>{};
    if (files.size() != (begun ? 1u : 0u)) __builtin_trap();
    if (begun) {
        const VerifyReport r = verify_dvr_file(files[0].string());
        if (r.verdict != VerifyVerdict::sound || r.video_records != video ||
            r.audio_records != audio || r.key_frames == 0)
            __builtin_trap();
        FileDvrSource source;
        DvrReader reader(source);
        if (open_dvr_file(files[0].string(), source, reader) != DvrStatus::ok) __builtin_trap();
        std::vector<uint8_t> payload(kPayloadBufferBytes);
        DvrRecordHeader first;
        if (reader.next_record(first, payload.data(), payload.size()) != DvrStatus::ok ||
            first.kind != RecordKind::video || !first.key_frame || first.time_ms != 0)
            __builtin_trap();
    }
    fs::remove_all(tree);
    return 0;
}
