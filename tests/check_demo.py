#!/usr/bin/env python3
"""scripts/demo without a display: its simulator stays up while a terminal waits for Enter or
Ctrl-C, stops by itself when the input is not a terminal, and never outlives the demo.
usage: check_demo.py SOURCE_DIR BIN_DIR"""
import os, pty, re, select, signal, subprocess, sys, tempfile, time

src, bindir = sys.argv[1], sys.argv[2]
failures = []


def check(what, ok):
    print(("ok    " if ok else "FAIL  ") + what)
    if not ok:
        failures.append(what)


def alive(pid):
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    # A zombie is gone for every purpose but the table.
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().split(") ")[1][0] != "Z"
    except FileNotFoundError:
        return False


def env():
    e = dict(os.environ)
    for name in ("DISPLAY", "WAYLAND_DISPLAY", "VELORIX_CONNECT_TO"):
        e.pop(name, None)
    e["VELORIX_PACE"] = "0.05"
    e["VELORIX_KEYRING"] = "none"
    return e


def sim_pid(text):
    m = re.search(r"the simulator runs as process (\d+)", text)
    return int(m.group(1)) if m else None


def gone(pid, seconds=5):
    end = time.time() + seconds
    while time.time() < end:
        if not alive(pid):
            return True
        time.sleep(0.05)
    return False


with tempfile.TemporaryDirectory() as work:
    demo = [os.path.join(src, "scripts/demo"), "--bin", bindir]

    # Input not a terminal: the demo ends by itself, and its simulator with it.
    r = subprocess.run(demo + ["--dir", os.path.join(work, "a")], stdin=subprocess.DEVNULL, capture_output=True,
                       text=True, env=env(), timeout=120)
    pid = sim_pid(r.stdout)
    check("without a terminal the demo ends, status 0", r.returncode == 0)
    check("it ran the three steps against the simulator", "== summary" in r.stdout and pid is not None)
    check("it says the simulator stops", "the simulator stops now" in r.stdout)
    check("its simulator is gone", pid is not None and not alive(pid))

    # On a terminal: the site stays up until Enter, then Ctrl-C the same way.
    for key, status, name in ((b"\n", 0, "Enter"), (b"\x03", 130, "Ctrl-C")):
        pid_, fd = pty.fork()
        if pid_ == 0:
            os.execve(demo[0], demo + ["--dir", os.path.join(work, name)], env())
        out, deadline = b"", time.time() + 120
        while b"press Enter" not in out and time.time() < deadline:
            if select.select([fd], [], [], 0.5)[0]:
                try:
                    out += os.read(fd, 65536)
                except OSError:
                    break
        text = out.decode("utf-8", "replace")
        sim = sim_pid(text)
        check(f"on a terminal the demo waits ({name})", b"press Enter" in out)
        time.sleep(0.3)
        check(f"the simulator serves while it waits ({name})", sim is not None and alive(sim))
        os.write(fd, key)
        try:
            while select.select([fd], [], [], 10)[0] and os.read(fd, 65536):
                pass
        except OSError:
            pass
        _, raw = os.waitpid(pid_, 0)
        code = os.waitstatus_to_exitcode(raw)
        check(f"{name} ends the demo with status {status} (got {code})", code == status)
        check(f"after {name} no simulator is left", sim is not None and gone(sim))

print(f"demo: {len(failures)} failed")
sys.exit(1 if failures else 0)
