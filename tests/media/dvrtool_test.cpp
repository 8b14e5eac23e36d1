// dvrtool on generated recordings: clean, truncated, corrupted, missing.
#include "dvrtool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "../support/temp_dir.h"
#include "clip_tools.h"
#include "codec/g721.h"
#include "media/dvr_file.h"

namespace orvel::tools {
namespace {

using media::DvrBuilder;
using media::DvrHeader;

struct ToolRun {
    int code;
    std::string out;
    std::string err;
};

ToolRun run(std::vector<std::string> args) {
    args.insert(args.begin(), "dvrtool");
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    std::ostringstream out, err;
    const int code = run_dvrtool(static_cast<int>(argv.size()), argv.data(), out, err);
    return ToolRun{code, out.str(), err.str()};
}

std::vector<uint8_t> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
}

// Each test process has its own folder: ctest runs the cases of this file side by side.
std::string temp(const std::string& name) {
    static const orvel::test::TempDir dir;
    return dir.file(name).string();
}

std::vector<uint8_t> audio_block(int seed) {
    std::vector<uint8_t> block(media::kAudioRecordBytes);
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<uint8_t>(i * 13 + seed * 7);
    return block;
}

// A standard recording: 5 pictures of an MPEG-4 clip with 2 audio records between them.
class DvrToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        clip_ = testing::encode_lavc(352, 288, 5, 3);
        DvrHeader header;
        header.width = 352;
        header.height = 288;
        header.codec_marker = 0;
        DvrBuilder b(header);
        for (std::size_t i = 0; i < clip_.size(); ++i) {
            b.add_video(clip_[i].data(), static_cast<uint32_t>(clip_[i].size()),
                        static_cast<uint32_t>(i * 40), i % 3 == 0);
            if (i == 1 || i == 3)
                b.add_audio(audio_block(static_cast<int>(i)).data(), static_cast<uint32_t>(i * 40));
        }
        b.finish();
        bytes_ = b.bytes();
        path_ = temp("clip.dvr");
        ASSERT_TRUE(b.save(path_));
    }
    void TearDown() override { std::remove(path_.c_str()); }

    std::string write_variant(const std::string& name, const std::vector<uint8_t>& bytes) {
        const std::string p = temp(name);
        std::ofstream(p, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return p;
    }

    std::vector<testing::Packet> clip_;
    std::vector<uint8_t> bytes_;
    std::string path_;
};

TEST_F(DvrToolTest, InfoReportsHeaderCountsAndTail) {
    const ToolRun r = run({"info", path_});
    EXPECT_EQ(r.code, kExitOk) << r.err;
    EXPECT_NE(r.out.find("width: 352\n"), std::string::npos);
    EXPECT_NE(r.out.find("codec marker: 0 (MPEG-4"), std::string::npos);
    EXPECT_NE(r.out.find("duration: 160 ms"), std::string::npos);
    EXPECT_NE(r.out.find("index entries: 2 of 1000"), std::string::npos);
    EXPECT_NE(r.out.find("video records: 5 (key frames 2)"), std::string::npos);
    EXPECT_NE(r.out.find("audio records: 2"), std::string::npos);
    EXPECT_NE(r.out.find("closed mark: 1"), std::string::npos);
    EXPECT_NE(r.out.find("tail: clean"), std::string::npos);

    std::vector<uint8_t> cut(bytes_.begin(), bytes_.end() - 10);
    const std::string truncated = write_variant("cut.dvr", cut);
    const ToolRun t = run({"info", truncated});
    EXPECT_EQ(t.code, kExitOk);
    EXPECT_NE(t.out.find("video records: 4"), std::string::npos);
    EXPECT_NE(t.out.find("tail: truncated"), std::string::npos);
    std::remove(truncated.c_str());
}

TEST_F(DvrToolTest, BadFilesGiveClearErrorsAndExitCodes) {
    EXPECT_EQ(run({}).code, kExitUsage);
    EXPECT_EQ(run({"play", path_}).code, kExitUsage);
    EXPECT_EQ(run({"frames", path_, temp("x.yuy2"), "--first", "-2"}).code, kExitUsage);

    const ToolRun missing = run({"info", temp("does-not-exist.dvr")});
    EXPECT_EQ(missing.code, kExitIo);
    EXPECT_NE(missing.err.find("cannot open"), std::string::npos);

    const std::string short_file =
        write_variant("short.dvr", std::vector<uint8_t>(bytes_.begin(), bytes_.begin() + 5000));
    const ToolRun s = run({"info", short_file});
    EXPECT_EQ(s.code, kExitDamaged);
    EXPECT_NE(s.err.find("damaged file"), std::string::npos);

    // Corrupt the first record's length to 65,535 behind a 12-byte header: the file now ends
    // inside that record (truncated), and a dual file with a huge length is damaged.
    std::vector<uint8_t> dual_bytes;
    {
        DvrHeader h;
        h.width = 352;
        h.height = 288;
        h.codec_marker = media::kMarkerDual;
        DvrBuilder b(h);
        b.add_video(clip_[0].data(), static_cast<uint32_t>(clip_[0].size()), 0, true);
        dual_bytes = b.bytes();
        media::store_u32(dual_bytes.data() + media::kDualHeaderBlockBytes + 4, 0x7FFFFFFF);
    }
    const std::string corrupt = write_variant("corrupt.dvr", dual_bytes);
    for (const char* command : {"info", "frames", "audio"}) {
        const ToolRun c = command == std::string("info") ? run({command, corrupt})
                                                         : run({command, corrupt, temp("out.bin")});
        EXPECT_EQ(c.code, kExitDamaged) << command;
        EXPECT_NE(c.err.find("above the payload buffer"), std::string::npos) << command;
    }
    std::remove(short_file.c_str());
    std::remove(corrupt.c_str());
    std::remove(temp("out.bin").c_str());
}

TEST_F(DvrToolTest, FramesMatchLibavcodecDecodeAndHonourFirstAndCount) {
    std::vector<testing::Picture> reference = testing::reference_decode(clip_);
    const std::string out = temp("frames.yuy2");
    const ToolRun r = run({"frames", path_, out});
    ASSERT_EQ(r.code, kExitOk) << r.err;
    EXPECT_EQ(r.out, "width 352 height 288 pictures 5\n");
    std::vector<uint8_t> all = read_file(out);
    const std::size_t picture = 352 * 288 * 2;
    ASSERT_EQ(all.size(), 5 * picture);
    for (std::size_t i = 0; i < 5; ++i)
        EXPECT_TRUE(std::equal(reference[i].begin(), reference[i].end(),
                               all.begin() + static_cast<long>(i * picture)))
            << i;

    const ToolRun part = run({"frames", path_, out, "--first", "1", "--count", "2"});
    ASSERT_EQ(part.code, kExitOk);
    all = read_file(out);
    ASSERT_EQ(all.size(), 2 * picture);
    EXPECT_TRUE(std::equal(reference[1].begin(), reference[1].end(), all.begin()));
    EXPECT_TRUE(std::equal(reference[2].begin(), reference[2].end(),
                           all.begin() + static_cast<long>(picture)));
    std::remove(out.c_str());
}

TEST_F(DvrToolTest, DualFilesDecodeThroughTheXvidType) {
    const std::vector<testing::Packet> clip = testing::encode_xvid(176, 144, 3, 3);
    const std::vector<testing::Picture> reference = testing::reference_decode(clip);
    DvrHeader header;
    header.width = 176;
    header.height = 144;
    header.codec_marker = media::kMarkerDual;
    DvrBuilder b(header);
    for (std::size_t i = 0; i < clip.size(); ++i)
        b.add_video(clip[i].data(), static_cast<uint32_t>(clip[i].size()),
                    static_cast<uint32_t>(i * 40), i == 0);
    const std::string dual = write_variant("dual.dvr", b.bytes());
    const std::string out = temp("dual.yuy2");
    const ToolRun r = run({"frames", dual, out});
    ASSERT_EQ(r.code, kExitOk) << r.err;
    EXPECT_EQ(r.out, "width 176 height 144 pictures 3\n");
    const std::vector<uint8_t> all = read_file(out);
    ASSERT_EQ(all.size(), 3u * 176 * 144 * 2);
    for (std::size_t i = 0; i < 3; ++i) {
        int worst = 0;
        for (std::size_t k = 0; k < reference[i].size(); ++k)
            worst = std::max(worst, std::abs(all[i * reference[i].size() + k] - reference[i][k]));
        EXPECT_LE(worst, 2) << i;
    }
    std::remove(dual.c_str());
    std::remove(out.c_str());
}

TEST_F(DvrToolTest, AudioWritesTheG721DecodeAsWav) {
    const std::string out = temp("audio.wav");
    const ToolRun r = run({"audio", path_, out});
    ASSERT_EQ(r.code, kExitOk) << r.err;
    EXPECT_EQ(r.out, "samples 2048 rate 8000\n");
    const std::vector<uint8_t> wav = read_file(out);
    ASSERT_EQ(wav.size(), 44u + 4096u);
    EXPECT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");
    EXPECT_EQ(media::load_u32(wav.data() + 24), 8000u);
    EXPECT_EQ(media::load_u32(wav.data() + 40), 4096u);

    // The same decode as the program's: one state from zero through both blocks.
    static codec::AudioDecoderState state;
    state = codec::AudioDecoderState{};
    std::vector<int16_t> expected(2048);
    const std::vector<uint8_t> b1 = audio_block(1), b3 = audio_block(3);
    codec::audio_decode(state, expected.data(), b1.data(), 512);
    codec::audio_decode(state, expected.data() + 1024, b3.data(), 512);
    for (std::size_t i = 0; i < expected.size(); ++i)
        ASSERT_EQ(static_cast<int16_t>(media::load_u16(wav.data() + 44 + 2 * i)), expected[i]) << i;
    std::remove(out.c_str());
}

TEST_F(DvrToolTest, VerifyTellsSoundUnfinishedAndDamagedFilesApart) {
    EXPECT_EQ(run({"verify", path_}).code, 0);
    EXPECT_NE(run({"verify", path_}).out.find(": ok (7 whole records: 5 video, 2 key frames"),
              std::string::npos);

    // Never finished: closed mark 0, empty index, a torn last record.
    DvrHeader header;
    header.width = 352;
    header.height = 288;
    DvrBuilder open_builder(header);
    for (std::size_t i = 0; i < clip_.size(); ++i)
        open_builder.add_video(clip_[i].data(), static_cast<uint32_t>(clip_[i].size()),
                               static_cast<uint32_t>(i * 40), i % 3 == 0);
    std::vector<uint8_t> unfinished = open_builder.bytes();
    std::fill(unfinished.begin() + 28, unfinished.begin() + media::kStdHeaderBlockBytes, 0);
    unfinished.resize(unfinished.size() - 7);
    const std::string open_path = write_variant("open.dvr", unfinished);
    const ToolRun open_run = run({"verify", open_path});
    EXPECT_EQ(open_run.code, 2);
    EXPECT_NE(open_run.out.find(": not closed (4 whole records"), std::string::npos)
        << open_run.out;

    struct Damage {
        std::string name;
        std::size_t offset;
        uint32_t value;
        std::string says;
    };
    const std::size_t first = media::kStdHeaderBlockBytes;
    const std::size_t audio_at = first + 12 + clip_[0].size() + 12 + clip_[1].size();
    const std::vector<Damage> damages = {
        {"index.dvr", 28, static_cast<uint32_t>(first + 12 + clip_[0].size()),
         "does not point at key frame 0"},
        {"audio.dvr", audio_at + 2, 300, "has length 300, not 512"},
        {"duration.dvr", 20, 999, "duration 999 ms in the header"},
        {"cut.dvr", 0, 0, "closed, but ends inside a record"},
    };
    for (const Damage& d : damages) {
        std::vector<uint8_t> bytes = bytes_;
        if (d.name == "cut.dvr") {
            bytes.resize(bytes.size() - 3);
        } else if (d.name == "audio.dvr") {
            media::store_u16(bytes.data() + d.offset, static_cast<uint16_t>(d.value));
        } else {
            media::store_u32(bytes.data() + d.offset, d.value);
        }
        const std::string p = write_variant(d.name, bytes);
        const ToolRun r = run({"verify", p});
        EXPECT_EQ(r.code, 1) << d.name;
        EXPECT_NE(r.out.find(": damaged"), std::string::npos) << d.name;
        EXPECT_NE(r.out.find(d.says), std::string::npos) << d.name << "\n" << r.out;
        std::remove(p.c_str());
    }
    // Several files: the worst verdict decides; a missing one counts as damaged.
    const ToolRun several = run({"verify", path_, open_path, temp("missing.dvr")});
    EXPECT_EQ(several.code, 1);
    EXPECT_NE(several.out.find("missing.dvr: cannot be opened"), std::string::npos);
    EXPECT_EQ(run({"verify", path_, open_path}).code, 2);
    std::remove(open_path.c_str());
}

}  // namespace
}  // namespace orvel::tools
