// dvrsim: a simulated DVR for trying and testing the client without hardware.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "scenario.h"
#include "server.h"

namespace {

std::atomic<bool> g_stop{false};

void on_signal(int) { g_stop = true; }

void usage() {
    std::puts(
        "usage: dvrsim [options]\n"
        "  --bind ADDR          listen address (default 127.0.0.1)\n"
        "  --port N             command port; N+1 serves live streams, N+2 recordings\n"
        "                       (default 9000; 0 picks three free consecutive ports and\n"
        "                       prints them)\n"
        "  --scenario FILE      scenario file (see demo/demo.scenario)\n"
        "  --demo               the demo scenario (installed in share/orvelcam/demo)\n"
        "  --set 'LINE'         one scenario line, e.g. --set 'user admin 1234'\n"
        "  --log FILE           write the request log to FILE (default: standard output)\n"
        "  --duration S         stop after S seconds (default: run until SIGINT/SIGTERM)\n"
        "  --split N            fault: send replies in pieces of N bytes\n"
        "  --join               fault: send all replies to one request in one piece\n"
        "  --drop-after-ms N    fault: drop each client N ms after it connected\n"
        "\n"
        "scenario lines (one per line, # starts a comment):\n"
        "  user NAME [PASSWORD] | device N | switch N   (cameras = device x switch)\n"
        "  camera N [NAME] | mask BITS | tag N | preset CAMERA SLOT NAME | days YYYY-MM MASK\n"
        "  recording CAMERA DATE [DRIVE] HH:MM:SS LENGTH_S KIND   (DATE: YYYY-MM-DD, today[-N])\n"
        "                       a recording on the DVR's disk (drive C to Z, default C): in the\n"
        "                       recording days and day indexes, and streamed on the file port\n"
        "                       (real rate, or 4 x in fast mode) as the camera's stream kind\n"
        "  split N | join | drop-after-ms N   (command port: replies in pieces of N bytes, all\n"
        "                       in one piece, each command client dropped N ms after it came)\n"
        "  reply-excess N       command port: N zero bytes behind every reply, outside its\n"
        "                       length field\n"
        "  login-reset N        command port: the first N logins are answered with a reset\n"
        "  drop-clients N       only the first N command clients are dropped\n"
        "  deaf-after-login     a command client is not read after its login\n"
        "  stream CAMERA|* mpeg4|c4321|dual [WIDTHxHEIGHT] [header WIDTHxHEIGHT] [noaudio]\n"
        "                       live stream of one camera, or (*) the default of all; size up\n"
        "                       to 1920x1088 (width in 16s, height in 8s), default 352x288; a\n"
        "                       dual stream's size is its sub stream's, 320 or 352 wide (main:\n"
        "                       960 or 1280 by 720, sent after a main-stream select on the\n"
        "                       command port); header: the size the header claims (to 65535)\n"
        "  stream-alternate CAMERA mpeg4|c4321|dual [WIDTHxHEIGHT] [header WIDTHxHEIGHT]\n"
        "                       every second connection of CAMERA (2nd, 4th, ...) gets this\n"
        "                       stream instead: a header that changes between reconnects\n"
        "  stream-fault drop|stall|stall-mid|oversize|garbage|header-delay MS\n"
        "                       every stream connection, MS after it started: closes; goes\n"
        "                       silent; goes silent half way through a frame; sends one frame\n"
        "                       too large for a client; sends random bytes and closes;\n"
        "                       header-delay: waits MS before the header (0 = off)\n"
        "  stream-fault camera N  the stream faults hit camera N only (0 = every camera)");
}

// The demo scenario: installed beside the program (bin/../share/orvelcam/demo), or in the
// source tree when run from a build folder.
std::string demo_scenario_path() {
    char exe[4096];
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) {
        exe[n] = '\0';
        const std::filesystem::path installed =
            std::filesystem::path(exe).parent_path().parent_path() / "share" / "orvelcam" / "demo" /
            "demo.scenario";
        std::error_code ec;
        if (std::filesystem::is_regular_file(installed, ec)) return installed.string();
    }
    return DVRSIM_SOURCE_DEMO;
}

}  // namespace

int main(int argc, char** argv) {
    dvrsim::Scenario scenario;
    std::string bind_address = "127.0.0.1", log_path, error;
    int port = 9000;
    double duration_s = 0;
    bool have_users = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](const char* what) -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "dvrsim: %s needs a value\n", what);
                std::exit(2);
            }
            return argv[++i];
        };
        bool ok = true;
        if (arg == "--help" || arg == "-h") {
            usage();
            return 0;
        } else if (arg == "--bind") {
            bind_address = value("--bind");
        } else if (arg == "--port") {
            const std::string v = value("--port");
            char* end = nullptr;
            const long p = std::strtol(v.c_str(), &end, 10);
            ok = *end == '\0' && p >= 0 && p <= 65533;
            port = static_cast<int>(p);
            if (!ok) error = "--port needs 0..65533";
        } else if (arg == "--scenario") {
            ok = dvrsim::load_scenario_file(value("--scenario"), scenario, error);
        } else if (arg == "--demo") {
            ok = dvrsim::load_scenario_file(demo_scenario_path(), scenario, error);
        } else if (arg == "--set") {
            ok = dvrsim::apply_scenario_line(value("--set"), scenario, error);
        } else if (arg == "--log") {
            log_path = value("--log");
        } else if (arg == "--duration") {
            duration_s = std::atof(value("--duration").c_str());
        } else if (arg == "--split") {
            ok = dvrsim::apply_scenario_line("split " + value("--split"), scenario, error);
        } else if (arg == "--join") {
            scenario.join_replies = true;
        } else if (arg == "--drop-after-ms") {
            ok = dvrsim::apply_scenario_line("drop-after-ms " + value("--drop-after-ms"), scenario,
                                             error);
        } else {
            error = "unknown option " + arg;
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "dvrsim: %s\n", error.c_str());
            usage();
            return 2;
        }
    }
    have_users = !scenario.users.empty();
    if (!have_users) scenario.users["admin"] = "";  // a DVR out of the box

    std::FILE* log_stream = stdout;
    if (!log_path.empty()) {
        log_stream = std::fopen(log_path.c_str(), "a");
        if (!log_stream) {
            std::fprintf(stderr, "dvrsim: cannot open log %s: %s\n", log_path.c_str(),
                         std::strerror(errno));
            return 1;
        }
    }

    struct sigaction sa {};
    sa.sa_handler = on_signal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    dvrsim::Server server(scenario);
    server.set_log_stream(log_stream);
    if (!server.start(bind_address, port, error)) {
        std::fprintf(stderr, "dvrsim: %s\n", error.c_str());
        return 1;
    }
    std::printf("dvrsim listening on %s ports %d %d %d\n", bind_address.c_str(),
                server.command_port(), server.command_port() + 1, server.command_port() + 2);
    std::fflush(stdout);

    const auto started = std::chrono::steady_clock::now();
    while (!g_stop) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (duration_s > 0 &&
            std::chrono::steady_clock::now() - started >= std::chrono::duration<double>(duration_s))
            break;
    }
    server.stop();
    std::printf("dvrsim stopped after serving %d clients\n", server.clients_served());
    if (log_stream != stdout) std::fclose(log_stream);
    return 0;
}
