#include "media/dvr_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace orvel::media {

bool FdRecordSink::append(const iovec* pieces, int count) {
    // Short writes are continued; the pieces are copied so partly written ones can advance.
    iovec local[16];
    if (count > 16) return false;
    std::memcpy(local, pieces, sizeof(iovec) * static_cast<std::size_t>(count));
    iovec* at = local;
    int left = count;
    while (left > 0) {
        const ssize_t n = ::writev(fd_, at, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            error_ = errno;
            return false;
        }
        if (n == 0) {
            error_ = EIO;
            return false;
        }
        std::size_t done = static_cast<std::size_t>(n);
        while (left > 0 && done >= at->iov_len) {
            done -= at->iov_len;
            ++at;
            --left;
        }
        if (left > 0) {
            at->iov_base = static_cast<uint8_t*>(at->iov_base) + done;
            at->iov_len -= done;
        }
    }
    return true;
}

bool FdRecordSink::write_at(uint64_t offset, const uint8_t* bytes, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::pwrite(fd_, bytes, size, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR) continue;
            error_ = errno;
            return false;
        }
        if (n == 0) {
            error_ = EIO;
            return false;
        }
        bytes += n;
        size -= static_cast<std::size_t>(n);
        offset += static_cast<uint64_t>(n);
    }
    return true;
}

bool FdRecordSink::truncate(uint64_t size) {
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0 ||
        ::lseek(fd_, static_cast<off_t>(size), SEEK_SET) < 0) {
        error_ = errno;
        return false;
    }
    return true;
}

bool FdRecordSink::sync() {
    if (::fsync(fd_) != 0) {
        error_ = errno;
        return false;
    }
    return true;
}

bool MemoryRecordSink::append(const iovec* pieces, int count) {
    std::size_t total = 0;
    for (int i = 0; i < count; ++i) total += pieces[i].iov_len;
    if (bytes_.size() + total > limit_bytes) {
        // A full disk takes what fits, as a real one does.
        for (int i = 0; i < count && bytes_.size() < limit_bytes; ++i) {
            const auto* p = static_cast<const uint8_t*>(pieces[i].iov_base);
            const std::size_t n = std::min(pieces[i].iov_len, limit_bytes - bytes_.size());
            bytes_.insert(bytes_.end(), p, p + n);
        }
        return false;
    }
    for (int i = 0; i < count; ++i) {
        const auto* p = static_cast<const uint8_t*>(pieces[i].iov_base);
        bytes_.insert(bytes_.end(), p, p + pieces[i].iov_len);
    }
    return true;
}

bool MemoryRecordSink::write_at(uint64_t offset, const uint8_t* bytes, std::size_t size) {
    if (offset > bytes_.size() || size > bytes_.size() - offset) return false;
    std::memcpy(bytes_.data() + offset, bytes, size);
    return true;
}

bool MemoryRecordSink::truncate(uint64_t size) {
    if (size < bytes_.size()) bytes_.resize(static_cast<std::size_t>(size));
    return true;
}

FrameRole frame_role(const uint8_t* frame, bool dual) {
    if (dual) {
        switch (frame[0] & 0x0F) {
            case 2:
                return FrameRole::video;
            case 1:
                return FrameRole::audio;
            default:
                return FrameRole::skipped;
        }
    }
    return (frame[0] & 0x01) ? FrameRole::audio : FrameRole::video;
}

bool is_video_key_frame(const uint8_t* frame, bool dual) {
    if (frame_role(frame, dual) != FrameRole::video) return false;
    return dual ? (frame[0] & 0x80) == 0 : (frame[0] & 0xF0) == 0;
}

DvrFileWriter::DvrFileWriter() : block_(kDualHeaderBlockBytes, 0) {}

void DvrFileWriter::encode_block() { encode_stream_header(header_, block_.data()); }

bool DvrFileWriter::begin(RecordSink& sink, const uint8_t* stream_header) {
    header_ = parse_stream_header(stream_header);
    header_.closed_mark = 0;
    header_.duration_ms = 0;
    std::memset(block_.data(), 0, block_.size());
    encode_block();
    index_count_ = 0;
    file_bytes_ = 0;
    origin_set_ = false;
    origin_ms_ = 0;
    last_relative_ms_ = 0;
    video_records_ = 0;
    failed_ = false;
    sink_ = &sink;
    const iovec piece{block_.data(), header_.block_bytes()};
    if (!sink.append(&piece, 1)) {
        failed_ = true;
        return false;
    }
    file_bytes_ = header_.block_bytes();
    return true;
}

bool DvrFileWriter::append(const iovec* pieces, int count, std::size_t bytes) {
    if (sink_ == nullptr || failed_) return false;
    if (!sink_->append(pieces, count)) {
        // Whatever part of the record reached the file is cut off again, so the file ends
        // with its last whole record.
        sink_->truncate(file_bytes_);
        failed_ = true;
        return false;
    }
    file_bytes_ += bytes;
    return true;
}

bool DvrFileWriter::write_video(const uint8_t* frame, std::size_t frame_bytes,
                                uint32_t absolute_ms) {
    const bool dual_form = header_.dual();
    const std::size_t head_bytes = header_.record_header_bytes();
    if (frame_bytes < head_bytes) return false;
    uint32_t relative = 0;
    if (!origin_set_) {
        origin_set_ = true;
        origin_ms_ = absolute_ms;
    } else {
        const auto diff = static_cast<int32_t>(absolute_ms - origin_ms_);
        // A time before the file's start (a DVR clock set back) keeps the file's times going.
        relative = diff >= 0 ? static_cast<uint32_t>(diff) : last_relative_ms_ + 40;
    }
    uint8_t head[kDualRecordHeaderBytes];
    std::memcpy(head, frame, head_bytes);
    store_u32(head + (dual_form ? 8 : 4), relative);
    if (dual_form) head[0] = static_cast<uint8_t>(head[0] & 0xF0);  // class 2 -> class 0
    const iovec pieces[2] = {{head, head_bytes},
                             {const_cast<uint8_t*>(frame + head_bytes), frame_bytes - head_bytes}};
    const uint64_t offset = file_bytes_;
    if (!append(pieces, 2, frame_bytes)) return false;
    last_relative_ms_ = relative;
    header_.duration_ms = relative;
    ++video_records_;
    if (is_video_key_frame(frame, dual_form) && index_count_ < header_.index_entries() &&
        offset <= UINT32_MAX) {
        uint8_t* entry = block_.data() + kStreamHeaderBytes + index_count_ * kIndexEntryBytes;
        store_u32(entry, static_cast<uint32_t>(offset));
        store_u32(entry + 4, relative);
        ++index_count_;
    }
    return true;
}

bool DvrFileWriter::write_audio(const uint8_t* frame, std::size_t frame_bytes) {
    const std::size_t head_bytes = header_.record_header_bytes();
    if (frame_bytes < head_bytes) return false;
    const std::size_t blocks =
        std::min<std::size_t>(6, (frame_bytes - head_bytes) / kAudioRecordBytes);
    if (blocks == 0) return true;
    uint8_t head[kDualRecordHeaderBytes];
    std::memcpy(head, frame, head_bytes);
    if (header_.dual()) {
        store_u32(head + 4, kAudioRecordBytes);
    } else {
        store_u16(head + 2, kAudioRecordBytes);
    }
    iovec pieces[12];
    for (std::size_t i = 0; i < blocks; ++i) {
        pieces[2 * i] = {head, head_bytes};
        pieces[2 * i + 1] = {const_cast<uint8_t*>(frame + head_bytes + i * kAudioRecordBytes),
                             kAudioRecordBytes};
    }
    return append(pieces, static_cast<int>(2 * blocks), blocks * (head_bytes + kAudioRecordBytes));
}

bool DvrFileWriter::checkpoint() {
    if (sink_ == nullptr || failed_) return false;
    encode_block();  // closed mark still 0
    return sink_->write_at(0, block_.data(), header_.block_bytes()) && sink_->sync();
}

bool DvrFileWriter::finish() {
    if (sink_ == nullptr) return false;
    header_.closed_mark = 1;
    encode_block();
    const bool ok = sink_->write_at(0, block_.data(), header_.block_bytes()) && sink_->sync();
    sink_ = nullptr;
    return ok;
}

}  // namespace orvel::media
