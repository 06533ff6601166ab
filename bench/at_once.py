#!/usr/bin/env python3
"""Windows measured at the same time, each on its own pseudo-terminal fed the same lines at
115200 baud's byte rate, so that their ratio holds on a noisy machine: run one after another,
the same build's ratio to a peer moved by a third between runs; at the same time, by a few
hundredths.

usage: xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" python3 bench/at_once.py
         [--seconds S] [--rounds N] [--varied] [--peers DIR] NAME=PROGRAM ...

PROGRAM is a Tamvi executable, bench_floor (by its file name) or `cutecom`. Each row gives every
program's CPU seconds over the feed and 2 s after it (summed from /proc/PID/task/*/schedstat, in
nanoseconds: a short feed is measured as well as a long one), then each program's ratio to the
first. Programs are started as the peers' scripts in DIR start them (default: ../shared/peers
beside the repository), and fed those scripts' line: the same 72 bytes again and again, which
leaves Tamvi's view unchanged; --varied puts a running number at the front of each line, so that
every row of the view is new at every tick, as on a real line.
"""
import argparse, glob, os, select, shutil, signal, subprocess, sys, tempfile, time, tty

RATE = 11520  # bytes a second at 115200 baud


def cpu_ns(pid):
    total = 0
    for task in glob.glob(f"/proc/{pid}/task/*/schedstat"):
        with open(task) as f:
            total += int(f.read().split()[0])
    return total


class Floor:
    def __init__(self, exe):
        self.exe = exe

    def start(self, dev, root):
        env = dict(os.environ, QT_QPA_PLATFORM="xcb")
        return subprocess.Popen([self.exe, dev], env=env, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)


# Lines in a program's log, found by the part every line shares: the peers' scripts count whole
# lines, which a running number would hide.
def logged_lines(prog, common):
    if isinstance(prog, Floor):
        return None
    files = glob.glob(os.path.join(prog.logdir, "*.log")) if hasattr(prog, "logdir") else [prog.log]
    count = 0
    for name in filter(os.path.exists, files):
        with open(name, "rb") as f:
            count += f.read().count(common)
    return count


def program(spec, peers, peers_gui):
    name, exe = spec.split("=", 1)
    if exe == "cutecom":
        return name, peers_gui.CuteCom()
    if os.path.basename(exe) == "bench_floor":
        return name, Floor(os.path.abspath(exe))
    return name, peers.Tamvi(os.path.abspath(exe))


def one_round(programs, lines, common):
    started = []
    for name, prog in programs:
        master, slave = os.openpty()
        tty.setraw(slave)
        root = tempfile.mkdtemp(prefix="at-once-")
        started.append((name, prog, prog.start(os.ttyname(slave), root), master, slave, root))
    time.sleep(2.5)
    for _, _, _, _, slave, _ in started:
        os.close(slave)
    before = [cpu_ns(child.pid) for _, _, child, _, _, _ in started]
    sent, t0 = 0, time.monotonic()
    for line in lines:
        for _, _, _, master, _, _ in started:
            os.write(master, line)
            while select.select([master], [], [], 0)[0]:
                try:
                    os.read(master, 65536)
                except OSError:
                    break
        sent += len(line)
        ahead = sent / RATE - (time.monotonic() - t0)
        if ahead > 0:
            time.sleep(ahead)
    time.sleep(2)
    results = []
    for (name, prog, child, master, _, root), cpu0 in zip(started, before):
        logged = logged_lines(prog, common)
        missing = "-" if logged is None else len(lines) - logged
        results.append((name, (cpu_ns(child.pid) - cpu0) / 1e9, missing))
        child.send_signal(signal.SIGTERM)
    for _, _, child, master, _, root in started:
        try:
            child.wait(5)
        except subprocess.TimeoutExpired:
            child.kill()
            child.wait()
        os.close(master)
        shutil.rmtree(root, ignore_errors=True)
    return results


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser()
    ap.add_argument("programs", nargs="+", metavar="NAME=PROGRAM")
    ap.add_argument("--seconds", type=float, default=20)
    ap.add_argument("--rounds", type=int, default=3)
    ap.add_argument("--varied", action="store_true")
    ap.add_argument("--peers", default=os.path.join(here, "..", "..", "shared", "peers"))
    a = ap.parse_args()
    sys.path.insert(0, os.path.abspath(a.peers))
    import side_by_side as peers  # noqa: E402
    import side_by_side_gui as peers_gui  # noqa: E402
    os.environ["TAMVI_QPA"] = "xcb"
    programs = [program(spec, peers, peers_gui) for spec in a.programs]
    count = int(RATE * a.seconds) // len(peers.LINE)
    if a.varied:
        lines = [b"%08d" % i + peers.LINE[8:] for i in range(count)]
    else:
        lines = [peers.LINE] * count
    for r in range(a.rounds):
        results = one_round(programs, lines, peers.LINE[8:70])
        first = results[0][1]
        print(f"round {r}: " + " | ".join(
            f"{name} {cpu:.3f} s ({cpu / first:.2f}) missing {missing}"
            for name, cpu, missing in results), flush=True)


if __name__ == "__main__":
    main()
