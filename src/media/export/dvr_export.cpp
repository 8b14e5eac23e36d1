#include "media/export/dvr_export.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "codec/decoder_table.h"
#include "codec/g721.h"
#include "media/dvr_file.h"

namespace orvel::media {

namespace {

constexpr int kAudioRate = 8000;
constexpr uint32_t kMaxPictureSide = 8192;
constexpr int kPayloadSlack = 64;  // zeroed bytes behind a payload for the 4321 decoder

std::string av_error(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

bool ends_with(const std::string& s, const char* tail) {
    const std::size_t n = std::strlen(tail);
    if (s.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i) {
        const char c = s[s.size() - n + i];
        if ((c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c) != tail[i]) return false;
    }
    return true;
}

// Bytes before the first picture start code (00 00 01 B6): the sequence and layer headers
// a container keeps as the stream's decoder configuration.
std::size_t headers_bytes(const uint8_t* data, std::size_t size) {
    for (std::size_t i = 0; i + 3 < size; ++i) {
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1 && data[i + 3] == 0xB6) return i;
    }
    return 0;
}

struct Scan {
    bool any_video_key = false;
    bool audio = false;
    std::vector<uint8_t> video_headers;
};

struct PacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct ContextDeleter {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using ContextPtr = std::unique_ptr<AVCodecContext, ContextDeleter>;

class Exporter {
public:
    Exporter(const ExportOptions& options, ExportResult& result, ExportProgress* progress)
        : options_(options), result_(result), progress_(progress) {}
    ~Exporter() {
        if (decoder_ >= 0) codec::decoder_destroy(decoder_);
        if (out_ != nullptr) {
            if (opened_) avio_closep(&out_->pb);
            avformat_free_context(out_);
        }
    }

    ExportStatus run(const std::string& input, const std::string& output);
    // True once the output file was opened (created or truncated) by this export.
    bool created_output() const { return created_; }

private:
    ExportStatus fail(ExportStatus status, const std::string& what) {
        result_.error = what;
        return status;
    }
    ExportStatus scan(DvrReader& reader, Scan& s);
    bool open_output(const std::string& output, const DvrHeader& h, const Scan& s);
    bool open_video_encoder(const DvrHeader& h);
    bool open_audio_encoder();
    bool write_video(const uint8_t* data, std::size_t size, bool key, int64_t pts_ms);
    bool write_held_video(int64_t next_pts_ms);
    bool encode_video(const DvrRecordHeader& r, const uint8_t* payload, int64_t pts_ms);
    bool drain_encoder(AVCodecContext* ctx, AVStream* stream, bool video);
    bool write_audio_block(const uint8_t* block, int64_t video_ms);
    bool write_packet(AVPacket* p, AVStream* stream, AVRational from);

    // Progress: the scan takes the first tenth, writing the rest.
    void report(uint64_t position, bool writing) {
        if (progress_ == nullptr || input_bytes_ == 0) return;
        const uint64_t part = position * 1000 / input_bytes_;
        const int permille = static_cast<int>(writing ? 100 + part * 899 / 1000 : part / 10);
        progress_->permille.store(permille, std::memory_order_relaxed);
    }
    bool cancelled() const {
        return progress_ != nullptr && progress_->cancel.load(std::memory_order_relaxed);
    }

    const ExportOptions& options_;
    ExportResult& result_;
    ExportProgress* const progress_;
    uint64_t input_bytes_ = 0;
    AVFormatContext* out_ = nullptr;
    bool opened_ = false;
    bool created_ = false;
    AVStream* video_stream_ = nullptr;
    AVStream* audio_stream_ = nullptr;
    ContextPtr video_encoder_;
    ContextPtr audio_encoder_;
    FramePtr video_frame_;
    FramePtr audio_frame_;
    PacketPtr held_{av_packet_alloc()};  // the last video packet, waiting for its duration
    bool have_held_ = false;
    int64_t last_video_pts_ = -1;
    int64_t last_video_duration_ = 40;
    int64_t next_audio_pts_ = -1;  // in samples
    int decoder_ = -1;
    std::vector<uint8_t> picture_;
    codec::AudioDecoderState audio_state_{};
};

ExportStatus Exporter::scan(DvrReader& reader, Scan& s) {
    std::vector<uint8_t> payload(kPayloadBufferBytes);
    DvrRecordHeader r;
    DvrStatus status;
    while ((status = reader.next_record(r, payload.data(), payload.size())) == DvrStatus::ok) {
        if (cancelled()) return ExportStatus::cancelled;
        report(reader.position(), false);
        if (r.kind == RecordKind::audio) s.audio = true;
        if (r.kind == RecordKind::video && r.key_frame && !s.any_video_key) {
            s.any_video_key = true;
            const std::size_t n = headers_bytes(payload.data(), r.payload_bytes);
            s.video_headers.assign(payload.begin(), payload.begin() + static_cast<long>(n));
        }
    }
    if (status == DvrStatus::io_error) return ExportStatus::input_unusable;
    return ExportStatus::ok;
}

bool Exporter::open_video_encoder(const DvrHeader& h) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    if (codec == nullptr) return false;
    video_encoder_.reset(avcodec_alloc_context3(codec));
    AVCodecContext* c = video_encoder_.get();
    c->width = static_cast<int>(h.width);
    c->height = static_cast<int>(h.height);
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->time_base = AVRational{1, 1000};
    c->framerate = AVRational{25, 1};
    c->gop_size = 600;  // key frames follow the recording's own
    c->max_b_frames = 0;
    c->flags |= AV_CODEC_FLAG_QSCALE;
    c->global_quality = FF_QP2LAMBDA * options_.mpeg4_quantiser;
    if (out_->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(c, codec, nullptr) < 0) return false;
    video_frame_.reset(av_frame_alloc());
    video_frame_->format = AV_PIX_FMT_YUV420P;
    video_frame_->width = c->width;
    video_frame_->height = c->height;
    if (av_frame_get_buffer(video_frame_.get(), 0) < 0) return false;
    codec::decoder_table_init();  // does nothing when the table is already up
    decoder_ = codec::decoder_create(codec::DECODER_4321, c->width, c->height);
    picture_.assign(static_cast<std::size_t>(c->width) * c->height * 2, 0);
    result_.reencoded = true;
    return decoder_ >= 0;
}

bool Exporter::open_audio_encoder() {
    const bool mkv = std::strcmp(out_->oformat->name, "matroska") == 0;
    const AVCodec* codec = avcodec_find_encoder(mkv ? AV_CODEC_ID_PCM_S16LE : AV_CODEC_ID_AAC);
    if (codec == nullptr) return false;
    audio_encoder_.reset(avcodec_alloc_context3(codec));
    AVCodecContext* c = audio_encoder_.get();
    c->sample_fmt = mkv ? AV_SAMPLE_FMT_S16 : AV_SAMPLE_FMT_FLTP;
    c->sample_rate = kAudioRate;
    av_channel_layout_default(&c->ch_layout, 1);
    c->bit_rate = 32000;
    c->time_base = AVRational{1, kAudioRate};
    if (out_->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    // The fast coder: narrow-band speech gains nothing audible from the slower search, which
    // costs most of an export's time.
    if (!mkv) av_opt_set(c->priv_data, "aac_coder", "fast", 0);
    if (avcodec_open2(c, codec, nullptr) < 0) return false;
    audio_frame_.reset(av_frame_alloc());
    audio_frame_->format = c->sample_fmt;
    audio_frame_->sample_rate = kAudioRate;
    av_channel_layout_copy(&audio_frame_->ch_layout, &c->ch_layout);
    audio_frame_->nb_samples = static_cast<int>(codec::kAudioBlockSamples);
    return av_frame_get_buffer(audio_frame_.get(), 0) >= 0;
}

bool Exporter::open_output(const std::string& output, const DvrHeader& h, const Scan& s) {
    const char* format = ends_with(output, ".mkv") ? "matroska" : "mp4";
    if (avformat_alloc_output_context2(&out_, nullptr, format, output.c_str()) < 0) return false;
    video_stream_ = avformat_new_stream(out_, nullptr);
    if (video_stream_ == nullptr) return false;
    video_stream_->time_base = AVRational{1, 1000};
    if (h.codec_marker == kMarker4321) {
        if (!open_video_encoder(h)) return false;
        avcodec_parameters_from_context(video_stream_->codecpar, video_encoder_.get());
    } else {
        AVCodecParameters* p = video_stream_->codecpar;
        p->codec_type = AVMEDIA_TYPE_VIDEO;
        p->codec_id = AV_CODEC_ID_MPEG4;
        p->width = static_cast<int>(h.width);
        p->height = static_cast<int>(h.height);
        if (!s.video_headers.empty()) {
            p->extradata = static_cast<uint8_t*>(
                av_mallocz(s.video_headers.size() + AV_INPUT_BUFFER_PADDING_SIZE));
            std::memcpy(p->extradata, s.video_headers.data(), s.video_headers.size());
            p->extradata_size = static_cast<int>(s.video_headers.size());
        }
    }
    if (s.audio) {
        if (!open_audio_encoder()) return false;
        audio_stream_ = avformat_new_stream(out_, nullptr);
        if (audio_stream_ == nullptr) return false;
        audio_stream_->time_base = audio_encoder_->time_base;
        avcodec_parameters_from_context(audio_stream_->codecpar, audio_encoder_.get());
    }
    if (avio_open(&out_->pb, output.c_str(), AVIO_FLAG_WRITE) < 0) return false;
    opened_ = true;
    created_ = true;
    return avformat_write_header(out_, nullptr) >= 0;
}

bool Exporter::write_packet(AVPacket* p, AVStream* stream, AVRational from) {
    p->stream_index = stream->index;
    av_packet_rescale_ts(p, from, stream->time_base);
    return av_interleaved_write_frame(out_, p) >= 0;
}

// Video packets wait for the next one, which gives their duration.
bool Exporter::write_held_video(int64_t next_pts_ms) {
    if (!have_held_) return true;
    have_held_ = false;
    if (next_pts_ms > held_->pts) last_video_duration_ = next_pts_ms - held_->pts;
    held_->duration = last_video_duration_;
    return write_packet(held_.get(), video_stream_, AVRational{1, 1000});
}

bool Exporter::write_video(const uint8_t* data, std::size_t size, bool key, int64_t pts_ms) {
    if (pts_ms <= last_video_pts_) pts_ms = last_video_pts_ + 1;  // times must grow
    if (!write_held_video(pts_ms)) return false;
    av_packet_unref(held_.get());
    if (av_new_packet(held_.get(), static_cast<int>(size)) < 0) return false;
    std::memcpy(held_->data, data, size);
    held_->pts = held_->dts = pts_ms;
    if (key) held_->flags |= AV_PKT_FLAG_KEY;
    have_held_ = true;
    last_video_pts_ = pts_ms;
    return true;
}

bool Exporter::drain_encoder(AVCodecContext* ctx, AVStream* stream, bool video) {
    PacketPtr p(av_packet_alloc());
    while (true) {
        const int rc = avcodec_receive_packet(ctx, p.get());
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
        if (rc < 0) return false;
        if (video) {
            const bool ok = write_video(p->data, static_cast<std::size_t>(p->size),
                                        (p->flags & AV_PKT_FLAG_KEY) != 0, p->pts);
            av_packet_unref(p.get());
            if (!ok) return false;
        } else if (!write_packet(p.get(), stream, ctx->time_base)) {
            return false;
        }
    }
}

bool Exporter::encode_video(const DvrRecordHeader& r, const uint8_t* payload, int64_t pts_ms) {
    codec::decoder_decode(decoder_, static_cast<int>(r.payload_bytes), payload, picture_.data());
    AVFrame* f = video_frame_.get();
    if (av_frame_make_writable(f) < 0) return false;
    const int w = f->width, h = f->height;
    for (int y = 0; y < h; ++y) {
        const uint8_t* in = picture_.data() + static_cast<std::size_t>(y) * w * 2;
        uint8_t* luma = f->data[0] + static_cast<std::size_t>(y) * f->linesize[0];
        for (int x = 0; x < w; ++x) luma[x] = in[2 * x];
    }
    for (int y = 0; y < h / 2; ++y) {
        const uint8_t* a = picture_.data() + static_cast<std::size_t>(2 * y) * w * 2;
        const uint8_t* b = a + static_cast<std::size_t>(w) * 2;
        uint8_t* u = f->data[1] + static_cast<std::size_t>(y) * f->linesize[1];
        uint8_t* v = f->data[2] + static_cast<std::size_t>(y) * f->linesize[2];
        for (int x = 0; x < w / 2; ++x) {
            u[x] = static_cast<uint8_t>((a[4 * x + 1] + b[4 * x + 1] + 1) / 2);
            v[x] = static_cast<uint8_t>((a[4 * x + 3] + b[4 * x + 3] + 1) / 2);
        }
    }
    f->pts = pts_ms;
    f->pict_type = r.key_frame ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
    return avcodec_send_frame(video_encoder_.get(), f) >= 0 &&
           drain_encoder(video_encoder_.get(), video_stream_, true);
}

bool Exporter::write_audio_block(const uint8_t* block, int64_t video_ms) {
    std::memcpy(audio_state_.input, block, codec::kAudioBlockBytes);
    codec::audio_decode_block(audio_state_);
    if (next_audio_pts_ < 0) next_audio_pts_ = video_ms * (kAudioRate / 1000);
    AVFrame* f = audio_frame_.get();
    if (av_frame_make_writable(f) < 0) return false;
    if (f->format == AV_SAMPLE_FMT_FLTP) {
        auto* out = reinterpret_cast<float*>(f->data[0]);
        for (std::size_t i = 0; i < codec::kAudioBlockSamples; ++i)
            out[i] = static_cast<float>(audio_state_.output[i]) / 32768.0f;
    } else {
        std::memcpy(f->data[0], audio_state_.output, sizeof audio_state_.output);
    }
    f->pts = next_audio_pts_;
    next_audio_pts_ += static_cast<int64_t>(codec::kAudioBlockSamples);
    ++result_.audio_blocks;
    return avcodec_send_frame(audio_encoder_.get(), f) >= 0 &&
           drain_encoder(audio_encoder_.get(), audio_stream_, false);
}

ExportStatus Exporter::run(const std::string& input, const std::string& output) {
    FileDvrSource source;
    DvrReader reader(source);
    const DvrStatus opened = open_dvr_file(input, source, reader);
    if (opened == DvrStatus::cannot_open || opened == DvrStatus::io_error)
        return fail(ExportStatus::input_unusable, input + " cannot be opened or read");
    if (opened != DvrStatus::ok)
        return fail(ExportStatus::damaged, input + " is shorter than its header block");
    const DvrHeader h = reader.header();
    if (h.width == 0 || h.height == 0 || h.width > kMaxPictureSide || h.height > kMaxPictureSide ||
        h.width % 2 || h.height % 2) {
        return fail(ExportStatus::damaged, "picture size in the header is not usable");
    }
    input_bytes_ = source.size() > 0 ? static_cast<uint64_t>(source.size()) : 0;
    Scan s;
    const ExportStatus scanned = scan(reader, s);
    if (scanned == ExportStatus::cancelled) return fail(scanned, "cancelled");
    if (scanned != ExportStatus::ok) return fail(ExportStatus::input_unusable, "read error");
    if (!s.any_video_key) return fail(ExportStatus::no_video, "the recording holds no key frame");
    if (!open_output(output, h, s))
        return fail(ExportStatus::output_failed, output + " cannot be written");
    reader.seek_offset(h.block_bytes());

    std::vector<uint8_t> payload(kPayloadBufferBytes + kPayloadSlack, 0);
    DvrRecordHeader r;
    DvrStatus status;
    bool started = false;
    uint32_t origin_ms = 0;
    int64_t last_ms = -1;
    while ((status = reader.next_record(r, payload.data(), kPayloadBufferBytes)) == DvrStatus::ok) {
        if (cancelled()) return fail(ExportStatus::cancelled, "cancelled");
        report(reader.position(), true);
        if (r.kind == RecordKind::video) {
            if (!started && !r.key_frame) continue;  // nothing decodes before the first key frame
            if (!started) origin_ms = r.time_ms;
            started = true;
            // Times from the first key frame, kept growing across a clock set back.
            const int64_t t = static_cast<int32_t>(r.time_ms - origin_ms);
            last_ms = t > last_ms ? t : last_ms + 1;
            ++result_.video_frames;
            std::memset(payload.data() + r.payload_bytes, 0, kPayloadSlack);
            const bool ok =
                video_encoder_ ? encode_video(r, payload.data(), last_ms)
                               : write_video(payload.data(), r.payload_bytes, r.key_frame, last_ms);
            if (!ok) return fail(ExportStatus::output_failed, "writing the video failed");
        } else if (r.kind == RecordKind::audio && started && audio_encoder_) {
            if (!write_audio_block(payload.data(), last_ms))
                return fail(ExportStatus::output_failed, "writing the sound failed");
        }
    }
    ExportStatus end = ExportStatus::ok;
    if (status == DvrStatus::truncated) result_.truncated_tail = true;
    if (status == DvrStatus::damaged) {
        result_.error =
            "damaged record at offset " + std::to_string(reader.position()) + "; exported up to it";
        end = ExportStatus::damaged;
    } else if (status == DvrStatus::io_error) {
        result_.error = "read error at offset " + std::to_string(reader.position());
        end = ExportStatus::input_unusable;
    }
    if (video_encoder_) {
        avcodec_send_frame(video_encoder_.get(), nullptr);
        if (!drain_encoder(video_encoder_.get(), video_stream_, true))
            return fail(ExportStatus::output_failed, "writing the video failed");
    }
    if (!write_held_video(last_video_pts_ + last_video_duration_))
        return fail(ExportStatus::output_failed, "writing the video failed");
    if (audio_encoder_) {
        avcodec_send_frame(audio_encoder_.get(), nullptr);
        if (!drain_encoder(audio_encoder_.get(), audio_stream_, false))
            return fail(ExportStatus::output_failed, "writing the sound failed");
    }
    const int rc = av_write_trailer(out_);
    if (rc < 0) return fail(ExportStatus::output_failed, "finishing the output: " + av_error(rc));
    if (avio_closep(&out_->pb) < 0) return fail(ExportStatus::output_failed, "closing the output");
    opened_ = false;
    result_.duration_ms = static_cast<uint32_t>(last_video_pts_ + last_video_duration_);
    if (progress_ != nullptr) progress_->permille.store(1000, std::memory_order_relaxed);
    return end;
}

}  // namespace

ExportStatus export_dvr(const std::string& input, const std::string& output,
                        const ExportOptions& options, ExportResult& result,
                        ExportProgress* progress) {
    result = ExportResult{};
    ExportStatus status;
    bool created = false;
    {
        Exporter exporter(options, result, progress);
        status = exporter.run(input, output);
        created = exporter.created_output();
    }  // the output is closed here
    // Half a file is no export: what was begun is removed again.
    if (created && (status == ExportStatus::cancelled || status == ExportStatus::output_failed))
        std::remove(output.c_str());
    return status;
}

}  // namespace orvel::media
