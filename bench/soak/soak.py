#!/usr/bin/env python3
"""Soak run: the real program plays 16 cameras of the DVR simulator on a virtual display while
a second process records 4 of them through the live pipeline; the simulator drops every stream
every 30 s and every command connection every 5 minutes. Threads, descriptors and resident
memory of both processes are sampled from /proc every 10 s; at the end every pane must still
play and every recorded file must pass `dvrtool verify`.

    bench/soak/soak.py [--build build] [--minutes 60] [--panes 16] [--record 4]
                       [--stream-drop-s 30] [--command-drop-s 300] [--sample-s 10]
                       [--warmup-s 60] [--keep]

Prints one line per sample and a summary: the slope of each figure per hour (least squares
over the samples after the warm-up) and its range. Exit 0 when every end check passed.
"""
import argparse
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time


def read(path):
    try:
        with open(path) as f:
            return f.read()
    except OSError:
        return ""


def figures(pid):
    """(threads, descriptors, resident KiB) of a process, or None when it is gone."""
    try:
        threads = len(os.listdir(f"/proc/{pid}/task"))
        fds = len(os.listdir(f"/proc/{pid}/fd"))
    except OSError:
        return None
    rss = 0
    for line in read(f"/proc/{pid}/status").splitlines():
        if line.startswith("VmRSS:"):
            rss = int(line.split()[1])
    return threads, fds, rss


def slope_per_hour(points):
    """Least-squares slope of (seconds, value) points, in value per hour."""
    n = len(points)
    if n < 2:
        return 0.0
    mx = sum(p[0] for p in points) / n
    my = sum(p[1] for p in points) / n
    sxx = sum((p[0] - mx) ** 2 for p in points)
    if sxx == 0:
        return 0.0
    sxy = sum((p[0] - mx) * (p[1] - my) for p in points)
    return sxy / sxx * 3600.0


def free_display():
    for n in range(150, 220):
        if not os.path.exists(f"/tmp/.X{n}-lock") and not os.path.exists(f"/tmp/.X11-unix/X{n}"):
            return n
    return None


def wait_for(pred, seconds):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        value = pred()
        if value:
            return value
        time.sleep(0.1)
    return pred()


def program_pane_drawn(stats_path):
    for line in read(stats_path).splitlines():
        if line.startswith("pane_drawn"):
            return [int(v) for v in line.split()[1:]]
    return []


def recorder_panes(stats_path):
    """{pane: (frames, drawn, files)} from the recorder's statistics file."""
    out = {}
    for line in read(stats_path).splitlines():
        w = line.split()
        if len(w) == 8 and w[0] == "pane":
            out[int(w[1])] = (int(w[3]), int(w[5]), int(w[7]))
    return out


def stop(proc, seconds=15):
    if proc is None or proc.poll() is not None:
        return proc.returncode if proc else None
    proc.send_signal(signal.SIGTERM)
    try:
        return proc.wait(seconds)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()
        return None


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--build", default="build")
    ap.add_argument("--minutes", type=float, default=60)
    ap.add_argument("--panes", type=int, default=16)
    ap.add_argument("--record", type=int, default=4)
    ap.add_argument("--stream-drop-s", type=int, default=30)
    ap.add_argument("--command-drop-s", type=int, default=300)
    ap.add_argument("--sample-s", type=float, default=10)
    ap.add_argument("--warmup-s", type=float, default=60)
    ap.add_argument("--keep", action="store_true", help="keep the run's folder")
    a = ap.parse_args()

    build = os.path.abspath(a.build)
    exe = {
        "orvelcam": f"{build}/src/gui/orvelcam",
        "dvrsim": f"{build}/tools/dvrsim/dvrsim",
        "dvrtool": f"{build}/tools/dvrtool/dvrtool",
        "recorder": f"{build}/tests/live/live_record_child",
    }
    for name, path in exe.items():
        if not os.access(path, os.X_OK):
            sys.exit(f"soak: {path} is missing (cmake --build {a.build} --target orvelcam "
                     "dvrsim dvrtool live_record_child)")
    work = tempfile.mkdtemp(prefix="orvel-soak-")
    for sub in ("config", "state", "run", "rec"):
        os.makedirs(f"{work}/{sub}")
    procs = {}
    ok = True
    try:
        display = free_display()
        if display is None:
            sys.exit("soak: no free X display number")
        procs["xvfb"] = subprocess.Popen(
            ["Xvfb", f":{display}", "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
             "-noreset"], stdout=subprocess.DEVNULL, stderr=open(f"{work}/xvfb.log", "w"))
        if not wait_for(lambda: os.path.exists(f"/tmp/.X11-unix/X{display}"), 10):
            sys.exit("soak: Xvfb did not start")

        sim_out = f"{work}/dvrsim.out"
        procs["dvrsim"] = subprocess.Popen(
            [exe["dvrsim"], "--port", "0", "--log", f"{work}/dvrsim.log",
             "--set", "user admin 1234", "--set", "device 1", "--set", f"switch {a.panes}",
             "--set", "stream * mpeg4 352x288",
             "--set", f"stream-fault drop {a.stream_drop_s * 1000}",
             "--set", f"drop-after-ms {a.command_drop_s * 1000}"],
            stdout=open(sim_out, "w"), stderr=subprocess.STDOUT)
        port_text = wait_for(lambda: "ports " in read(sim_out) and read(sim_out), 20)
        if not port_text:
            sys.exit("soak: dvrsim did not start")
        port = int(port_text.split("ports ")[1].split()[0])

        with open(f"{work}/config/orvelcam.ini", "w") as f:
            f.write(f"[LOCATION]\nnum=1\npos0=Soak\nip0=127.0.0.1\nuser0=admin\nps0=1234\n"
                    f"port10={port}\nport20={port + 1}\nport30={port + 2}\n"
                    f"[DEFAULT]\nip=127.0.0.1\nport={port}\n[PLAY]\nAUTOPLAY=TRUE\nDISPLAY=GDI\n")
        with open(f"{work}/asound-null.conf", "w") as f:
            f.write("pcm.!default { type null }\n")
        env = dict(os.environ, DISPLAY=f":{display}", XDG_CONFIG_HOME=f"{work}/config",
                   XDG_STATE_HOME=f"{work}/state", XDG_RUNTIME_DIR=f"{work}/run",
                   QT_QPA_PLATFORM="xcb", ORVEL_STATS_FILE=f"{work}/program.stats",
                   ALSA_CONFIG_PATH=f"/usr/share/alsa/alsa.conf:{work}/asound-null.conf")
        procs["program"] = subprocess.Popen([exe["orvelcam"], "1280"], env=env,
                                            stdout=open(f"{work}/program.out", "w"),
                                            stderr=subprocess.STDOUT)
        procs["recorder"] = subprocess.Popen(
            [exe["recorder"], str(port + 1), str(a.record), f"{work}/rec",
             f"{work}/recorder.stats"], stdout=open(f"{work}/recorder.out", "w"),
            stderr=subprocess.STDOUT)
        if not wait_for(lambda: len(program_pane_drawn(f"{work}/program.stats")) == a.panes, 60):
            print(f"soak: the program did not open {a.panes} panes", file=sys.stderr)
            ok = False

        print(f"soak: {a.minutes:g} min, {a.panes} panes, {a.record} recording, streams dropped "
              f"every {a.stream_drop_s} s, command connections every {a.command_drop_s} s; "
              f"folder {work}")
        print("   t_s  prog_thr prog_fd prog_rss_kib  rec_thr rec_fd rec_rss_kib")
        samples = {"program": [], "recorder": []}
        start = time.monotonic()
        end = start + a.minutes * 60
        next_sample = start
        while ok and time.monotonic() < end:
            time.sleep(max(0.0, next_sample - time.monotonic()))
            next_sample += a.sample_s
            t = time.monotonic() - start
            row = [f"{t:6.0f}"]
            for name in ("program", "recorder"):
                f = figures(procs[name].pid) if procs[name].poll() is None else None
                if f is None:
                    print(f"soak: {name} ended early (exit {procs[name].poll()})",
                          file=sys.stderr)
                    ok = False
                    break
                samples[name].append((t, *f))
                row += [f"{f[0]:8d}", f"{f[1]:6d}", f"{f[2]:12d}"]
            if ok:
                print(" ".join(row), flush=True)

        # Every pane still plays: each one's count of drawn pictures grows within 10 s.
        if ok:
            prog_before = program_pane_drawn(f"{work}/program.stats")
            rec_before = recorder_panes(f"{work}/recorder.stats")
            time.sleep(10)
            prog_after = program_pane_drawn(f"{work}/program.stats")
            rec_after = recorder_panes(f"{work}/recorder.stats")
            still = [b > a_ for a_, b in zip(prog_before, prog_after)]
            print(f"program panes playing at the end: {sum(still)} of {a.panes} "
                  f"(pictures drawn per pane: {prog_after})")
            ok = ok and len(still) == a.panes and all(still)
            rec_playing = [rec_after.get(p, (0, 0, 0))[1] > rec_before.get(p, (0, 0, 0))[1]
                           for p in range(a.record)]
            print(f"recorder panes playing at the end: {sum(rec_playing)} of {a.record}; "
                  f"files begun per pane: {[rec_after.get(p, (0, 0, 0))[2] for p in range(a.record)]}")
            ok = ok and all(rec_playing)

        # The recorder finishes its files on SIGTERM; every one must then be sound.
        rc = stop(procs.pop("recorder"), 30)
        if rc != 0:
            print(f"soak: the recorder exited with {rc}", file=sys.stderr)
            ok = False
        files = sorted(os.path.join(d, n) for d, _, ns in os.walk(f"{work}/rec")
                       for n in ns if n.endswith(".dvr"))
        bad = []
        for path in files:
            r = subprocess.run([exe["dvrtool"], "verify", path], capture_output=True, text=True)
            if r.returncode != 0:
                bad.append((path, r.returncode, r.stdout.strip()))
        print(f"recorded files: {len(files)}, passing verify: {len(files) - len(bad)}")
        for path, code, text in bad[:10]:
            print(f"  verify {code}: {text}")
        ok = ok and len(files) > 0 and not bad

        print("slopes per hour after the warm-up (range over the whole run):")
        for name, rows in samples.items():
            late = [r for r in rows if r[0] >= a.warmup_s]
            for i, what in ((1, "threads"), (2, "descriptors"), (3, "resident KiB")):
                values = [r[i] for r in rows]
                if not values:
                    continue
                s = slope_per_hour([(r[0], r[i]) for r in late])
                print(f"  {name:8s} {what:13s} {s:+10.1f}/h   {min(values)}..{max(values)}")
        print(f"dvrsim: {read(f'{work}/dvrsim.log').count('dropped (fault)')} streams and "
              f"{read(f'{work}/dvrsim.log').count('dropped (fault switch)')} command connections "
              f"dropped")
    finally:
        for name in ("recorder", "program", "dvrsim", "xvfb"):
            if name in procs:
                stop(procs[name])
        if not a.keep and ok:
            shutil.rmtree(work, ignore_errors=True)
    print("soak: " + ("passed" if ok else f"FAILED (folder {work} kept)"))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
