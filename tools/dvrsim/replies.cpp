#include "replies.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace dvrsim {
namespace {

constexpr std::size_t kHeader = 6;

// Reply encoding is written out here on its own, byte by byte, so that a layout
// mistake shared with the client's parser cannot hide.
void put8(std::vector<std::uint8_t>& out, unsigned v) {
    out.push_back(static_cast<std::uint8_t>(v));
}
void put16(std::vector<std::uint8_t>& out, unsigned v) {
    put8(out, v & 0xFF);
    put8(out, (v >> 8) & 0xFF);
}
void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}
void put_text(std::vector<std::uint8_t>& out, const std::string& text, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i)
        put8(out, i < text.size() ? static_cast<std::uint8_t>(text[i]) : 0);
}
// Starts a reply; returns the offset of its length field for finish_reply.
std::size_t begin_reply(std::vector<std::uint8_t>& out, unsigned type, unsigned code,
                        unsigned param) {
    put8(out, type);
    put8(out, code);
    put16(out, param);
    const std::size_t at = out.size();
    put16(out, 0);
    return at;
}
void finish_reply(std::vector<std::uint8_t>& out, std::size_t length_at, std::size_t start) {
    const std::size_t length = out.size() - start;
    out[length_at] = static_cast<std::uint8_t>(length & 0xFF);
    out[length_at + 1] = static_cast<std::uint8_t>((length >> 8) & 0xFF);
}

unsigned u16_at(const std::uint8_t* p) { return p[0] | (p[1] << 8); }

std::string bounded_text(const std::uint8_t* p, std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n && p[i]; ++i) s.push_back(static_cast<char>(p[i]));
    return s;
}

// Printable form of untrusted text for the log.
std::string printable(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c >= 0x20 && c < 0x7F) {
            out.push_back(static_cast<char>(c));
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

bool parse_query_date(const std::string& text, int& y, int& m, int& d) {
    if (text.size() != 8 || text[2] != '-' || text[5] != '-') return false;
    for (int i : {0, 1, 3, 4, 6, 7})
        if (text[static_cast<std::size_t>(i)] < '0' || text[static_cast<std::size_t>(i)] > '9')
            return false;
    y = 2000 + std::stoi(text.substr(0, 2));
    m = std::stoi(text.substr(3, 2));
    d = std::stoi(text.substr(6, 2));
    return m >= 1 && m <= 12 && d >= 1 && d <= 31;
}

}  // namespace

std::string answer_request(const Scenario& scenario, const std::uint8_t* msg, std::size_t length,
                           std::vector<std::uint8_t>& out, std::vector<std::size_t>& ends,
                           RequestEffect* effect) {
    const unsigned type = msg[0], code = msg[1], param = u16_at(msg + 2);
    std::string line;
    out.clear();
    ends.clear();
    if (effect != nullptr) *effect = RequestEffect{};
    auto end_reply = [&](std::size_t length_at, std::size_t start) {
        finish_reply(out, length_at, start);
        ends.push_back(out.size());
    };

    if (type == 0 && code == 11 && length >= 22) {
        const std::string user = bounded_text(msg + 6, 8), password = bounded_text(msg + 14, 8);
        bool ok = false;
        for (const auto& [u, p] : scenario.users)
            if (u.substr(0, 8) == user && p.substr(0, 8) == password) ok = true;
        line = ("login user=" + printable(user) + " password=" + printable(password) +
                (ok ? " accepted" : " rejected"));
        std::size_t start = out.size();
        std::size_t at = begin_reply(out, 0, 0, 0);
        put8(out, static_cast<unsigned>(scenario.device) & 0xFF);
        put8(out, static_cast<unsigned>(scenario.switch_count) & 0xFF);
        put8(out, ok ? 1 : 0);
        if (ok) {
            const int n = std::min(scenario.camera_count(), 1800);  // a reply holds < 64 KiB
            for (int i = 1; i <= n; ++i) {
                auto it = scenario.camera_names.find(i);
                put_text(out, it == scenario.camera_names.end() ? std::string() : it->second, 36);
            }
            if (scenario.send_mask) {
                put8(out, 2);
                put32(out, scenario.camera_mask);
            } else if (scenario.tag_byte >= 0) {
                put8(out, static_cast<unsigned>(scenario.tag_byte));
            }
        }
        end_reply(at, start);
        if (ok) {
            for (const auto& [camera, names] : scenario.presets) {
                start = out.size();
                at = begin_reply(out, 1, 0, static_cast<unsigned>(camera - 1));
                for (int slot = 0; slot < 16; ++slot)
                    put_text(out,
                             slot < static_cast<int>(names.size())
                                 ? names[static_cast<std::size_t>(slot)]
                                 : "",
                             28);
                end_reply(at, start);
            }
        }
    } else if (type == 6) {
        line = "check";
    } else if (type == 1) {
        line = ("control code=" + std::to_string(code) + " camera=" + std::to_string(param % 100) +
                " sub=" + std::to_string(param / 100));
    } else if (type == 7 || (type == 5 && code == 11)) {
        const std::string date =
            std::string(reinterpret_cast<const char*>(msg + kHeader), length - kHeader);
        int y = 0, m = 0, d = 0;
        const bool valid = parse_query_date(date, y, m, d);
        if (type == 7) {
            line =
                ("recording-days date=" + printable(date) + (valid ? "" : " (bad date, ignored)"));
            if (valid) {
                const std::size_t start = out.size();
                const std::size_t at = begin_reply(out, 7, 0, 0);
                for (int back = 2; back >= 0; --back) {
                    int mm = m - back, yy = y;
                    if (mm < 1) {
                        mm += 12;
                        --yy;
                    }
                    put32(out, scenario.month_mask(yy, mm));
                }
                end_reply(at, start);
            }
        } else {
            line = ("day-index camera=" + std::to_string(param) + " date=" + printable(date) +
                    (valid ? "" : " (bad date, ignored)"));
            if (valid) {
                std::vector<SimRecording> day;
                for (const auto& r : scenario.recordings)
                    if (r.camera == static_cast<int>(param) && r.year == y && r.month == m &&
                        r.day == d)
                        day.push_back(r);
                const std::size_t start = out.size();
                const std::size_t at = begin_reply(out, 5, 0, param);
                char drive = 0;
                for (const auto& r : day) {
                    if (out.size() - start + 9 > 65535) break;
                    if (r.drive != drive)
                        put8(out,
                             static_cast<unsigned char>(r.drive));  // first entry always lettered
                    drive = r.drive;
                    put8(out, static_cast<unsigned>(r.hour));
                    put8(out, static_cast<unsigned>(r.minute));
                    put8(out, static_cast<unsigned>(r.second));
                    put8(out, static_cast<unsigned>(r.kind));
                    put16(out, static_cast<unsigned>(r.length_s));
                    put16(out, 0);
                }
                end_reply(at, start);
            }
        }
    } else if ((type == 60 || type == 61) && length >= 10) {
        const std::uint32_t id =
            u16_at(msg + 6) | (static_cast<std::uint32_t>(u16_at(msg + 8)) << 16);
        line = (std::string("stream-select ") + (type == 60 ? "main" : "sub") +
                " id=" + std::to_string(id));
        if (effect != nullptr) *effect = RequestEffect{true, type == 60, id};
    } else {
        line = ("unknown type=" + std::to_string(type) + " code=" + std::to_string(code) +
                " param=" + std::to_string(param) + " length=" + std::to_string(length));
    }
    return line;
}

}  // namespace dvrsim
