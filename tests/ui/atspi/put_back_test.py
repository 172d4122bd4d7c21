"""An entry opened from the tree with the keyboard in the desktop's program for its type, changed
there, and put back into the archive: the program is a test script registered as the default
application for text files in the private XDG folders, reached through xdg-open."""

import os
import shutil
import stat
import subprocess
import tempfile
import time
import unittest

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

import atspi_window  # noqa: E402
from atspi_window import VPAK, WORK, Window, click, descendants, find, key, main, make_archive, wait_for, write_files  # noqa: E402

QUESTION = "\u201cnotes.txt\u201d was changed in another program. Put it back into the archive?"
ADDED = b"edited by the test program\n"


def write_script(path, text):
    with open(path, "w") as f:
        f.write(text)
    os.chmod(path, stat.S_IRWXU)


def register_editor(root):
    """The test program, the default application for text files; and xdg-open on PATH
    wrapped so that each call of it is written down. Returns the two logs."""
    editor_log = os.path.join(root, "editor.log")
    xdg_log = os.path.join(root, "xdg-open.log")
    tools = os.path.join(root, "tools")
    os.makedirs(tools)
    # Saves as many editors do: a new file written beside the old one and renamed over it.
    write_script(os.path.join(tools, "vpak-test-editor"), f"""#!/bin/sh
printf '%s\\n' "$1" >> '{editor_log}'
sleep 0.3
{{ cat "$1"; printf 'edited by the test program\\n'; }} > "$1.saving~" && mv -f "$1.saving~" "$1"
""")
    write_script(os.path.join(tools, "xdg-open"), f"""#!/bin/sh
printf '%s\\n' "$*" >> '{xdg_log}'
exec /usr/bin/xdg-open "$@"
""")
    applications = os.path.join(os.environ["XDG_DATA_HOME"], "applications")
    os.makedirs(applications, exist_ok=True)
    with open(os.path.join(applications, "vpak-test-editor.desktop"), "w") as f:
        f.write("[Desktop Entry]\nType=Application\nName=vpak test editor\n"
                f"Exec={os.path.join(tools, 'vpak-test-editor')} %f\nMimeType=text/plain;\nNoDisplay=true\n")
    env = {k: v for k, v in os.environ.items() if k not in ("XDG_CURRENT_DESKTOP", "DESKTOP_SESSION")}
    subprocess.run(["xdg-mime", "default", "vpak-test-editor.desktop", "text/plain"], check=True, env=env)
    os.environ["PATH"] = tools + os.pathsep + os.environ["PATH"]
    for name in ("XDG_CURRENT_DESKTOP", "DESKTOP_SESSION"):
        os.environ.pop(name, None)
    return editor_log, xdg_log


def program_with_settings(root, xbox):
    """A copy of the program with its own settings file beside it: the XBOX box as asked, no
    fade on close."""
    folder = os.path.join(root, "xbox-program" if xbox else "pc-program")
    os.makedirs(folder)
    program = os.path.join(folder, "vpak-gui")
    shutil.copy2(atspi_window.VPAK_GUI, program)
    with open(os.path.join(folder, "vpak-gui.ini"), "w") as f:
        f.write("[Other]\nXBOX360=%d\n[Misc]\nFadeEffectOnExit=0\n" % (1 if xbox else 0))
    return program


def read_lines(path):
    if not os.path.exists(path):
        return []
    with open(path) as f:
        return [line.rstrip("\n") for line in f]


class PutBack(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp(dir=WORK or None)
        cls.editor_log, cls.xdg_log = register_editor(cls.root)

    def put_back(self, xbox):
        folder = tempfile.mkdtemp(dir=self.root)
        original = b"notes of the archive\n"
        write_files(os.path.join(folder, "tree"), {"notes.txt": original, "docs/other.txt": b"other\n"})
        archive = os.path.join(folder, "data.pak")
        make_archive(os.path.join(folder, "tree"), archive, xbox)
        atspi_window.VPAK_GUI, saved = program_with_settings(folder, xbox), atspi_window.VPAK_GUI
        try:
            window = Window([archive])
        finally:
            atspi_window.VPAK_GUI = saved
        try:
            window.wait_caption(lambda caption: caption.startswith("O.K. The file"))
            # The row selected with the mouse, then opened with the keyboard's Enter.
            tree = find(window.frame, role="tree")
            cell = find(tree, role="table cell", name="notes.txt")
            wait_for(lambda: click(cell), 15.0, "the row to be selected")
            calls = len(read_lines(self.editor_log))
            key("Return")

            # The copy went through xdg-open to the registered program, from a private folder.
            wait_for(lambda: len(read_lines(self.editor_log)) > calls, 20.0,
                     "the test program started through xdg-open (caption %r)" % window.caption())
            question = wait_for(lambda: self.question(window), 20.0, "the question to put the file back")
            self.assertEqual(QUESTION, question.get_name())
            opened = read_lines(self.editor_log)[calls:]
            self.assertEqual(1, len(opened))
            self.assertTrue(opened[0].startswith(os.path.join(os.environ["XDG_RUNTIME_DIR"], "vpak-open-")), opened)
            self.assertTrue(any(opened[0] in line for line in read_lines(self.xdg_log)), read_lines(self.xdg_log))
            self.assertEqual(0o700, stat.S_IMODE(os.stat(os.path.dirname(opened[0])).st_mode))

            key("Return")  # Yes is the default button
            window.wait_caption(lambda caption: caption == "O.K. Successfully updated!")
            args = [VPAK, "cat"] + (["--xbox"] if xbox else []) + [archive, "notes.txt"]
            self.assertEqual(original + ADDED, subprocess.run(args, check=True, capture_output=True).stdout)
        finally:
            window.close()

    @staticmethod
    def question(window):
        for i in range(window.app.get_child_count()):
            top = window.app.get_child_at_index(i)
            if top is None:
                continue
            for acc in descendants(top):
                if acc.get_role_name() == "label" and "Put it back" in (acc.get_name() or ""):
                    return acc
        return None

    def test_a_pc_archive_takes_the_copy_changed_in_the_default_program(self):
        self.put_back(xbox=False)

    def test_an_xbox_archive_takes_the_copy_changed_in_the_default_program(self):
        self.put_back(xbox=True)


if __name__ == "__main__":
    main()
