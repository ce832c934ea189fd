"""Running Windows programs in the suite's Wine prefix.

The fixture (wine_fixture.py) writes a small JSON state file; every scenario reads it to find the
prefix and the display, and runs programs through run() so each run has a deadline and the same
environment.
"""

import json
import os
import signal
import subprocess
import time

PROXY_VARIABLES = ("http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY",
                   "no_proxy", "NO_PROXY")

WINE32_LOADER = "/usr/lib/wine/wine"
WINE64_LOADER = "/usr/lib/wine/wine64"


def pick_wine():
    """(arch, loader): 32-bit Wine where the kernel can start it, else 64-bit Wine.

    Some kernels (some VMs) refuse 32-bit Linux programs outright (ENOEXEC), and 32-bit Wine is one.
    """
    try:
        probe = subprocess.run([WINE32_LOADER, "--version"], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, timeout=60)
        if probe.returncode == 0:
            return "win32", WINE32_LOADER
    except OSError:
        pass
    if os.access(WINE64_LOADER, os.X_OK):
        return "win64", WINE64_LOADER
    raise SystemExit("no Wine that this machine can run (%s, %s)" % (WINE32_LOADER, WINE64_LOADER))


def base_env(prefix, arch, display=None):
    env = dict(os.environ)
    for name in PROXY_VARIABLES:
        env.pop(name, None)
    env.update({
        "WINEPREFIX": prefix,
        "WINEARCH": arch,
        "WINEDEBUG": "-all",
        # No Mono or Gecko install prompt: a prompt nobody answers would hang the run.
        "WINEDLLOVERRIDES": "mscoree=;mshtml=",
        "LANG": "C.UTF-8",
    })
    if display is not None:
        env["DISPLAY"] = display
    return env


def unix_path(prefix, windows_path):
    """C:\\a\\b -> <prefix>/drive_c/a/b (the prefix's C: drive only)."""
    drive, rest = windows_path[:2], windows_path[2:]
    if drive.upper() != "C:":
        raise ValueError("not on drive C: " + windows_path)
    return os.path.join(prefix, "drive_c", *[p for p in rest.split("\\") if p])


class Prefix:
    def __init__(self, state_file):
        with open(state_file, encoding="utf-8") as f:
            self.state = json.load(f)
        self.path = self.state["prefix"]
        self.arch = self.state["arch"]
        self.loader = self.state["loader"]
        self.env = base_env(self.path, self.arch, self.state["display"])
        self.temp_dir = self.state["temp_dir"]
        self.log_dir = self.state["log_dir"]

    def unix_path(self, windows_path):
        return unix_path(self.path, windows_path)

    def windows_path(self, unix_path):
        drive_c = os.path.join(self.path, "drive_c")
        rel = os.path.relpath(unix_path, drive_c)
        if rel.startswith(".."):
            raise ValueError("not inside drive_c: " + unix_path)
        return "C:\\" + rel.replace("/", "\\")

    def run(self, args, timeout, log_name, env_extra=None):
        """Runs a Windows program (exe path or builtin name) with the prefix's Wine loader."""
        return run([self.loader] + list(args), timeout, os.path.join(self.log_dir, log_name), self.env, env_extra)

    def reg(self, *args, timeout=60):
        # /reg:32 names the 32-bit registry view, the one a 32-bit program reads; in a 32-bit prefix
        # it is the only view.
        view = "/reg:32" if self.arch == "win32" else "/reg:64"
        result = self.run(["reg"] + list(args) + [view], timeout, "reg.log")
        if result.returncode != 0:
            raise AssertionError("wine reg %s failed (%d): %s" % (" ".join(args), result.returncode, result.output))
        return result


class Result:
    def __init__(self, returncode, output, seconds):
        self.returncode = returncode
        self.output = output
        self.seconds = seconds


def run(args, timeout, log_path, env, env_extra=None):
    """Runs one program with stdout and stderr in a file (never a pipe: Wine's helper processes
    outlive the program and would hold a pipe open). Kills the program's process group and fails
    when the deadline passes."""
    if env_extra:
        env = dict(env, **env_extra)
    start = time.monotonic()
    with open(log_path, "wb") as out:
        proc = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT, env=env,
                                start_new_session=True)
        try:
            returncode = proc.wait(timeout)
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait()
            with open(log_path, "rb") as f:
                tail = f.read()[-2000:].decode("utf-8", "replace")
            raise AssertionError("%s did not finish within %ds; output:\n%s" % (" ".join(args), timeout, tail))
    with open(log_path, "rb") as f:
        output = f.read().decode("utf-8", "replace")
    return Result(returncode, output, time.monotonic() - start)


class Config:
    """The scenario scripts' command line: the options CMake passes, then unittest's own arguments."""

    def __init__(self, argv):
        import argparse
        parser = argparse.ArgumentParser()
        parser.add_argument("--state", required=True)
        parser.add_argument("--harness-port", type=int, required=True)
        parser.add_argument("--win32-bin", required=True)
        parser.add_argument("--win64-bin", required=True)
        args, self.rest = parser.parse_known_args(argv[1:])
        self.prefix = Prefix(args.state)
        self.harness_port = args.harness_port
        # The programs built for the Wine the fixture could run.
        self.bin_dir = args.win32_bin if self.prefix.arch == "win32" else args.win64_bin
        print("[e2e] %s programs from %s" % (self.prefix.arch, self.bin_dir), flush=True)

    def exe(self, name):
        path = os.path.join(self.bin_dir, name + ".exe")
        if not os.path.isfile(path):
            raise AssertionError("not built: " + path)
        return path
