#include "scenario.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>

namespace dvrsim {
namespace {

bool parse_int(const std::string& text, long min, long max, long& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 0);
    if (*end != '\0' || v < min || v > max) return false;
    out = v;
    return true;
}

std::string rest_of_line(std::istringstream& in) {
    std::string rest;
    std::getline(in, rest);
    const auto first = rest.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : rest.substr(first);
}

// "YYYY-MM" (count 2) or "YYYY-MM-DD" (count 3): decimal fields, a year 1..9999, a month
// 1..12, a day 1..31. The bounds keep every derived key (year * 100 + month) inside an int.
bool parse_date_fields(const std::string& text, int count, long fields[3]) {
    static const long kMin[3] = {1, 1, 1}, kMax[3] = {9999, 12, 31};
    std::size_t from = 0;
    for (int i = 0; i < count; ++i) {
        const std::size_t dash = i + 1 < count ? text.find('-', from) : text.size();
        if (dash == std::string::npos) return false;
        const std::string field = text.substr(from, dash - from);
        if (field.empty() || field.size() > 4 ||
            field.find_first_not_of("0123456789") != std::string::npos)
            return false;
        fields[i] = std::strtol(field.c_str(), nullptr, 10);  // decimal: "08" is August
        if (fields[i] < kMin[i] || fields[i] > kMax[i]) return false;
        from = dash + 1;
    }
    return true;
}

// "YYYY-MM-DD", or "today" / "today-N" (UTC, N days back) so demos stay current.
bool parse_date(const std::string& text, int& y, int& m, int& d) {
    if (text.rfind("today", 0) == 0) {
        long back = 0;
        if (text.size() > 5) {
            if (text[5] != '-' || !parse_int(text.substr(6), 0, 3650, back)) return false;
        }
        const std::time_t when = std::time(nullptr) - static_cast<std::time_t>(back) * 86400;
        std::tm parts{};
        gmtime_r(&when, &parts);
        y = parts.tm_year + 1900;
        m = parts.tm_mon + 1;
        d = parts.tm_mday;
        return true;
    }
    long f[3] = {};
    if (!parse_date_fields(text, 3, f)) return false;
    y = static_cast<int>(f[0]);
    m = static_cast<int>(f[1]);
    d = static_cast<int>(f[2]);
    return true;
}

// "WIDTHxHEIGHT": widths in whole macroblocks, heights in multiples of 8, at most 1920 x 1088
// (the encoders' synthetic scenes keep even a 1080p frame below a standard frame's 64 KiB).
bool parse_size(const std::string& text, int& width, int& height) {
    int w = 0, h = 0, used = 0;
    if (std::sscanf(text.c_str(), "%dx%d%n", &w, &h, &used) != 2 ||
        used != static_cast<int>(text.size()))
        return false;
    if (w < 16 || w > 1920 || h < 16 || h > 1088 || w % 16 != 0 || h % 8 != 0) return false;
    width = w;
    height = h;
    return true;
}

// stream CAMERA|* KIND [WIDTHxHEIGHT] [header WIDTHxHEIGHT] [noaudio], or (alternate)
// stream-alternate CAMERA KIND ...: every second connection of CAMERA gets these settings.
bool apply_stream_line(std::istringstream& in, Scenario& s, std::string& error,
                       bool alternate = false) {
    const std::string usage =
        "stream needs CAMERA|* mpeg4|c4321|dual [WIDTHxHEIGHT] [header WIDTHxHEIGHT] [noaudio]";
    std::string camera_text, kind_text, option;
    if (!(in >> camera_text >> kind_text)) return error = usage, false;
    long camera = 0;
    if ((alternate || camera_text != "*") && !parse_int(camera_text, 1, 16129, camera))
        return error = alternate ? "stream-alternate needs a camera number 1..16129"
                                 : "stream needs a camera number 1..16129 or *",
               false;
    StreamSettings settings;
    if (kind_text == "mpeg4") {
        settings.kind = StreamKind::mpeg4;
    } else if (kind_text == "c4321") {
        settings.kind = StreamKind::c4321;
    } else if (kind_text == "dual") {
        settings.kind = StreamKind::dual;
    } else {
        return error = "stream kind '" + kind_text + "' is not mpeg4, c4321 or dual", false;
    }
    bool sized = false;
    while (in >> option) {
        if (option == "noaudio") {
            settings.audio = false;
        } else if (option == "header") {
            // A header that lies about the pictures' size: any 16-bit sizes, for tests.
            std::string size;
            int w = 0, h = 0, used = 0;
            if (!(in >> size) || std::sscanf(size.c_str(), "%dx%d%n", &w, &h, &used) != 2 ||
                used != static_cast<int>(size.size()) || w < 1 || w > 65535 || h < 1 || h > 65535)
                return error = "stream header size '" + size + "' is not WIDTHxHEIGHT up to 65535",
                       false;
            settings.header_width = w;
            settings.header_height = h;
        } else if (!sized && option.find('x') != std::string::npos) {
            if (!parse_size(option, settings.width, settings.height))
                return error = "stream size '" + option +
                               "' is not WIDTHxHEIGHT (width in 16s, height in 8s) up to 1920x1088",
                       false;
            sized = true;
        } else {
            return error = "stream: unexpected '" + option + "'; " + usage, false;
        }
    }
    // A dual-stream camera's main stream size follows from the sub stream's width.
    if (settings.kind == StreamKind::dual && settings.width != 320 && settings.width != 352)
        return error = "a dual stream's sub stream is 320 or 352 wide", false;
    if (alternate) {
        s.stream.alternate[static_cast<int>(camera)] = settings;
    } else if (camera_text == "*") {
        s.stream.defaults = settings;
    } else {
        s.stream.per_camera[static_cast<int>(camera)] = settings;
    }
    return true;
}

// stream-fault drop|stall|stall-mid|oversize|garbage|header-delay MS (0 switches it off),
// or stream-fault camera N (the faults hit camera N only; 0: every camera)
bool apply_stream_fault_line(std::istringstream& in, Scenario& s, std::string& error) {
    const char* kWords = "drop, stall, stall-mid, oversize, garbage, header-delay or camera";
    std::string what, ms_text;
    long ms = 0;
    if (!(in >> what >> ms_text) || !parse_int(ms_text, 0, 86400000, ms))
        return error = std::string("stream-fault needs ") + kWords + " and a number 0..86400000",
               false;
    StreamFaults& f = s.stream.faults;
    int* field = what == "drop"           ? &f.drop_after_ms
                 : what == "stall"        ? &f.stall_after_ms
                 : what == "stall-mid"    ? &f.stall_mid_frame_after_ms
                 : what == "oversize"     ? &f.oversize_after_ms
                 : what == "garbage"      ? &f.garbage_after_ms
                 : what == "header-delay" ? &f.header_delay_ms
                 : what == "camera"       ? &f.camera
                                          : nullptr;
    if (field == nullptr) return error = "stream-fault '" + what + "' is not " + kWords, false;
    if (field == &f.camera && ms > 16129)
        return error = "stream-fault camera needs 0..16129", false;
    *field = static_cast<int>(ms);
    return true;
}

}  // namespace

int Scenario::camera_count() const {
    const int n = device * switch_count;
    return n > 0 ? n : 0;
}

std::uint32_t Scenario::month_mask(int year, int month) const {
    std::uint32_t mask = 0;
    if (auto it = day_masks.find(year * 100 + month); it != day_masks.end()) mask = it->second;
    for (const auto& r : recordings)
        if (r.year == year && r.month == month) mask |= 1u << (r.day - 1);
    return mask;
}

bool apply_scenario_line(const std::string& raw, Scenario& s, std::string& error) {
    std::istringstream in(raw);
    std::string word;
    if (!(in >> word) || word[0] == '#') return true;
    long v = 0;
    std::string a, b, c;
    if (word == "user") {
        if (!(in >> a)) return error = "user needs a name", false;
        in >> b;  // an empty password is allowed
        s.users[a] = b;
    } else if (word == "device" || word == "switch") {
        if (!(in >> a) || !parse_int(a, -128, 127, v))
            return error = word + " needs -128..127", false;
        (word == "device" ? s.device : s.switch_count) = static_cast<int>(v);
    } else if (word == "camera") {
        if (!(in >> a) || !parse_int(a, 1, 16129, v)) return error = "camera needs a number", false;
        s.camera_names[static_cast<int>(v)] = rest_of_line(in);
    } else if (word == "mask") {
        if (!(in >> a) || !parse_int(a, 0, 0xFFFFFFFFL, v))
            return error = "mask needs a number", false;
        s.send_mask = true;
        s.camera_mask = static_cast<std::uint32_t>(v);
    } else if (word == "tag") {
        if (!(in >> a) || !parse_int(a, 0, 255, v)) return error = "tag needs 0..255", false;
        s.tag_byte = static_cast<int>(v);
    } else if (word == "preset") {
        long slot = 0;
        if (!(in >> a >> b) || !parse_int(a, 1, kSimMaxCameras, v) || !parse_int(b, 0, 15, slot))
            return error = "preset needs camera 1..36 and slot 0..15", false;
        auto& list = s.presets[static_cast<int>(v)];
        if (list.size() < 16) list.resize(16);
        list[static_cast<std::size_t>(slot)] = rest_of_line(in);
    } else if (word == "days") {
        long f[3] = {};
        if (!(in >> a >> b) || !parse_date_fields(a, 2, f) || !parse_int(b, 0, 0xFFFFFFFFL, v))
            return error = "days needs YYYY-MM MASK (year 1..9999)", false;
        s.day_masks[static_cast<int>(f[0] * 100 + f[1])] = static_cast<std::uint32_t>(v);
    } else if (word == "recording") {
        SimRecording r;
        if (!(in >> a >> b >> c) || !parse_int(a, 1, 65535, v) ||
            !parse_date(b, r.year, r.month, r.day))
            return error = "recording needs CAMERA YYYY-MM-DD [DRIVE] HH:MM:SS LENGTH KIND", false;
        r.camera = static_cast<int>(v);
        if (c.size() == 1 && c[0] >= 'C' && c[0] <= 'Z') {
            r.drive = c[0];
            if (!(in >> c)) return error = "recording needs a start time", false;
        }
        long len = 0, kind = 0;
        std::string len_text, kind_text;
        in >> len_text >> kind_text;
        if (std::sscanf(c.c_str(), "%d:%d:%d", &r.hour, &r.minute, &r.second) != 3 || r.hour < 0 ||
            r.hour > 23 || r.minute < 0 || r.minute > 59 || r.second < 0 || r.second > 59 ||
            !parse_int(len_text, 0, 65535, len) || !parse_int(kind_text, 0, 255, kind))
            return error = "recording needs HH:MM:SS LENGTH KIND", false;
        r.length_s = static_cast<int>(len);
        r.kind = static_cast<int>(kind);
        s.recordings.push_back(r);
    } else if (word == "split") {
        if (!(in >> a) || !parse_int(a, 0, 65535, v))
            return error = "split needs a byte count", false;
        s.split_bytes = static_cast<int>(v);
    } else if (word == "join") {
        s.join_replies = true;
    } else if (word == "drop-after-ms") {
        if (!(in >> a) || !parse_int(a, 0, 86400000, v))
            return error = "drop-after-ms needs ms", false;
        s.drop_after_ms = static_cast<int>(v);
    } else if (word == "drop-clients") {
        if (!(in >> a) || !parse_int(a, 0, 1000000, v))
            return error = "drop-clients needs a count", false;
        s.drop_clients = static_cast<int>(v);
    } else if (word == "deaf-after-login") {
        s.deaf_after_login = true;
    } else if (word == "stream") {
        return apply_stream_line(in, s, error);
    } else if (word == "stream-alternate") {
        return apply_stream_line(in, s, error, true);
    } else if (word == "reply-excess") {
        if (!(in >> a) || !parse_int(a, 0, 4096, v))
            return error = "reply-excess needs a byte count 0..4096", false;
        s.reply_excess_bytes = static_cast<int>(v);
    } else if (word == "login-reset") {
        if (!(in >> a) || !parse_int(a, 0, 1000000, v))
            return error = "login-reset needs a count", false;
        s.login_resets = static_cast<int>(v);
    } else if (word == "stream-fault") {
        return apply_stream_fault_line(in, s, error);
    } else {
        return error = "unknown word '" + word + "'", false;
    }
    return true;
}

bool load_scenario_text(const std::string& text, Scenario& out, std::string& error) {
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!apply_scenario_line(line, out, error)) {
            error = "line " + std::to_string(number) + ": " + error;
            return false;
        }
    }
    return true;
}

bool load_scenario_file(const std::string& path, Scenario& out, std::string& error) {
    std::ifstream f(path);
    if (!f) return error = "cannot read " + path, false;
    std::stringstream all;
    all << f.rdbuf();
    return load_scenario_text(all.str(), out, error);
}

}  // namespace dvrsim
