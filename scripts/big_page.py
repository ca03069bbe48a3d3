#!/usr/bin/env python3
"""Writes a weblog page of about 3 MiB with many dated entries on standard
output, for measuring peak memory:
    scripts/big_page.py > big.html && /usr/bin/time -v build/weblog2rss big.html >/dev/null
"""
import sys

DAYS = ["Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"]
MONTHS = ["January", "February", "March", "April", "May", "June", "July",
          "August", "September", "October", "November", "December"]
LIMIT = 3 * 1024 * 1024 - 400

parts = ["<html><head><title>Big weblog</title></head><body><div id=main>"]
size = len(parts[0])
i = 0
while size < LIMIT:
    date = f"{DAYS[i % 7]}, {MONTHS[i % 12]} {i % 28 + 1}, 2004"
    entry = (f"<div class=post><h2>{date}</h2><p>Entry {i} <b>title {i}</b> <span>x</span> "
             f"<a href='http://e.example/{i}'>link</a> 10:{i % 60:02d} pm</p><p>more <em>text</em></p></div>\n")
    parts.append(entry)
    size += len(entry)
    i += 1
parts.append("</div></body></html>")
sys.stdout.write("".join(parts))
