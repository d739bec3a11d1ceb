"""Reads a listing page the way a media player's web source does: line by line, each
<a href="...">text</a> is a row when the text, HTML-unescaped, equals the %-decoded href
without its trailing slash; the row is a folder when its href ends in a slash. Anything else on
the page (icons, sort links, the about line) is not a row."""
import html
import re
import urllib.parse

ANCHOR = re.compile(r'<a href="([^"]*)"[^>]*>(.*?)</a>', re.IGNORECASE)
CHARSET = re.compile(rb'charset\s*=\s*["\']?([A-Za-z0-9_.:-]+)', re.IGNORECASE)


def charset(content_type, body):
    """The page's encoding: the server's word first, then the page's own meta line."""
    for source in (content_type.encode("latin-1", "replace"), body[:4096]):
        found = CHARSET.search(source)
        if found:
            return found.group(1).decode("ascii")
    return "utf-8"


def rows(text):
    """Maps each accepted row's name to True for a folder, False for a file."""
    found = {}
    for line in text.splitlines():
        for href, label in ANCHOR.findall(line):
            decoded = urllib.parse.unquote(html.unescape(href))
            folder = decoded.endswith("/")
            name = decoded[:-1] if folder else decoded
            if name and html.unescape(label) == name:
                # A name listed as both keeps the folder reading: a folder must be seen as one.
                found[name] = found.get(name, False) or folder
    return found


def near_misses(text, name):
    """The anchors whose href leads to `name` but were not accepted, for the failure report."""
    misses = []
    for line in text.splitlines():
        for href, label in ANCHOR.findall(line):
            decoded = urllib.parse.unquote(html.unescape(href))
            target = decoded.removesuffix("/index.html").removesuffix("/")
            if target == name:
                # Tags shortened, so the name after an icon stays in sight.
                shown = re.sub(r"<(/?\w+)[^>]*>", r"<\1>", label).strip()
                misses.append(f'href="{href}" text="{shown[:80]}"')
    return misses
