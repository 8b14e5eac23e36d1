#include "media/dvr_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace orvel::media {

const char* dvr_status_text(DvrStatus status) {
    switch (status) {
        case DvrStatus::ok:
            return "ok";
        case DvrStatus::end_of_file:
            return "end of file";
        case DvrStatus::truncated:
            return "truncated record at the end of the file";
        case DvrStatus::damaged:
            return "damaged file";
        case DvrStatus::io_error:
            return "read error";
        case DvrStatus::cannot_open:
            return "cannot be opened";
    }
    return "unknown";
}

std::size_t MemoryDvrSource::read(uint8_t* into, std::size_t size) {
    const std::size_t count = std::min(size, size_ - position_);
    if (count > 0) {
        std::memcpy(into, data_ + position_, count);
    }
    position_ += count;
    return count;
}

bool MemoryDvrSource::seek(uint64_t offset) {
    if (offset > size_) {
        return false;
    }
    position_ = static_cast<std::size_t>(offset);
    return true;
}

FileDvrSource::~FileDvrSource() {
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

bool FileDvrSource::open(const std::string& path) {
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        errno = EISDIR;
        return false;
    }
    file_ = ::fdopen(fd, "rb");
    if (file_ == nullptr) {
        ::close(fd);
        return false;
    }
    size_ = static_cast<int64_t>(info.st_size);
    failed_ = false;
    return true;
}

std::size_t FileDvrSource::read(uint8_t* into, std::size_t size) {
    if (file_ == nullptr) {
        return 0;
    }
    const std::size_t count = std::fread(into, 1, size, file_);
    if (count < size && std::ferror(file_)) {
        failed_ = true;
    }
    return count;
}

bool FileDvrSource::seek(uint64_t offset) {
    return file_ != nullptr && offset <= static_cast<uint64_t>(INT64_MAX) &&
           ::fseeko(file_, static_cast<off_t>(offset), SEEK_SET) == 0;
}

DvrStatus open_dvr_file(const std::string& path, FileDvrSource& source, DvrReader& reader) {
    if (!source.open(path)) {
        return DvrStatus::cannot_open;
    }
    return reader.read_header_block();
}

DvrStatus DvrReader::read_header_block() {
    uint8_t head[kStreamHeaderBytes];
    if (!source_.seek(0)) {
        return DvrStatus::io_error;
    }
    const std::size_t got = source_.read(head, kStreamHeaderBytes);
    if (source_.failed()) {
        return DvrStatus::io_error;
    }
    if (got < kStreamHeaderBytes) {
        return DvrStatus::damaged;
    }
    header_ = parse_stream_header(head);
    block_.assign(header_.block_bytes(), 0);
    std::memcpy(block_.data(), head, kStreamHeaderBytes);
    const std::size_t rest = header_.block_bytes() - kStreamHeaderBytes;
    const std::size_t index_got = source_.read(block_.data() + kStreamHeaderBytes, rest);
    if (source_.failed()) {
        return DvrStatus::io_error;
    }
    if (index_got < rest) {
        return DvrStatus::damaged;
    }
    position_ = header_.block_bytes();
    return DvrStatus::ok;
}

DvrIndexEntry DvrReader::index_entry(std::size_t i) const {
    DvrIndexEntry e;
    if (i >= index_capacity() || block_.size() < header_.block_bytes()) {
        return e;
    }
    const uint8_t* p = block_.data() + kStreamHeaderBytes + i * kIndexEntryBytes;
    e.offset = load_u32(p);
    e.time_ms = load_u32(p + 4);
    return e;
}

std::size_t DvrReader::index_count() const {
    std::size_t n = 0;
    while (n < index_capacity()) {
        const DvrIndexEntry e = index_entry(n);
        if (e.offset == 0 && e.time_ms == 0) {
            break;
        }
        ++n;
    }
    return n;
}

DvrStatus DvrReader::next_record(DvrRecordHeader& record, uint8_t* payload, std::size_t capacity) {
    const std::size_t header_bytes = header_.record_header_bytes();
    uint8_t head[kDualRecordHeaderBytes];
    const std::size_t got = source_.read(head, header_bytes);
    if (source_.failed()) {
        return DvrStatus::io_error;
    }
    if (got == 0) {
        return DvrStatus::end_of_file;
    }
    if (got < header_bytes) {
        return DvrStatus::truncated;
    }
    record = parse_record_header(head, header_.dual());
    if (record.payload_bytes > capacity) {
        return DvrStatus::damaged;
    }
    const std::size_t body = source_.read(payload, record.payload_bytes);
    if (source_.failed()) {
        return DvrStatus::io_error;
    }
    if (body < record.payload_bytes) {
        return DvrStatus::truncated;
    }
    position_ += header_bytes + record.payload_bytes;
    return DvrStatus::ok;
}

bool DvrReader::seek_offset(uint64_t offset) {
    if (block_.size() < header_.block_bytes() || offset < header_.block_bytes()) {
        return false;
    }
    const int64_t size = source_.size();
    if (size >= 0 && offset > static_cast<uint64_t>(size)) {
        return false;
    }
    if (!source_.seek(offset)) {
        source_.seek(position_);
        return false;
    }
    position_ = offset;
    return true;
}

bool DvrReader::seek_time(uint32_t target_ms, DvrIndexEntry* landed) {
    const std::size_t count = index_count();
    const std::size_t header_bytes = header_.record_header_bytes();
    const int64_t size = source_.size();
    for (std::size_t i = 0; i < count; ++i) {
        const DvrIndexEntry e = index_entry(i);
        if (static_cast<uint64_t>(e.time_ms) + 5000 <= target_ms) {
            continue;
        }
        if (e.offset < header_.block_bytes() ||
            (size >= 0 &&
             static_cast<uint64_t>(e.offset) + header_bytes > static_cast<uint64_t>(size)) ||
            !source_.seek(e.offset)) {
            continue;
        }
        uint8_t head[kDualRecordHeaderBytes];
        if (source_.read(head, header_bytes) != header_bytes) {
            continue;
        }
        const DvrRecordHeader r = parse_record_header(head, header_.dual());
        if (r.kind != RecordKind::video || !r.key_frame || r.time_ms != e.time_ms ||
            !source_.seek(e.offset)) {
            continue;
        }
        position_ = e.offset;
        if (landed != nullptr) {
            *landed = e;
        }
        return true;
    }
    source_.seek(position_);
    return false;
}

DvrBuilder::DvrBuilder(const DvrHeader& header) : header_(header) {
    header_.closed_mark = 0;
    header_.duration_ms = 0;
    write_header_block();
}

void DvrBuilder::write_header_block() {
    const std::size_t block = header_.block_bytes();
    if (bytes_.size() < block) {
        bytes_.resize(block, 0);
    }
    encode_stream_header(header_, bytes_.data());
    std::memset(bytes_.data() + kStreamHeaderBytes, 0, block - kStreamHeaderBytes);
    for (std::size_t i = 0; i < index_.size(); ++i) {
        uint8_t* p = bytes_.data() + kStreamHeaderBytes + i * kIndexEntryBytes;
        store_u32(p, index_[i].offset);
        store_u32(p + 4, index_[i].time_ms);
    }
}

void DvrBuilder::add_record_header(int frame_class, bool key, uint32_t length, uint32_t time_ms,
                                   uint32_t packed_datetime) {
    uint8_t head[kDualRecordHeaderBytes] = {};
    if (header_.dual()) {
        head[0] = static_cast<uint8_t>((frame_class & 0x0F) | (key ? 0 : 0x80));
        store_u32(head + 4, length);
        store_u32(head + 8, time_ms);
        store_u32(head + 12, packed_datetime);
    } else {
        head[0] = static_cast<uint8_t>((frame_class == 1 ? 0x01 : 0) | (key ? 0 : 0x10));
        store_u16(head + 2, static_cast<uint16_t>(length));
        store_u32(head + 4, time_ms);
        store_u32(head + 8, packed_datetime);
    }
    bytes_.insert(bytes_.end(), head, head + header_.record_header_bytes());
}

bool DvrBuilder::add_video(const uint8_t* payload, uint32_t length, uint32_t time_ms,
                           bool key_frame, uint32_t packed_datetime) {
    // The 16-bit length field would keep only the low bits: the file would be misread.
    if (!header_.dual() && length > 0xFFFF) {
        return false;
    }
    if (key_frame && index_.size() < header_.index_entries()) {
        index_.push_back(DvrIndexEntry{static_cast<uint32_t>(bytes_.size()), time_ms});
    }
    add_record_header(0, key_frame, length, time_ms, packed_datetime);
    bytes_.insert(bytes_.end(), payload, payload + length);
    header_.duration_ms = time_ms;
    return true;
}

void DvrBuilder::add_audio(const uint8_t* block, uint32_t time_ms, uint32_t packed_datetime) {
    add_record_header(1, true, kAudioRecordBytes, time_ms, packed_datetime);
    bytes_.insert(bytes_.end(), block, block + kAudioRecordBytes);
}

void DvrBuilder::add_raw(const uint8_t* bytes, std::size_t size) {
    bytes_.insert(bytes_.end(), bytes, bytes + size);
}

void DvrBuilder::finish() {
    header_.closed_mark = 1;
    write_header_block();
}

bool DvrBuilder::save(const std::string& path) const {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool ok = std::fwrite(bytes_.data(), 1, bytes_.size(), file) == bytes_.size();
    return std::fclose(file) == 0 && ok;
}

}  // namespace orvel::media
