#include "net/protocol.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace orvel::net {
namespace {

void put_u16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v & 0xFF);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void put_u32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>((v >> (8 * i)) & 0xFF);
}

Request header_only(std::uint8_t type, std::uint8_t code, std::uint16_t param,
                    std::size_t length_bytes) {
    Request r;  // zero-filled by value-initialisation
    r.bytes[0] = type;
    r.bytes[1] = code;
    put_u16(&r.bytes[2], param);
    put_u16(&r.bytes[4], static_cast<std::uint16_t>(length_bytes));
    r.length_bytes = length_bytes;
    return r;
}

Request with_text(std::uint8_t type, std::uint8_t code, std::uint16_t param,
                  const std::string& text) {
    const std::size_t n = std::min(text.size(), Request{}.bytes.size() - kHeaderBytes);
    Request r = header_only(type, code, param, kHeaderBytes + n);
    std::memcpy(&r.bytes[kHeaderBytes], text.data(), n);
    return r;
}

int clamp_two_digits(int v) { return std::clamp(v, 0, 99); }

}  // namespace

std::uint16_t read_u16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t read_u32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::string format_query_date(const QueryDate& date) {
    char text[16];
    const int year = ((date.year % 100) + 100) % 100;
    std::snprintf(text, sizeof text, "%02d-%02d-%02d", year, clamp_two_digits(date.month),
                  clamp_two_digits(date.day));
    return text;
}

QueryDate today_utc() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    gmtime_r(&now, &parts);
    return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday};
}

Request build_login(std::string_view user, std::string_view password) {
    Request r = header_only(kTypeLogin, 11, 7201, 22);
    std::memcpy(&r.bytes[6], user.data(), std::min(user.size(), kCredentialBytes));
    std::memcpy(&r.bytes[14], password.data(), std::min(password.size(), kCredentialBytes));
    return r;
}

Request build_connection_check() { return header_only(kTypeCheck, 0, 0, kHeaderBytes); }

Request build_camera_control(std::uint8_t code, int camera, int sub_code) {
    const auto param = static_cast<std::uint16_t>(camera + 100 * sub_code);
    return header_only(kTypeCameraControl, code, param, kHeaderBytes);
}

Request build_recording_days_query(const QueryDate& today) {
    return with_text(kTypeRecordingDays, 0, 0, format_query_date(today));
}

Request build_day_index_query(int camera, const QueryDate& date) {
    return with_text(kTypeDayIndex, 11, static_cast<std::uint16_t>(camera),
                     format_query_date(date));
}

Request build_stream_select(bool main_stream, std::uint32_t stream_id) {
    Request r = header_only(main_stream ? kTypeStreamMain : kTypeStreamSub, 0, 0, 10);
    put_u32(&r.bytes[6], stream_id);
    return r;
}

bool parse_header(std::span<const std::uint8_t> message, MessageHeader& out) {
    if (message.size() < kHeaderBytes) return false;
    out.type = message[0];
    out.code = message[1];
    out.param = read_u16(&message[2]);
    out.length_bytes = read_u16(&message[4]);
    return true;
}

std::string fixed_text(const std::uint8_t* field, std::size_t field_bytes) {
    const auto* end = static_cast<const std::uint8_t*>(std::memchr(field, 0, field_bytes));
    const std::size_t n = end ? static_cast<std::size_t>(end - field) : field_bytes;
    return std::string(reinterpret_cast<const char*>(field), n);
}

bool parse_login_reply(std::span<const std::uint8_t> message, LoginReply& out) {
    out = LoginReply{};
    constexpr std::size_t kNamesOffset = 9;
    if (message.size() < kNamesOffset) return false;
    out.device = static_cast<std::int8_t>(message[6]);
    out.switch_count = static_cast<std::int8_t>(message[7]);
    out.accepted = message[8] == 1;
    const int announced = out.device * out.switch_count;
    out.announced_cameras = announced > 0 ? announced : 0;
    if (!out.accepted) return true;

    const std::size_t n = static_cast<std::size_t>(out.announced_cameras);
    const std::size_t tag_offset = kNamesOffset + kCameraNameBytes * n;
    if (message.size() > tag_offset && message[tag_offset] == 2 &&
        message.size() >= tag_offset + 1 + 4) {
        out.has_mask = true;
        out.camera_mask = read_u32(&message[tag_offset + 1]);
    }
    // Only entries that arrived whole are used, and never more than a site holds.
    const std::size_t received = (message.size() - kNamesOffset) / kCameraNameBytes;
    const std::size_t usable = std::min({n, received, static_cast<std::size_t>(kMaxCameras)});
    out.cameras.reserve(usable);
    for (std::size_t i = 0; i < usable; ++i) {
        LoginCamera cam;
        cam.number = static_cast<int>(i) + 1;
        cam.name = fixed_text(&message[kNamesOffset + kCameraNameBytes * i], kCameraNameBytes);
        // The mask has 32 bits; cameras beyond 32 are not covered by it and stay offered.
        cam.offered = i >= 32 || (out.camera_mask >> i) & 1u;
        out.cameras.push_back(std::move(cam));
    }
    return true;
}

bool parse_preset_reply(std::span<const std::uint8_t> message, PresetReply& out) {
    MessageHeader h;
    if (!parse_header(message, h)) return false;
    if (h.param >= kMaxCameras) return false;
    out.camera_index = h.param;
    out.names.fill(0);
    const std::size_t n = std::min(message.size() - kHeaderBytes, kPresetBlockBytes);
    std::memcpy(out.names.data(), message.data() + kHeaderBytes, n);
    return true;
}

bool parse_recording_days(std::span<const std::uint8_t> message, RecordingDays& out) {
    if (message.size() < kHeaderBytes + 12) return false;
    for (int i = 0; i < 3; ++i) out.masks[i] = read_u32(&message[kHeaderBytes + 4 * i]);
    return true;
}

}  // namespace orvel::net
