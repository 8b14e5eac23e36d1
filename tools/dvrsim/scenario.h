// What the simulated DVR knows: its users, cameras, presets, recordings and fault
// switches. Loaded from a small line-based scenario file and/or command-line options.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "stream/stream_service.h"

namespace dvrsim {

inline constexpr int kSimMaxCameras = 36;

struct SimRecording {
    int camera = 1;
    int year = 2009, month = 1, day = 1;
    char drive = 'C';
    int hour = 0, minute = 0, second = 0;
    int kind = 0;
    int length_s = 0;
};

struct Scenario {
    std::map<std::string, std::string> users;  // user -> password (compared on 8 bytes)
    int device = 1;
    int switch_count = 4;
    std::map<int, std::string> camera_names;  // 1-based; missing = empty name
    bool send_mask = false;
    std::uint32_t camera_mask = 0xFFFFFFFFu;
    int tag_byte = -1;  // a tag other than 2 to append when no mask is sent; -1 = none
    std::map<int, std::vector<std::string>> presets;  // 1-based camera -> up to 16 names
    std::map<int, std::uint32_t> day_masks;           // year*100+month -> bit d-1
    std::vector<SimRecording> recordings;

    // Fault switches.
    int split_bytes = 0;  // >0: every reply is sent in pieces of this many bytes
    int split_pause_ms = 20;
    bool join_replies = false;  // all replies to one request leave in one send
    int drop_after_ms = 0;      // >0: each command client is dropped this long after accept
    int drop_clients = 0;       // >0: only the first this many command clients are dropped
    bool deaf_after_login = false;  // a command client is no longer read after its first login
    // Zero bytes sent behind every reply, not counted in its length field.
    int reply_excess_bytes = 0;
    // The first N login requests get a connection reset (RST) instead of a reply.
    int login_resets = 0;

    // Stream port: kinds, sizes and faults of the cameras' live streams. Its camera_count is
    // not read: the server serves the scenario's camera_count().
    StreamConfig stream;

    int camera_count() const;
    // Masks for a month, combining explicit masks and the recordings' days.
    std::uint32_t month_mask(int year, int month) const;
};

// Reads scenario lines into `out`. Returns false and sets `error` (with the line
// number) on the first malformed line.
bool load_scenario_text(const std::string& text, Scenario& out, std::string& error);
bool load_scenario_file(const std::string& path, Scenario& out, std::string& error);
// One scenario line (also used for command-line options of the same form).
bool apply_scenario_line(const std::string& line, Scenario& out, std::string& error);

}  // namespace dvrsim
