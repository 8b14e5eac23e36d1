#pragma once
// Writing one .dvr file: the header block (stream header and key-frame index) first, then
// one record per frame, and at the end the header block again with the closed mark, the
// duration and the index. Used by the live recorder and by the tests and tools that need
// real recordings.
//
// Times: the writer is given each video frame's absolute time (capture time plus the pane's
// time base) and stores times relative to the first video frame of this file, so every file
// counts from 0 and its duration is its own length.
#include <sys/uio.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "media/dvr_file.h"

namespace orvel::media {

// Where a file's bytes go.
class RecordSink {
public:
    virtual ~RecordSink() = default;
    // Appends the pieces at the end of the file. False on any failure.
    virtual bool append(const iovec* pieces, int count) = 0;
    // Overwrites bytes at `offset` (inside what was appended).
    virtual bool write_at(uint64_t offset, const uint8_t* bytes, std::size_t size) = 0;
    // Cuts the file to `size` bytes (drops a record whose write failed half way).
    virtual bool truncate(uint64_t size) = 0;
    // Makes what was written durable.
    virtual bool sync() = 0;
};

// A file descriptor opened for writing; not owned.
class FdRecordSink final : public RecordSink {
public:
    explicit FdRecordSink(int fd) : fd_(fd) {}
    bool append(const iovec* pieces, int count) override;
    bool write_at(uint64_t offset, const uint8_t* bytes, std::size_t size) override;
    bool truncate(uint64_t size) override;
    bool sync() override;
    // errno of the last failure.
    int last_error() const { return error_; }

private:
    int fd_;
    int error_ = 0;
};

// Bytes in memory (tests, fuzzing, tools).
class MemoryRecordSink final : public RecordSink {
public:
    bool append(const iovec* pieces, int count) override;
    bool write_at(uint64_t offset, const uint8_t* bytes, std::size_t size) override;
    bool truncate(uint64_t size) override;
    bool sync() override { return true; }
    std::vector<uint8_t>& bytes() { return bytes_; }
    // Appends fail once the file would exceed this size (a full disk).
    std::size_t limit_bytes = SIZE_MAX;

private:
    std::vector<uint8_t> bytes_;
};

// What a received frame is to the recorder.
enum class FrameRole {
    video,    // recorded as one video record (dual form: sub-stream video only)
    audio,    // recorded as up to six 512-byte audio records
    skipped,  // not recorded (dual form: main-stream video and other classes)
};

// Role of a frame whose record header (standard or dual form) is at `frame`.
FrameRole frame_role(const uint8_t* frame, bool dual);
// True for a video frame that may start a file and gets an index entry: standard form bits
// 4-7 clear on a video frame (an audio frame has them clear too), dual form bit 7 clear on
// sub-stream video.
bool is_video_key_frame(const uint8_t* frame, bool dual);

class DvrFileWriter {
public:
    DvrFileWriter();

    // Writes the header block of a new file to `sink`: the stream header as received with
    // the closed mark cleared and duration 0, and an empty index. False when the write
    // failed (the sink then holds an unusable file).
    bool begin(RecordSink& sink, const uint8_t* stream_header);
    bool open() const { return sink_ != nullptr; }
    bool dual() const { return header_.dual(); }

    // Writes one video frame (record header + payload as on the wire, `frame_bytes` in all)
    // with its time rewritten relative to the file's first video frame; dual-form frames are
    // written with class 0. One write. False when the write failed: the file is then cut back
    // to its last whole record and no more records are accepted.
    bool write_video(const uint8_t* frame, std::size_t frame_bytes, uint32_t absolute_ms);
    // Writes an audio frame as one record per whole 512-byte block of its payload (six for a
    // standard frame), each behind a copy of the frame's header with length 512. One write.
    bool write_audio(const uint8_t* frame, std::size_t frame_bytes);

    // Rewrites the header block at offset 0 with the duration and the index so far (the closed
    // mark still clear) and syncs the file, so a file whose writer never finishes it (a killed
    // process, a power failure) still has the index of what it holds. False on failure.
    bool checkpoint();
    // Rewrites the header block at offset 0 with the closed mark, the duration and the index,
    // and syncs the file. The writer is then closed (the caller closes the descriptor).
    bool finish();
    // Forgets the file without finishing it (the caller gives up on it).
    void abandon() { sink_ = nullptr; }

    uint64_t file_bytes() const { return file_bytes_; }
    std::size_t index_count() const { return index_count_; }
    uint32_t duration_ms() const { return header_.duration_ms; }
    uint64_t video_records() const { return video_records_; }

private:
    bool append(const iovec* pieces, int count, std::size_t bytes);
    void encode_block();

    RecordSink* sink_ = nullptr;
    DvrHeader header_;
    std::vector<uint8_t> block_;  // header block as it will be written (28 + index)
    std::size_t index_count_ = 0;
    uint64_t file_bytes_ = 0;
    bool origin_set_ = false;
    uint32_t origin_ms_ = 0;
    uint32_t last_relative_ms_ = 0;
    uint64_t video_records_ = 0;
    bool failed_ = false;  // a record write failed: only finish() is still accepted
};

}  // namespace orvel::media
