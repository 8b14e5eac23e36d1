// Writes the seed corpora of the recording fuzz targets into <dir>/<target>/:
//   media_seed_maker fuzz/corpus
// Small files of each form a recorder writes (standard and dual, closed, unfinished, cut),
// writer and remote saver scripts, and snapshot sizes.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "media/dvr_file.h"

namespace {

using namespace orvel::media;
namespace fs = std::filesystem;

void save(const fs::path& dir, const std::string& name, const std::vector<uint8_t>& bytes) {
    fs::create_directories(dir);
    std::ofstream(dir / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> recording(int32_t marker, bool closed) {
    DvrHeader h;
    h.width = 352;
    h.height = 288;
    h.codec_marker = marker;
    DvrBuilder b(h);
    const std::vector<uint8_t> video(24, 0x42), audio(kAudioRecordBytes, 0x17);
    for (uint32_t i = 0; i < 12; ++i) {
        b.add_video(video.data(), static_cast<uint32_t>(video.size()), i * 40, i % 4 == 0);
        if (i == 5) b.add_audio(audio.data(), 1234);
    }
    if (closed) b.finish();
    return b.bytes();
}

std::vector<uint8_t> with_targets(uint32_t a, uint32_t b, const std::vector<uint8_t>& file) {
    std::vector<uint8_t> out(8);
    store_u32(out.data(), a);
    store_u32(out.data() + 4, b);
    out.insert(out.end(), file.begin(), file.end());
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: media_seed_maker CORPUS_DIR\n");
        return 1;
    }
    const fs::path corpus = argv[1];
    const auto closed = recording(0, true), open = recording(0, false);
    auto cut = closed;
    cut.resize(cut.size() - 5);
    save(corpus / "dvr_verify", "closed.dvr", closed);
    save(corpus / "dvr_verify", "unfinished.dvr", open);
    save(corpus / "dvr_verify", "cut.dvr", cut);
    save(corpus / "dvr_verify", "dual.dvr", recording(kMarkerDual, true));

    save(corpus / "dvr_index_seek", "start.bin", with_targets(0, 200, closed));
    save(corpus / "dvr_index_seek", "late.bin", with_targets(5300, 9000, closed));
    save(corpus / "dvr_index_seek", "dual.bin", with_targets(100, 1, recording(kMarkerDual, true)));

    // Writer scripts: form byte, disk limit, 28 header bytes, then (flags, time, length) per
    // frame.
    for (int form = 0; form < 2; ++form) {
        std::vector<uint8_t> script = {static_cast<uint8_t>(form), 0, 0, 0, 0};
        script.resize(5 + kStreamHeaderBytes, 0);
        const uint8_t flags[] = {static_cast<uint8_t>(form ? 0x02 : 0x00), 0x01,
                                 static_cast<uint8_t>(form ? 0x82 : 0x10), 0x00};
        for (int i = 0; i < 8; ++i) {
            script.push_back(flags[i % 4]);
            for (int k = 0; k < 4; ++k) script.push_back(static_cast<uint8_t>((i * 40) >> (8 * k)));
            const int length = flags[i % 4] == 0x01 ? 3072 : 100 + i;
            script.push_back(static_cast<uint8_t>(length));
            script.push_back(static_cast<uint8_t>(length >> 8));
        }
        save(corpus / "recorder_writer", form ? "dual.bin" : "standard.bin", script);
        script[1] = 1;  // a disk that fills up
        script[2] = 0x40;
        save(corpus / "recorder_writer", form ? "dual-full.bin" : "standard-full.bin", script);
    }

    // Saver scripts: form byte, 28 header bytes, then (kind, flags, time, PackedDateTime,
    // length) per item: delta, sound, key, delta, sound, key, then the stream's end.
    for (int form = 0; form < 2; ++form) {
        std::vector<uint8_t> script = {static_cast<uint8_t>(form)};
        script.resize(1 + kStreamHeaderBytes, 0);
        const uint8_t delta = form ? 0x82 : 0x10, sound = 0x01, key = form ? 0x02 : 0x00;
        const uint8_t flags[] = {delta, sound, key, delta, sound, key};
        const uint32_t packed = 25u | (12u << 6) | (9u << 10) | (10u << 15) | (47u << 20);
        for (int i = 0; i < 6; ++i) {
            script.push_back(0);  // a frame
            script.push_back(flags[i]);
            for (int k = 0; k < 4; ++k) script.push_back(static_cast<uint8_t>((i * 40) >> (8 * k)));
            for (int k = 0; k < 4; ++k) script.push_back(static_cast<uint8_t>(packed >> (8 * k)));
            const int length = flags[i] == sound ? 3072 : 60 + i;
            script.push_back(static_cast<uint8_t>(length));
            script.push_back(static_cast<uint8_t>(length >> 8));
        }
        script.push_back(0xFF);  // the stream's end
        save(corpus / "remote_saver", form ? "dual.bin" : "standard.bin", script);
    }

    auto bmp_seed = [&](const char* name, uint32_t w, uint32_t h, std::size_t bytes) {
        std::vector<uint8_t> s(8 + bytes, 0x80);
        store_u32(s.data(), w);
        store_u32(s.data() + 4, h);
        save(corpus / "snapshot_bmp", name, s);
    };
    bmp_seed("grey-4x2.bin", 4, 2, 16);
    bmp_seed("bgrx-2x2.bin", 2, 2, 16);
    bmp_seed("odd.bin", 3, 3, 18);
    bmp_seed("huge.bin", 0x7FFFFFFF, 2, 8);
    bmp_seed("negative.bin", 0xFFFFFFF0u, 4, 8);
    return 0;
}
