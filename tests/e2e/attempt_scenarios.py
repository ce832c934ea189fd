"""One download attempt (DownloadToFile with the real WinHTTP platform) under Wine, against the
tests' own loopback servers.

    attempt_scenarios.py <options from CMake> BodyShapes|Proxies
"""

import os
import random
import re
import shutil
import struct
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_wine import Config  # noqa: E402
from loopback_server import LoopbackServer, Refused, Reply  # noqa: E402

CONFIG = None
DIRECT, DEFAULT_PROXY, IE_PROXY = 1, 2, 3
COMPLETED, FAILED = 0, 1000
PACKAGE_PATH = "/Qorn2010/QornProSetup.exe"
CONNECTIONS = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Internet Settings\Connections"
USER_CONNECTIONS = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings\Connections"
LINE = re.compile(r"^attempt=(\d+) result=(-?\d+) code=(\d+) mode=(-?\d+) file_exists=([01])\s*$", re.MULTILINE)


def out_dir(name):
    """A fresh folder inside the prefix: (unix path, Windows path)."""
    prefix = CONFIG.prefix
    unix = os.path.join(prefix.path, "drive_c", "e2e", name)
    shutil.rmtree(unix, ignore_errors=True)
    os.makedirs(unix)
    return unix, prefix.windows_path(unix)


def probe(attempts, log_name):
    """attempts: [(mode, url, windows path)] -> [dict(result, code, mode, file_exists)], in order."""
    args = [CONFIG.exe("attempt_probe")]
    for mode, url, path in attempts:
        args += [str(mode), url, path]
    run = CONFIG.prefix.run(args, 120, log_name)
    lines = LINE.findall(run.output)
    if run.returncode != 0 or len(lines) != len(attempts):
        raise AssertionError("attempt_probe exited %d with %d of %d result lines:\n%s"
                             % (run.returncode, len(lines), len(attempts), run.output[-3000:]))
    return [dict(result=int(r), code=int(c), mode=int(m), file_exists=f == "1") for _, r, c, m, f in lines]


class BodyShapes(unittest.TestCase):
    """Only a 200 whose body is exactly as long as its Content-Length may leave a file."""

    def test_only_a_complete_declared_body_is_kept(self):
        rng = random.Random(2010)
        package = rng.randbytes(5 * 1024 * 1024 + 12345)
        small = rng.randbytes(64 * 1024 + 3)
        cases = [
            # name, reply, the file expected afterwards (None: the attempt fails and leaves none)
            ("exact", Reply("exact", package), package),
            ("no_length", Reply("no_length", small), None),
            ("short", Reply("short", small, missing=1000), None),
            # WinHTTP hands over no byte past Content-Length, so the excess never reaches the
            # attempt: what it keeps must be exactly the declared body.
            ("long", Reply("long", small, extra=b"\0" * 1000), small),
            ("dropped", Reply("drop", package), None),
            ("not_found", Reply("status", b"<html>gone</html>", status="404 Not Found", content_type="text/html"),
             None),
        ]
        unix_dir, win_dir = out_dir("bodies")
        routes = {"/%s/QornProSetup.exe" % name: reply for name, reply, _ in cases}
        with LoopbackServer(routes) as server, Refused() as nobody:
            attempts = [(DIRECT, server.url("/%s/QornProSetup.exe" % name), win_dir + "\\" + name + ".exe")
                        for name, _, _ in cases]
            attempts.append((DIRECT, nobody.url(PACKAGE_PATH), win_dir + "\\refused.exe"))
            results = probe(attempts, "attempt_bodies.log")
            requested = server.request_lines()

        for (name, reply, expected), got in zip(cases + [("refused", None, None)], results):
            with self.subTest(name):
                file = os.path.join(unix_dir, name + ".exe")
                self.assertEqual(got["mode"], DIRECT)
                if reply is not None:
                    self.assertIn("GET /%s/QornProSetup.exe HTTP/1.1" % name, requested)
                if expected is not None:
                    self.assertEqual((got["result"], got["code"], got["file_exists"]), (1, COMPLETED, True))
                    with open(file, "rb") as f:
                        kept = f.read()
                    self.assertTrue(kept == expected, "kept %d bytes, not the %d expected" % (len(kept), len(expected)))
                else:
                    self.assertEqual((got["result"], got["code"], got["file_exists"]), (0, FAILED, False))
                    self.assertFalse(os.path.exists(file))


def ascii_field(text):
    data = text.encode("ascii")
    return struct.pack("<I", len(data)) + data


def winhttp_settings(proxy, bypass=""):
    """WinHttpSettings: what WinHTTP's default proxy configuration is read from."""
    return struct.pack("<III", 0x18, 0, 2) + ascii_field(proxy) + ascii_field(bypass)


def ie_connection_settings(proxy, bypass="", config_url=""):
    """DefaultConnectionSettings: the user's own proxy settings."""
    return (struct.pack("<III", 0x46, 0, 2) + ascii_field(proxy) + ascii_field(bypass) + ascii_field(config_url)
            + b"\0" * 32)


class Proxies(unittest.TestCase):
    """Each proxy mode reaches the origin through the proxy its own setting names, and only then.

    The origin sits on 127.0.0.2 where nothing listens, so only a request through the proxy (our
    server on 127.0.0.1, answering the absolute-form request itself) can succeed. The two hosts
    differ on purpose: for a proxy whose host text equals the target's, Wine sends an origin-form
    request line.
    """

    def check(self, key, value_name, blob, working_mode, tag):
        payload = random.Random(tag).randbytes(300 * 1024 + 7)
        unix_dir, win_dir = out_dir(tag)
        with LoopbackServer({PACKAGE_PATH: Reply("exact", payload)}) as proxy, Refused("127.0.0.2") as origin:
            url = origin.url(PACKAGE_PATH)
            prefix = CONFIG.prefix
            prefix.reg("add", key, "/v", value_name, "/t", "REG_BINARY", "/d", blob(proxy).hex(), "/f")
            try:
                with_setting = probe([(mode, url, "%s\\set-%d.exe" % (win_dir, mode))
                                      for mode in (DIRECT, DEFAULT_PROXY, IE_PROXY)], tag + "_set.log")
            finally:
                prefix.reg("delete", key, "/v", value_name, "/f")
            lines_with_setting = proxy.request_lines()
            without_setting = probe([(working_mode, url, "%s\\unset.exe" % win_dir)], tag + "_unset.log")
            lines_after = proxy.request_lines()

        for mode, got in zip((DIRECT, DEFAULT_PROXY, IE_PROXY), with_setting):
            with self.subTest(mode=mode):
                self.assertEqual(got["mode"], mode)
                file = os.path.join(unix_dir, "set-%d.exe" % mode)
                if mode == working_mode:
                    self.assertEqual((got["result"], got["code"], got["file_exists"]), (1, COMPLETED, True))
                    with open(file, "rb") as f:
                        self.assertTrue(f.read() == payload, "downloaded file differs from what the proxy served")
                else:
                    self.assertEqual((got["result"], got["code"], got["file_exists"]), (0, FAILED, False))
                    self.assertFalse(os.path.exists(file))
        with self.subTest("the proxy saw exactly one absolute-form request"):
            self.assertEqual(lines_with_setting, ["GET %s HTTP/1.1" % url])
        with self.subTest("without the setting the same mode fails and the proxy sees nothing"):
            got = without_setting[0]
            self.assertEqual((got["result"], got["code"], got["file_exists"]), (0, FAILED, False))
            self.assertEqual(lines_after, lines_with_setting)

    def test_default_proxy_uses_the_machine_winhttp_setting(self):
        self.check(CONNECTIONS, "WinHttpSettings", lambda proxy: winhttp_settings("127.0.0.1:%d" % proxy.port),
                   DEFAULT_PROXY, "default_proxy")

    def test_ie_proxy_uses_the_user_connection_setting(self):
        self.check(USER_CONNECTIONS, "DefaultConnectionSettings",
                   lambda proxy: ie_connection_settings("127.0.0.1:%d" % proxy.port), IE_PROXY, "ie_proxy")


if __name__ == "__main__":
    CONFIG = Config(sys.argv)
    unittest.main(argv=[sys.argv[0], "-v"] + CONFIG.rest)
