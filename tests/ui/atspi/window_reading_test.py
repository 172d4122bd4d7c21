"""What a screen reader reads of the window with an archive open."""

import os
import re
import tempfile
import unittest

from atspi_window import WORK, Window, click, find, find_all, key, main, make_archive, text_of, wait_for, write_files


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

    def test_f3_shows_the_selected_files_text_in_the_pane_named_preview(self):
        tree = find(self.window.frame, role="tree")
        row = find(tree, role="table cell", name="readme.txt")
        wait_for(lambda: click(row), 10.0, "readme.txt selected")
        key("F3")
        pane = find(self.window.frame, name="Preview")
        content = find(pane, name="Content")
        self.assertEqual("hello\n", wait_for(lambda: text_of(content), 10.0, "the preview's text"))
        # The header line is read as its text: the path, the sizes and the hash tag.
        self.assertTrue(any(label.get_name().startswith("readme.txt") for label in find_all(pane, role="label")))

    def test_the_application_is_listed_under_the_programs_name(self):
        self.assertEqual("vpak-gui", self.window.app.get_name())

    def test_every_button_check_box_and_box_has_a_name_that_is_not_punctuation(self):
        controls = [c for role in ("push button", "check box", "text")
                    for c in find_all(self.window.frame, role=role)]
        self.assertGreaterEqual(len(controls), 12)
        for control in controls:
            with self.subTest(role=control.get_role_name(), name=control.get_name()):
                self.assertRegex(control.get_name(), re.compile(r"\w"))

    def test_the_pickers_and_the_about_button_say_what_they_do(self):
        names = {b.get_name() for b in find_all(self.window.frame, role="push button")}
        self.assertLessEqual({"Choose the .PAK file...", "Choose the directory...", "About"}, names)
        self.assertFalse(names & {"...", "?"})

    def test_each_label_is_related_to_its_box_both_ways(self):
        for label_text, box_name in ((".PAK file:", ".PAK file"), ("Directory:", "Directory")):
            with self.subTest(label=label_text):
                label = find(self.window.frame, role="label", name=label_text)
                box = find(self.window.frame, role="text", name=box_name)
                self.assertEqual([box_name], related(label, "label-for"))
                self.assertEqual([label_text], related(box, "labelled-by"))

    def test_the_boxes_and_the_tree_are_described(self):
        for role, name in (("text", ".PAK file"), ("text", "Directory"), ("tree", "Contents of the archive")):
            with self.subTest(name=name):
                self.assertNotEqual("", find(self.window.frame, role=role, name=name).get_description())


def related(acc, kind):
    """The names of the objects acc stands in the relation kind ("label-for" ...) to."""
    names = []
    for relation in acc.get_relation_set():
        if relation.get_relation_type().value_nick == kind:
            names += [relation.get_target(i).get_name() for i in range(relation.get_n_targets())]
    return names


if __name__ == "__main__":
    main()
