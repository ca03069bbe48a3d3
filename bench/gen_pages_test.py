#!/usr/bin/env python3
"""Checks of the benchmark page generator: python3 bench/gen_pages_test.py"""
import datetime
import os
import re
import sys
import unittest

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import gen_pages  # noqa: E402

READ_LIMIT = 3145727
DATE_RE = re.compile(rb'<h2 class="date-header">(\w+), (\w+) (\d\d), (\d{4})</h2>')
TIME_RE = re.compile(rb'title="permanent link">(1[0-2]|[1-9]):[0-5]\d [AP]M</a>')


class WeblogPageTest(unittest.TestCase):
    pages = {name: gen_pages.weblog_page(7, size)
             for name, size in gen_pages.WEBLOG_PAGES.items()}

    def test_exact_sizes_under_the_read_limit(self):
        for name, size in gen_pages.WEBLOG_PAGES.items():
            self.assertEqual(len(self.pages[name]), size, name)
            self.assertLess(size, READ_LIMIT)

    def test_same_seed_same_bytes_other_seed_other_bytes(self):
        size = gen_pages.WEBLOG_PAGES["page-100k.html"]
        self.assertEqual(gen_pages.weblog_page(7, size), self.pages["page-100k.html"])
        self.assertNotEqual(gen_pages.weblog_page(8, size), self.pages["page-100k.html"])

    def test_dated_posts_with_times_newest_first(self):
        for name, page in self.pages.items():
            days = [datetime.datetime.strptime(b" ".join(m.groups()).decode(), "%A %B %d %Y")
                    for m in DATE_RE.finditer(page)]
            posts = page.count(b'<div class="post">')
            self.assertGreater(len(days), 20, name)
            self.assertEqual(days, sorted(days, reverse=True), name)
            self.assertTrue(all(1995 <= d.year <= 2010 for d in days), name)
            self.assertEqual(len(TIME_RE.findall(page)), posts, name)
            self.assertGreater(posts, len(days), name)  # several posts on some days
            for part in (b"&amp;", b"&#8217;", b"<!--", b'<div id="sidebar">', b"</html>"):
                self.assertIn(part, page, name)


if __name__ == "__main__":
    unittest.main()
