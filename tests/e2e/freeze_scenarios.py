"""The download thread's freeze and thaw around its own texts, thousands of times while the animator
writes into a real label under Wine: no animator line lands while frozen, and the run ends in bounded
time (a hang is a failure, not a slow pass).

    freeze_scenarios.py <options from CMake> Freeze
"""

import os
import re
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_wine import Config  # noqa: E402

CONFIG = None
DEADLINE_S = 120


class Freeze(unittest.TestCase):
    def test_thousands_of_freezes_never_let_a_line_through_and_never_hang(self):
        run = CONFIG.prefix.run([CONFIG.exe("freeze_stress")], DEADLINE_S, "freeze_stress.log")
        found = re.search(r"pairs=(\d+) animator_lines=(\d+) lines_while_frozen=(\d+) elapsed_ms=(\d+)", run.output)
        self.assertIsNotNone(found, run.output[-2000:])
        pairs, lines, while_frozen, elapsed = map(int, found.groups())
        print("[e2e] %d pairs, %d animator lines, %d ms" % (pairs, lines, elapsed), flush=True)
        self.assertEqual(pairs, 3000)
        self.assertEqual(while_frozen, 0)
        self.assertGreater(lines, 0, "the animator never wrote between the freezes")
        self.assertEqual(run.returncode, 0, run.output[-2000:])


if __name__ == "__main__":
    CONFIG = Config(sys.argv)
    unittest.main(argv=[sys.argv[0], "-v"] + CONFIG.rest)
