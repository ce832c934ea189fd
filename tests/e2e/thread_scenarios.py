"""The real download and status-animator threads in a window laid out like the setup dialog, under
Wine, with the package address built into the harness (127.0.0.1 at the fixed harness port).

    thread_scenarios.py <options from CMake> Success|Failure
"""

import glob
import os
import shutil
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_wine import Config  # noqa: E402
from loopback_server import LoopbackServer, Refused, Reply  # noqa: E402

CONFIG = None
PACKAGE_PATH = "/Qorn2010/QornProSetup.exe"
BOX_CAPTION = "QornPro Installation"
DIRECT_FAILED = "Có lỗi trong quá trình tải trực tiếp bộ cài đặt, Chuyển sang tải qua proxy mặc định"
DEFAULT_PROXY_FAILED = "Có lỗi trong quá trình tải qua proxy mặc định, Chuyển sang tải qua cấu hình IE proxy"
DOWNLOADED = "Đã hoàn thành tải bộ cài đặt về, Đang chuẩn bị cài đặt"
DOWNLOAD_FAILED = "Có lỗi trong quá trình tải về, bạn vui lòng thử lại sau"
# Stated pauses are 1000 ms and 1500 ms; the harness sees them through a 50 ms timer and Wine's
# message delivery, so allow a little less.
SLACK_MS = 100


class Event:
    def __init__(self, line):
        ms, _, rest = line.partition(" ")
        self.ms = int(ms)
        self.name, _, self.text = rest.partition(" ")

    def __repr__(self):
        return "%d %s %s" % (self.ms, self.name, self.text)


def run_harness(tag):
    prefix = CONFIG.prefix
    work = os.path.join(prefix.path, "drive_c", "e2e", tag)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    log = os.path.join(work, "harness.log")
    run = prefix.run([CONFIG.exe("thread_harness"), prefix.windows_path(log), "60000"], 120, tag + ".log")
    with open(log, encoding="utf-8") as f:
        events = [Event(line.rstrip("\n")) for line in f if line.strip()]
    return run, events


def qor_folders():
    return set(glob.glob(os.path.join(CONFIG.prefix.temp_dir, "Qor*.tmp")))


def first(events, name, text=None):
    for i, e in enumerate(events):
        if e.name == name and (text is None or e.text == text):
            return i
    raise AssertionError("no %s %r in the harness log:\n%s" % (name, text, "\n".join(map(repr, events))))


def value(events, name):
    return events[first(events, name)].text


class HarnessCase(unittest.TestCase):
    def check_temp_path(self, events):
        # The folder the scenario inspects is the one the threads see.
        self.assertEqual(value(events, "temp").rstrip("\\"), CONFIG.prefix.state["temp_windows"].rstrip("\\"))

    def check_stands(self, events, text, ms):
        """The label shows text, and nothing replaces it in the label for ms."""
        shown = first(events, "label", text)
        later = [e for e in events[shown + 1:] if e.name in ("label", "main_hidden", "box_bar")]
        self.assertTrue(later, "nothing followed %r" % text)
        self.assertGreaterEqual(later[0].ms - events[shown].ms, ms - SLACK_MS,
                                "%r stood only until %r" % (text, later[0]))


class Success(HarnessCase):
    def test_downloads_into_a_fresh_folder_and_starts_the_package_quoted(self):
        with open(CONFIG.exe("stand_in_installer"), "rb") as f:
            package = f.read()
        before = qor_folders()
        with LoopbackServer({PACKAGE_PATH: Reply("exact", package)}, port=CONFIG.harness_port) as server:
            run, events = run_harness("thread_success")
            requests = server.request_lines()
        new = sorted(qor_folders() - before)
        try:
            self.assertEqual(run.returncode, 0, "harness log:\n%s\noutput:\n%s" % (events, run.output[-2000:]))
            self.check_temp_path(events)
            self.assertEqual(requests, ["GET %s HTTP/1.1" % PACKAGE_PATH], "the direct attempt alone should do")

            names = [e.name for e in events]
            for never in ("box_bar", "watchdog", "loop_end"):
                self.assertNotIn(never, names)
            labels = [e.text for e in events if e.name == "label"]
            self.assertNotIn(DIRECT_FAILED, labels)
            self.assertLess(first(events, "label", DOWNLOADED), first(events, "main_hidden"))
            self.check_stands(events, DOWNLOADED, 1500)

            self.assertEqual(len(new), 1, "new Qor*.tmp entries in the temp folder: %s" % new)
            folder = new[0]
            self.assertTrue(os.path.isdir(folder))
            installer = os.path.join(folder, "QornProSetup.exe")
            with open(installer, "rb") as f:
                self.assertTrue(f.read() == package, "the downloaded installer differs from the served file")

            # The stand-in runs on after the harness has gone; give it time to write its record.
            record = installer + ".ran"
            deadline = time.monotonic() + 30
            while not os.path.exists(record) and time.monotonic() < deadline:
                time.sleep(0.2)
            self.assertTrue(os.path.exists(record), "the downloaded installer was never started")
            with open(record, encoding="utf-8") as f:
                command_line, module = f.read().split("\n")[:2]
            windows_installer = value(events, "temp").rstrip("\\") + "\\" + os.path.basename(folder) + \
                "\\QornProSetup.exe"
            self.assertEqual(module.lower(), windows_installer.lower())
            self.assertEqual(command_line, '"%s"' % module)
        finally:
            for folder in new:
                shutil.rmtree(folder, ignore_errors=True)


class Failure(HarnessCase):
    def check_reported_failure(self, run, events, left):
        self.assertEqual(run.returncode, 0, "harness log:\n%s\noutput:\n%s" % (events, run.output[-2000:]))
        self.check_temp_path(events)
        names = [e.name for e in events]
        for never in ("main_hidden", "watchdog", "loop_end"):
            self.assertNotIn(never, names)

        direct = first(events, "label", DIRECT_FAILED)
        default_proxy = first(events, "label", DEFAULT_PROXY_FAILED)
        failed = first(events, "label", DOWNLOAD_FAILED)
        box = first(events, "box_bar")
        self.assertTrue(direct < default_proxy < failed < box, "out of order:\n%s" % events)
        self.check_stands(events, DIRECT_FAILED, 1000)
        self.check_stands(events, DEFAULT_PROXY_FAILED, 1000)

        self.assertEqual(value(events, "box_bar"), "0")
        self.assertEqual(value(events, "box_label"), DOWNLOAD_FAILED)
        self.assertEqual(value(events, "box_caption"), BOX_CAPTION)
        self.assertEqual(value(events, "box_text"), DOWNLOAD_FAILED)
        self.assertEqual(value(events, "box_owner_is_main"), "1")
        self.assertEqual(value(events, "box_icon"), "error")
        self.assertEqual((value(events, "box_ok_button"), value(events, "box_cancel_button")), ("1", "0"))
        self.assertEqual(left, set(), "a failed download left folders in the temp folder")

    def test_nothing_listening(self):
        before = qor_folders()
        # Bound but not listening: every connection to the built-in address is refused.
        with Refused(port=CONFIG.harness_port):
            run, events = run_harness("thread_refused")
        self.check_reported_failure(run, events, qor_folders() - before)

    def test_body_breaking_off_resets_the_bar(self):
        package = bytes(range(256)) * (8 * 1024)  # 2 MiB
        before = qor_folders()
        with LoopbackServer({PACKAGE_PATH: Reply("drop", package)}, port=CONFIG.harness_port) as server:
            run, events = run_harness("thread_dropped")
            requests = server.request_lines()
        self.check_reported_failure(run, events, qor_folders() - before)
        self.assertGreaterEqual(len(requests), 2, "direct and default-proxy attempts both reach the server")
        failed = first(events, "label", DOWNLOAD_FAILED)
        moved = [e for e in events[:failed] if e.name == "bar" and int(e.text) > 0]
        self.assertTrue(moved, "the bar never moved, so its reset shows nothing:\n%s" % events)


if __name__ == "__main__":
    CONFIG = Config(sys.argv)
    unittest.main(argv=[sys.argv[0], "-v"] + CONFIG.rest)
