// Byte layout of every message on a DVR's command port, in both directions.
// Requests are built completely in a zero-filled buffer so that they can be sent
// with one send of exactly `length` bytes; replies are parsed with a bound on every
// field. Nothing here touches sockets or threads: all functions may be called from
// any thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orvel::net {

inline constexpr std::size_t kHeaderBytes = 6;
inline constexpr int kMaxCameras = 36;  // camera entries per site record
inline constexpr int kPresetsPerCamera = 16;
inline constexpr std::size_t kPresetNameBytes = 28;
inline constexpr std::size_t kPresetBlockBytes = kPresetsPerCamera * kPresetNameBytes;  // 448
inline constexpr std::size_t kCameraNameBytes = 36;
inline constexpr std::size_t kCredentialBytes = 8;  // user and password bytes sent at login

// Message types on the command port.
enum MessageType : std::uint8_t {
    kTypeLogin = 0,
    kTypeCameraControl = 1,
    kTypePresetNames = 1,  // reply direction
    kTypeDayIndex = 5,
    kTypeCheck = 6,
    kTypeRecordingDays = 7,
    kTypeStreamMain = 60,
    kTypeStreamSub = 61,
};

// Camera control codes (type 1 requests).
enum ControlCode : std::uint8_t {
    kTiltUp = 0,
    kTiltDown = 1,
    kPanLeft = 2,
    kPanRight = 3,
    kFocusNear = 4,
    kFocusFar = 5,
    kZoomIn = 6,
    kZoomOut = 7,
    kIrisClose = 8,
    kIrisOpen = 9,
    kPadActionEnd = 10,
    kSelectCameraOn = 13,
    kSelectCameraOff = 14,
    kToggleAOff = 15,
    kToggleAOn = 16,
    kToggleBOff = 17,
    kToggleBOn = 18,
    kGotoPreset = 21,
    kStopPan = 23,
    kStopTilt = 24,
    kStopZoom = 25,
    kStopFocus = 26,
    kStopIris = 27,
    kPresetTour = 30,
};

struct MessageHeader {
    std::uint8_t type = 0;
    std::uint8_t code = 0;
    std::uint16_t param = 0;
    std::uint16_t length_bytes = 0;  // whole message, header included
};

// A calendar date as the DVR's query texts carry it.
struct QueryDate {
    int year = 2000;  // full year; only year % 100 is sent
    int month = 1;    // 1..12
    int day = 1;      // 1..31
};

// "yy-mm-dd". Out-of-range fields are clamped into two digits so the text is
// always 8 characters.
std::string format_query_date(const QueryDate& date);
// Today's date in UTC.
QueryDate today_utc();

// A built request: a zero-filled buffer and the number of bytes to send.
struct Request {
    std::array<std::uint8_t, 32> bytes{};
    std::size_t length_bytes = 0;
    std::span<const std::uint8_t> view() const { return {bytes.data(), length_bytes}; }
};

Request build_login(std::string_view user, std::string_view password);
Request build_connection_check();
// param = camera + 100 * sub_code, cut to 16 bits.
Request build_camera_control(std::uint8_t code, int camera, int sub_code = 0);
Request build_recording_days_query(const QueryDate& today);
Request build_day_index_query(int camera, const QueryDate& date);
Request build_stream_select(bool main_stream, std::uint32_t stream_id);

std::uint16_t read_u16(const std::uint8_t* p);
std::uint32_t read_u32(const std::uint8_t* p);

// Reads the header; false when fewer than 6 bytes are given.
bool parse_header(std::span<const std::uint8_t> message, MessageHeader& out);

// Text of a fixed-size, zero-padded field: up to the first zero or the field's end
// (a field without terminator gives all its bytes).
std::string fixed_text(const std::uint8_t* field, std::size_t field_bytes);

struct LoginCamera {
    int number = 0;    // 1-based
    std::string name;  // at most 36 bytes, empty when the DVR sent none
    bool offered = true;
};

struct LoginReply {
    int device = 0;  // signed 8-bit on the wire
    int switch_count = 0;
    bool accepted = false;
    int announced_cameras = 0;  // device * switch, 0 when negative
    bool has_mask = false;
    std::uint32_t camera_mask = 0xFFFFFFFFu;
    // Cameras 1..min(announced, 36, entries actually received).
    std::vector<LoginCamera> cameras;
};

// Type 0. False when the message is too short to hold the fixed fields.
bool parse_login_reply(std::span<const std::uint8_t> message, LoginReply& out);

struct PresetReply {
    int camera_index = 0;                                 // 0..35
    std::array<std::uint8_t, kPresetBlockBytes> names{};  // zero-padded where the reply was short
};

// Type 1. False for a camera index of 36 or more, or a message shorter than the header.
bool parse_preset_reply(std::span<const std::uint8_t> message, PresetReply& out);

struct RecordingDays {
    // Bit d-1 set: day d has recordings. [0] two months before the queried month,
    // [1] the month before, [2] the queried month.
    std::array<std::uint32_t, 3> masks{};
};

// Type 7. False when the three masks are not all present.
bool parse_recording_days(std::span<const std::uint8_t> message, RecordingDays& out);

}  // namespace orvel::net
