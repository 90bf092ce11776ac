#!/usr/bin/env python3
"""Generates a JSP or ASP site for the benchmark, and checks a converted copy of it.

Every page is built from a small model of lines (plain text, lines holding code blocks, blocks over several lines,
include directives), and the model is rendered twice: once as the page's bytes and once as the bytes the
converted page must have. The expected side never searches or rewrites text; it is written out from the model,
so it does not share a way of going wrong with the converter.

The site is fixed by (style, pages, seed): any page can be rebuilt on its own, which is how `check` compares a
sample of converted pages without holding the site in memory.

    sitegen.py generate --style jsp --pages 20000 --seed 1 SITE_DIR
    sitegen.py check    --style jsp --pages 20000 --seed 1 SITE_DIR OUTPUT_DIR [--sample 200]
"""

import argparse
import math
import os
import random
import sys

CRLF = b"\r\n"
# Stands for the page extension in a template: the source type in the site, the output type in the expected page.
EXT = b"\x00E"

PAGES_PER_FOLDER = 20
BIG_PAGE_EVERY = 997  # one page in this many is larger than the converter's first read, so it is read twice
NO_FINAL_LINE_END_EVERY = 7


class Style:
    def __init__(self, name):
        self.name = name
        self.asp = name == "asp"
        self.source = b"asp" if self.asp else b"jsp"
        self.output = b"htm" if self.asp else b"html"


# ---------------------------------------------------------------------------------------------------------------
# Text: GBK characters, some of them with a trail byte in the ASCII range (0x40..0x7E), mixed with ASCII words.

ASCII_WORDS = [b"Web", b"JSP", b"ASP", b"2003", b"OK", b"ID", b"No.", b"v1.2", b"QQ", b"BBS", b"FAQ", b"CEO", b"IT",
               b"HTML", b"8:30", b"100%", b"A-B", b"(1)", b"[2]", b"x86", b"DVD", b"TV", b"NBA", b"VIP"]
COMMA = b"\xa3\xac"   # full-width comma
PERIOD = b"\xa1\xa3"  # ideographic full stop


def GbkChar(rng, asciiTrail=None):
    if asciiTrail is None:
        asciiTrail = rng.random() < 0.12
    if asciiTrail:
        # GBK/3 (lead 0x81..0xA0) defines every trail 0x40..0x7E: the bytes a naive scan takes for ASCII.
        return bytes((rng.randint(0x81, 0xA0), rng.randint(0x40, 0x7E)))
    return bytes((rng.randint(0xB0, 0xD6), rng.randint(0xA1, 0xFE)))


def Sentence(rng):
    parts = [GbkChar(rng, asciiTrail=True)]  # at least one, so no file of the site is taken for UTF-8
    for _ in range(rng.randint(6, 36)):
        roll = rng.random()
        if roll < 0.08:
            parts.append(b" " + rng.choice(ASCII_WORDS) + b" ")
        elif roll < 0.13:
            parts.append(COMMA)
        else:
            parts.append(GbkChar(rng))
    rng.shuffle(parts)
    return b"".join(parts) + PERIOD


class TextPool:
    def __init__(self, rng, count=3000):
        self.sentences = [Sentence(rng) for _ in range(count)]
        self.words = [b"".join(GbkChar(rng, False) for _ in range(rng.randint(2, 5))) for _ in range(400)]

    def Text(self, rng, count):
        return b"".join(rng.choice(self.sentences) for _ in range(count))

    def Word(self, rng):
        return rng.choice(self.words)


# ---------------------------------------------------------------------------------------------------------------
# The line model.

class Block:
    """A code block on a line: "<%" code "%>", or in ASP include lines "<!--" code "-->"."""

    def __init__(self, code, include=None, comment=False):
        self.code = code
        self.include = include  # key of the included file, or None
        self.comment = comment


class Line:
    """Text and blocks on one line: parts alternate text (bytes) and Block, starting and ending with text."""

    def __init__(self, *parts):
        self.parts = list(parts)
        assert len(self.parts) % 2 == 1


class MultiLineBlock:
    """before "<%" first / middle lines / last "%>" after."""

    def __init__(self, before, first, middle, last, after):
        self.before, self.first, self.middle, self.last, self.after = before, first, middle, last, after


def Source(template, style):
    return template.replace(EXT, style.source)


def Expected(template, style):
    return template.replace(EXT, style.output)


def RenderSource(lines, style):
    out = []
    for line in lines:
        if isinstance(line, MultiLineBlock):
            out.append(Source(line.before, style) + b"<%" + Source(line.first, style))
            out.extend(Source(m, style) for m in line.middle)
            out.append(Source(line.last, style) + b"%>" + Source(line.after, style))
            continue
        bytesOfLine = b""
        for i, part in enumerate(line.parts):
            if i % 2 == 0:
                bytesOfLine += Source(part, style)
            elif part.comment:
                bytesOfLine += b"<!--" + Source(part.code, style) + b"-->"
            else:
                bytesOfLine += b"<%" + Source(part.code, style) + b"%>"
        out.append(bytesOfLine)
    return CRLF.join(out) + CRLF


def ExpandedBlock(code, include, style, expansions):
    if include is not None:
        return expansions[include]
    if style.asp:
        return b"<%" + Expected(code, style) + b"%>" + CRLF  # ASP code is written back as one line
    return b""  # JSP code is cut out


def RenderExpected(lines, style, expansions):
    out = []
    for line in lines:
        if isinstance(line, MultiLineBlock):
            out.append(Expected(line.before, style) + CRLF)
            code = Expected(line.first, style) + b"".join(CRLF + Expected(m, style) for m in line.middle)
            code += Expected(line.last, style)
            if style.asp:
                out.append(b"<%" + code + b"%>" + CRLF)
            if line.after:
                out.append(Expected(line.after, style) + CRLF)
            continue
        parts = line.parts
        if len(parts) == 1:
            out.append(Expected(parts[0], style) + CRLF)
            continue
        # The text before each block is a line of its own, even when empty; the text after the last one only when
        # it is not empty. Each block's expansion stands where the block stood.
        for i in range(1, len(parts), 2):
            out.append(Expected(parts[i - 1], style) + CRLF)
            out.append(ExpandedBlock(parts[i].code, parts[i].include, style, expansions))
        if parts[-1]:
            out.append(Expected(parts[-1], style) + CRLF)
    return b"".join(out)


def CheckModel(lines, style):
    """The model only describes what it can predict; this keeps the pages inside what it describes."""
    fakeInclude = Trail("i") + b"nclude"

    def CheckText(text, markersAllowed=False):
        assert b"<%" not in text, text
        # The extension appears only where a template says so, so the expected side knows every rewrite.
        assert b"." + style.source not in text, text
        if style.asp and b"<!" in text:
            # A line with "include" and "<!" has its comments turned into blocks; the model has them only in
            # include lines, where they are blocks already.
            assert b"include" not in text.replace(fakeInclude, b""), text

    for line in lines:
        if isinstance(line, MultiLineBlock):
            for text in [line.before, line.after, line.first, line.last] + line.middle:
                CheckText(text)
                assert b"%>" not in text, text
            continue
        for text in line.parts[0::2]:
            CheckText(text)
        for block in line.parts[1::2]:
            CheckText(block.code)
            assert b"%>" not in block.code and b"-->" not in block.code, block.code
            assert block.comment == (style.asp and block.include is not None)
            if block.comment:
                assert all(b"<!--" not in t and b"-->" not in t for t in line.parts[0::2])


# ---------------------------------------------------------------------------------------------------------------
# The site.

def Trail(letter):
    """A GBK character whose trail byte is the ASCII letter: a byte a naive scan sees as that letter."""
    return bytes((0x81 + (ord(letter) % 0x20), ord(letter)))


class Site:
    def __init__(self, style, pages, seed):
        self.style = Style(style)
        self.pages = pages
        self.seed = seed
        rng = self.Rng("pool")
        self.pool = TextPool(rng)
        # ASP sites keep the page header as an .asp file in inc/, which is a page too; the count stays `pages`.
        self.leafPages = pages - 1 if self.style.asp else pages
        leaves = max(1, math.ceil(self.leafPages / PAGES_PER_FOLDER))
        self.fanOut = max(2, math.ceil(round(leaves ** (1.0 / 3.0), 9)))
        self.sections = min(self.fanOut, math.ceil(leaves / (self.fanOut * self.fanOut)))
        self.includes = self.BuildIncludes()
        self.expansions = {}
        for key in ("menu", "head", "side", "foot") + tuple(f"sec{s}" for s in range(self.sections)):
            self.expansions[key] = RenderExpected(self.includes[key][1], self.style, self.expansions)

    def Rng(self, what):
        return random.Random(f"quernfold-bench/{self.style.name}/{self.seed}/{what}")

    # Paths are relative to the site root, with "/".
    def Folder(self, index):
        leaf = index // PAGES_PER_FOLDER
        f = self.fanOut
        return f"sec{leaf // (f * f):02d}/part{(leaf // f) % f:02d}/item{leaf % f:02d}"

    def PageName(self, index):
        return f"p{index:06d}"

    def PagePath(self, index, ext):
        return f"{self.Folder(index)}/{self.PageName(index)}.".encode() + ext

    def Pages(self):
        """(relative source path, relative output path) of every page."""
        s = self.style
        for index in range(self.leafPages):
            yield (self.PagePath(index, s.source).decode(), self.PagePath(index, s.output).decode())
        if s.asp:
            yield ("inc/head.asp", "inc/head.htm")

    def IncludeBlock(self, target, key):
        if self.style.asp:
            keyword = b"virtual" if target.startswith(b"/") else b"file"
            return Block(b"#include " + keyword + b'="' + target + b'"', key, comment=True)
        return Block(b'@ include file="' + target + b'" ', key)

    def CodeLine(self, rng, before=b"", after=b""):
        """A line holding one ordinary code block (no include)."""
        if self.style.asp:
            code = rng.choice([b"= count ", b" Response.Write title ", b"=Session(\"user\")",
                               b' If Request("go") = "1" Then Response.Redirect "list.' + EXT + b'" ',
                               b" count = count + 1 "])
        else:
            code = rng.choice([b"= count ", b" out.print(title); ", b"=session.getAttribute(\"user\")",
                               b' if (request.getParameter("go") != null) response.sendRedirect("list.' + EXT
                               + b'"); ', b" count++; "])
        return Line(before, Block(code), after)

    def Link(self, rng, fromIndex=None):
        target = rng.randrange(max(1, self.leafPages))
        roll = rng.random()
        if roll < 0.6 or fromIndex is None:
            href = b"/" + self.PagePath(target, EXT)
        elif roll < 0.9:
            href = b"../../../" + self.PagePath(target, EXT)
        else:
            href = self.PageName(target).encode() + b"." + EXT
        if rng.random() < 0.3:
            href += b"?id=" + str(rng.randrange(1000)).encode()
        return b'<a href="' + href + b'">' + self.pool.Word(rng) + b"</a>"

    def TextLines(self, rng, count):
        return [Line(b"<p>" + self.pool.Text(rng, rng.randint(1, 3)) + b"</p>") for _ in range(count)]

    def BuildIncludes(self):
        """key -> (relative path, lines). head includes menu, the one nested include."""
        rng = self.Rng("includes")
        s = self.style
        headName = b"head.asp" if s.asp else b"head.jspf"
        includes = {}
        menu = [Line(b'<ul class="menu">')]
        for _ in range(16):
            menu.append(Line(b"  <li>" + self.Link(rng) + b"</li>"))
        menu.append(Line(b"</ul>"))
        includes["menu"] = ("inc/menu.inc", menu)

        head = [Line(b'<div id="head">'), Line(b'  <img src="/img/logo.gif" alt="' + self.pool.Word(rng) + b'">')]
        head += self.TextLines(rng, 6)
        head.append(Line(b'  <div id="menu">', self.IncludeBlock(b"menu.inc", "menu"), b"</div>"))
        head.append(self.CodeLine(rng, b"  <span>", b"</span>"))
        head += [Line(b'  <a href="/index.' + EXT + b'">' + self.pool.Word(rng) + b"</a>"), Line(b"</div>")]
        includes["head"] = ("inc/" + headName.decode(), head)

        side = [Line(b'<div class="box">')] + self.TextLines(rng, 8)
        side += [Line(b"  " + self.Link(rng)) for _ in range(8)] + [Line(b"</div>")]
        includes["side"] = ("inc/side.inc", side)

        foot = [Line(b'<div id="foot">')] + self.TextLines(rng, 4)
        foot += [Line(b"  Copyright (C) 2004 " + self.pool.Word(rng) + b" " + self.Link(rng)), Line(b"</div>")]
        includes["foot"] = ("inc/foot.inc", foot)

        secName = b"sec.inc" if s.asp else b"sec.jspf"
        for section in range(self.sections):
            lines = [Line(b'<div class="sec">' + self.pool.Word(rng) + b"</div>")] + self.TextLines(rng, 5)
            lines += [Line(b"  " + self.Link(rng)) for _ in range(4)]
            includes[f"sec{section}"] = (f"sec{section:02d}/" + secName.decode(), lines)
        return includes

    def PageLines(self, index):
        rng = self.Rng(f"page/{index}")
        s = self.style
        pool = self.pool
        section = index // PAGES_PER_FOLDER // (self.fanOut * self.fanOut)
        lines = []
        if s.asp:
            lines.append(Line(b"", Block(b'@ LANGUAGE="VBSCRIPT" CODEPAGE="936" '), b""))
            lines.append(Line(b"", Block(b" Option Explicit "), b""))
            lines.append(MultiLineBlock(b"", b"", [b"Dim title, count", b'title = "' + pool.Word(rng) + b'"',
                                                   b"count = " + str(rng.randrange(100)).encode()], b"", b""))
        else:
            lines.append(Line(b"", Block(b'@ page contentType="text/html; charset=GBK" pageEncoding="GBK" '), b""))
            lines.append(Line(b"", Block(b'@ page import="java.util.*" '), b""))
            lines.append(MultiLineBlock(b"", b"", [b'    String title = "' + pool.Word(rng) + b'";',
                                                   b"    int count = " + str(rng.randrange(100)).encode() + b";"],
                                        b"", b""))
        lines += [Line(b'<!DOCTYPE HTML PUBLIC "-//W3C//DTD HTML 4.01 Transitional//EN">'), Line(b"<html>"),
                  Line(b"<head>"),
                  Line(b'<meta http-equiv="Content-Type" content="text/html; charset=gb2312">'),
                  Line(b"<title>" + pool.Word(rng) + b" " + self.PageName(index).encode() + b"</title>"),
                  Line(b"</head>"), Line(b"<body>")]
        headTarget = b"/inc/head." + EXT if s.asp else b"/inc/head." + EXT + b"f"
        lines.append(Line(b"", self.IncludeBlock(headTarget, "head"), b""))
        lines.append(Line(b'<div class="side">', self.IncludeBlock(b"../../../inc/side.inc", "side"), b"</div>"))
        lines += [Line(b'<div class="main">'), Line(b"<h1>" + pool.Text(rng, 1) + b"</h1>"), Line(b"")]

        paragraphs = rng.randint(10, 45)
        if index % BIG_PAGE_EVERY == BIG_PAGE_EVERY // 2:
            paragraphs += 1500
        secAt = rng.randint(2, 6)
        for p in range(paragraphs):
            if p == secAt:
                secTarget = f"/sec{section:02d}/sec.".encode() + (b"inc" if s.asp else EXT + b"f")
                lines.append(Line(b"", self.IncludeBlock(secTarget, f"sec{section}"), b""))
            roll = rng.random()
            text = pool.Text(rng, rng.randint(1, 4))
            if roll < 0.25:
                lines.append(Line(b"<p>" + text + b" " + self.Link(rng, index) + b"</p>"))
            elif roll < 0.35:
                lines.append(self.CodeLine(rng, b"<p>" + pool.Word(rng) + b" ", b" " + pool.Word(rng) + b"</p>"))
            elif roll < 0.40:
                if s.asp:
                    lines.append(Line(b"", Block(b" If count > 3 Then "), b"<b>" + pool.Word(rng) + b"</b>",
                                      Block(b" End If "), b""))
                else:
                    lines.append(Line(b"", Block(b" if (count > 3) { "), b"<b>" + pool.Word(rng) + b"</b>",
                                      Block(b" } "), b""))
            elif roll < 0.43:
                lines.append(Line(b"<li>" + pool.Word(rng) + b" 50%>30 " + pool.Word(rng) + b"</li>"))
            elif roll < 0.45:
                lines.append(Line(b""))
            else:
                lines.append(Line(b"<p>" + text + b"</p>"))
        if index % 3 == 0:
            lines.extend(self.Traps(rng))
        lines.append(MultiLineBlock(b"<p>", b" if (count > 0) {" if not s.asp else b" If count > 0 Then",
                                    [b"    count = count - 1" + (b"" if s.asp else b";")],
                                    b"  }" if not s.asp else b"  End If", b"</p>"))
        lines += [Line(b'<a href="old/Index.' + s.source.upper() + b'">' + pool.Word(rng) + b"</a>"),
                  Line(b"</div>"), Line(b"", self.IncludeBlock(b"/inc/foot.inc", "foot"), b""), Line(b"</body>"),
                  Line(b"</html>")]
        return lines

    def Traps(self, rng):
        """Lines where a trail byte forms a keyword: a converter that scans bytes, not characters, goes wrong here."""
        s = self.style
        word = self.pool.Word(rng)
        # "include" made of a GBK character ending in "i" and "nclude": not a keyword, so the comments stay text.
        text = Line(b"<p>" + word + Trail("i") + b"nclude " + word + b"</p> <!-- " + word + b" -->")
        if s.asp:
            lines = [text, Line(b"", Block(b" ' " + word + Trail("i") + b'nclude file="none.inc" '), b"")]
        else:
            lines = [text, Line(b"", Block(b" /* " + word + Trail("i") + b'nclude file="none.inc" */ '), b"")]
        # "file" made of a GBK character ending in "f" and "ile": the block holds "include" but no keyword.
        lines.append(Line(b"", Block(b"-- include " + Trail("f") + b'ile="none.inc" --'), b""))
        return lines

    def PageBytes(self, index):
        lines = self.PageLines(index)
        data = RenderSource(lines, self.style)
        if index % NO_FINAL_LINE_END_EVERY == 3:
            data = data[:-2]  # a last line without a line end is still a line
        return lines, data

    def ExpectedPage(self, lines):
        return RenderExpected(lines, self.style, self.expansions)


# ---------------------------------------------------------------------------------------------------------------

def Generate(site, root):
    made = set()

    def Write(relative, data):
        path = os.path.join(root, relative)
        folder = os.path.dirname(path)
        if folder not in made:
            os.makedirs(folder, exist_ok=True)
            made.add(folder)
        with open(path, "wb") as f:
            f.write(data)

    total = 0
    for key, (relative, lines) in site.includes.items():
        CheckModel(lines, site.style)
        Write(relative, RenderSource(lines, site.style))
    for index in range(site.leafPages):
        lines, data = site.PageBytes(index)
        if index < 50:
            CheckModel(lines, site.style)
        Write(site.PagePath(index, site.style.source).decode(), data)
        total += len(data)
    Write("img/logo.gif", b"GIF89a\x01\x00\x01\x00\x00\x00\x00;")
    print(f"{site.pages} pages, {total / 1e6:.1f} MB of pages, in {root}", file=sys.stderr)


def Check(site, root, output, sample):
    """Compares converted pages with the expected ones; returns the number of differences found."""
    problems = 0
    expectedOutputs = {out for _, out in site.Pages()}
    found = set()
    for folder, _, names in os.walk(output):
        for name in names:
            found.add(os.path.relpath(os.path.join(folder, name), output))
    for extra in sorted(found - expectedOutputs)[:10]:
        print(f"check: unexpected file in the output: {extra}", file=sys.stderr)
    for missing in sorted(expectedOutputs - found)[:10]:
        print(f"check: missing output page: {missing}", file=sys.stderr)
    problems += len(found ^ expectedOutputs)

    rng = random.Random(f"quernfold-bench/check/{site.seed}")
    indices = list(range(site.leafPages))
    if sample < len(indices):
        chosen = set(rng.sample(indices, sample))
        chosen.update(i for i in indices if i % BIG_PAGE_EVERY == BIG_PAGE_EVERY // 2)  # every big page
        chosen.add(0)
        indices = sorted(chosen)
    checked = 0
    for index in indices:
        lines, data = site.PageBytes(index)
        CheckModel(lines, site.style)
        source = os.path.join(root, site.PagePath(index, site.style.source).decode())
        with open(source, "rb") as f:
            if f.read() != data:
                print(f"check: {source} is not the generated page (regenerate the site)", file=sys.stderr)
                return problems + 1
        problems += Compare(os.path.join(output, site.PagePath(index, site.style.output).decode()),
                            site.ExpectedPage(lines))
        checked += 1
    if site.style.asp:
        problems += Compare(os.path.join(output, "inc/head.htm"), site.expansions["head"])
        checked += 1
    print(f"check: {checked} pages compared, {problems} problems", file=sys.stderr)
    return problems


def Compare(path, expected):
    try:
        with open(path, "rb") as f:
            actual = f.read()
    except OSError as error:
        print(f"check: {path}: {error.strerror}", file=sys.stderr)
        return 1
    if actual == expected:
        return 0
    at = next((i for i in range(min(len(actual), len(expected))) if actual[i] != expected[i]),
              min(len(actual), len(expected)))
    print(f"check: {path} differs at byte {at} (size {len(actual)}, expected {len(expected)}):\n"
          f"  got      {actual[max(0, at - 40):at + 40]!r}\n  expected {expected[max(0, at - 40):at + 40]!r}",
          file=sys.stderr)
    return 1


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("command", choices=["generate", "check", "expected"])
    parser.add_argument("--style", choices=["jsp", "asp"], default="jsp")
    parser.add_argument("--pages", type=int, default=2000)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--sample", type=int, default=200, help="pages compared by check (all when larger)")
    parser.add_argument("--page", type=int, default=0, help="for expected: the page index")
    parser.add_argument("paths", nargs="*")
    args = parser.parse_intermixed_args()
    if args.pages < 2:
        parser.error("--pages must be at least 2")
    site = Site(args.style, args.pages, args.seed)
    if args.command == "generate":
        if len(args.paths) != 1:
            parser.error("generate takes SITE_DIR")
        Generate(site, args.paths[0])
        return 0
    if args.command == "expected":
        # The expected conversion of one page on stdout, for looking into a difference by hand.
        lines, _ = site.PageBytes(args.page)
        sys.stdout.buffer.write(site.ExpectedPage(lines))
        return 0
    if len(args.paths) != 2:
        parser.error("check takes SITE_DIR OUTPUT_DIR")
    return 1 if Check(site, args.paths[0], args.paths[1], args.sample) else 0


if __name__ == "__main__":
    sys.exit(main())
