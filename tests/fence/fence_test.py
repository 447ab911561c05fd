#!/usr/bin/env python3
"""The floors' fence, tried from outside: a scratch copy of the tree, each time with one include that
breaks the fence, must fail to configure or build, and say why; the untouched copy builds.

    fence_test.py SOURCE_DIR
"""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

SOURCE = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else None
TREES = ["CMakeLists.txt", "cmake", "src", "skin", "tests", "bench", "fuzz"]


class FenceTest(unittest.TestCase):
    def setUp(self):
        self.scratch = tempfile.mkdtemp(prefix="qiwa-fence-")
        for name in TREES:
            src = os.path.join(SOURCE, name)
            dst = os.path.join(self.scratch, "tree", name)
            if os.path.isdir(src):
                shutil.copytree(src, dst, ignore=shutil.ignore_patterns("*.mp3", "corpus"))
            else:
                os.makedirs(os.path.dirname(dst), exist_ok=True)
                shutil.copy2(src, dst)
        self.tree = os.path.join(self.scratch, "tree")
        self.build = os.path.join(self.scratch, "build")

    def tearDown(self):
        shutil.rmtree(self.scratch, ignore_errors=True)

    def add_line(self, path, line):
        path = os.path.join(self.tree, path)
        with open(path, encoding="utf-8") as f:
            text = f.read()
        with open(path, "w", encoding="utf-8") as f:
            f.write(line + "\n" + text)

    def configure(self):
        return subprocess.run(["cmake", "-S", self.tree, "-B", self.build, "-DCMAKE_BUILD_TYPE=Release",
                               "-DQIWA_SANITIZE=OFF"], capture_output=True, text=True)

    def build_target(self, target):
        return subprocess.run(["cmake", "--build", self.build, "--target", target, "--", "-k"],
                              capture_output=True, text=True)

    def test_a_relative_include_is_refused_when_configuring(self):
        self.add_line("src/runtime/download.cpp", '#include "../music/song.hpp"')
        done = self.configure()
        self.assertNotEqual(done.returncode, 0)
        self.assertIn("relative includes", done.stderr)
        self.assertIn("src/runtime/download.cpp", done.stderr)

    def test_a_source_that_includes_a_floor_above_does_not_build(self):
        self.add_line("src/runtime/download.cpp", '#include "app/context.hpp"')
        self.assertEqual(self.configure().returncode, 0)
        done = self.build_target("qiwa_runtime")
        self.assertNotEqual(done.returncode, 0)
        self.assertIn("app/context.hpp", done.stdout + done.stderr)

    def test_a_header_no_source_includes_cannot_climb_either(self):
        with open(os.path.join(self.tree, "src/text/climbing.hpp"), "w") as f:
            f.write('#pragma once\n#include "music/song.hpp"\n')
        self.assertEqual(self.configure().returncode, 0)
        done = self.build_target("qiwa_text_headers")
        self.assertNotEqual(done.returncode, 0)
        self.assertIn("music/song.hpp", done.stdout + done.stderr)
        # The same floor's untouched headers compile on their own.
        os.remove(os.path.join(self.tree, "src/text/climbing.hpp"))
        self.assertEqual(self.configure().returncode, 0)
        self.assertEqual(self.build_target("qiwa_text_headers").returncode, 0)


if __name__ == "__main__":
    unittest.main(verbosity=2)
