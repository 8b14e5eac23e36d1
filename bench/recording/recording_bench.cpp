// Recording and export costs, each against a baseline measured in the same run.
//
// Export: one hour of a CIF MPEG-4 recording with sound (90,000 pictures, 28,128 sound
// records) exported to MP4; counter x_real_time = media seconds per wall second. Baseline:
// reading the same file record by record (ReadOnly).
//
// Recording: 36 CIF channels at 25 pictures a second with sound, fed to one RecordWriter as
// fast as it takes them; counter writer_core_percent = CPU time of the whole process per
// media second, in percent of one core (what 36 channels cost when they arrive in real time).
// Baseline: the same bytes written to 36 files with one plain write per frame (RawWrites).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "clip_tools.h"
#include "media/dvr_writer.h"
#include "media/export/dvr_export.h"
#include "media/record_writer.h"
#include "platform/drives.h"
#include "platform/ini_file.h"
#include "stream/encoders.h"

namespace {

using namespace orvel;
namespace fs = std::filesystem;

constexpr int kFps = 25;
constexpr int kChannels = 36;

fs::path scratch() {
    static const fs::path dir = [] {
        const fs::path d =
            fs::temp_directory_path() / ("orvel-bench-rec-" + std::to_string(::getpid()));
        fs::create_directories(d);
        return d;
    }();
    return dir;
}

struct Cleanup {
    Cleanup() { scratch(); }  // made first, so it is destroyed after this
    ~Cleanup() {
        std::error_code ec;
        fs::remove_all(scratch(), ec);
    }
} cleanup;

const std::vector<testing::Packet>& cif_clip() {
    static const auto clip = testing::encode_lavc(352, 288, 50, 25);
    return clip;
}

// Frames of the clip as a DVR sends them: key every 25, sound every 768 ms.
struct StreamFrames {
    std::vector<std::vector<uint8_t>> video;
    std::vector<uint8_t> audio;
    StreamFrames() {
        const auto& clip = cif_clip();
        for (std::size_t i = 0; i < clip.size(); ++i) {
            std::vector<uint8_t> f(12 + clip[i].size());
            f[0] = i % 25 == 0 ? 0x00 : 0x10;
            media::store_u16(f.data() + 2, static_cast<uint16_t>(clip[i].size()));
            std::copy(clip[i].begin(), clip[i].end(), f.begin() + 12);
            video.push_back(std::move(f));
        }
        std::string error;
        const std::vector<uint8_t> speech = dvrsim::encode_g721_speech(1, error);
        audio.assign(12 + 3072, 0);
        std::copy(speech.begin(), speech.begin() + std::min<std::size_t>(3072, speech.size()),
                  audio.begin() + 12);
        audio[0] = 0x01;
        media::store_u16(audio.data() + 2, 3072);
    }
    const std::vector<uint8_t>& picture(uint32_t i, uint32_t time) {
        auto& f = video[i % video.size()];
        media::store_u32(f.data() + 4, time);
        return f;
    }
};

const std::string& hour_recording() {
    static const std::string path = [] {
        const std::string p = (scratch() / "hour.dvr").string();
        StreamFrames frames;
        const int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        media::FdRecordSink sink(fd);
        media::DvrFileWriter writer;
        uint8_t header[media::kStreamHeaderBytes] = {};
        media::store_u32(header + 8, 352);
        media::store_u32(header + 12, 288);
        writer.begin(sink, header);
        for (uint32_t i = 0; i < 3600u * kFps; ++i) {
            const auto& f = frames.picture(i, i * 40);
            writer.write_video(f.data(), f.size(), i * 40);
            if (i % 19 == 0) writer.write_audio(frames.audio.data(), frames.audio.size());
        }
        writer.finish();
        ::close(fd);
        return p;
    }();
    return path;
}

void ReadOnly(benchmark::State& state) {
    const std::string& path = hour_recording();
    std::vector<uint8_t> payload(media::kPayloadBufferBytes);
    for (auto _ : state) {
        media::FileDvrSource source;
        media::DvrReader reader(source);
        media::open_dvr_file(path, source, reader);
        media::DvrRecordHeader r;
        int64_t records = 0;
        while (reader.next_record(r, payload.data(), payload.size()) == media::DvrStatus::ok)
            ++records;
        benchmark::DoNotOptimize(records);
    }
    state.counters["x_real_time"] = benchmark::Counter(
        3600.0 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(ReadOnly)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void ExportHourToMp4(benchmark::State& state) {
    const std::string& path = hour_recording();
    const std::string out = (scratch() / "hour.mp4").string();
    for (auto _ : state) {
        media::ExportResult result;
        if (media::export_dvr(path, out, {}, result) != media::ExportStatus::ok)
            state.SkipWithError(result.error.c_str());
    }
    state.counters["x_real_time"] = benchmark::Counter(
        3600.0 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(ExportHourToMp4)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

double process_cpu_seconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

constexpr int kMediaSeconds = 60;

void RecordThirtySixChannels(benchmark::State& state) {
    StreamFrames frames;
    const fs::path root = scratch() / "record";
    fs::create_directories(root);
    platform::IniFile ini(scratch() / "orvelcam.ini");
    ini.write_string("DRIVES", "C", root.string());
    platform::DriveMap drives(ini, root);
    media::SystemWallClock clock;
    double cpu = 0;
    for (auto _ : state) {
        const double before = process_cpu_seconds();
        {
            media::RecordWriter writer(media::RecorderEnv{&ini, &drives, &clock});
            std::vector<std::shared_ptr<media::PaneRecording>> panes;
            uint8_t header[media::kStreamHeaderBytes] = {};
            media::store_u32(header + 8, 352);
            media::store_u32(header + 12, 288);
            for (int c = 0; c < kChannels; ++c) {
                panes.push_back(writer.start(c, "10.0.0.1", c + 1));
                panes.back()->stream_header(header);
            }
            for (uint32_t i = 0; i < kMediaSeconds * kFps; ++i) {
                for (auto& p : panes) {
                    const auto& f = frames.picture(i, i * 40);
                    p->frame(f.data(), f.size());
                    if (i % 19 == 0) p->frame(frames.audio.data(), frames.audio.size());
                }
                if (i % 25 == 24) writer.wait_idle(10000);  // keep the queues from overflowing
            }
            for (auto& p : panes) writer.stop(*p);
            writer.wait_idle(60000);
            for (auto& p : panes)
                if (p->status().frames_lost != 0) state.SkipWithError("frames were lost");
        }
        cpu += process_cpu_seconds() - before;
        fs::remove_all(root / "dvr_media");
    }
    state.counters["writer_core_percent"] =
        100.0 * cpu / (static_cast<double>(state.iterations()) * kMediaSeconds);
}
BENCHMARK(RecordThirtySixChannels)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

void RawWrites(benchmark::State& state) {
    StreamFrames frames;
    double cpu = 0;
    for (auto _ : state) {
        const double before = process_cpu_seconds();
        std::vector<int> fds;
        for (int c = 0; c < kChannels; ++c)
            fds.push_back(::open((scratch() / ("raw" + std::to_string(c))).c_str(),
                                 O_WRONLY | O_CREAT | O_TRUNC, 0644));
        for (uint32_t i = 0; i < kMediaSeconds * kFps; ++i) {
            for (int fd : fds) {
                const auto& f = frames.picture(i, i * 40);
                benchmark::DoNotOptimize(::write(fd, f.data(), f.size()));
                if (i % 19 == 0)
                    benchmark::DoNotOptimize(::write(fd, frames.audio.data(), frames.audio.size()));
            }
        }
        for (int fd : fds) {
            ::fsync(fd);
            ::close(fd);
        }
        cpu += process_cpu_seconds() - before;
    }
    state.counters["writer_core_percent"] =
        100.0 * cpu / (static_cast<double>(state.iterations()) * kMediaSeconds);
}
BENCHMARK(RawWrites)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

}  // namespace
