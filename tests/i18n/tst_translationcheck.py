#!/usr/bin/env python3
"""scripts/translations on a made-up source tree: the check must fail for every
kind of gap a user would see (a new text, a missing or broken translation, a
text that has to stay English) and pass once the file is complete."""

import os
import re
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

SCRIPT = Path(__file__).resolve().parents[2] / "scripts" / "translations"

PAGE = """import QtQuick 2.11
Text {
    property string a: qsTr("Connect")
    property string b: qsTr("Cannot load %1").arg("x")
    property string c: qsTr("Veltro KX4 Config ")
    property string d: qsTr("Engine:")
}
"""

TRANSLATED = {
    "Connect": "Подключиться",
    "Cannot load %1": "Не удалось загрузить %1",
    "Veltro KX4 Config ": "Настройка Veltro KX4 ",
    "Engine:": "Двигатель:",
}


class TranslationCheck(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.root = Path(self.tmp.name)
        (self.root / "ui" / "lang").mkdir(parents=True)
        self.page = self.root / "ui" / "Page.qml"
        self.page.write_text(PAGE)
        self.ts = self.root / "ui" / "lang" / "test_ru.ts"
        self.ts.write_text('<?xml version="1.0" encoding="utf-8"?>\n<!DOCTYPE TS>\n'
                           '<TS version="2.1" language="ru_RU">\n</TS>\n')

    def tearDown(self):
        self.tmp.cleanup()

    def run_script(self, command):
        env = dict(os.environ, KX4_SOURCE_ROOT=str(self.root))
        return subprocess.run([sys.executable, str(SCRIPT), command], env=env,
                              capture_output=True, text=True)

    def translate(self, texts):
        content = self.ts.read_text()
        for source, text in texts.items():
            escaped = re.escape(source)
            content = re.sub(r"(<source>" + escaped + r"</source>\s*)"
                             r"<translation[^>]*>[^<]*</translation>",
                             lambda m: m.group(1) + "<translation>" + text + "</translation>",
                             content)
        self.ts.write_text(content)

    def assertCheckFails(self, *phrases):
        result = self.run_script("check")
        self.assertNotEqual(result.returncode, 0, result.stdout)
        for phrase in phrases:
            self.assertIn(phrase, result.stdout)

    def test_complete_file_passes_and_new_text_fails(self):
        self.assertCheckFails("out of date")
        self.assertEqual(self.run_script("update").returncode, 0)
        self.assertCheckFails('"Connect" is unfinished', '"Engine:" is unfinished')
        self.translate(TRANSLATED)
        result = self.run_script("check")
        self.assertEqual(result.returncode, 0, result.stdout)

        # A text added to a page makes the file out of date again.
        self.page.write_text(PAGE.replace("}\n", '    property string e: qsTr("Quit")\n}\n'))
        self.assertCheckFails("out of date", "Quit")
        # A text gone from the pages too.
        self.page.write_text(PAGE.replace('qsTr("Engine:")', '"Engine:"'))
        self.run_script("update")
        self.assertNotIn("Engine:", self.ts.read_text())

    def test_broken_translations_fail(self):
        self.run_script("update")
        cases = [
            ({"Cannot load %1": "Не удалось загрузить"}, "does not use the placeholders"),
            ({"Veltro KX4 Config ": "Настройка Veltro KX4"}, "trailing space"),
            ({"Engine:": "Двигатель"}, "final colon"),
            ({"Connect": " "}, "empty translation"),
        ]
        for broken, phrase in cases:
            with self.subTest(phrase=phrase):
                self.translate(dict(TRANSLATED, **broken))
                self.assertCheckFails(phrase)
        self.translate(TRANSLATED)
        self.assertEqual(self.run_script("check").returncode, 0)

    def test_texts_kept_in_english_must_not_be_translatable(self):
        for text in ("Automatic", "Single", "Connected to\\nFW "):
            with self.subTest(text=text):
                self.page.write_text(PAGE.replace("}\n", f'    property string k: qsTr("{text}")\n}}\n'))
                self.run_script("update")
                self.translate(dict(TRANSLATED, **{text.replace("\\n", "\n"): "x"}))
                self.assertCheckFails("kept in English")


if __name__ == "__main__":
    unittest.main()
