"""Sets up or tears down the Wine prefix, X display and wine server shared by the e2e scenarios.

    wine_fixture.py setup <work dir>
    wine_fixture.py cleanup <work dir>

Setup leaves Xvfb and a persistent wineserver running and writes <work dir>/state.json; cleanup
stops both and removes the work dir. Neither may keep ctest's output pipe open, so every helper
process writes into a log file.
"""

import json
import os
import select
import shutil
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e_wine  # noqa: E402

MARLETT = "/usr/share/wine/fonts/marlett.ttf"
WINEBOOT_TIMEOUT = 180


def log(message):
    print("[wine fixture] " + message, flush=True)


def paths(work):
    return {
        "prefix": os.path.join(work, "prefix"),
        "logs": os.path.join(work, "logs"),
        "state": os.path.join(work, "state.json"),
    }


def start_xvfb(log_dir):
    read_end, write_end = os.pipe()
    with open(os.path.join(log_dir, "xvfb.log"), "wb") as out:
        proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
            stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT, pass_fds=(write_end,),
            start_new_session=True)
    os.close(write_end)
    number = b""
    deadline = time.monotonic() + 30
    while not number.endswith(b"\n"):
        remaining = deadline - time.monotonic()
        if remaining <= 0 or not select.select([read_end], [], [], remaining)[0]:
            proc.kill()
            raise SystemExit("Xvfb did not report its display within 30s")
        chunk = os.read(read_end, 16)
        if not chunk:
            raise SystemExit("Xvfb exited before reporting its display (see xvfb.log)")
        number += chunk
    os.close(read_end)
    return proc.pid, ":" + number.decode().strip()


def is_process(pid, name):
    try:
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            return os.path.basename(f.read().split(b"\0")[0]).decode() == name
    except OSError:
        return False


def wine_run(env, args, timeout, log_dir, log_name):
    result = e2e_wine.run(args, timeout, os.path.join(log_dir, log_name), env)
    if result.returncode != 0:
        raise SystemExit("%s exited %d:\n%s" % (" ".join(args), result.returncode, result.output[-2000:]))
    log("%s: %.1fs" % (" ".join(args[:3]), result.seconds))
    return result


def setup(work):
    p = paths(work)
    if os.path.exists(p["state"]):
        log("a previous run left its state behind; cleaning it up first")
        cleanup(work)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(p["prefix"])
    os.makedirs(p["logs"])

    xvfb_pid, display = start_xvfb(p["logs"])
    state = {"prefix": p["prefix"], "display": display, "xvfb_pid": xvfb_pid, "log_dir": p["logs"]}
    # Written at once so cleanup can stop Xvfb even if the rest of the setup fails.
    with open(p["state"], "w", encoding="utf-8") as f:
        json.dump(state, f)
    log("Xvfb %d on display %s" % (xvfb_pid, display))

    arch, loader = e2e_wine.pick_wine()
    state.update({"arch": arch, "loader": loader})
    with open(p["state"], "w", encoding="utf-8") as f:
        json.dump(state, f)
    log("Wine for %s programs: %s" % (arch, loader))

    env = e2e_wine.base_env(p["prefix"], arch, display)
    start = time.monotonic()
    # Started first, so every later program, wineboot included, talks to this one persistent server.
    wine_run(env, ["wineserver", "-p"], 60, p["logs"], "wineserver.log")
    wine_run(env, [loader, "wineboot", "-i"], WINEBOOT_TIMEOUT, p["logs"], "wineboot.log")
    log("prefix ready after %.1fs" % (time.monotonic() - start))

    # No window manager runs under Xvfb: Wine draws the frames itself.
    wine_run(env, [loader, "reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed", "/t", "REG_SZ",
                   "/d", "N", "/f"], 60, p["logs"], "reg.log")
    # The message box and window frames draw their glyphs with Marlett.
    fonts = os.path.join(p["prefix"], "drive_c", "windows", "Fonts")
    os.makedirs(fonts, exist_ok=True)
    shutil.copy(MARLETT, fonts)

    # The temp folder as the programs see it, to find what they leave there.
    result = wine_run(env, [loader, "cmd", "/c", "echo %TEMP%"], 60, p["logs"], "temp.log")
    temp = result.output.strip().splitlines()[-1].strip()
    state["temp_windows"] = temp
    state["temp_dir"] = e2e_wine.unix_path(p["prefix"], temp)
    if not os.path.isdir(state["temp_dir"]):
        raise SystemExit("temp folder %s (%s) does not exist" % (temp, state["temp_dir"]))
    with open(p["state"], "w", encoding="utf-8") as f:
        json.dump(state, f)
    log("temp folder %s -> %s" % (temp, state["temp_dir"]))


def cleanup(work):
    p = paths(work)
    state = {}
    if os.path.exists(p["state"]):
        with open(p["state"], encoding="utf-8") as f:
            state = json.load(f)
    if os.path.isdir(p["prefix"]):
        env = e2e_wine.base_env(p["prefix"], state.get("arch", "win32"), state.get("display"))
        for args in (["wineserver", "-k"], ["wineserver", "-w"]):
            try:
                subprocess.run(args, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, timeout=60)
            except subprocess.TimeoutExpired:
                log("%s timed out" % " ".join(args))
    pid = state.get("xvfb_pid")
    if pid and is_process(pid, "Xvfb"):
        os.kill(pid, signal.SIGTERM)
        for _ in range(50):
            if not is_process(pid, "Xvfb"):
                break
            time.sleep(0.1)
        else:
            os.kill(pid, signal.SIGKILL)
    shutil.rmtree(work, ignore_errors=True)
    log("cleaned up " + work)


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ("setup", "cleanup"):
        raise SystemExit("usage: wine_fixture.py setup|cleanup <work dir>")
    work = os.path.abspath(sys.argv[2])
    for name in e2e_wine.PROXY_VARIABLES:
        os.environ.pop(name, None)
    if sys.argv[1] == "setup":
        setup(work)
    else:
        cleanup(work)


if __name__ == "__main__":
    main()
