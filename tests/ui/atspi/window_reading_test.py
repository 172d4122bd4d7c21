"""What a screen reader reads of the window with an archive open."""

import os
import tempfile
import unittest

from atspi_window import WORK, Window, find, find_all, main, make_archive, wait_for, write_files


class WindowReading(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(dir=WORK or None)
        write_files(os.path.join(cls.folder, "tree"), {
            "maps/x/first.txt": b"one\n",
            "maps/second.bin": b"\x00\x01\x02",
            "readme.txt": b"hello\n",
        })
        cls.archive = os.path.join(cls.folder, "data.pak")
        make_archive(os.path.join(cls.folder, "tree"), cls.archive)
        cls.window = Window([cls.archive])
        cls.window.wait_caption(lambda caption: caption.startswith("O.K."))

    @classmethod
    def tearDownClass(cls):
        cls.window.close()

    def test_the_caption_is_read_as_the_window_name_and_counts_the_files(self):
        self.assertEqual("O.K. The file successfully opened, contains 3 files.", self.window.caption())

    def test_the_trees_rows_are_read_with_the_entries_names(self):
        tree = find(self.window.frame, role="tree")
        names = {cell.get_name() for cell in find_all(tree, role="table cell")}
        self.assertIn("readme.txt", names)
        self.assertIn("maps", names)


if __name__ == "__main__":
    main()
