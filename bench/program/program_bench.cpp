// The real program's cost: orvelcam on a virtual X display (Xvfb) plays N CIF cameras of the
// DVR simulator, which runs in a process of its own. The figures come from outside: the
// program's CPU time, threads and resident memory from /proc, its frame counts and latency
// from the statistics file it writes every second (ORVEL_STATS_FILE). Beside them, in the
// same run, libavcodec's bare single-thread decode of the very pictures the simulator sends,
// measured in this process before and after the program runs.
//
//   bench_program [--panes 36] [--seconds 30] [--warmup 10] [--gl] [--keep]
#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bare_decode.h"

namespace {

using namespace orvel::bench;

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;


// --- child processes ---

pid_t spawn(const std::vector<std::string>& args, const std::vector<std::string>& env,
            const std::string& output) {
    std::fflush(nullptr);  // the child must not repeat what this process has buffered
    const pid_t pid = fork();
    if (pid != 0) return pid;
    for (const std::string& e : env) putenv(strdup(e.c_str()));
    if (!output.empty()) {
        if (std::freopen(output.c_str(), "w", stdout) == nullptr) _exit(127);
        if (std::freopen(output.c_str(), "a", stderr) == nullptr) _exit(127);
    }
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
}

void stop(pid_t pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    for (int i = 0; i < 50; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) return;
        std::this_thread::sleep_for(100ms);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

std::string read_file(const std::string& path) {
    std::ifstream f(path);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

template <class Pred>
bool wait_for(Pred pred, std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
        if (pred()) return true;
        std::this_thread::sleep_for(50ms);
    }
    return pred();
}

// --- /proc figures of the program ---

double cpu_seconds(pid_t pid) {
    const std::string stat = read_file("/proc/" + std::to_string(pid) + "/stat");
    const auto close = stat.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream in(stat.substr(close + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && in >> field; ++i) {
        if (i == 14) utime = std::stoull(field);
        if (i == 15) stime = std::stoull(field);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

long resident_kib(pid_t pid) {
    std::istringstream in(read_file("/proc/" + std::to_string(pid) + "/status"));
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return 0;
}

// Threads by name: the program's own (named "orvel...", or the process name they inherit)
// and everything else (Qt's, Mesa's, the GLib loop's).
std::map<std::string, int> thread_names(pid_t pid) {
    std::map<std::string, int> names;
    const std::string dir = "/proc/" + std::to_string(pid) + "/task";
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            if (e->d_name[0] == '.') continue;
            std::string name = read_file(dir + "/" + e->d_name + "/comm");
            if (!name.empty() && name.back() == '\n') name.pop_back();
            ++names[name];
        }
        closedir(d);
    }
    return names;
}

bool own_thread(const std::string& name) { return name.rfind("orvel", 0) == 0; }

// --- the program's statistics file ---

struct Stats {
    long long time_ms = 0;
    int panes = 0;
    unsigned long long frames = 0, drawn = 0, presented = 0, replaced = 0;
    int bucket_us = 500;
    std::vector<unsigned long long> latency;
};

bool read_stats(const std::string& path, Stats& s) {
    std::istringstream in(read_file(path));
    std::string key;
    Stats out;
    while (in >> key) {
        if (key == "time_ms")
            in >> out.time_ms;
        else if (key == "panes")
            in >> out.panes;
        else if (key == "frames")
            in >> out.frames;
        else if (key == "drawn")
            in >> out.drawn;
        else if (key == "presented")
            in >> out.presented;
        else if (key == "replaced")
            in >> out.replaced;
        else if (key == "latency_bucket_us")
            in >> out.bucket_us;
        else if (key == "latency") {
            unsigned long long c;
            while (in >> c) out.latency.push_back(c);
        }
    }
    if (out.time_ms == 0) return false;
    s = out;
    return true;
}

double quantile_ms(const std::vector<unsigned long long>& counts, int bucket_us, double q) {
    unsigned long long total = 0, seen = 0;
    for (auto c : counts) total += c;
    if (total == 0) return 0;
    for (size_t i = 0; i < counts.size(); ++i) {
        seen += counts[i];
        if (static_cast<double>(seen) >= q * static_cast<double>(total))
            return static_cast<double>((i + 1) * static_cast<size_t>(bucket_us)) / 1000.0;
    }
    return static_cast<double>(counts.size() * static_cast<size_t>(bucket_us)) / 1000.0;
}

int free_display() {
    for (int n = 140; n < 200; ++n) {
        struct stat st {};
        const std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
        const std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
        if (stat(lock.c_str(), &st) != 0 && stat(socket.c_str(), &st) != 0) return n;
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    int panes = 36, seconds = 30, warmup = 10;
    bool gl = false, keep = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--panes" && i + 1 < argc)
            panes = std::clamp(std::atoi(argv[++i]), 1, 36);
        else if (a == "--seconds" && i + 1 < argc)
            seconds = std::max(5, std::atoi(argv[++i]));
        else if (a == "--warmup" && i + 1 < argc)
            warmup = std::max(3, std::atoi(argv[++i]));
        else if (a == "--gl")
            gl = true;
        else if (a == "--keep")
            keep = true;
        else {
            std::fprintf(
                stderr,
                "usage: bench_program [--panes N] [--seconds S] [--warmup S] [--gl] [--keep]\n");
            return 2;
        }
    }
    char dir_template[] = "/tmp/orvel-bench-XXXXXX";
    const std::string dir = mkdtemp(dir_template);
    for (const char* sub : {"/config", "/state", "/run"}) mkdir((dir + sub).c_str(), 0700);

    std::printf("encoding the %d cameras' loops for the baseline...\n", panes);
    const auto loops = orvel::bench::camera_loops(panes);
    const double bare_before = bare_decode_seconds_per_frame(loops);

    const int display = free_display();
    if (display < 0) {
        std::fprintf(stderr, "no free X display number\n");
        return 1;
    }
    const std::string display_name = ":" + std::to_string(display);
    const pid_t xvfb = spawn(
        {"Xvfb", display_name, "-screen", "0", "1280x1024x24", "-nolisten", "tcp", "-noreset"}, {},
        dir + "/xvfb.log");
    const std::string x_socket = "/tmp/.X11-unix/X" + std::to_string(display);
    if (!wait_for([&] { return access(x_socket.c_str(), F_OK) == 0; }, 10s)) {
        std::fprintf(stderr, "Xvfb did not start (%s)\n", (dir + "/xvfb.log").c_str());
        stop(xvfb);
        return 1;
    }

    const pid_t sim =
        spawn({ORVEL_DVRSIM, "--port", "0", "--log", dir + "/dvrsim.log", "--set",
               "user admin 1234", "--set", "device 1", "--set", "switch " + std::to_string(panes),
               "--set", "stream * mpeg4 352x288 noaudio"},
              {}, dir + "/dvrsim.out");
    int port = 0;
    wait_for(
        [&] {
            const std::string out = read_file(dir + "/dvrsim.out");
            const auto at = out.find("ports ");
            if (at != std::string::npos) port = std::atoi(out.c_str() + at + 6);
            return port > 0;
        },
        10s);
    if (port <= 0) {
        std::fprintf(stderr, "dvrsim did not start\n");
        stop(sim);
        stop(xvfb);
        return 1;
    }
    {
        std::ofstream ini(dir + "/config/orvelcam.ini");
        ini << "[LOCATION]\nnum=1\npos0=Bench\nip0=127.0.0.1\nuser0=admin\nps0=1234\nport10="
            << port << "\nport20=" << port + 1 << "\nport30=" << port + 2
            << "\n[DEFAULT]\nip=127.0.0.1\nport=" << port
            << "\n[PLAY]\nAUTOPLAY=TRUE\nDISPLAY=" << (gl ? "DIRECTDRAW" : "GDI") << "\n";
    }
    {
        std::ofstream asound(dir + "/asound-null.conf");
        asound << "pcm.!default { type null }\n";
    }
    const std::string stats_path = dir + "/stats";
    const pid_t program =
        spawn({ORVEL_ORVELCAM, "1280"},
              {"DISPLAY=" + display_name, "XDG_CONFIG_HOME=" + dir + "/config",
               "XDG_STATE_HOME=" + dir + "/state", "XDG_RUNTIME_DIR=" + dir + "/run",
               "QT_QPA_PLATFORM=xcb", "ORVEL_STATS_FILE=" + stats_path,
               "ALSA_CONFIG_PATH=/usr/share/alsa/alsa.conf:" + dir + "/asound-null.conf"},
              dir + "/orvelcam.log");

    Stats first, last;
    const bool started = wait_for(
        [&] { return read_stats(stats_path, first) && first.panes == panes && first.drawn > 0; },
        std::chrono::seconds(30));
    if (!started)
        std::fprintf(stderr, "the program did not open %d panes (see %s)\n", panes, dir.c_str());
    std::this_thread::sleep_for(std::chrono::seconds(warmup));
    // The window starts on a fresh statistics line.
    read_stats(stats_path, first);
    wait_for(
        [&] {
            Stats s;
            return read_stats(stats_path, s) && s.time_ms > first.time_ms;
        },
        3s);
    read_stats(stats_path, first);
    const double cpu0 = cpu_seconds(program);
    std::vector<long> rss;
    const auto threads = thread_names(program);
    const auto start = Clock::now();
    while (Clock::now() - start < std::chrono::seconds(seconds)) {
        std::this_thread::sleep_for(1s);
        rss.push_back(resident_kib(program));
    }
    wait_for(
        [&] {
            Stats s;
            return read_stats(stats_path, s) && s.time_ms > first.time_ms + 1000L * seconds;
        },
        3s);
    read_stats(stats_path, last);
    const double cpu = cpu_seconds(program) - cpu0;
    stop(program);
    stop(sim);
    stop(xvfb);
    const double bare_after = bare_decode_seconds_per_frame(loops);
    const double bare = (bare_before + bare_after) / 2;

    const double window_s = static_cast<double>(last.time_ms - first.time_ms) / 1000.0;
    const unsigned long long frames = last.frames - first.frames;
    const unsigned long long presented = last.presented - first.presented;
    const unsigned long long replaced = last.replaced - first.replaced;
    std::vector<unsigned long long> latency(last.latency.size());
    for (size_t i = 0; i < latency.size(); ++i)
        latency[i] = last.latency[i] - (i < first.latency.size() ? first.latency[i] : 0);
    int own = 0, others = 0;
    std::string other_names;
    for (const auto& [name, n] : threads) {
        (own_thread(name) ? own : others) += n;
        if (!own_thread(name)) other_names += " " + name + (n > 1 ? "x" + std::to_string(n) : "");
    }
    const double per_frame = presented > 0 ? cpu / static_cast<double>(presented) : 0;
    long peak = 0;
    for (long r : rss) peak = std::max(peak, r);

    std::printf("orvelcam, %d CIF panes, %s path, %.1f s measured after %d s\n", panes,
                gl ? "OpenGL" : "software", window_s, warmup);
    std::printf(
        "frames received %llu (%.1f/s per pane), presented %llu (%.2f%%), replaced %llu\n", frames,
        window_s > 0 ? static_cast<double>(frames) / window_s / panes : 0.0, presented,
        frames > 0 ? 100.0 * static_cast<double>(presented) / static_cast<double>(frames) : 0.0,
        replaced);
    std::printf("program CPU %.2f s: %.1f us per presented frame\n", cpu, per_frame * 1e6);
    std::printf(
        "libavcodec bare single-thread decode of the same pictures: %.1f us per frame "
        "(before %.1f, after %.1f)\n",
        bare * 1e6, bare_before * 1e6, bare_after * 1e6);
    std::printf("ratio: %.2f x bare decode\n", bare > 0 ? per_frame / bare : 0.0);
    std::printf("latency last byte received -> presented: p50 %.1f ms, p99 %.1f ms\n",
                quantile_ms(latency, last.bucket_us, 0.50),
                quantile_ms(latency, last.bucket_us, 0.99));
    std::printf("threads: %d of the program's own, %d others (%s )\n", own, others,
                other_names.c_str());
    std::printf(
        "resident memory: first %ld KiB, peak %ld KiB, last %ld KiB (%.2f MiB per pane incl. "
        "base)\n",
        rss.empty() ? 0 : rss.front(), peak, rss.empty() ? 0 : rss.back(), peak / 1024.0 / panes);
    if (!keep) {
        const std::string rm = "rm -rf '" + dir + "'";
        if (std::system(rm.c_str()) != 0) std::fprintf(stderr, "left %s behind\n", dir.c_str());
    } else {
        std::printf("files kept in %s\n", dir.c_str());
    }
    return started ? 0 : 1;
}
