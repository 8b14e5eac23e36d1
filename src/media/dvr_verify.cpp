#include "media/dvr_verify.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <memory>

namespace orvel::media {

namespace {

constexpr std::size_t kMaxProblems = 20;
constexpr uint32_t kLargestPictureSide = 8192;

struct KeyRecord {
    uint64_t offset;
    uint32_t time_ms;
};

// Collects what is wrong (problems) and what is worth knowing (notes), printf-style.
class Checker {
public:
    explicit Checker(VerifyReport& r) : r_(r) {}

    void problem(const char* format, ...) __attribute__((format(printf, 2, 3))) {
        va_list args;
        va_start(args, format);
        add(r_.problems, format, args);
        va_end(args);
    }
    void note(const char* format, ...) __attribute__((format(printf, 2, 3))) {
        va_list args;
        va_start(args, format);
        add(r_.notes, format, args);
        va_end(args);
    }

private:
    static void add(std::vector<std::string>& to, const char* format, va_list args) {
        if (to.size() >= kMaxProblems) return;
        char line[256];
        std::vsnprintf(line, sizeof line, format, args);
        to.emplace_back(line);
    }
    VerifyReport& r_;
};

using ull = unsigned long long;

void check_index(const DvrReader& reader, const std::vector<KeyRecord>& keys, bool closed,
                 VerifyReport& r, Checker& c) {
    r.index_entries = reader.index_count();
    for (std::size_t i = r.index_entries; i < reader.index_capacity(); ++i) {
        const DvrIndexEntry e = reader.index_entry(i);
        if (e.offset != 0 || e.time_ms != 0) {
            c.problem("index entry %zu (offset %u, %u ms) lies behind the end of the index", i,
                      e.offset, e.time_ms);
            break;
        }
    }
    for (std::size_t i = 0; i < r.index_entries; ++i) {
        const DvrIndexEntry e = reader.index_entry(i);
        if (i >= keys.size() || keys[i].offset != e.offset || keys[i].time_ms != e.time_ms) {
            c.problem(
                "index entry %zu (offset %u, %u ms) does not point at key frame %zu of the "
                "file",
                i, e.offset, e.time_ms, i);
            return;
        }
    }
    const std::size_t expected = std::min(keys.size(), reader.index_capacity());
    if (closed && r.index_entries < expected) {
        c.note("%zu key frames, of which %zu are indexed", keys.size(), r.index_entries);
    }
}

}  // namespace

const char* verify_verdict_text(VerifyVerdict verdict) {
    switch (verdict) {
        case VerifyVerdict::sound:
            return "ok";
        case VerifyVerdict::not_closed:
            return "not closed";
        case VerifyVerdict::damaged:
            return "damaged";
        case VerifyVerdict::cannot_open:
            return "cannot be opened";
    }
    return "unknown";
}

VerifyReport verify_dvr(DvrSource& source) {
    VerifyReport r;
    Checker c(r);
    r.file_bytes = source.size();
    DvrReader reader(source);
    const DvrStatus head = reader.read_header_block();
    r.header = reader.header();
    if (head == DvrStatus::io_error) {
        c.problem("read error in the header block");
        return r;
    }
    if (head != DvrStatus::ok) {
        c.problem("shorter than its header block (%zu bytes for codec marker %d)",
                  r.header.block_bytes(), r.header.codec_marker);
        return r;
    }
    const DvrHeader& h = r.header;
    const bool closed = h.closed_mark != 0;
    if (h.closed_mark > 1) c.note("closed mark is %d (1 expected)", h.closed_mark);
    if (h.width == 0 || h.height == 0 || h.width > kLargestPictureSide ||
        h.height > kLargestPictureSide) {
        c.note("picture size %u x %u in the header is not usable", h.width, h.height);
    }

    const auto payload = std::make_unique_for_overwrite<uint8_t[]>(kPayloadBufferBytes);
    std::vector<KeyRecord> keys;
    DvrRecordHeader record;
    DvrStatus status;
    bool time_went_back = false;
    bool have_video = false;
    r.whole_bytes = reader.position();
    while (r.problems.empty()) {
        const uint64_t at = reader.position();
        status = reader.next_record(record, payload.get(), kPayloadBufferBytes);
        if (status != DvrStatus::ok) break;
        ++r.records;
        r.whole_bytes = reader.position();
        switch (record.kind) {
            case RecordKind::other:
                c.problem("record at offset %llu has class %d, which a recording never holds",
                          static_cast<ull>(at), record.frame_class);
                break;
            case RecordKind::audio:
                ++r.audio_records;
                if (record.length_bytes != kAudioRecordBytes) {
                    c.problem("audio record at offset %llu has length %u, not 512",
                              static_cast<ull>(at), record.length_bytes);
                }
                break;
            case RecordKind::video:
                ++r.video_records;
                if (have_video && record.time_ms < r.last_video_ms && !time_went_back) {
                    time_went_back = true;
                    c.note("video time goes back from %u to %u ms at offset %llu", r.last_video_ms,
                           record.time_ms, static_cast<ull>(at));
                }
                have_video = true;
                r.last_video_ms = record.time_ms;
                if (record.key_frame) {
                    ++r.key_frames;
                    keys.push_back(KeyRecord{at, record.time_ms});
                }
                break;
        }
    }
    if (r.problems.empty()) {
        switch (status) {
            case DvrStatus::end_of_file:
                break;
            case DvrStatus::truncated: {
                const auto torn =
                    static_cast<ull>(r.file_bytes - static_cast<int64_t>(r.whole_bytes));
                if (closed) {
                    c.problem("closed, but ends inside a record: %llu bytes from offset %llu", torn,
                              static_cast<ull>(r.whole_bytes));
                } else {
                    c.note("%llu bytes of an unfinished record at offset %llu", torn,
                           static_cast<ull>(r.whole_bytes));
                }
                break;
            }
            case DvrStatus::damaged:
                c.problem(
                    "record at offset %llu has length %u, longer than the payload buffer of "
                    "%zu bytes",
                    static_cast<ull>(reader.position()), record.length_bytes, kPayloadBufferBytes);
                break;
            default:
                c.problem("read error at offset %llu", static_cast<ull>(reader.position()));
                break;
        }
    }
    if (!r.problems.empty()) return r;

    check_index(reader, keys, closed, r, c);
    if (closed && h.duration_ms != r.last_video_ms) {
        c.problem("duration %u ms in the header, but the last video record is at %u ms",
                  h.duration_ms, r.last_video_ms);
    }
    if (r.problems.empty()) r.verdict = closed ? VerifyVerdict::sound : VerifyVerdict::not_closed;
    return r;
}

VerifyReport verify_dvr_file(const std::string& path) {
    FileDvrSource source;
    if (!source.open(path)) {
        VerifyReport r;
        r.verdict = VerifyVerdict::cannot_open;
        return r;
    }
    return verify_dvr(source);
}

}  // namespace orvel::media
