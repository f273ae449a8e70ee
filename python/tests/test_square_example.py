"""The square example: run in simulation, and plotted when matplotlib is there."""
import importlib.util
import os
import subprocess
import sys
import tempfile
import unittest

EXAMPLE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "examples", "square.py")
HAVE_MATPLOTLIB = importlib.util.find_spec("matplotlib") is not None


def run(*args):
    return subprocess.run([sys.executable, EXAMPLE] + list(args), capture_output=True,
                          text=True, timeout=120)


class SquareExample(unittest.TestCase):
    def test_the_square_reaches_every_corner(self):
        done = run("--side", "1.5", "--feed", "30")
        self.assertEqual(done.returncode, 0, done.stderr + done.stdout)
        corners = [line for line in done.stdout.splitlines() if line.startswith("corner")]
        self.assertEqual(len(corners), 4, done.stdout)
        self.assertNotIn("wanted", done.stdout)

    @unittest.skipUnless(HAVE_MATPLOTLIB, "python3-matplotlib is not installed")
    def test_the_square_is_plotted(self):
        with tempfile.TemporaryDirectory() as tmp:
            png = os.path.join(tmp, "square.png")
            done = run("--plot", png)
            self.assertEqual(done.returncode, 0, done.stderr)
            with open(png, "rb") as f:
                self.assertEqual(f.read(8), b"\x89PNG\r\n\x1a\n")


if __name__ == "__main__":
    unittest.main()
