"""The bar's cost on a desktop, for bench/run.py: a private Xvfb + openbox, the program
started with a fresh home, the time until the window manager's work area shrinks (the
bar docked), then its CPU time and wake-ups over an idle stretch and its memory. Every
process started here is stopped by its id."""
import os
import random
import subprocess
import tempfile
import threading
import time

SETTLE_SECONDS = 5


def _free_display():
    for _ in range(200):
        n = random.randint(300, 599)
        if not os.path.exists("/tmp/.X{}-lock".format(n)) and \
                not os.path.exists("/tmp/.X11-unix/X{}".format(n)):
            return ":{}".format(n)
    raise RuntimeError("no free X display")


def _tasks(pid):
    return [os.path.join("/proc", str(pid), "task", t)
            for t in os.listdir("/proc/{}/task".format(pid))]


def _cpu_ns(pid):
    total = 0
    for t in _tasks(pid):
        try:
            with open(os.path.join(t, "schedstat")) as f:
                total += int(f.read().split()[0])
        except OSError:
            pass
    return total


def _switches(pid):
    total = 0
    for t in _tasks(pid):
        try:
            with open(os.path.join(t, "status")) as f:
                for line in f:
                    if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")):
                        total += int(line.split()[1])
        except OSError:
            pass
    return total


def _rss_mb(pid):
    with open("/proc/{}/status".format(pid)) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024.0
    return None


def _stop(proc):
    if proc and proc.poll() is None:
        proc.terminate()
        try:
            proc.wait(5)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


def measure(name, bindir, seconds):
    """{'dock': s, 'cpu_percent': %, 'wakeups': per s, 'rss': MB} for "tonedeck" or
    "tint2"; values that could not be measured are None."""
    work = tempfile.mkdtemp(prefix="tdbar-")
    home = os.path.join(work, "home")
    os.makedirs(os.path.join(home, ".config", "openbox"))
    os.makedirs(os.path.join(work, "run"), mode=0o700)
    with open(os.path.join(home, ".config", "openbox", "rc.xml"), "w") as f:
        f.write('<?xml version="1.0" encoding="UTF-8"?>\n<openbox_config '
                'xmlns="http://openbox.org/3.4/rc"><keyboard></keyboard><mouse></mouse>'
                '</openbox_config>\n')
    display = _free_display()
    env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"),
               XDG_DATA_HOME=os.path.join(home, ".local", "share"),
               XDG_CACHE_HOME=os.path.join(home, ".cache"),
               XDG_RUNTIME_DIR=os.path.join(work, "run"), DISPLAY=display,
               TONEDECK_AUDIO="virtual")
    env.pop("QT_QPA_PLATFORM", None)
    env.pop("TONEDECK_REGISTRY_DIR", None)
    quiet = {"stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL}
    xvfb = openbox = spy = program = None
    result = {"dock": None, "cpu_percent": None, "wakeups": None, "rss": None}
    try:
        xvfb = subprocess.Popen(["Xvfb", display, "-screen", "0", "1280x800x24",
                                 "-nolisten", "tcp"], env=env, **quiet)
        for _ in range(100):
            if os.path.exists("/tmp/.X11-unix/X" + display[1:]):
                break
            time.sleep(0.05)
        openbox = subprocess.Popen(["openbox", "--config-file",
                                    os.path.join(home, ".config", "openbox", "rc.xml")],
                                   env=env, **quiet)
        time.sleep(1)
        if name == "tonedeck":
            subprocess.run([os.path.join(bindir, "tdtool"), "setup"], env=env, **quiet)
            cmd = [os.path.join(bindir, "tonedeck")]
        else:
            cmd = ["tint2"]
        changes = []
        spy = subprocess.Popen(["xprop", "-spy", "-root", "_NET_WORKAREA"], env=env,
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)

        def watch():
            for line in spy.stdout:
                changes.append((time.monotonic(), line.strip()))
        threading.Thread(target=watch, daemon=True).start()
        for _ in range(100):
            if changes:
                break
            time.sleep(0.02)
        start = time.monotonic()
        program = subprocess.Popen(cmd, env=env, **quiet)
        deadline = start + 20
        while time.monotonic() < deadline and len(changes) < 2:
            time.sleep(0.005)
        if len(changes) >= 2:
            result["dock"] = changes[1][0] - start
        time.sleep(SETTLE_SECONDS)
        if program.poll() is None:
            cpu0, sw0, t0 = _cpu_ns(program.pid), _switches(program.pid), time.monotonic()
            time.sleep(seconds)
            cpu1, sw1, t1 = _cpu_ns(program.pid), _switches(program.pid), time.monotonic()
            result["cpu_percent"] = 100.0 * (cpu1 - cpu0) / 1e9 / (t1 - t0)
            result["wakeups"] = (sw1 - sw0) / (t1 - t0)
            result["rss"] = _rss_mb(program.pid)
    finally:
        for p in (program, spy, openbox, xvfb):
            _stop(p)
        subprocess.run(["rm", "-rf", work])
    return result
