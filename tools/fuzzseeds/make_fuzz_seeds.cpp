// make_fuzz_seeds OUT_DIR: writes the seed corpus of every fuzz target (OUT_DIR/NAME/...):
// small .dvr files in both record forms, MPEG-4 and codec 4321 pictures from the simulator's
// encoders, G.721 codes, the simulator's replies and the client's requests, scenarios, stream
// openings and stamp times. Deterministic, so the committed corpus can be made again.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "media/dvr_file.h"
#include "net/protocol.h"
#include "net/stream/stream_request.h"
#include "replies.h"
#include "scenario.h"
#include "stream/encoders.h"
#include "stream/stream_service.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

fs::path g_out;

void write_seed(const std::string& target, const std::string& name, const Bytes& bytes) {
    const fs::path dir = g_out / target;
    fs::create_directories(dir);
    std::ofstream(dir / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void write_text(const std::string& target, const std::string& name, const std::string& text) {
    write_seed(target, name, Bytes(text.begin(), text.end()));
}

void append(Bytes& to, const Bytes& from) { to.insert(to.end(), from.begin(), from.end()); }
void put16(Bytes& to, uint32_t v) {
    to.push_back(static_cast<uint8_t>(v));
    to.push_back(static_cast<uint8_t>(v >> 8));
}
void put32(Bytes& to, uint32_t v) {
    put16(to, v & 0xFFFF);
    put16(to, v >> 16);
}

std::vector<dvrsim::EncodedFrame> must(std::vector<dvrsim::EncodedFrame> frames, const std::string& error) {
    if (frames.empty()) {
        std::cerr << "make_fuzz_seeds: encoder failed: " << error << "\n";
        std::exit(1);
    }
    return frames;
}

dvrsim::SceneFn scene(int width, int height) {
    return [width, height](dvrsim::PlanarPicture& p, int index) {
        dvrsim::draw_scene(p, width, height, 3, index);
    };
}

// A frame record of the live stream or a .dvr file (12-byte standard or 16-byte dual form).
Bytes record(bool dual, int frame_class, bool key, const Bytes& payload, uint32_t time_ms) {
    const uint32_t packed = (9u) | (3u << 6) | (7u << 10) | (14u << 15) | (25u << 20) | (30u << 26);
    Bytes r;
    if (dual) {
        r.push_back(static_cast<uint8_t>((frame_class & 0x0F) | (key ? 0 : 0x80)));
        r.insert(r.end(), 3, 0);
        put32(r, static_cast<uint32_t>(payload.size()));
    } else {
        r.push_back(static_cast<uint8_t>((frame_class == 1 ? 1 : 0) | (key ? 0 : 0x10)));
        r.push_back(0);
        put16(r, static_cast<uint32_t>(payload.size()));
    }
    put32(r, time_ms);
    put32(r, packed);
    append(r, payload);
    return r;
}

struct Clips {
    std::vector<dvrsim::EncodedFrame> lavc, xvid, c4321;
    Bytes g721;
};

Clips make_clips() {
    Clips c;
    std::string error;
    c.lavc = must(dvrsim::encode_mpeg4_lavc(176, 144, 4, 3, scene(176, 144), error), error);
    c.xvid = must(dvrsim::encode_mpeg4_xvid(176, 144, 4, 3, scene(176, 144), error), error);
    c.c4321 = must(dvrsim::encode_4321(64, 48, 4, 3, scene(64, 48), error), error);
    c.g721 = dvrsim::encode_g721_speech(1, error);
    if (c.g721.size() < 3072) {
        std::cerr << "make_fuzz_seeds: audio encoder failed: " << error << "\n";
        std::exit(1);
    }
    return c;
}

Bytes dvr_file(int32_t marker, uint32_t width, uint32_t height,
               const std::vector<dvrsim::EncodedFrame>& frames, const Bytes& audio, bool finish) {
    orvel::media::DvrHeader h;
    h.width = width;
    h.height = height;
    h.codec_marker = marker;
    orvel::media::DvrBuilder b(h);
    uint32_t t = 1000;
    for (const auto& f : frames) {
        b.add_video(f.bytes.data(), static_cast<uint32_t>(f.bytes.size()), t, f.key);
        t += 40;
    }
    b.add_audio(audio.data(), t);
    if (finish) b.finish();
    return b.bytes();
}

void dvr_files(const Clips& c) {
    using orvel::media::kMarker4321;
    using orvel::media::kMarkerDual;
    const Bytes mpeg4 = dvr_file(0, 176, 144, c.lavc, c.g721, true);
    const Bytes dual = dvr_file(kMarkerDual, 176, 144, c.xvid, c.g721, true);
    const Bytes c4321 = dvr_file(kMarker4321, 64, 48, c.c4321, c.g721, true);
    Bytes open_tail = dvr_file(0, 176, 144, c.lavc, c.g721, false);
    open_tail.resize(open_tail.size() - 100);  // a recording cut inside its last record
    for (const char* target : {"dvr_reader", "dvrtool"}) {
        write_seed(target, "mpeg4.dvr", mpeg4);
        write_seed(target, "dual.dvr", dual);
        write_seed(target, "c4321.dvr", c4321);
        write_seed(target, "unfinished.dvr", open_tail);
    }
}

void pictures(const Clips& c) {
    // mpeg4_decoders: first byte bit 0 picks libavcodec (1) or xvid (0), bits 1-2 the size.
    Bytes lavc{1}, xvid{0}, lavc_unsized{1 | 4};
    for (const auto& f : c.lavc) append(lavc, f.bytes), append(lavc_unsized, f.bytes);
    for (const auto& f : c.xvid) append(xvid, f.bytes);
    write_seed("mpeg4_decoders", "lavc-qcif", lavc);
    write_seed("mpeg4_decoders", "xvid-qcif", xvid);
    write_seed("mpeg4_decoders", "lavc-unsized", lavc_unsized);

    // c4321_decoder: size bytes (8 + 8 * n), then pictures each after a length byte (x 4).
    Bytes plain{7, 5};
    for (const auto& f : c.c4321) {
        Bytes picture = f.bytes;
        picture.resize((picture.size() + 3) / 4 * 4, 0);
        if (picture.size() / 4 > 255) continue;
        plain.push_back(static_cast<uint8_t>(picture.size() / 4));
        append(plain, picture);
    }
    write_seed("c4321_decoder", "64x48", plain);

    // c4321_wrapper: width, height (16 bits each), then pictures after a 16-bit length.
    Bytes wrapped;
    put16(wrapped, 64);
    put16(wrapped, 48);
    for (const auto& f : c.c4321) {
        put16(wrapped, static_cast<uint32_t>(f.bytes.size()));
        append(wrapped, f.bytes);
    }
    write_seed("c4321_wrapper", "64x48", wrapped);
    Bytes larger;  // a picture coded for 64 x 48 into a decoder made larger
    put16(larger, 96);
    put16(larger, 64);
    put16(larger, static_cast<uint32_t>(c.c4321[0].bytes.size()));
    append(larger, c.c4321[0].bytes);
    write_seed("c4321_wrapper", "96x64", larger);

    Bytes g721{0};
    g721.insert(g721.end(), c.g721.begin(), c.g721.begin() + 1024);
    write_seed("g721", "speech", g721);
    g721[0] = 1;
    write_seed("g721", "speech-reset", g721);
}

// A stream as the DVR sends it: the frames of a clip and one audio frame of six blocks.
Bytes stream_frames(bool dual, int video_class, const std::vector<dvrsim::EncodedFrame>& frames,
                    const Bytes& audio) {
    Bytes s;
    uint32_t t = 5000;
    for (const auto& f : frames) {
        append(s, record(dual, video_class, f.key, f.bytes, t));
        t += 40;
    }
    append(s, record(dual, 1, true, Bytes(audio.begin(), audio.begin() + 3072), t));
    return s;
}

void streams(const Clips& c) {
    dvrsim::StreamSettings mpeg4, c4321, dual;
    mpeg4.width = 176, mpeg4.height = 144;
    c4321.kind = dvrsim::StreamKind::c4321, c4321.width = 64, c4321.height = 48;
    dual.kind = dvrsim::StreamKind::dual, dual.width = 176, dual.height = 144;
    struct Case {
        const char* name;
        const dvrsim::StreamSettings* settings;
        const std::vector<dvrsim::EncodedFrame>* frames;
        bool dual;
    };
    for (const Case& k : {Case{"mpeg4", &mpeg4, &c.lavc, false}, Case{"c4321", &c4321, &c.c4321, false},
                          Case{"dual", &dual, &c.xvid, true}}) {
        const Bytes frames = stream_frames(k.dual, 2, *k.frames, c.g721);
        Bytes records{static_cast<uint8_t>(k.dual ? 1 : 0)};
        append(records, frames);
        write_seed("frame_records", k.name, records);
    }
}

const char* kScenario =
    "user admin 1234\nuser guest\ndevice 3\nswitch 4\ncamera 1 Front gate\ncamera 12 Reception\n"
    "mask 0xFFF\npreset 1 0 Gate closed\npreset 3 15 Barrier\ndays 2009-02 0x10001\n"
    "recording 1 2009-03-07 08:00:00 3600 0\nrecording 3 2009-03-07 D 12:15:00 600 1\n"
    "stream * mpeg4\nstream 2 dual 352x288\nstream 4 c4321 176x144 noaudio\n"
    "stream-fault drop 30000\nsplit 7\njoin\ndrop-after-ms 5000\ntag 3\n";

void dvrsim_inputs() {
    write_text("dvrsim_scenario", "full", kScenario);
    write_text("dvrsim_scenario", "today", "user a b\nrecording 2 today-3 23:59:59 60 0\n");
    for (int channel : {1, 2, 4}) {
        const orvel::net::StreamRequest r = orvel::net::build_stream_request(channel);
        Bytes seed(r.begin(), r.end());
        const std::string text = kScenario;
        seed.insert(seed.end(), text.begin(), text.end());
        write_seed("dvrsim_stream", "channel-" + std::to_string(channel), seed);
    }

    // The client's requests, and the simulator's replies to them as the client receives them.
    dvrsim::Scenario s;
    std::string error;
    if (!dvrsim::load_scenario_text(kScenario, s, error)) {
        std::cerr << "make_fuzz_seeds: " << error << "\n";
        std::exit(1);
    }
    using namespace orvel::net;
    const Request requests[] = {build_login("admin", "1234"), build_login("guest", ""),
                                build_connection_check(), build_camera_control(kPresetTour, 3, 2),
                                build_recording_days_query({2009, 3, 7}),
                                build_day_index_query(1, {2009, 3, 7}),
                                build_day_index_query(3, {2009, 3, 7}),
                                build_stream_select(true, 0x102)};
    const char* names[] = {"login", "login-guest", "check", "control", "days", "day-index-1",
                           "day-index-3", "select"};
    Bytes all_replies{64};  // read step of the client's assembler
    for (std::size_t i = 0; i < std::size(requests); ++i) {
        const Bytes request(requests[i].bytes.begin(),
                            requests[i].bytes.begin() + static_cast<long>(requests[i].length_bytes));
        write_seed("dvrsim_requests", names[i], request);
        Bytes out;
        std::vector<std::size_t> ends;
        dvrsim::answer_request(s, request.data(), request.size(), out, ends);
        if (out.empty()) continue;
        Bytes reply{static_cast<uint8_t>(i * 13)};
        append(reply, out);
        write_seed("net_replies", names[i], reply);
        append(all_replies, out);
    }
    write_seed("net_replies", "all", all_replies);
}

void small_inputs() {
    // stamp: width, height, layout, then packed times (a midnight and a new year pass).
    auto stamp = [](uint16_t w, uint16_t h, uint8_t gpu, std::vector<uint32_t> times) {
        Bytes b;
        put16(b, w);
        put16(b, h);
        b.push_back(gpu);
        for (uint32_t t : times) put32(b, t);
        return b;
    };
    const uint32_t before_midnight = 9u | 12u << 6 | 31u << 10 | 23u << 15 | 59u << 20 | 59u << 26;
    const uint32_t new_year = 10u | 1u << 6 | 1u << 10;
    write_seed("stamp", "cif-gpu", stamp(352, 288, 1, {before_midnight, new_year, new_year | 1u << 26}));
    write_seed("stamp", "d1-software", stamp(704, 576, 0, {before_midnight, 0xFFFFFFFFu, 0}));
    write_seed("stamp", "too-small", stamp(135, 10, 1, {before_midnight}));

    // dvr_writer: a form byte, then 8-byte records (kind, 18-bit length, time).
    auto writer = [](uint8_t form, std::vector<std::array<uint8_t, 8>> records) {
        Bytes b{form};
        for (const auto& r : records) b.insert(b.end(), r.begin(), r.end());
        return b;
    };
    write_seed("dvr_writer", "standard", writer(0, {{2, 0x40, 0x01, 0, 0xE8, 3, 0, 0},
                                                    {0, 0x10, 0x00, 0, 0x10, 4, 0, 0},
                                                    {1, 0, 0, 0, 0x38, 4, 0, 0}}));
    write_seed("dvr_writer", "dual", writer(1, {{2, 0x00, 0x10, 0, 0xE8, 3, 0, 0},
                                               {1, 0, 0, 0, 0x10, 4, 0, 0},
                                               {0, 0x20, 0x00, 0, 0x38, 4, 0, 0}}));
    write_seed("dvr_writer", "c4321", writer(2, {{2, 0x80, 0x00, 0, 1, 0, 0, 0}}));
}

void ini_inputs(const fs::path& source_root) {
    std::ifstream in(source_root / "res/demo/orvelcam.ini", std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    if (text.empty()) {
        std::cerr << "make_fuzz_seeds: res/demo/orvelcam.ini not found\n";
        std::exit(1);
    }
    write_text("ini_parse", "demo.ini", text);
    write_text("ini_parse", "play", "[PLAY]\r\nDISPLAY=\"GDI\"\r\n[LOCATION]\nnum=-2147483649\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: make_fuzz_seeds SOURCE_ROOT OUT_DIR\n";
        return 1;
    }
    g_out = argv[2];
    const Clips clips = make_clips();
    dvr_files(clips);
    pictures(clips);
    streams(clips);
    dvrsim_inputs();
    small_inputs();
    ini_inputs(argv[1]);
    return 0;
}
