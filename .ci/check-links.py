#!/usr/bin/env python3
"""Fails on a broken relative link in Markdown and HTML documents.

    check-links.py PATH...

Every .md and .html file under each PATH (or each file named) is read; each
link that is not a URL (http:, mailto:, ...) must name a file or directory
that exists, and a fragment (#name) must name a heading of a Markdown file
(as GitHub makes its anchors) or an id or name of an HTML file. Links inside
Markdown code (indented blocks, fences, `spans`) are not links.
"""
import html.parser
import os
import re
import sys
import urllib.parse

URL = re.compile(r"^[a-zA-Z][a-zA-Z0-9+.-]*:")
MD_LINK = re.compile(r"!?\[(?:[^\]\\]|\\.)*\]\(\s*<?([^)\s>]+)>?(?:\s+\"[^\"]*\")?\s*\)")
MD_TAG = re.compile(r"<(?:a|img)\s[^>]*?(?:href|src)=\"([^\"]+)\"", re.IGNORECASE)
HEADING = re.compile(r"^(#{1,6})\s+(.*?)\s*#*\s*$")
EXPLICIT_ID = re.compile(r"\{#([\w-]+)\}\s*$")


def markdown_lines(text):
    """The lines of a Markdown text outside code blocks, code spans removed."""
    fenced = False
    previous_blank = True
    for line in text.splitlines():
        if line.lstrip().startswith("```"):
            fenced = not fenced
            continue
        indented = line.startswith("    ") and previous_blank
        previous_blank = line.strip() == "" or (indented and previous_blank)
        if fenced or indented:
            continue
        yield re.sub(r"`[^`]*`", "", line)


def slug(heading):
    heading = re.sub(r"`|\*\*|__", "", heading).strip().lower()
    heading = re.sub(r"[^\w\- ]", "", heading)
    return heading.replace(" ", "-")


class Html(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.links, self.anchors = [], set()

    def handle_starttag(self, tag, attrs):
        for name, value in attrs:
            if value is None:
                continue
            if name in ("id", "name"):
                self.anchors.add(value)
            elif name in ("href", "src") and tag in ("a", "img", "link", "script", "area", "iframe"):
                self.links.append(value)


def read(path):
    with open(path, encoding="utf-8", errors="replace") as stream:
        return stream.read()


def parse(path, cache={}):
    """(links, anchors) of a document."""
    if path in cache:
        return cache[path]
    text = read(path)
    if path.endswith(".html"):
        parser = Html()
        parser.feed(text)
        result = (parser.links, parser.anchors)
    else:
        links, anchors, seen = [], set(), {}
        for line in markdown_lines(text):
            links += MD_LINK.findall(line) + MD_TAG.findall(line)
            anchors.update(re.findall(r"<a\s+(?:id|name)=\"([^\"]+)\"", line))
            match = HEADING.match(line)
            if match:
                explicit = EXPLICIT_ID.search(match.group(2))
                if explicit:
                    anchors.add(explicit.group(1))
                name = slug(EXPLICIT_ID.sub("", match.group(2)))
                count = seen.get(name, 0)
                seen[name] = count + 1
                anchors.add(name if count == 0 else f"{name}-{count}")
        result = (links, anchors)
    cache[path] = result
    return result


def broken(document, link):
    """Why the link is broken, or None."""
    if URL.match(link) or link.startswith("//"):
        return None
    target, _, fragment = link.partition("#")
    target = urllib.parse.unquote(target.split("?")[0])
    path = os.path.normpath(os.path.join(os.path.dirname(document), target)) if target else document
    if not os.path.exists(path):
        return "no such file"
    if fragment and os.path.isfile(path) and path.endswith((".md", ".html")):
        if urllib.parse.unquote(fragment) not in parse(path)[1]:
            return f"no anchor #{fragment} in {os.path.relpath(path)}"
    return None


def documents(paths):
    for path in paths:
        if os.path.isdir(path):
            for folder, _, names in os.walk(path):
                for name in sorted(names):
                    if name.endswith((".md", ".html")):
                        yield os.path.join(folder, name)
        else:
            yield path


def main(paths):
    if not paths:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    failures = checked = 0
    for document in documents(paths):
        for link in parse(document)[0]:
            checked += 1
            reason = broken(document, link)
            if reason:
                failures += 1
                print(f"{document}: {link}: {reason}", file=sys.stderr)
    print(f"check-links: {checked} links checked, {failures} broken ({' '.join(paths)})")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
