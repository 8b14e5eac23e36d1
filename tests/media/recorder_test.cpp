// The live recorder: record forms, file changes, names, failures and a slow disk.
#include <sys/resource.h>

#include <csignal>

#include "media/dvr_verify.h"
#include "media/dvr_writer.h"
#include "media/record_paths.h"
#include "media/record_writer.h"
#include "recording_support.h"

namespace orvel::media::test {
namespace {

void feed(PaneRecording& r, const std::vector<uint8_t>& frame) {
    r.frame(frame.data(), frame.size());
}

TEST(DvrFileWriter, RecordFormsTimesAndHeaderBlock) {
    MemoryRecordSink sink;
    DvrFileWriter w;
    // The DVR's byte 1 is 1: a new file must still begin unclosed.
    ASSERT_TRUE(w.begin(sink, stream_header(0, 1).data()));
    EXPECT_EQ(sink.bytes()[1], 0);
    const auto key = std_key(5000), delta = std_delta(0), audio = std_audio(777);
    ASSERT_TRUE(w.write_video(key.data(), key.size(), 905000));
    ASSERT_TRUE(w.write_audio(audio.data(), audio.size()));
    ASSERT_TRUE(w.write_video(delta.data(), delta.size(), 905040));
    // A truncated audio payload writes only its whole blocks, never bytes behind the frame.
    auto short_audio = std_frame(0x01, 778, 1100);
    ASSERT_TRUE(w.write_audio(short_audio.data(), short_audio.size()));
    ASSERT_TRUE(w.finish());

    const ReadBack r = read_back(sink.bytes());
    ASSERT_EQ(r.header_status, DvrStatus::ok);
    EXPECT_EQ(r.end_status, DvrStatus::end_of_file);
    EXPECT_EQ(r.header.closed_mark, 1);
    EXPECT_EQ(r.header.raw[0], 0x5A);  // other header bytes as received
    EXPECT_EQ(r.header.duration_ms, 40u);
    ASSERT_EQ(r.records.size(), 1u + 6 + 1 + 2);
    EXPECT_EQ(video_times(r), (std::vector<uint32_t>{0, 40}));
    for (int i = 1; i <= 6; ++i) {
        EXPECT_EQ(r.records[i].kind, RecordKind::audio);
        EXPECT_EQ(r.records[i].length_bytes, 512u);
        EXPECT_EQ(r.records[i].time_ms, 777u);  // audio keeps the time as received
        EXPECT_EQ(r.records[i].raw[1], 0x77);
    }
    // Each block follows its own header copy, in order.
    EXPECT_EQ(sink.bytes()[kStdHeaderBlockBytes + 112 + 12], 1);
    EXPECT_EQ(sink.bytes()[kStdHeaderBlockBytes + 112 + 5 * 524 + 12], 6);
    ASSERT_EQ(r.index.size(), 1u);
    EXPECT_EQ(r.index[0].offset, kStdHeaderBlockBytes);
    EXPECT_EQ(r.index[0].time_ms, 0u);
    EXPECT_EQ(verify_dvr_file("/nonexistent/x.dvr").verdict, VerifyVerdict::cannot_open);
    MemoryDvrSource source(sink.bytes().data(), sink.bytes().size());
    EXPECT_EQ(verify_dvr(source).verdict, VerifyVerdict::sound);
}

TEST(DvrFileWriter, IndexStopsAtOneThousandStandardAndSixteenThousandDual) {
    for (const bool dual : {false, true}) {
        MemoryRecordSink sink;
        DvrFileWriter w;
        ASSERT_TRUE(w.begin(sink, stream_header(dual ? kMarkerDual : 0).data()));
        const std::size_t capacity = dual ? kDualIndexEntries : kStdIndexEntries;
        for (uint32_t i = 0; i < capacity + 5; ++i) {
            const auto f = dual ? dual_frame(0x02, i, 1) : std_key(i, 1);
            ASSERT_TRUE(w.write_video(f.data(), f.size(), i * 40));
        }
        ASSERT_TRUE(w.finish());
        const ReadBack r = read_back(sink.bytes());
        EXPECT_EQ(r.index.size(), capacity);
        EXPECT_EQ(r.records.size(), capacity + 5);
        EXPECT_EQ(r.index.back().time_ms, (capacity - 1) * 40);
        MemoryDvrSource source(sink.bytes().data(), sink.bytes().size());
        EXPECT_EQ(verify_dvr(source).verdict, VerifyVerdict::sound) << dual;
    }
}

TEST(DvrFileWriter, AFailedWriteLeavesTheLastWholeRecordAndAFinishableFile) {
    MemoryRecordSink sink;
    sink.limit_bytes = kStdHeaderBlockBytes + 3 * 112 + 50;  // the disk fills in the 4th record
    DvrFileWriter w;
    ASSERT_TRUE(w.begin(sink, stream_header(0).data()));
    const auto key = std_key(0);
    int written = 0;
    for (uint32_t t = 0; t < 10; ++t) {
        if (!w.write_video(key.data(), key.size(), t * 40)) break;
        ++written;
    }
    EXPECT_EQ(written, 3);
    EXPECT_FALSE(w.write_video(key.data(), key.size(), 1000));  // no more after a failure
    EXPECT_EQ(sink.bytes().size(), kStdHeaderBlockBytes + 3 * 112);
    ASSERT_TRUE(w.finish());  // the header block is rewritten in place: no new space needed
    MemoryDvrSource source(sink.bytes().data(), sink.bytes().size());
    const VerifyReport v = verify_dvr(source);
    EXPECT_EQ(v.verdict, VerifyVerdict::sound);
    EXPECT_EQ(v.video_records, 3u);
    EXPECT_EQ(v.header.duration_ms, 80u);
}

TEST(RecordPaths, FoldersNamesAndSuffixes) {
    const LocalTime t{2025, 12, 9, 11, 0, 5, 42};
    EXPECT_EQ(live_recording_folder('D', "10.0.0.5", 3, t),
              "D:\\dvr_media\\video\\10.0.0.5\\25-12-09\\camera 03\\");
    EXPECT_EQ(live_recording_file_name(3, t), "25-12-09-11-00-03.dvr");
    EXPECT_EQ(live_recording_file_name(12, t, 2), "25-12-09-11-00-12_2.dvr");
    // An address never leaves its folder.
    for (const char* hostile : {"..", ".", "", "a/../../b", "x\\y"}) {
        const std::string name = address_folder_name(hostile);
        EXPECT_EQ(name.find_first_of("/\\"), std::string::npos) << hostile;
        EXPECT_NE(name, "..");
        EXPECT_NE(name, ".");
        EXPECT_FALSE(name.empty());
    }
    EXPECT_EQ(snapshot_auto_name(t), "c:\\DVR\\QEV_image\\2025-12-09-11-00-05-042.bmp");
    EXPECT_EQ(with_bmp_suffix("shot"), "shot.bmp");
    EXPECT_EQ(with_bmp_suffix("shot.bmp"), "shot.bmp");
    EXPECT_EQ(with_bmp_suffix("SHOT.BMP"), "SHOT.BMP");
    EXPECT_EQ(with_bmp_suffix("a.bmp.txt"), "a.bmp.txt.bmp");
}

class Recorder : public ::testing::Test {
protected:
    Recorder() : clock_(utc_ms(2025, 12, 9, 10, 59, 30)) {}
    void at(int hour, int minute, int second) {
        clock_.set(utc_ms(2025, 12, 9, hour, minute, second));
    }
    void idle() { ASSERT_TRUE(writer_->wait_idle(10000)); }
    std::string name(const std::filesystem::path& p) { return p.filename().string(); }

    RecordingPlace place_;
    TestClock clock_;
    RecorderEnv env_ = place_.env(clock_);
    std::unique_ptr<RecordWriter> writer_ = std::make_unique<RecordWriter>(env_);
};

TEST_F(Recorder, HourlyFilesBeginOnlyAtTheFirstVideoKeyFrameOfANewHourOnTheMappedDisk) {
    auto rec = writer_->start(0, "10.0.0.5", 3);
    rec->stream_header(stream_header(0).data());
    feed(*rec, std_key(100000));
    at(11, 0, 0);
    feed(*rec, std_delta(100040));  // not a key frame
    at(11, 0, 1);
    feed(*rec, std_audio(100080));  // bits 4-7 clear, but audio
    at(11, 0, 2);
    feed(*rec, std_key(100120));  // begins 11-00
    at(11, 0, 40);
    feed(*rec, std_key(100160));
    at(11, 1, 0);
    feed(*rec, std_key(100200));
    at(12, 0, 5);
    feed(*rec, std_key(100240));  // begins 12-00
    feed(*rec, std_delta(100280));
    writer_->stop(*rec);
    idle();
    EXPECT_TRUE(rec->status().finished);

    const auto files = place_.files();
    ASSERT_EQ(files.size(), 3u);
    // DISK=D: the tree of drive D.
    EXPECT_EQ(files[0], place_.dir.file("d") / "dvr_media/video/10.0.0.5/25-12-09/camera 03" /
                            "25-12-09-10-59-03.dvr");
    EXPECT_EQ(name(files[1]), "25-12-09-11-00-03.dvr");
    EXPECT_EQ(name(files[2]), "25-12-09-12-00-03.dvr");
    const std::vector<std::vector<uint32_t>> expected = {{0, 40}, {0, 40, 80}, {0, 40}};
    for (std::size_t i = 0; i < files.size(); ++i) {
        const ReadBack r = read_back(file_bytes(files[i]));
        EXPECT_EQ(video_times(r), expected[i]) << files[i];
        EXPECT_EQ(r.header.closed_mark, 1);
        EXPECT_EQ(verify_dvr_file(files[i]).verdict, VerifyVerdict::sound) << files[i];
    }
    EXPECT_EQ(read_back(file_bytes(files[0])).records.size(), 2u + 6);
    EXPECT_EQ(rec->status().files_begun, 3u);
    EXPECT_EQ(rec->status().fault, RecordFault::none);
}

TEST_F(Recorder, AFileBeingWrittenGetsItsIndexAndIsSyncedOnceTheIntervalHasPassed) {
    auto rec = writer_->start(0, "dvr", 1);
    rec->stream_header(stream_header(0).data());
    feed(*rec, std_key(1000));
    idle();
    ASSERT_EQ(rec->status().files_begun, 1u);
    const auto syncs = [&] { return rec->status().file_syncs; };
    // Frames within the interval after the file began: only the sync of its beginning.
    at(10, 59, 30 + kFileSyncIntervalMs / 1000 - 1);
    feed(*rec, std_delta(1040));
    idle();
    EXPECT_EQ(syncs(), 0u);
    at(10, 59, 30 + kFileSyncIntervalMs / 1000);
    feed(*rec, std_delta(1080));
    idle();
    EXPECT_EQ(syncs(), 1u);
    // The file as a crash would leave it now: not closed, with the index and duration so far.
    const VerifyReport open_file = verify_dvr_file(place_.files().at(0));
    EXPECT_EQ(open_file.verdict, VerifyVerdict::not_closed);
    EXPECT_EQ(open_file.index_entries, 1u);
    EXPECT_EQ(open_file.header.duration_ms, 80u);
    at(10, 59, 31 + kFileSyncIntervalMs / 1000);
    feed(*rec, std_delta(1120));
    idle();
    EXPECT_EQ(syncs(), 1u) << "not again within the interval";
    at(10, 58, 0);  // the clock set back
    feed(*rec, std_delta(1160));
    idle();
    EXPECT_EQ(syncs(), 2u);
    writer_->stop(*rec);
    idle();
    EXPECT_EQ(verify_dvr_file(place_.files().at(0)).verdict, VerifyVerdict::sound);
}

TEST_F(Recorder, CaptureTimeZeroContinuesFortyMillisecondsAfterThePrevious) {
    auto rec = writer_->start(1, "dvr", 1);
    rec->stream_header(stream_header(0).data());
    feed(*rec, std_key(1000));
    feed(*rec, std_delta(1100));
    feed(*rec, std_delta(0));
    feed(*rec, std_delta(0));
    writer_->stop(*rec);
    idle();
    const auto files = place_.files();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(video_times(read_back(file_bytes(files[0]))),
              (std::vector<uint32_t>{0, 100, 140, 180}));
}

TEST_F(Recorder, DualStreamsKeepSubStreamVideoAsClassZeroAndAudio) {
    auto rec = writer_->start(2, "dvr", 5);
    rec->stream_header(stream_header(kMarkerDual, 0, 320, 240).data());
    feed(*rec, dual_frame(0x02, 500, 300));         // sub-stream key frame
    feed(*rec, dual_frame(0x00, 500, 5000, 0x99));  // main stream: not recorded
    feed(*rec, dual_frame(0x01, 510, 3072));        // audio
    feed(*rec, dual_frame(0x82, 540, 200));         // sub-stream, not a key frame
    feed(*rec, dual_frame(0x05, 550, 10));          // unknown class: not recorded
    writer_->stop(*rec);
    idle();
    const auto files = place_.files();
    ASSERT_EQ(files.size(), 1u);
    const auto bytes = file_bytes(files[0]);
    EXPECT_EQ(bytes.size(), kDualHeaderBlockBytes + 316 + 6 * 528 + 216);
    const ReadBack r = read_back(bytes);
    ASSERT_EQ(r.records.size(), 8u);
    EXPECT_EQ(r.records[0].raw[0], 0x00);
    EXPECT_EQ(r.records[7].raw[0], 0x80);
    EXPECT_EQ(r.records[3].kind, RecordKind::audio);
    EXPECT_EQ(r.records[3].length_bytes, 512u);
    EXPECT_EQ(video_times(r), (std::vector<uint32_t>{0, 40}));
    EXPECT_EQ(verify_dvr_file(files[0]).verdict, VerifyVerdict::sound);
}

TEST_F(Recorder, AReconnectWithinTheMinuteGetsASecondFileThatCountsFromItsOwnStart) {
    at(11, 0, 10);
    auto rec = writer_->start(0, "dvr", 2);
    rec->stream_header(stream_header(0, 1).data());
    feed(*rec, std_key(70000));
    at(11, 0, 12);
    feed(*rec, std_key(70040));  // the hour already has its file: no new one
    feed(*rec, std_delta(70080));
    rec->stream_ended();
    idle();
    auto files = place_.files();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(read_back(file_bytes(files[0])).header.closed_mark, 1);  // finished on loss

    at(11, 0, 20);
    rec->stream_header(stream_header(0, 1).data());
    feed(*rec, std_key(990000));
    feed(*rec, std_delta(990040));
    idle();
    files = place_.files();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(name(files[0]), "25-12-09-11-00-02.dvr");
    EXPECT_EQ(name(files[1]), "25-12-09-11-00-02_2.dvr");
    EXPECT_EQ(rec->current_file(), files[1].string());
    // Open and not finished: the closed mark is clear although the DVR's byte 1 is 1.
    EXPECT_EQ(verify_dvr_file(files[1]).verdict, VerifyVerdict::not_closed);
    writer_->stop(*rec);
    idle();
    EXPECT_EQ(video_times(read_back(file_bytes(files[0]))), (std::vector<uint32_t>{0, 40, 80}));
    EXPECT_EQ(video_times(read_back(file_bytes(files[1]))), (std::vector<uint32_t>{0, 40}));
    EXPECT_EQ(verify_dvr_file(files[1]).verdict, VerifyVerdict::sound);
}

TEST_F(Recorder, AFileThatCannotBeCreatedIsReportedOnceAndTriedAgainAtTheNextFileChange) {
    place_.ini.write_string("RECORD", "DISK", "G");  // not mapped
    auto rec = writer_->start(0, "dvr", 1);
    rec->stream_header(stream_header(0).data());
    for (uint32_t t = 0; t < 5; ++t) feed(*rec, std_key(t * 40 + 1));
    idle();
    RecordingStatus s = rec->status();
    EXPECT_EQ(s.fault, RecordFault::cannot_create);
    EXPECT_EQ(s.fault_reports, 1u);
    EXPECT_EQ(s.frames_unwritten, 5u);
    EXPECT_TRUE(place_.files().empty());

    // A folder name taken by a plain file fails too, still as one report.
    place_.ini.write_string("RECORD", "DISK", "D");
    std::filesystem::create_directories(place_.dir.file("d") / "dvr_media/video");
    { std::ofstream(place_.dir.file("d") / "dvr_media/video/dvr") << "x"; }
    rec->stream_header(stream_header(0).data());  // a reconnect: the next file change
    feed(*rec, std_key(1000));
    idle();
    EXPECT_EQ(rec->status().fault, RecordFault::cannot_create);
    EXPECT_EQ(rec->status().fault_reports, 1u);

    std::filesystem::remove(place_.dir.file("d") / "dvr_media/video/dvr");
    at(11, 0, 40);  // more than a minute later, a key frame tries again
    feed(*rec, std_key(2000));
    feed(*rec, std_delta(2040));
    idle();
    s = rec->status();
    EXPECT_EQ(s.fault, RecordFault::none);
    EXPECT_EQ(s.files_begun, 1u);
    writer_->stop(*rec);
    idle();
    const auto files = place_.files();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(video_times(read_back(file_bytes(files[0]))), (std::vector<uint32_t>{0, 40}));
}

TEST_F(Recorder, AFullDiskCutsTheFileCleanlyReportsOnceAndRetriesAMinuteLater) {
    // The file size limit stands in for a full disk: writes beyond it fail with EFBIG.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = kStdHeaderBlockBytes + 10 * 1012 + 500;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);

    auto rec = writer_->start(0, "dvr", 4);
    rec->stream_header(stream_header(0).data());
    for (uint32_t i = 0; i < 20; ++i) feed(*rec, std_key(i * 40 + 1, 1000));
    idle();
    RecordingStatus s = rec->status();
    EXPECT_EQ(s.fault, RecordFault::write_failed);
    EXPECT_EQ(s.fault_reports, 1u);
    EXPECT_EQ(s.frames_unwritten, 10u);
    at(11, 0, 31);  // a minute and a second later
    feed(*rec, std_key(5000, 1000));
    idle();
    EXPECT_EQ(rec->status().files_begun, 2u);
    EXPECT_EQ(rec->status().fault, RecordFault::none);
    writer_->stop(*rec);
    idle();
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &old), 0);

    const auto files = place_.files();
    ASSERT_EQ(files.size(), 2u);
    const VerifyReport first = verify_dvr_file(files[0]);
    EXPECT_EQ(first.verdict, VerifyVerdict::sound);
    EXPECT_EQ(first.video_records, 10u);
    EXPECT_EQ(verify_dvr_file(files[1]).video_records, 1u);
}

TEST_F(Recorder, ASlowDiskLosesFramesVisiblyAndVideoResumesAtAKeyFrame) {
    writer_.reset();
    writer_ = std::make_unique<RecordWriter>(env_, 64u << 10);
    auto rec = writer_->start(0, "dvr", 1);
    rec->stream_header(stream_header(0).data());
    feed(*rec, std_key(1));
    idle();
    clock_.hold();  // the writer stalls on the next key frame, as on a stalled disk
    feed(*rec, std_key(41, 2000));
    int queued = 0;
    uint32_t t = 81;
    while (rec->status().frames_lost == 0 && queued < 1000) {
        feed(*rec, std_delta(t, 2000));
        t += 40;
        ++queued;
    }
    ASSERT_EQ(rec->status().frames_lost, 1u);
    clock_.release();
    idle();
    feed(*rec, std_delta(t += 40, 10));  // fits now, but follows a lost picture
    feed(*rec, std_audio(t));            // sound is still taken
    feed(*rec, std_key(t += 40, 10));    // video resumes here
    feed(*rec, std_delta(t += 40, 10));
    const uint64_t lost = rec->status().frames_lost;
    writer_->stop(*rec);
    idle();
    const RecordingStatus s = rec->status();
    EXPECT_EQ(s.fault, RecordFault::queue_overflow);
    EXPECT_EQ(s.fault_reports, 1u);
    EXPECT_EQ(lost, 2u);

    const auto files = place_.files();
    ASSERT_EQ(files.size(), 1u);
    const ReadBack r = read_back(file_bytes(files[0]));
    // Everything queued before the loss, then the sound, then the key frame and its delta.
    const std::size_t video = video_times(r).size();
    EXPECT_EQ(video, 2u + (static_cast<std::size_t>(queued) - 1) + 2);
    EXPECT_TRUE(r.records[r.records.size() - 2].key_frame);
    EXPECT_EQ(r.records[r.records.size() - 3].kind, RecordKind::audio);
    EXPECT_EQ(verify_dvr_file(files[0]).verdict, VerifyVerdict::sound);
}

}  // namespace
}  // namespace orvel::media::test
