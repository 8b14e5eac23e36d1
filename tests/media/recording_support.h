#pragma once
// Helpers of the recording tests: a clock the test sets (UTC stands for local time), a
// configuration with mapped drives, stream frames, and reading recordings back.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "../support/temp_dir.h"
#include "media/dvr_file.h"
#include "media/pane_recording.h"
#include "media/wall_clock.h"
#include "platform/drives.h"
#include "platform/ini_file.h"

namespace orvel::media::test {

// The test moves time with set(); local() can be held shut so the writer thread stalls
// like a slow disk.
class TestClock final : public WallClock {
public:
    explicit TestClock(int64_t ms) : now_(ms) {}
    void set(int64_t ms) { now_.store(ms); }
    int64_t now_ms() const override { return now_.load(); }
    LocalTime local(int64_t ms) const override {
        std::unique_lock lock(gate_lock_);
        gate_cv_.wait_for(lock, std::chrono::seconds(20), [&] { return !held_; });
        return utc_time(ms);
    }
    void hold() {
        std::lock_guard lock(gate_lock_);
        held_ = true;
    }
    void release() {
        std::lock_guard lock(gate_lock_);
        held_ = false;
        gate_cv_.notify_all();
    }

private:
    std::atomic<int64_t> now_;
    mutable std::mutex gate_lock_;
    mutable std::condition_variable gate_cv_;
    bool held_ = false;
};

// A temporary configuration whose drives C: and D: are folders of a temporary tree.
struct RecordingPlace {
    orvel::test::TempDir dir;
    platform::IniFile ini{dir.file("orvelcam.ini")};
    platform::DriveMap drives{ini, dir.file("c")};
    explicit RecordingPlace(const std::string& disk = "D") {
        std::filesystem::create_directories(dir.file("c"));
        std::filesystem::create_directories(dir.file("d"));
        ini.write_string("DRIVES", "D", dir.file("d").string());
        ini.write_string("RECORD", "DISK", disk);
    }
    RecorderEnv env(const WallClock& clock) const { return RecorderEnv{&ini, &drives, &clock}; }
    // Every .dvr file under the tree, sorted by path.
    std::vector<std::filesystem::path> files() const {
        std::vector<std::filesystem::path> out;
        for (const auto& e : std::filesystem::recursive_directory_iterator(dir.path()))
            if (e.path().extension() == ".dvr") out.push_back(e.path());
        std::sort(out.begin(), out.end());
        return out;
    }
};

inline std::vector<uint8_t> stream_header(int32_t marker, uint8_t byte1 = 0, uint32_t width = 352,
                                          uint32_t height = 288) {
    std::vector<uint8_t> h(kStreamHeaderBytes, 0);
    h[0] = 0x5A;
    h[1] = byte1;
    store_u32(h.data() + 8, width);
    store_u32(h.data() + 12, height);
    store_u32(h.data() + 24, static_cast<uint32_t>(marker));
    return h;
}

// A standard-form frame: flags, payload of `length` bytes (a pattern of `fill`).
inline std::vector<uint8_t> std_frame(uint8_t flags, uint32_t time_ms, std::size_t length,
                                      uint8_t fill = 0x33, uint32_t packed = 0x0ABCDEF1) {
    std::vector<uint8_t> f(kStdRecordHeaderBytes + length, fill);
    f[0] = flags;
    f[1] = 0x77;
    store_u16(f.data() + 2, static_cast<uint16_t>(length));
    store_u32(f.data() + 4, time_ms);
    store_u32(f.data() + 8, packed);
    return f;
}
inline std::vector<uint8_t> std_key(uint32_t t, std::size_t n = 100) {
    return std_frame(0x00, t, n);
}
inline std::vector<uint8_t> std_delta(uint32_t t, std::size_t n = 40) {
    return std_frame(0x10, t, n);
}
inline std::vector<uint8_t> std_audio(uint32_t t) {
    std::vector<uint8_t> f = std_frame(0x01, t, 3072);
    for (std::size_t i = 0; i < 3072; ++i) f[12 + i] = static_cast<uint8_t>(i / 512 + 1);
    return f;
}

inline std::vector<uint8_t> dual_frame(uint8_t first, uint32_t time_ms, std::size_t length,
                                       uint8_t fill = 0x44) {
    std::vector<uint8_t> f(kDualRecordHeaderBytes + length, fill);
    f[0] = first;
    store_u32(f.data() + 4, static_cast<uint32_t>(length));
    store_u32(f.data() + 8, time_ms);
    store_u32(f.data() + 12, 0x0ABCDEF1);
    return f;
}

inline std::vector<uint8_t> file_bytes(const std::filesystem::path& p) {
    const std::string s = orvel::test::TempDir::read(p);
    return std::vector<uint8_t>(s.begin(), s.end());
}

struct ReadBack {
    DvrStatus header_status = DvrStatus::damaged;
    DvrStatus end_status = DvrStatus::damaged;
    DvrHeader header;
    std::vector<DvrRecordHeader> records;
    std::vector<DvrIndexEntry> index;
};

inline ReadBack read_back(const std::vector<uint8_t>& bytes) {
    MemoryDvrSource source(bytes.data(), bytes.size());
    DvrReader reader(source);
    ReadBack r;
    r.header_status = reader.read_header_block();
    r.header = reader.header();
    if (r.header_status != DvrStatus::ok) return r;
    const std::size_t entries = reader.index_count();
    for (std::size_t i = 0; i < entries; ++i) r.index.push_back(reader.index_entry(i));
    std::vector<uint8_t> payload(kPayloadBufferBytes);
    DvrRecordHeader record;
    while ((r.end_status = reader.next_record(record, payload.data(), payload.size())) ==
           DvrStatus::ok)
        r.records.push_back(record);
    return r;
}

inline std::vector<uint32_t> video_times(const ReadBack& r) {
    std::vector<uint32_t> t;
    for (const auto& rec : r.records)
        if (rec.kind == RecordKind::video) t.push_back(rec.time_ms);
    return t;
}

}  // namespace orvel::media::test
