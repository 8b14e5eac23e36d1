#include "dvrtool.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "codec/decoder_table.h"
#include "codec/g721.h"
#include "codec/mpeg4_vol.h"
#include "media/dvr_file.h"
#include "media/dvr_verify.h"
#include "media/export/dvr_export.h"
#include "wav_writer.h"

namespace orvel::tools {

namespace {

using media::DvrReader;
using media::DvrRecordHeader;
using media::DvrStatus;
using media::ExportOptions;
using media::ExportResult;
using media::ExportStatus;
using media::FileDvrSource;
using media::RecordKind;

constexpr uint32_t kMaxPictureSide = 8192;

void usage(std::ostream& err) {
    err << "usage: dvrtool info FILE.dvr\n"
           "       dvrtool frames FILE.dvr OUT.yuy2 [--first N] [--count M]\n"
           "       dvrtool audio FILE.dvr OUT.wav [--standard-reset]\n"
           "       dvrtool verify FILE.dvr...\n"
           "       dvrtool export FILE.dvr OUT.mp4|OUT.mkv [--quantiser Q]\n"
           "verify exits with 0 when every file is closed and sound, 1 when a file is damaged or\n"
           "cannot be opened, 2 when none is damaged but one was never finished (not closed).\n";
}

const char* marker_text(int32_t marker) {
    if (marker == media::kMarkerDual) {
        return "dual stream, XviD decoder (type 0)";
    }
    if (marker == media::kMarker4321) {
        return "codec 4321 (type 2)";
    }
    return "MPEG-4, libavcodec decoder (type 1)";
}

// Opens `path` and reads its header block; prints the error and returns its exit code on
// failure, 0 on success.
int open_file(const std::string& path, FileDvrSource& source, DvrReader& reader,
              std::ostream& err) {
    if (!source.open(path)) {
        err << "dvrtool: cannot open " << path << ": " << std::strerror(errno) << "\n";
        return kExitIo;
    }
    const DvrStatus status = reader.read_header_block();
    if (status == DvrStatus::io_error) {
        err << "dvrtool: " << path << ": read error\n";
        return kExitIo;
    }
    if (status != DvrStatus::ok) {
        err << "dvrtool: " << path << ": damaged file: shorter than its header block ("
            << reader.header().block_bytes() << " bytes for codec marker "
            << reader.header().codec_marker << ")\n";
        return kExitDamaged;
    }
    return kExitOk;
}

// Reports a record-level failure; returns the exit code (0 for a truncated tail, which only
// warns: an unfinished recording is readable up to its last whole record).
int report_stop(DvrStatus status, const DvrReader& reader, const DvrRecordHeader& record,
                const std::string& path, std::ostream& err) {
    switch (status) {
        case DvrStatus::truncated:
            err << "dvrtool: warning: " << path << ": truncated record at offset "
                << reader.position() << " ignored\n";
            return kExitOk;
        case DvrStatus::damaged:
            err << "dvrtool: " << path << ": damaged file: record at offset " << reader.position()
                << " has length " << record.length_bytes << ", above the payload buffer of "
                << media::kPayloadBufferBytes << " bytes\n";
            return kExitDamaged;
        case DvrStatus::io_error:
            err << "dvrtool: " << path << ": read error\n";
            return kExitIo;
        default:
            return kExitOk;
    }
}

bool parse_count(const char* text, long& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text, &end, 10);
    return errno == 0 && end != text && *end == '\0' && value >= 0;
}

int command_info(const std::string& path, std::ostream& out, std::ostream& err) {
    FileDvrSource source;
    DvrReader reader(source);
    if (const int rc = open_file(path, source, reader, err); rc != kExitOk) {
        return rc;
    }
    const media::DvrHeader& h = reader.header();
    out << "file: " << path << "\n"
        << "size: " << source.size() << " bytes\n"
        << "width: " << h.width << "\n"
        << "height: " << h.height << "\n"
        << "stream id: " << h.stream_id << "\n"
        << "codec marker: " << h.codec_marker << " (" << marker_text(h.codec_marker) << ")\n"
        << "record form: " << (h.dual() ? "dual, 16-byte headers" : "standard, 12-byte headers")
        << "\n"
        << "header block: " << h.block_bytes() << " bytes\n"
        << "closed mark: " << static_cast<int>(h.closed_mark) << "\n"
        << "duration: " << h.duration_ms << " ms\n"
        << "index entries: " << reader.index_count() << " of " << reader.index_capacity() << "\n";

    std::vector<uint8_t> payload(media::kPayloadBufferBytes);
    DvrRecordHeader record;
    long video = 0, key = 0, audio = 0, other = 0;
    uint32_t last_video_time = 0;
    DvrStatus status;
    while ((status = reader.next_record(record, payload.data(), payload.size())) == DvrStatus::ok) {
        if (record.kind == RecordKind::video) {
            ++video;
            if (record.key_frame) {
                ++key;
            }
            last_video_time = record.time_ms;
        } else if (record.kind == RecordKind::audio) {
            ++audio;
        } else {
            ++other;
        }
    }
    out << "video records: " << video << " (key frames " << key << ")\n"
        << "audio records: " << audio << "\n"
        << "other records: " << other << "\n"
        << "last video time: " << last_video_time << " ms\n";
    if (status == DvrStatus::truncated) {
        out << "tail: truncated, " << (source.size() - static_cast<int64_t>(reader.position()))
            << " bytes from offset " << reader.position() << " ignored\n";
        return kExitOk;
    }
    if (status == DvrStatus::end_of_file) {
        out << "tail: clean\n";
        return kExitOk;
    }
    return report_stop(status, reader, record, path, err);
}

int command_frames(const std::string& path, const std::string& out_path, long first, long count,
                   std::ostream& out, std::ostream& err) {
    FileDvrSource source;
    DvrReader reader(source);
    if (const int rc = open_file(path, source, reader, err); rc != kExitOk) {
        return rc;
    }
    const media::DvrHeader& h = reader.header();
    if (h.width == 0 || h.height == 0 || h.width >= kMaxPictureSide ||
        h.height >= kMaxPictureSide ||
        static_cast<int64_t>(h.width) * h.height > codec::kMaxStreamPixels) {
        err << "dvrtool: " << path << ": picture size " << h.width << " x " << h.height
            << " in the header is not usable\n";
        return kExitDecoder;
    }
    std::ofstream output(out_path, std::ios::binary | std::ios::trunc);
    if (!output) {
        err << "dvrtool: cannot create " << out_path << "\n";
        return kExitIo;
    }

    codec::decoder_table_init();
    const int type = h.decoder_type();
    const int handle =
        codec::decoder_create(type, static_cast<int>(h.width), static_cast<int>(h.height));
    if (handle < 0) {
        err << "dvrtool: no decoder of type " << type << " for " << h.width << " x " << h.height
            << "\n";
        codec::decoder_table_shutdown();
        return kExitDecoder;
    }
    const std::size_t picture_bytes = static_cast<std::size_t>(h.width) * h.height * 2;
    std::vector<uint8_t> picture(picture_bytes, 0);
    // Zeroed slack behind the payload: the type-2 codec reads whole words without a bound.
    std::vector<uint8_t> payload(media::kPayloadBufferBytes + 64, 0);

    DvrRecordHeader record;
    DvrStatus status;
    long decoded = 0, written = 0;
    bool write_failed = false;
    while ((status = reader.next_record(record, payload.data(), media::kPayloadBufferBytes)) ==
           DvrStatus::ok) {
        if (record.kind != RecordKind::video) {
            continue;
        }
        std::memset(payload.data() + record.payload_bytes, 0, 64);
        const int result = codec::decoder_decode(handle, static_cast<int>(record.payload_bytes),
                                                 payload.data(), picture.data());
        // Type 2 gives no meaningful result: each of its records is one picture.
        if (result <= 0 && type != codec::DECODER_4321) {
            continue;
        }
        if (decoded >= first && written < count) {
            output.write(reinterpret_cast<const char*>(picture.data()),
                         static_cast<std::streamsize>(picture.size()));
            if (!output) {
                write_failed = true;
                break;
            }
            ++written;
        }
        ++decoded;
        if (written >= count) {
            break;
        }
    }
    codec::decoder_destroy(handle);
    codec::decoder_table_shutdown();
    output.close();
    if (write_failed || !output) {
        err << "dvrtool: cannot write " << out_path << "\n";
        return kExitIo;
    }
    out << "width " << h.width << " height " << h.height << " pictures " << written << "\n";
    if (status == DvrStatus::ok || status == DvrStatus::end_of_file) {
        return kExitOk;
    }
    return report_stop(status, reader, record, path, err);
}

int command_audio(const std::string& path, const std::string& out_path, bool standard_reset,
                  std::ostream& out, std::ostream& err) {
    FileDvrSource source;
    DvrReader reader(source);
    if (const int rc = open_file(path, source, reader, err); rc != kExitOk) {
        return rc;
    }
    WavWriter wav;
    if (!wav.open(out_path)) {
        err << "dvrtool: cannot create " << out_path << "\n";
        return kExitIo;
    }
    static codec::AudioDecoderState state;  // 3 KB; kept off the stack
    state = codec::AudioDecoderState{};
    if (standard_reset) {
        state.codec = codec::g721_standard_reset_state();
    }
    std::vector<uint8_t> payload(media::kPayloadBufferBytes);
    DvrRecordHeader record;
    DvrStatus status;
    while ((status = reader.next_record(record, payload.data(), payload.size())) == DvrStatus::ok) {
        if (record.kind != RecordKind::audio) {
            continue;
        }
        std::memcpy(state.input, payload.data(), codec::kAudioBlockBytes);
        codec::audio_decode_block(state);
        if (!wav.write(state.output, codec::kAudioBlockSamples)) {
            break;
        }
    }
    const std::size_t samples = wav.samples();
    if (!wav.finish()) {
        err << "dvrtool: cannot write " << out_path << "\n";
        return kExitIo;
    }
    out << "samples " << samples << " rate 8000\n";
    return report_stop(status, reader, record, path, err);
}

// One line per file with its verdict and figures, then what is wrong or worth knowing.
int command_verify(int count, const char* const* paths, std::ostream& out) {
    bool damaged = false, unfinished = false;
    for (int i = 0; i < count; ++i) {
        const std::string path = paths[i];
        const media::VerifyReport r = media::verify_dvr_file(path);
        out << path << ": " << media::verify_verdict_text(r.verdict);
        switch (r.verdict) {
            case media::VerifyVerdict::cannot_open:
                out << ": " << std::strerror(errno) << "\n";
                damaged = true;
                continue;
            case media::VerifyVerdict::damaged:
                damaged = true;
                break;
            case media::VerifyVerdict::not_closed:
                unfinished = true;
                break;
            case media::VerifyVerdict::sound:
                break;
        }
        if (r.verdict != media::VerifyVerdict::damaged || r.records > 0) {
            out << " (" << r.records << " whole records: " << r.video_records << " video, "
                << r.key_frames << " key frames, " << r.audio_records << " audio; last video at "
                << r.last_video_ms << " ms; duration " << r.header.duration_ms << " ms; "
                << r.index_entries << " index entries)";
        }
        out << "\n";
        for (const std::string& p : r.problems) out << "  damaged: " << p << "\n";
        for (const std::string& n : r.notes) out << "  note: " << n << "\n";
    }
    return damaged ? 1 : unfinished ? 2 : 0;
}

int command_export(const std::string& path, const std::string& out_path, long quantiser,
                   std::ostream& out, std::ostream& err) {
    ExportOptions options;
    options.mpeg4_quantiser = static_cast<int>(quantiser);
    ExportResult result;
    const ExportStatus status = export_dvr(path, out_path, options, result);
    if (status == ExportStatus::ok || status == ExportStatus::damaged) {
        out << "video " << result.video_frames << " pictures"
            << (result.reencoded ? " (re-encoded as MPEG-4, quantiser " +
                                       std::to_string(options.mpeg4_quantiser) + ")"
                                 : " (copied)")
            << ", sound " << result.audio_blocks << " blocks, duration " << result.duration_ms
            << " ms\n";
        if (result.truncated_tail) {
            err << "dvrtool: warning: " << path << ": unfinished last record ignored\n";
        }
    }
    switch (status) {
        case ExportStatus::ok:
            return kExitOk;
        case ExportStatus::damaged:
            err << "dvrtool: " << path << ": damaged file: " << result.error << "\n";
            return kExitDamaged;
        case ExportStatus::no_video:
            err << "dvrtool: " << path << ": " << result.error << "\n";
            return kExitDecoder;
        case ExportStatus::input_unusable:
        case ExportStatus::output_failed:
        case ExportStatus::cancelled:
            err << "dvrtool: " << result.error << "\n";
            return kExitIo;
    }
    return kExitIo;
}

}  // namespace

int run_dvrtool(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    if (argc < 3) {
        usage(err);
        return kExitUsage;
    }
    const std::string command = argv[1];
    if (command == "verify") {
        return command_verify(argc - 2, argv + 2, out);
    }
    const std::string path = argv[2];
    if (command == "info" && argc == 3) {
        return command_info(path, out, err);
    }
    if (command == "frames" && argc >= 4) {
        long first = 0, count = 0x7FFFFFFF;
        for (int i = 4; i < argc; i += 2) {
            long* target = std::strcmp(argv[i], "--first") == 0   ? &first
                           : std::strcmp(argv[i], "--count") == 0 ? &count
                                                                  : nullptr;
            if (target == nullptr || i + 1 >= argc || !parse_count(argv[i + 1], *target)) {
                usage(err);
                return kExitUsage;
            }
        }
        return command_frames(path, argv[3], first, count, out, err);
    }
    if (command == "export" && (argc == 4 || argc == 6)) {
        long quantiser = 3;
        if (argc == 6 && (std::strcmp(argv[4], "--quantiser") != 0 ||
                          !parse_count(argv[5], quantiser) || quantiser < 2 || quantiser > 31)) {
            usage(err);
            return kExitUsage;
        }
        return command_export(path, argv[3], quantiser, out, err);
    }
    if (command == "audio" && (argc == 4 || argc == 5)) {
        const bool standard_reset = argc == 5 && std::strcmp(argv[4], "--standard-reset") == 0;
        if (argc == 5 && !standard_reset) {
            usage(err);
            return kExitUsage;
        }
        return command_audio(path, argv[3], standard_reset, out, err);
    }
    usage(err);
    return kExitUsage;
}

}  // namespace orvel::tools
