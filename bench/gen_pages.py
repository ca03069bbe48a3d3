#!/usr/bin/env python3
"""Writes generated pages for the benchmark into a folder.

Weblog front pages with many dated entries, in the shape weblogs had around
2004: a header, a main column of date headers ("Monday, March 01, 2004"),
each followed by that day's posts (title heading, often with a link; body
paragraphs with entities, inline links, bold and comments; a footer with the
time as the permalink and a comment link) and a sidebar with the blog roll
and the monthly archives. Every page is padded to its exact size.

Also written: an empty page (start-up alone), a page of 600,000 unclosed DIVs
(the worst case for memory) and, with --hostile, pages that guard against
quadratic time in the scanner and the entry locator.

The same seed always gives the same bytes.
"""
import argparse
import datetime
import os
import random

# Page file name -> exact size in bytes. The largest page stays under the
# tool's read limit of 3,145,727 bytes.
WEBLOG_PAGES = {
    "page-100k.html": 100 * 1024,
    "page-1m.html": 1024 * 1024,
    "page-3m.html": 3 * 1024 * 1024 - 2,
}

WORDS = """
the a of and to in is it that was for on with as at by from this his her
they we you he she but not all one had were there what when which their
said if do will each about how up out them then many some so these would
other into has more two like time see way could people than first been
call who its now find long down day did get come made may part over new
sound take only little work know place year live me back give most very
after thing our just name good sentence man think say great where help
through much before line right too mean old any same tell boy follow came
want show also around form three small set put end does another well large
must big even such because turn here why ask went men read need land
different home us move try kind hand picture again change off play spell
air away animal house point page letter mother answer found study still
learn should world high every near add food between own below country plant
last school father keep tree never start city earth eye light thought head
under story saw left few while along might close something seem next hard
open example begin life always those both paper together got group often
run important until children side feet car mile night walk white sea began
grow took river four carry state once book hear stop without second later
miss idea enough eat face watch far indian real almost let above girl
sometimes mountain cut young talk soon list song being leave family
harbour ferry weather garden kitchen rain train station coffee letters
""".split()

# Words written with an entity, as pages of the time did for typography.
ENTITY_WORDS = [
    "don&#8217;t", "it&#8217;s", "caf&eacute;", "na&iuml;ve", "&quot;really&quot;",
    "&mdash;", "fish&amp;chips", "&#8220;maybe&#8221;", "r&eacute;sum&eacute;",
    "&hellip;", "&lt;sigh&gt;", "5&nbsp;km",
]

AUTHORS = ["Marta", "Olek", "Jen", "Sam Whitlock", "kd"]
SITES = ["www.example.com", "example.org", "news.example.net", "photos.example.net",
         "www.example.edu", "journal.example.com", "blog.example.org"]


def sentence(rng, lo=6, hi=18):
    words = []
    for _ in range(rng.randint(lo, hi)):
        r = rng.random()
        if r < 0.04:
            words.append(rng.choice(ENTITY_WORDS))
        elif r < 0.06:
            words.append("<b>%s</b>" % rng.choice(WORDS))
        elif r < 0.08:
            words.append("<i>%s %s</i>" % (rng.choice(WORDS), rng.choice(WORDS)))
        elif r < 0.10:
            site = rng.choice(SITES)
            words.append('<a href="http://%s/%s/%d.html">%s %s</a>'
                         % (site, rng.choice(WORDS), rng.randint(1, 99999),
                            rng.choice(WORDS), rng.choice(WORDS)))
        else:
            words.append(rng.choice(WORDS))
    text = " ".join(words)
    return text[0].upper() + text[1:] + rng.choice([".", ".", ".", "!", "?"])


def paragraph(rng):
    return " ".join(sentence(rng) for _ in range(rng.randint(1, 4)))


def title_words(rng):
    words = [rng.choice(WORDS) for _ in range(rng.randint(2, 6))]
    if rng.random() < 0.15:
        words.insert(1, rng.choice(["&amp;", "&#8217;n", "&mdash;"]))
    return " ".join(w.capitalize() for w in words)


def clock(minutes):
    hour, minute = divmod(minutes, 60)
    return "%d:%02d %s" % ((hour + 11) % 12 + 1, minute, "AM" if hour < 12 else "PM")


def post(rng, blog, day, minutes, serial):
    """One post of the main column; its time links to its permalink."""
    slug = "%04d/%02d/%s" % (day.year, day.month, "-".join(
        rng.choice(WORDS) for _ in range(3)))
    permalink = "http://%s/%s.html" % (blog, slug)
    title = title_words(rng)
    out = ['<div class="post">', '<a name="%d"></a>' % (109000000000 + serial)]
    r = rng.random()
    if r < 0.6:
        out.append('<h3 class="post-title"><a href="%s">%s</a></h3>' % (permalink, title))
    elif r < 0.9:
        out.append("<h3>%s</h3>" % title)
    body = []
    for _ in range(rng.randint(1, 4)):
        r = rng.random()
        if r < 0.08:
            body.append("<blockquote>%s</blockquote>" % paragraph(rng))
        elif r < 0.14:
            body.append("<ul>%s</ul>" % "".join(
                "<li>%s" % sentence(rng, 3, 8) for _ in range(rng.randint(2, 5))))
        elif r < 0.20:
            body.append('<p><img src="http://%s/images/%d.jpg" width="320" height="240" '
                        'alt="%s" /><br />%s</p>'
                        % (blog, rng.randint(1, 9999), rng.choice(WORDS), sentence(rng)))
        else:
            body.append("<p>%s</p>" % paragraph(rng))
    if rng.random() < 0.1:
        body.append("<!-- %s -->" % sentence(rng, 3, 8))
    out.append('<div class="post-body">%s</div>' % "\n".join(body))
    comments = rng.choice([0, 0, 1, 2, 3, 5, 12])
    out.append('<p class="post-footer"><em>posted by %s at <a href="%s" '
               'title="permanent link">%s</a></em> | '
               '<a href="http://www.example.com/comment.g?blogID=4321&amp;postID=%d">'
               '%d comment%s</a></p>'
               % (rng.choice(AUTHORS), permalink, clock(minutes), 109000000000 + serial,
                  comments, "" if comments == 1 else "s"))
    out.append("</div>")
    return "\n".join(out) + "\n"


def head(rng, blog, name):
    return """<!DOCTYPE html PUBLIC "-//W3C//DTD XHTML 1.0 Transitional//EN"
 "http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd">
<html xmlns="http://www.w3.org/1999/xhtml">
<head>
<title>%(name)s</title>
<meta http-equiv="Content-Type" content="text/html; charset=iso-8859-1" />
<link rel="alternate" type="application/rss+xml" title="RSS" href="http://%(blog)s/index.rdf" />
<style type="text/css">
body { margin: 0; padding: 0; font: small Georgia, serif; background: #fff; }
#main { float: left; width: 70%%; } #sidebar { float: right; width: 25%%; }
h2.date-header { font-size: 90%%; text-transform: uppercase; color: #999; }
.post-footer { font-size: 80%%; color: #666; border-bottom: 1px dotted #ccc; }
</style>
<script type="text/javascript">
<!--
function popup(url) { window.open(url, "c", "width=400,height=500"); return false; }
// -->
</script>
</head>
<body>
<div id="header">
<h1 id="blog-title"><a href="http://%(blog)s/">%(name)s</a></h1>
<p id="description">%(about)s</p>
</div>
<div id="content">
<div id="main"><div id="main2">
""" % {"name": name, "blog": blog, "about": sentence(rng, 8, 14)}


def sidebar(rng, blog, months):
    out = ['</div></div>', '<div id="sidebar">', "<h2>About me</h2>",
           "<p>%s</p>" % paragraph(rng), "<h2>Links</h2>", "<ul>"]
    for _ in range(25):
        out.append('<li><a href="http://%s/%s/">%s</a></li>'
                   % (rng.choice(SITES), rng.choice(WORDS), title_words(rng)))
    out += ["</ul>", "<h2>Archives</h2>", "<ul>"]
    for y, m in months:
        out.append('<li><a href="http://%s/%04d_%02d_01_archive.html">%s %d</a></li>'
                   % (blog, y, m, datetime.date(y, m, 1).strftime("%B"), y))
    out += ["</ul>",
            '<p><a href="http://%s/index.rdf"><img src="/xml.gif" alt="RSS" /></a></p>' % blog,
            "</div>", "</div>", "</body>", "</html>", ""]
    return "\n".join(out)


def weblog_page(seed, size):
    """A front page of exactly size bytes, newest day first."""
    rng = random.Random("%d-%d" % (seed, size))
    blog = "%s.example.net" % rng.choice(["harbour", "kitchen", "notebook", "diary"])
    name = title_words(rng)
    top = head(rng, blog, name)
    day = datetime.date(2009, 12, 31)
    days, months, serial = [], [], 0
    used = len(top)
    reserve = 8192  # room for the sidebar; checked below
    while True:
        count = rng.choice([1, 2, 2, 3, 3, 4])
        times = sorted(rng.sample(range(24 * 60), count), reverse=True)
        block = ['<h2 class="date-header">%s</h2>\n'
                 % day.strftime("%A, %B %d, %Y")]
        for minutes in times:
            serial += 1
            block.append(post(rng, blog, day, minutes, serial))
        block = "".join(block)
        if used + len(block) + reserve > size:
            break
        days.append(block)
        used += len(block)
        if not months or months[-1] != (day.year, day.month):
            months.append((day.year, day.month))
        day -= datetime.timedelta(days=rng.choice([1, 1, 1, 2, 3]))
    assert day.year >= 1995, "too many days for the date range"
    text = top + "".join(days) + sidebar(rng, blog, months)
    pad = size - len(text) - len("<!--  -->\n")
    assert pad >= 0, "sidebar larger than its reserve"
    return (text + "<!-- " + " " * pad + " -->\n").encode("ascii")


def hostile_pages():
    """Pages of about 3 MiB that would take quadratic time if anything did."""
    n = 3145000

    def fill(s):
        return (s * (n // len(s) + 1))[:n]

    head = "<div><p>a</p><p>b</p><p>c</p>"
    level = "<div><p>1</p><p>2</p><p>3</p>"
    entry = "<p>Monday, March 1, 2004</p><p>text 10:32 PM</p>"
    return {
        "lt-a": fill("<a"),
        "lt-a-quote": fill("<a '"),
        "comment-open": fill("<!--"),
        "entity-digits": fill("&#" + "1" * 50),
        "lt": fill("<"),
        "gt-one": fill(">1"),
        "digits": fill("1"),
        "container-gt-one": (head + ">1" * 1600000 + "</div>")[:n],
        "container-gt": (head + ">" * 3200000 + "</div>")[:n],
        "deep-levels": level * (n // len(level)),
        "many-entries": ("<div>" + entry * (3100000 // len(entry)) + "</div>")[:n],
        "wide-children": ("<div>" + "<span>x</span>" * 220000 + "</div>")[:n],
    }


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("outdir")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--hostile", action="store_true",
                    help="also write the hostile pages into OUTDIR/hostile")
    args = ap.parse_args()
    os.makedirs(args.outdir, exist_ok=True)

    def put(name, data):
        with open(os.path.join(args.outdir, name), "wb") as f:
            f.write(data if isinstance(data, bytes) else data.encode("ascii"))

    for name, size in WEBLOG_PAGES.items():
        put(name, weblog_page(args.seed, size))
    put("empty.html", b"")
    put("deep-divs.html", "<div>" * 600000)
    if args.hostile:
        os.makedirs(os.path.join(args.outdir, "hostile"), exist_ok=True)
        for name, text in hostile_pages().items():
            put(os.path.join("hostile", name), text)


if __name__ == "__main__":
    main()
