"""The window as a screen reader meets it: the program started on the test's display, its
accessible objects found over AT-SPI, and keys and clicks given through the X server."""

import os
import subprocess
import sys
import time
import unittest

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

WORK = os.environ.get("ATSPI_WORK", "")
VPAK = os.environ.get("VPAK", "vpak")
VPAK_GUI = os.environ.get("VPAK_GUI", "vpak-gui")


def wait_for(probe, timeout=15.0, what="the window"):
    """probe()'s first true value, asked until timeout seconds have passed."""
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(0.1)


def make_archive(folder, archive, xbox=False):
    """The archive vpak makes of folder."""
    args = [VPAK, "make", "-q", archive, folder] + (["--xbox"] if xbox else [])
    subprocess.run(args, check=True)


def write_files(root, files):
    """files: {relative path: bytes}, written below root."""
    for relative, content in files.items():
        path = os.path.join(root, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(content)


def key(*keys):
    subprocess.run(["xdotool", "key", "--clearmodifiers"] + list(keys), check=True)


def type_text(text):
    subprocess.run(["xdotool", "type", "--delay", "20", text], check=True)


def click(cell):
    """Clicks the object where it is shown now; true once it is selected and has the focus."""
    box = cell.get_extents(Atspi.CoordType.SCREEN)
    if box.width > 0 and box.height > 0:
        subprocess.run(["xdotool", "mousemove", str(box.x + box.width // 2), str(box.y + box.height // 2),
                        "click", "1"], check=True)
    time.sleep(0.3)
    states = cell.get_state_set()
    return states.contains(Atspi.StateType.SELECTED) and states.contains(Atspi.StateType.FOCUSED)


def role_name(acc):
    return acc.get_role_name()


def text_of(acc):
    """The text an object holds, through its text interface; "" without one."""
    text = acc.get_text_iface()
    return text.get_text(0, text.get_character_count()) if text is not None else ""


def descendants(acc, depth=0, limit=60):
    """Every object below acc, depth first."""
    if depth > limit:
        return
    for i in range(acc.get_child_count()):
        child = acc.get_child_at_index(i)
        if child is None:
            continue
        yield child
        yield from descendants(child, depth + 1, limit)


def find_all(acc, role=None, name=None):
    return [d for d in descendants(acc)
            if (role is None or d.get_role_name() == role) and (name is None or d.get_name() == name)]


def find(acc, role=None, name=None, timeout=10.0):
    """The first object below acc with this role and name, waited for."""
    found = wait_for(lambda: find_all(acc, role, name), timeout, "%s %r" % (role, name))
    return found[0]


class Window:
    """The program running on the test's display, with its accessible application."""

    def __init__(self, args, settings_file=None):
        env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb")
        self.process = subprocess.Popen([VPAK_GUI] + list(args), env=env,
                                        stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self.app = wait_for(self._application, 20.0, "the program on the accessibility bus")
        # A top-level QWidget is the application's first child (a "filler"); its name is the
        # window's title, which is the caption.
        self.frame = wait_for(lambda: self.app.get_child_count() > 0 and self.app.get_child_at_index(0),
                              10.0, "the window")

    def _application(self):
        desktop = Atspi.get_desktop(0)
        for i in range(desktop.get_child_count()):
            app = desktop.get_child_at_index(i)
            if app is not None and app.get_process_id() == self.process.pid:
                return app
        return None

    def caption(self):
        return self.frame.get_name()

    def wait_caption(self, probe, timeout=15.0):
        return wait_for(lambda: probe(self.caption()) and self.caption(), timeout, "a caption")

    def close(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


def main():
    result = unittest.main(exit=False, verbosity=2).result
    sys.exit(0 if result.wasSuccessful() else 1)
