#!/usr/bin/env python3
"""Runs every Tonedeck benchmark beside the tool a Linux user would use instead, in the
same run, and prints each as a ratio to its peer (medians of paired runs, ours and the
peer's taking turns so that both see the same machine).

    bench/run.py [--build DIR] [--runs N] [--quick] [--only NAME,...] [--no-bar]

Benchmarks (names for --only):
  record    real-time record and play on the virtual device: CPU as a share of a core
  alsanull  record and play 600 s through ALSA's null device, against arecord and aplay
  startup   one `tdtool info` of a WAV file against `soxi`
  junk      `tdtool info` of a zero-filled, a junk, a truncated and a multi-GB file,
            against `soxi`
  search    the Sonoscout search of a 100,000-file tree (2,000 sound files) and of /usr,
            against `find` over the same tree
  memo      `tdtool memo list --json` at 10, 1,000 and 100,000 memos: time and peak memory
  bar       the bar under Xvfb: time to dock, idle CPU and wake-ups over 60 s, memory,
            against tint2 (skipped when Xvfb, openbox or tint2 is missing)
"""
import argparse
import os
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))


class Bench:
    def __init__(self, build, runs, quick):
        self.build = os.path.abspath(build)
        self.bin = os.path.join(self.build, "bin")
        self.tdtool = os.path.join(self.bin, "tdtool")
        self.runs = runs
        self.quick = quick
        self.work = tempfile.mkdtemp(prefix="tdbench-")
        self.env = dict(os.environ)
        self.env.update(HOME=self.work, TONEDECK_REGISTRY_DIR=os.path.join(self.work, "reg"),
                        QT_QPA_PLATFORM="offscreen")
        self.rows = []

    def close(self):
        shutil.rmtree(self.work, ignore_errors=True)

    # ----- measuring -----
    def run(self, cmd, env=None, stdout=subprocess.DEVNULL):
        """One run: wall seconds and CPU seconds (user + system)."""
        start = time.monotonic()
        p = subprocess.Popen(cmd, env=env or self.env, stdout=stdout, stderr=subprocess.DEVNULL)
        _, status, usage = os.wait4(p.pid, 0)
        p.returncode = os.waitstatus_to_exitcode(status)
        return {"wall": time.monotonic() - start, "cpu": usage.ru_utime + usage.ru_stime,
                "ok": p.returncode == 0}

    def peak_rss(self, cmd, env=None):
        """Peak RSS in MB of one run, measured by GNU time: a child forked from this
        (large) Python process would count the parent's pages before its exec."""
        out = os.path.join(self.work, "rss")
        subprocess.run(["/usr/bin/time", "-f", "%M", "-o", out] + cmd, env=env or self.env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        with open(out) as f:
            return int(f.read().split()[-1]) / 1024.0

    def paired(self, ours, peer, runs=None, env=None, peer_env=None, rss=False):
        """Medians over paired runs of ours and the peer (None: ours alone), after one
        unmeasured run of each so that both find their files in the page cache."""
        self.run(ours, env)
        if peer:
            self.run(peer, peer_env or env)
        got = {"ours": [], "peer": []}
        for _ in range(runs or self.runs):
            got["ours"].append(self.run(ours, env))
            if peer:
                got["peer"].append(self.run(peer, peer_env or env))
        med = {}
        for side, results in got.items():
            if results:
                med[side] = {k: statistics.median(r[k] for r in results)
                             for k in ("wall", "cpu")}
                med[side]["ok"] = all(r["ok"] for r in results)
        if rss and os.path.exists("/usr/bin/time"):
            med["ours"]["rss"] = self.peak_rss(ours, env)
            if peer:
                med["peer"]["rss"] = self.peak_rss(peer, peer_env or env)
        return med

    def row(self, name, metric, ours, peer=None, target=None, unit="s"):
        ratio = ours / peer if peer else None
        self.rows.append((name, metric, ours, peer, ratio, target, unit))
        fmt = "{:.4f}" if unit == "s" else "{:.2f}"
        peer_text = fmt.format(peer) + " " + unit if peer is not None else "-"
        ratio_text = "{:.2f}x".format(ratio) if ratio is not None else "-"
        print("  {:<44} {:<6} ours {:>12}  peer {:>12}  ratio {:>7}  target {}".format(
            name, metric, fmt.format(ours) + " " + unit, peer_text, ratio_text, target or "-"),
            flush=True)

    def compare(self, name, med, metrics=("wall", "cpu"), target=None):
        if not med["ours"]["ok"]:
            print("  {}: FAILED (ours)".format(name))
            return
        for m in metrics:
            peer = med.get("peer", {}).get(m)
            self.row(name, m, med["ours"][m], peer, target if m == metrics[0] else None,
                     unit="MB" if m == "rss" else "s")

    # ----- files -----
    def wav(self, path, rate, channels, bits, frames, fill=b"\x00"):
        align = channels * bits // 8
        size = frames * align
        with open(path, "wb") as f:
            f.write(b"RIFF" + struct.pack("<I", 36 + size) + b"WAVEfmt " +
                    struct.pack("<IHHIIHH", 16, 1, channels, rate, rate * align, align, bits) +
                    b"data" + struct.pack("<I", size))
            f.truncate(44 + size) if fill == b"\x00" else f.write(fill * size)
        return path

    def registry_device(self, name):
        os.makedirs(self.env["TONEDECK_REGISTRY_DIR"], exist_ok=True)
        with open(os.path.join(self.env["TONEDECK_REGISTRY_DIR"], "user.ini"), "w") as f:
            f.write("[SOFTWARE]\n[SOFTWARE\\Tonedeck]\n[SOFTWARE\\Tonedeck\\Audio]\n"
                    "Device={}\n".format(name))

    # ----- the benchmarks -----
    def bench_record(self):
        print("record and play in real time on the virtual device (CPU share of one core)")
        seconds = 5 if self.quick else 15
        env = dict(self.env, TONEDECK_AUDIO="virtual", TONEDECK_VIRTUAL_SPEED="1",
                   TONEDECK_VIRTUAL_INPUT="tone:440:12000")
        out = os.path.join(self.work, "rt.wav")
        rec = self.paired([self.tdtool, "record", out, "--format", "3", "--seconds",
                           str(seconds), "--vox"], None, runs=min(self.runs, 3), env=env)
        self.row("tdtool record --vox, % of a core", "cpu",
                 100 * rec["ours"]["cpu"] / seconds, None, "<= 1 %", unit="%")
        play = self.paired([self.tdtool, "play", out], None, runs=min(self.runs, 3), env=env)
        self.row("tdtool play, % of a core", "cpu", 100 * play["ours"]["cpu"] / seconds, None,
                 "<= 1 %", unit="%")
        bench = os.path.join(self.bin, "record_bench")
        if os.path.exists(bench):
            p = subprocess.run([bench, "--benchmark_format=csv"], env=self.env,
                               capture_output=True, text=True)
            for line in p.stdout.splitlines():
                if line.startswith('"BM_RecordOneMinute'):
                    cpu = float(line.split(",")[-1])
                    self.row("engine + VOX + waveform, % of a core", "cpu", 100 * cpu / 60,
                             None, "<= 1 %", unit="%")

    def bench_alsanull(self):
        print("600 s through ALSA's null device, against arecord and aplay")
        if not shutil.which("arecord"):
            print("  skipped: arecord and aplay are not installed (alsa-utils)")
            return
        seconds = 120 if self.quick else 600
        self.registry_device("null")
        env = dict(self.env, TONEDECK_AUDIO="alsa")
        ours_out = os.path.join(self.work, "null-ours.wav")
        peer_out = os.path.join(self.work, "null-peer.wav")
        med = self.paired([self.tdtool, "record", ours_out, "--format", "3", "--seconds",
                           str(seconds)],
                          ["arecord", "-q", "-D", "null", "-f", "cd", "-d", str(seconds),
                           peer_out], env=env)
        self.compare("record {} s".format(seconds), med, ("cpu", "wall"), "<= 2x")
        source = self.wav(os.path.join(self.work, "null-play.wav"), 44100, 2, 16,
                          44100 * seconds)
        med = self.paired([self.tdtool, "play", source],
                          ["aplay", "-q", "-D", "null", source], env=env)
        self.compare("play {} s".format(seconds), med, ("cpu", "wall"), "<= 2x")
        os.remove(os.path.join(self.env["TONEDECK_REGISTRY_DIR"], "user.ini"))

    def bench_startup(self):
        print("one file's details: tdtool info against soxi")
        f = self.wav(os.path.join(self.work, "one.wav"), 22050, 1, 16, 22050)
        med = self.paired([self.tdtool, "info", f], ["soxi", f], runs=max(self.runs, 20), rss=True)
        self.compare("info of one WAV file", med, ("wall", "cpu", "rss"), "<= 3x")

    def bench_junk(self):
        print("files that are not what their name says: tdtool info against soxi")
        gb = 1 << 30
        files = {}
        p = os.path.join(self.work, "zero.wav")
        with open(p, "wb") as f:
            f.truncate(gb)
        files["1 GB of zeros"] = p
        p = os.path.join(self.work, "junk.wav")
        with open(p, "wb") as f:
            f.write(os.urandom(1 << 20) * 64)  # 64 MB of noise
        files["64 MB of junk"] = p
        p = os.path.join(self.work, "zerochunks.wav")
        with open(p, "wb") as f:
            f.write(b"RIFF" + struct.pack("<I", gb - 8) + b"WAVE")
            f.truncate(gb)
        files["1 GB RIFF form of empty chunks"] = p
        p = os.path.join(self.work, "truncated.wav")
        with open(p, "wb") as f:
            f.write(b"RIFF" + struct.pack("<I", 0xFFFFFFF0) + b"WAVEfmt " +
                    struct.pack("<IHHIIHH", 16, 1, 2, 44100, 176400, 4, 16) + b"data" +
                    struct.pack("<I", 0xFFFFFF00) + b"\x00" * 1000)
        files["truncated (4 GB said, 1 KB there)"] = p
        files["3 GB WAV (sparse)"] = self.wav(os.path.join(self.work, "big.wav"), 44100, 2, 16,
                                              (3 * gb) // 4)
        for name, path in files.items():
            med = self.paired([self.tdtool, "info", path], ["soxi", path],
                              runs=min(self.runs, 3))
            med["ours"]["ok"] = True  # refusing the file is the right answer
            self.compare(name, med, ("wall",), "O(1)")

    def make_tree(self, root, files, sounds):
        os.makedirs(root)
        per_dir = 100
        dirs = files // per_dir
        every = max(1, files // sounds)
        n = 0
        header = open(self.wav(os.path.join(self.work, "tiny.wav"), 8000, 1, 8, 16),
                      "rb").read()
        for d in range(dirs):
            sub = os.path.join(root, "d{:03d}".format(d // 30), "e{:04d}".format(d))
            os.makedirs(sub)
            for i in range(per_dir):
                kind = ".wav" if n % every == 0 else ".txt"
                with open(os.path.join(sub, "f{:03d}{}".format(i, kind)), "wb") as f:
                    f.write(header if kind == ".wav" else b"x")
                n += 1

    def bench_search(self):
        print("Sonoscout search against find over the same tree (warm cache)")
        bench = os.path.join(self.bin, "search_bench")
        if not os.path.exists(bench):
            print("  skipped: no search_bench in the build")
            return
        tree = os.path.join(self.work, "tree")
        files = 20000 if self.quick else 100000
        self.make_tree(tree, files, files // 50)
        find_expr = ["-xdev", "-type", "f", "(", "-iname", "*.wav", "-o", "-iname", "*.mid",
                     "-o", "-iname", "*.rmi", ")"]
        for name, root in (("{:,}-file tree".format(files), tree), ("/usr", "/usr")):
            med = self.paired([bench, root], ["find", root] + find_expr)
            self.compare(name, med, ("wall", "cpu"), "<= 1.5x")
        shutil.rmtree(tree, ignore_errors=True)

    def memo_list(self, path, count):
        record = struct.Struct("<260s260si68sIi")
        with open(path, "wb") as f:
            for i in range(count):
                f.write(record.pack("/home/ann/ECHOMEMOS/memo{:06d}.wav".format(i).encode(),
                                    "Call number {}".format(i).encode(), 7, bytes(68),
                                    1749110400 + i, 1))

    def bench_memo(self):
        print("tdtool memo list --json (streamed): time and peak memory")
        for count in (10, 1000, 100000):
            path = os.path.join(self.work, "EMLIST{}.LST".format(count))
            self.memo_list(path, count)
            med = self.paired([self.tdtool, "memo", "list", path, "--json"], None,
                              runs=min(self.runs, 3), rss=True)
            self.row("{:,} memos".format(count), "wall", med["ours"]["wall"])
            self.row("{:,} memos".format(count), "rss", med["ours"]["rss"], None,
                     "<= 50 MB" if count == 100000 else None, unit="MB")

    def bench_bar(self):
        print("the bar under Xvfb + openbox against tint2: time to dock, idle cost, memory")
        for tool in ("Xvfb", "openbox", "xprop", "tint2"):
            if not shutil.which(tool):
                print("  skipped: {} is not installed".format(tool))
                return
        import bar_bench  # beside this script
        seconds = 20 if self.quick else 60
        results = {}
        for name in ("tonedeck", "tint2"):
            results[name] = bar_bench.measure(name, self.bin, seconds)
        ours, peer = results["tonedeck"], results["tint2"]
        for key, unit, target in (("dock", "s", "<= 0.15 s past the splash"),
                                  ("cpu_percent", "%", "<= 0.05 %"),
                                  ("wakeups", "/s", None), ("rss", "MB", None)):
            if ours.get(key) is None:
                print("  {}: not measured".format(key))
                continue
            self.row("bar " + key, key.split("_")[0], ours[key], peer.get(key), target, unit)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(HERE, "..", "build"))
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--quick", action="store_true", help="smaller inputs, fewer runs")
    parser.add_argument("--only", default="")
    parser.add_argument("--no-bar", action="store_true")
    args = parser.parse_args()
    sys.path.insert(0, HERE)
    b = Bench(args.build, 3 if args.quick and args.runs == 5 else args.runs, args.quick)
    names = ["record", "alsanull", "startup", "junk", "search", "memo", "bar"]
    chosen = [n for n in args.only.split(",") if n] or names
    if args.no_bar and "bar" in chosen:
        chosen.remove("bar")
    try:
        for n in chosen:
            getattr(b, "bench_" + n)()
    finally:
        b.close()


if __name__ == "__main__":
    main()
