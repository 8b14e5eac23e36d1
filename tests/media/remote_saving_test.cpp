// The remote saver: a copy of what a remote pane plays, from its first key frame, named from
// the DVR path without changing it, ended with its stream.
#include "media/dvr_verify.h"
#include "media/record_paths.h"
#include "media/record_writer.h"
#include "recording_support.h"

namespace orvel::media::test {
namespace {

// 2009-03-07 10:47:12 as a PackedDateTime.
constexpr uint32_t kPacked = 9u | (3u << 6) | (7u << 10) | (10u << 15) | (47u << 20) | (12u << 26);
const char* const kDvrPath = "C:\\dvr_media\\video\\09-03-07\\camera 03\\09-03-07-10-15-00-03.dvr";

TEST(RemoteCopyPaths, PiecesComeFromTheDvrPathAndTheNameFromTheCopysFirstPicture) {
    const auto pieces = split_dvr_recording_path(kDvrPath);
    ASSERT_TRUE(pieces);
    EXPECT_EQ(pieces->date_folder, "09-03-07");
    EXPECT_EQ(pieces->camera, "03");
    const LocalTime t = packed_local_time(kPacked).value();
    // Hour too: a copy begun at 11:05 of a recording named 10:15 is named 11-05.
    EXPECT_EQ(remote_copy_file_name(pieces->file_name, t), "09-03-07-10-47-12-03.dvr");
    EXPECT_EQ(remote_copy_folder('D', "10.0.0.5", pieces->date_folder, pieces->camera),
              "D:\\dvr_media\\video\\10.0.0.5\\09-03-07\\camera 03\\");
    EXPECT_EQ(remote_copy_file_name("odd-name.dvr", t), "odd-name.dvr");
    EXPECT_FALSE(packed_local_time(kPacked | (25u << 15)));  // hour 25

    // Hostile pieces stay single names; another layout has none.
    const auto hostile = split_dvr_recording_path("D:\\dvr_media\\video\\../../..\\camera ..\\x");
    ASSERT_TRUE(hostile);
    EXPECT_EQ(hostile->date_folder.find('/'), std::string::npos);
    EXPECT_EQ(hostile->camera, "_");
    EXPECT_FALSE(split_dvr_recording_path("D:\\dvr_media\\video\\09-03-07\\camera 03\\a\\b.dvr"));
    EXPECT_FALSE(split_dvr_recording_path("D:\\elsewhere\\09-03-07-10-15-00-03.dvr"));
    const DvrPathPieces fallback = remote_copy_pieces(7, t);
    EXPECT_EQ(fallback.date_folder, "09-03-07");
    EXPECT_EQ(fallback.camera, "07");
    EXPECT_EQ(fallback.file_name, "09-03-07-10-47-12-07.dvr");
}

class RemoteSaver : public ::testing::Test {
protected:
    void idle() { ASSERT_TRUE(writer_.wait_idle(10000)); }
    static void feed(RecordingJob& r, const std::vector<uint8_t>& frame) {
        r.frame(frame.data(), frame.size());
    }

    RecordingPlace place_;
    TestClock clock_{utc_ms(2025, 12, 9, 12, 0, 0)};
    RecordWriter writer_{place_.env(clock_)};
};

TEST_F(RemoteSaver, ACopyBeginsAtAVideoKeyFrameWithSixAudioRecordsPerFrameAndAVideoDuration) {
    std::string dvr_path = kDvrPath;
    auto saving = writer_.start_remote(4, "10.0.0.5", dvr_path, 3, stream_header(0, 1).data());
    feed(*saving, std_delta(900000));  // before the copy begins
    feed(*saving, std_audio(900010));  // bits 4-7 clear, but sound: does not begin the copy
    feed(*saving, std_frame(0x00, 905000, 100, 0x33, kPacked));
    feed(*saving, std_audio(905010));
    feed(*saving, std_delta(905040));
    feed(*saving, std_audio(999999));  // sound after the last picture: not in the duration
    idle();
    EXPECT_FALSE(saving->status().finished);
    saving->stream_ended();  // the DVR closed the recording
    idle();
    const RecordingStatus s = saving->status();
    EXPECT_TRUE(s.finished);
    EXPECT_EQ(s.fault, RecordFault::none);
    EXPECT_EQ(s.frames_unwritten + s.frames_lost, 0u);
    // The DVR path is what a later request sends: never touched.
    EXPECT_EQ(dvr_path, kDvrPath);
    EXPECT_EQ(saving->dvr_path(), kDvrPath);

    const auto files = place_.files();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0], place_.dir.file("d") / "dvr_media/video/10.0.0.5/09-03-07/camera 03" /
                            "09-03-07-10-47-12-03.dvr");
    const ReadBack r = read_back(file_bytes(files[0]));
    EXPECT_EQ(r.end_status, DvrStatus::end_of_file);
    EXPECT_EQ(r.header.closed_mark, 1);
    EXPECT_EQ(r.header.duration_ms, 40u);
    ASSERT_EQ(r.records.size(), 2u + 12);
    EXPECT_TRUE(r.records[0].key_frame && r.records[0].kind == RecordKind::video);
    EXPECT_EQ(video_times(r), (std::vector<uint32_t>{0, 40}));
    for (const auto& rec : r.records) {
        if (rec.kind == RecordKind::audio) {
            EXPECT_EQ(rec.length_bytes, 512u);
        }
    }
    ASSERT_EQ(r.index.size(), 1u);
    EXPECT_EQ(r.index[0].offset, kStdHeaderBlockBytes);
    EXPECT_EQ(verify_dvr_file(files[0]).verdict, VerifyVerdict::sound);
}

TEST_F(RemoteSaver, StopBeforeAKeyFrameLeavesNoFileAndANewStreamEndsTheCopy) {
    auto waiting = writer_.start_remote(0, "dvr", kDvrPath, 3, stream_header(0).data());
    feed(*waiting, std_delta(40));
    writer_.stop(*waiting);
    idle();
    EXPECT_TRUE(waiting->status().finished);
    EXPECT_TRUE(place_.files().empty());

    // A dual stream: a copy of sub-stream video as class 0, like a live recording.
    auto saving = writer_.start_remote(1, "dvr", "not a dvr path", 9,
                                       stream_header(kMarkerDual, 0, 320, 240).data());
    feed(*saving, dual_frame(0x02, 500, 300));
    feed(*saving, dual_frame(0x00, 500, 900));  // main stream: not saved
    feed(*saving, dual_frame(0x82, 540, 200));
    saving->stream_header(stream_header(kMarkerDual, 0, 320, 240).data());  // a reopen
    feed(*saving, dual_frame(0x02, 90000, 300));
    idle();
    EXPECT_TRUE(saving->status().finished);
    const auto files = place_.files();
    ASSERT_EQ(files.size(), 1u);
    // Another path layout: the pieces come from the first picture's time and the camera.
    EXPECT_EQ(files[0].parent_path().filename(), "camera 09");
    const ReadBack r = read_back(file_bytes(files[0]));
    EXPECT_EQ(video_times(r), (std::vector<uint32_t>{0, 40}));
    EXPECT_EQ(r.records[0].raw[0], 0x00);
    EXPECT_EQ(verify_dvr_file(files[0]).verdict, VerifyVerdict::sound);
}

// A wait for the writer that begins while the writer is finishing a round must still see it
// idle: the wake-up of the wait once arrived after the writer had already taken it and
// marked the writer busy for good, so the wait ran out although everything was written.
TEST_F(RemoteSaver, WaitingForTheWriterRightAfterEachFrameAlwaysEnds) {
    auto saving = writer_.start_remote(5, "dvr", kDvrPath, 3, stream_header(0).data());
    for (uint32_t i = 1; i <= 3000; ++i) {
        feed(*saving, i % 50 == 1 ? std_key(i * 40) : std_delta(i * 40));
        ASSERT_TRUE(writer_.wait_idle(10000)) << "frame " << i;
    }
    writer_.stop(*saving);
    idle();
    EXPECT_EQ(saving->status().frames_unwritten + saving->status().frames_lost, 0u);
}

TEST_F(RemoteSaver, AFileThatCannotBeCreatedIsReportedOnce) {
    place_.ini.write_string("RECORD", "DISK", "G");  // not mapped
    auto saving = writer_.start_remote(2, "dvr", kDvrPath, 3, stream_header(0).data());
    for (uint32_t t = 1; t <= 3; ++t) feed(*saving, std_key(t * 40));
    idle();
    const RecordingStatus s = saving->status();
    EXPECT_EQ(s.fault, RecordFault::cannot_create);
    EXPECT_EQ(s.fault_reports, 1u);
    EXPECT_EQ(s.frames_unwritten, 3u);
    writer_.stop(*saving);
    idle();
    EXPECT_TRUE(place_.files().empty());
}

}  // namespace
}  // namespace orvel::media::test
