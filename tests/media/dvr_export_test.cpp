// Export: the MP4 (or Matroska) file that ffprobe and ffmpeg read back; progress and cancel.
#include "media/export/dvr_export.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
#include <thread>

#include "../support/temp_dir.h"
#include "clip_tools.h"
#include "codec/c4321/encoder.h"
#include "codec/decoder_table.h"
#include "media/dvr_file.h"

namespace orvel::media {
namespace {

std::string run_command(const std::string& command) {
    std::string out;
    FILE* p = ::popen(command.c_str(), "r");
    if (p == nullptr) return out;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
    ::pclose(p);
    return out;
}

bool have_ffprobe() {
    return run_command("command -v ffprobe").find("ffprobe") != std::string::npos;
}

// ffprobe's "key=value" lines for the first video stream ("video."), the first audio
// stream ("audio.") and the container ("format.").
std::map<std::string, std::string> probe(const std::string& path) {
    std::map<std::string, std::string> values;
    const std::pair<const char*, const char*> parts[] = {
        {"video", "-select_streams v:0 -show_entries stream=codec_name,nb_frames,duration"},
        {"audio", "-select_streams a:0 -show_entries stream=codec_name,duration"},
        {"format", "-show_entries format=duration"}};
    for (const auto& [kind, args] : parts) {
        std::istringstream lines(run_command(std::string("ffprobe -v error ") + args +
                                             " -of default=nw=1 '" + path + "'"));
        std::string line;
        while (std::getline(lines, line)) {
            const auto eq = line.find('=');
            if (eq != std::string::npos)
                values[std::string(kind) + "." + line.substr(0, eq)] = line.substr(eq + 1);
        }
    }
    return values;
}

std::vector<uint8_t> g721_block(int seed) {
    std::vector<uint8_t> b(kAudioRecordBytes);
    for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>((i * 37 + seed) ^ 0x5A);
    return b;
}

// 50 pictures 40 ms apart (a key frame every 10) with six sound records every 768 ms.
std::string make_recording(const orvel::test::TempDir& dir, int32_t marker,
                           const std::vector<testing::Packet>& pictures) {
    DvrHeader h;
    h.width = 352;
    h.height = 288;
    h.codec_marker = marker;
    DvrBuilder b(h);
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        const uint32_t t = 5000 + static_cast<uint32_t>(i) * 40;
        b.add_video(pictures[i].data(), static_cast<uint32_t>(pictures[i].size()), t, i % 10 == 0);
        if (i % 19 == 0)
            for (int k = 0; k < 6; ++k) b.add_audio(g721_block(k).data(), 123456);
    }
    b.finish();
    const std::string path = dir.file(marker == kMarker4321 ? "c4321.dvr" : "clip.dvr");
    EXPECT_TRUE(b.save(path));
    return path;
}

TEST(DvrExport, MpegFourIsCopiedWithRecordTimesAndSoundBecomesAac) {
    if (!have_ffprobe()) GTEST_SKIP() << "ffprobe is not installed";
    orvel::test::TempDir dir;
    const auto clip = testing::encode_lavc(352, 288, 50, 10);
    const std::string input = make_recording(dir, 0, clip);
    const std::string output = dir.file("clip.mp4").string();
    ExportResult result;
    ASSERT_EQ(export_dvr(input, output, ExportOptions{}, result), ExportStatus::ok) << result.error;
    EXPECT_EQ(result.video_frames, 50u);
    EXPECT_EQ(result.audio_blocks, 18u);
    EXPECT_EQ(result.duration_ms, 2000u);
    EXPECT_FALSE(result.reencoded);

    const auto p = probe(output);
    EXPECT_EQ(p.at("video.codec_name"), "mpeg4");
    EXPECT_EQ(p.at("video.nb_frames"), "50");
    EXPECT_NEAR(std::stod(p.at("video.duration")), 2.0, 0.001);
    EXPECT_EQ(p.at("audio.codec_name"), "aac");
    EXPECT_NEAR(std::stod(p.at("format.duration")), 2.3, 0.1);  // 18 blocks of 128 ms from 0

    // Stream copy: each packet is the record's payload, at the record's time.
    std::istringstream packets(
        run_command("ffprobe -v error -select_streams v -show_entries "
                    "packet=pts_time,size -of csv=p=0 '" +
                    output + "'"));
    std::string line;
    std::size_t i = 0;
    while (std::getline(packets, line) && i < clip.size()) {
        double pts = 0;
        std::size_t size = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "%lf,%zu", &pts, &size), 2) << line;
        EXPECT_NEAR(pts, static_cast<double>(i) * 0.040, 1e-6);
        EXPECT_EQ(size, clip[i].size()) << i;
        ++i;
    }
    EXPECT_EQ(i, clip.size());
    // ... and ffmpeg decodes every picture.
    const std::string decoded = run_command("ffmpeg -v error -i '" + output +
                                            "' -map 0:v -f rawvideo -pix_fmt gray - | wc -c");
    EXPECT_EQ(std::stoul(decoded), 50u * 352 * 288);
}

TEST(DvrExport, MatroskaCarriesPcmSound) {
    if (!have_ffprobe()) GTEST_SKIP() << "ffprobe is not installed";
    orvel::test::TempDir dir;
    const std::string input = make_recording(dir, 0, testing::encode_lavc(352, 288, 50, 10));
    const std::string output = dir.file("clip.mkv").string();
    ExportResult result;
    ExportProgress progress;
    ASSERT_EQ(export_dvr(input, output, ExportOptions{}, result, &progress), ExportStatus::ok)
        << result.error;
    EXPECT_EQ(progress.permille.load(), 1000);
    const auto p = probe(output);
    EXPECT_EQ(p.at("video.codec_name"), "mpeg4");
    EXPECT_EQ(p.at("audio.codec_name"), "pcm_s16le");
    EXPECT_NEAR(std::stod(p.at("format.duration")), 2.3, 0.1);
}

TEST(DvrExport, DualStreamRecordingsAreCopiedToo) {
    if (!have_ffprobe()) GTEST_SKIP() << "ffprobe is not installed";
    orvel::test::TempDir dir;
    const std::string input =
        make_recording(dir, kMarkerDual, testing::encode_xvid(352, 288, 50, 10));
    const std::string output = dir.file("dual.mp4").string();
    ExportResult result;
    ASSERT_EQ(export_dvr(input, output, ExportOptions{}, result), ExportStatus::ok) << result.error;
    const auto p = probe(output);
    EXPECT_EQ(p.at("video.codec_name"), "mpeg4");
    EXPECT_EQ(p.at("video.nb_frames"), "50");
    EXPECT_NEAR(std::stod(p.at("video.duration")), 2.0, 0.001);
}

TEST(DvrExport, CodecFourThreeTwoOneIsReencodedCloseToItsDecodedPictures) {
    if (!have_ffprobe()) GTEST_SKIP() << "ffprobe is not installed";
    codec::decoder_table_init();
    orvel::test::TempDir dir;
    codec::c4321::Encoder encoder(352, 288);
    std::vector<testing::Packet> pictures;
    for (int i = 0; i < 50; ++i) {
        const auto planar = testing::synthetic_frame(352, 288, i);
        const uint8_t* y = planar.data();
        const uint8_t* u = y + 352 * 288;
        const uint8_t* v = u + 176 * 144;
        pictures.push_back(encoder.encode_planar(
            y, 352, u, v, 176,
            i % 10 == 0 ? codec::c4321::PictureType::intra : codec::c4321::PictureType::inter, 1));
    }
    const std::string input = make_recording(dir, kMarker4321, pictures);
    const std::string output = dir.file("c4321.mp4").string();
    ExportResult result;
    ASSERT_EQ(export_dvr(input, output, ExportOptions{}, result), ExportStatus::ok) << result.error;
    EXPECT_TRUE(result.reencoded);
    const auto p = probe(output);
    EXPECT_EQ(p.at("video.codec_name"), "mpeg4");
    EXPECT_EQ(p.at("video.nb_frames"), "50");
    EXPECT_NEAR(std::stod(p.at("video.duration")), 2.0, 0.001);

    // Luma of the export against the project's own decode of the recording.
    const int handle = codec::decoder_create(codec::DECODER_4321, 352, 288);
    ASSERT_GE(handle, 0);
    std::vector<uint8_t> yuy2(352 * 288 * 2);
    const std::string exported =
        run_command("ffmpeg -v error -i '" + output + "' -f rawvideo -pix_fmt yuv420p -");
    const std::size_t frame_bytes = 352 * 288 * 3 / 2;
    ASSERT_EQ(exported.size(), 50u * frame_bytes);
    double squared = 0;
    for (int i = 0; i < 50; ++i) {
        std::vector<uint8_t> padded(pictures[i]);
        padded.resize(padded.size() + 64, 0);
        codec::decoder_decode(handle, static_cast<int>(pictures[i].size()), padded.data(),
                              yuy2.data());
        for (int k = 0; k < 352 * 288; ++k) {
            const double d =
                static_cast<double>(yuy2[2 * k]) -
                static_cast<uint8_t>(exported[static_cast<std::size_t>(i) * frame_bytes + k]);
            squared += d * d;
        }
    }
    codec::decoder_destroy(handle);
    codec::decoder_table_shutdown();
    const double psnr = 10 * std::log10(255.0 * 255.0 / (squared / (50.0 * 352 * 288)));
    EXPECT_GT(psnr, 38.0);
    std::printf("codec 4321 export at quantiser 3: luma PSNR %.1f dB\n", psnr);
}

TEST(DvrExport, ACancelFromAnotherThreadStopsTheExportAndRemovesItsOutput) {
    orvel::test::TempDir dir;
    auto clip = testing::encode_lavc(352, 288, 50, 10);
    for (int i = 0; i < 150; ++i) clip.push_back(clip[static_cast<std::size_t>(i)]);
    const std::string input = make_recording(dir, 0, clip);
    // Several times what a pipe holds (64 KiB), so the export cannot finish unread.
    ASSERT_GT(std::filesystem::file_size(input), 4u * 65536);
    // The output is a pipe the test reads: the export blocks once the pipe is full, so the
    // cancel below is set while it still has pictures to write.
    const std::string output = dir.file("out.mkv").string();
    ASSERT_EQ(::mkfifo(output.c_str(), 0600), 0);
    ExportProgress progress;
    ExportResult result;
    ExportStatus status = ExportStatus::ok;
    std::thread worker([&] { status = export_dvr(input, output, {}, result, &progress); });
    const int fd = ::open(output.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    char buffer[4096];
    ASSERT_EQ(::read(fd, buffer, 1), 1);  // the container's header: the export is writing
    progress.cancel = true;
    while (::read(fd, buffer, sizeof buffer) > 0) {
    }
    ::close(fd);
    worker.join();
    EXPECT_EQ(status, ExportStatus::cancelled);
    EXPECT_LT(progress.permille.load(), 1000);
    EXPECT_LT(result.video_frames, clip.size());
    EXPECT_FALSE(std::filesystem::exists(output));
}

TEST(DvrExport, UnusableInputsAreRefused) {
    orvel::test::TempDir dir;
    ExportResult result;
    EXPECT_EQ(export_dvr(dir.file("missing.dvr").string(), dir.file("x.mp4").string(), {}, result),
              ExportStatus::input_unusable);
    DvrHeader h;
    h.width = 352;
    h.height = 288;
    DvrBuilder no_video(h);
    no_video.add_audio(g721_block(1).data(), 0);
    no_video.finish();
    ASSERT_TRUE(no_video.save(dir.file("audio-only.dvr").string()));
    EXPECT_EQ(
        export_dvr(dir.file("audio-only.dvr").string(), dir.file("x.mp4").string(), {}, result),
        ExportStatus::no_video);
    h.width = 100000;
    DvrBuilder huge(h);
    huge.finish();
    ASSERT_TRUE(huge.save(dir.file("huge.dvr").string()));
    EXPECT_EQ(export_dvr(dir.file("huge.dvr").string(), dir.file("x.mp4").string(), {}, result),
              ExportStatus::damaged);
}

}  // namespace
}  // namespace orvel::media
