#pragma once
// The .dvr recording file: a header block (the 28-byte stream header and a key-frame index),
// then one record per frame (a frame header in the stream's standard or dual form, then its
// payload). All integers little-endian.
//
// The reader is bounded: it never reads past a buffer, reports a header block shorter than
// its size or a record longer than the caller's payload buffer as a damaged file, and stops at
// a truncated tail. The builder writes such files for tests and tools.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "media/stream_format.h"

namespace orvel::media {

struct DvrIndexEntry {
    uint32_t offset = 0;  // file offset of a key-frame record header
    uint32_t time_ms = 0;
};

enum class DvrStatus {
    ok,
    end_of_file,  // clean end: no byte after the last record
    truncated,    // the file ends inside a record (a recording that was not finished)
    damaged,      // a header block shorter than its size, or a record longer than the buffer
    io_error,
    cannot_open,  // missing, not a regular file, or not readable
};
const char* dvr_status_text(DvrStatus status);

// Where the reader's bytes come from.
class DvrSource {
public:
    virtual ~DvrSource() = default;
    // Reads up to `size` bytes at the current position; returns the count (0 at the end).
    virtual std::size_t read(uint8_t* into, std::size_t size) = 0;
    virtual bool seek(uint64_t offset) = 0;
    // Total size in bytes, or -1 when unknown.
    virtual int64_t size() const = 0;
    // True after a read failed for another reason than the end of the data.
    virtual bool failed() const { return false; }
};

class MemoryDvrSource final : public DvrSource {
public:
    MemoryDvrSource(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::size_t read(uint8_t* into, std::size_t size) override;
    bool seek(uint64_t offset) override;
    int64_t size() const override { return static_cast<int64_t>(size_); }

private:
    const uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

class FileDvrSource final : public DvrSource {
public:
    FileDvrSource() = default;
    ~FileDvrSource() override;
    FileDvrSource(const FileDvrSource&) = delete;
    FileDvrSource& operator=(const FileDvrSource&) = delete;
    // Opens an existing regular file for reading only (a missing name is never created).
    bool open(const std::string& path);
    std::size_t read(uint8_t* into, std::size_t size) override;
    bool seek(uint64_t offset) override;
    int64_t size() const override { return size_; }
    bool failed() const override { return failed_; }

private:
    std::FILE* file_ = nullptr;
    int64_t size_ = -1;
    bool failed_ = false;
};

// Reads one file front to back. One thread at a time.
class DvrReader {
public:
    explicit DvrReader(DvrSource& source) : source_(source) {}

    // Reads the header block (its size follows the codec marker). A file shorter than the
    // block is damaged. Leaves the reader at the first record.
    DvrStatus read_header_block();
    const DvrHeader& header() const { return header_; }
    // The index entries stored in the block (all 1,000 or 16,000, filled or not).
    std::size_t index_capacity() const { return header_.index_entries(); }
    DvrIndexEntry index_entry(std::size_t i) const;
    // Entries before the first all-zero one.
    std::size_t index_count() const;

    // Reads the next record's header and payload. The payload goes to `payload` when it fits
    // `capacity`; a video record with a larger length makes the file damaged. At the end
    // returns end_of_file, inside a record truncated.
    DvrStatus next_record(DvrRecordHeader& record, uint8_t* payload, std::size_t capacity);
    // Offset of the next record header.
    uint64_t position() const { return position_; }

    // Seek through the index: moves to the first filled entry whose time plus 5,000 ms
    // exceeds `target_ms` (so a seek to 0 lands on the first entry) and whose offset holds a
    // video key-frame record of that time; the entry goes to `landed`. Entries that point
    // elsewhere are passed over. False, with the position unchanged, when none qualifies.
    bool seek_time(uint32_t target_ms, DvrIndexEntry* landed = nullptr);
    // Moves to the record at `offset` (at or behind the header block, inside the file).
    bool seek_offset(uint64_t offset);

private:
    DvrSource& source_;
    DvrHeader header_;
    std::vector<uint8_t> block_;
    uint64_t position_ = 0;
};

// Opens `path` for reading and reads its header block: ok, cannot_open, damaged or io_error.
DvrStatus open_dvr_file(const std::string& path, FileDvrSource& source, DvrReader& reader);

// Builds a .dvr file in memory: header block, video and audio records, index and duration as
// a recorder keeps them, and the closed mark. For tests and tools.
class DvrBuilder {
public:
    explicit DvrBuilder(const DvrHeader& header);

    // Appends a video record (class 0 in dual files). Key frames get an index entry while
    // there is room; the duration follows the last video record. A length the record form
    // cannot carry (above 65,535 bytes in the standard form's 16-bit field) is refused: false,
    // and nothing is written.
    bool add_video(const uint8_t* payload, uint32_t length, uint32_t time_ms, bool key_frame,
                   uint32_t packed_datetime = 0);
    // Appends one audio record of 512 bytes.
    void add_audio(const uint8_t* block, uint32_t time_ms, uint32_t packed_datetime = 0);
    // Appends raw bytes (to make damaged files).
    void add_raw(const uint8_t* bytes, std::size_t size);
    // Rewrites the header block with the closed mark, index and duration.
    void finish();

    std::vector<uint8_t>& bytes() { return bytes_; }
    bool save(const std::string& path) const;

private:
    void write_header_block();
    void add_record_header(int frame_class, bool key, uint32_t length, uint32_t time_ms,
                           uint32_t packed_datetime);

    DvrHeader header_;
    std::vector<uint8_t> bytes_;
    std::vector<DvrIndexEntry> index_;
};

}  // namespace orvel::media
