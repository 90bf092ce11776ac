#!/usr/bin/env python3
"""Generates a JSP or ASP site for the benchmark, and renders the expected conversion of any of its pages.

Every page is built from a small model of lines (plain text, lines holding code blocks, blocks over several lines,
include directives), and the model is rendered twice: once as the page's bytes and once as the bytes the
converted page must have. The expected side never searches or rewrites text; it is written out from the model,
so it does not share a way of going wrong with the converter.

The site is fixed by (style, pages, seed): any page can be rebuilt on its own, which is how the checker compares a
sample of converted pages without holding the site in memory (sitecheck.py, beside this file).

    sitegen.py generate --style jsp --pages 20000 --seed 1 SITE_DIR
    sitegen.py expected --style jsp --pages 20000 --seed 1 --page 7 > page7.html
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


def gbk_char(rng, ascii_trail=None):
    if ascii_trail is None:
        ascii_trail = rng.random() < 0.12
    if ascii_trail:
        # GBK/3 (lead 0x81..0xA0) defines every trail 0x40..0x7E: the bytes a naive scan takes for ASCII.
        return bytes((rng.randint(0x81, 0xA0), rng.randint(0x40, 0x7E)))
    return bytes((rng.randint(0xB0, 0xD6), rng.randint(0xA1, 0xFE)))


def sentence(rng):
    parts = [gbk_char(rng, ascii_trail=True)]  # at least one, so no file of the site is taken for UTF-8
    for _ in range(rng.randint(6, 36)):
        roll = rng.random()
        if roll < 0.08:
            parts.append(b" " + rng.choice(ASCII_WORDS) + b" ")
        elif roll < 0.13:
            parts.append(COMMA)
        else:
            parts.append(gbk_char(rng))
    rng.shuffle(parts)
    return b"".join(parts) + PERIOD


class TextPool:
    def __init__(self, rng, count=3000):
        self.sentences = [sentence(rng) for _ in range(count)]
        self.words = [b"".join(gbk_char(rng, False) for _ in range(rng.randint(2, 5))) for _ in range(400)]

    def pick_text(self, rng, count):
        return b"".join(rng.choice(self.sentences) for _ in range(count))

    def pick_word(self, rng):
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


def source_text(template, style):
    return template.replace(EXT, style.source)


def expected_text(template, style):
    return template.replace(EXT, style.output)


def render_source(lines, style):
    out = []
    for line in lines:
        if isinstance(line, MultiLineBlock):
            out.append(source_text(line.before, style) + b"<%" + source_text(line.first, style))
            out.extend(source_text(m, style) for m in line.middle)
            out.append(source_text(line.last, style) + b"%>" + source_text(line.after, style))
            continue
        bytes_of_line = b""
        for i, part in enumerate(line.parts):
            if i % 2 == 0:
                bytes_of_line += source_text(part, style)
            elif part.comment:
                bytes_of_line += b"<!--" + source_text(part.code, style) + b"-->"
            else:
                bytes_of_line += b"<%" + source_text(part.code, style) + b"%>"
        out.append(bytes_of_line)
    return CRLF.join(out) + CRLF


def expanded_block(code, include, style, expansions):
    if include is not None:
        return expansions[include]
    if style.asp:
        return b"<%" + expected_text(code, style) + b"%>" + CRLF  # ASP code is written back as one line
    return b""  # JSP code is cut out


def render_expected(lines, style, expansions):
    out = []
    for line in lines:
        if isinstance(line, MultiLineBlock):
            out.append(expected_text(line.before, style) + CRLF)
            code = expected_text(line.first, style) + b"".join(CRLF + expected_text(m, style) for m in line.middle)
            code += expected_text(line.last, style)
            if style.asp:
                out.append(b"<%" + code + b"%>" + CRLF)
            if line.after:
                out.append(expected_text(line.after, style) + CRLF)
            continue
        parts = line.parts
        if len(parts) == 1:
            out.append(expected_text(parts[0], style) + CRLF)
            continue
        # The text before each block is a line of its own, even when empty; the text after the last one only when
        # it is not empty. Each block's expansion stands where the block stood.
        for i in range(1, len(parts), 2):
            out.append(expected_text(parts[i - 1], style) + CRLF)
            out.append(expanded_block(parts[i].code, parts[i].include, style, expansions))
        if parts[-1]:
            out.append(expected_text(parts[-1], style) + CRLF)
    return b"".join(out)


def check_model(lines, style):
    """The model only describes what it can predict; this keeps the pages inside what it describes."""
    fake_include = trail("i") + b"nclude"

    def check_text(text, markers_allowed=False):
        assert b"<%" not in text, text
        # The extension appears only where a template says so, so the expected side knows every rewrite.
        assert b"." + style.source not in text, text
        if style.asp and b"<!" in text:
            # A line with "include" and "<!" has its comments turned into blocks; the model has them only in
            # include lines, where they are blocks already.
            assert b"include" not in text.replace(fake_include, b""), text

    for line in lines:
        if isinstance(line, MultiLineBlock):
            for text in [line.before, line.after, line.first, line.last] + line.middle:
                check_text(text)
                assert b"%>" not in text, text
            continue
        for text in line.parts[0::2]:
            check_text(text)
        for block in line.parts[1::2]:
            check_text(block.code)
            assert b"%>" not in block.code and b"-->" not in block.code, block.code
            assert block.comment == (style.asp and block.include is not None)
            if block.comment:
                assert all(b"<!--" not in t and b"-->" not in t for t in line.parts[0::2])


# ---------------------------------------------------------------------------------------------------------------
# The site.

def trail(letter):
    """A GBK character whose trail byte is the ASCII letter: a byte a naive scan sees as that letter."""
    return bytes((0x81 + (ord(letter) % 0x20), ord(letter)))


class Site:
    def __init__(self, style, pages, seed):
        self.style = Style(style)
        self.pages = pages
        self.seed = seed
        rng = self.rng_for("pool")
        self.pool = TextPool(rng)
        # ASP sites keep the page header as an .asp file in inc/, which is a page too; the count stays `pages`.
        self.leaf_pages = pages - 1 if self.style.asp else pages
        leaves = max(1, math.ceil(self.leaf_pages / PAGES_PER_FOLDER))
        self.fan_out = max(2, math.ceil(round(leaves ** (1.0 / 3.0), 9)))
        self.sections = min(self.fan_out, math.ceil(leaves / (self.fan_out * self.fan_out)))
        self.includes = self.build_includes()
        self.expansions = {}
        for key in ("menu", "head", "side", "foot") + tuple(f"sec{s}" for s in range(self.sections)):
            self.expansions[key] = render_expected(self.includes[key][1], self.style, self.expansions)

    def rng_for(self, what):
        return random.Random(f"quernfold-bench/{self.style.name}/{self.seed}/{what}")

    # Paths are relative to the site root, with "/".
    def folder_of(self, index):
        leaf = index // PAGES_PER_FOLDER
        f = self.fan_out
        return f"sec{leaf // (f * f):02d}/part{(leaf // f) % f:02d}/item{leaf % f:02d}"

    def page_name(self, index):
        return f"p{index:06d}"

    def page_path(self, index, ext):
        return f"{self.folder_of(index)}/{self.page_name(index)}.".encode() + ext

    def all_pages(self):
        """(relative source path, relative output path) of every page."""
        s = self.style
        for index in range(self.leaf_pages):
            yield (self.page_path(index, s.source).decode(), self.page_path(index, s.output).decode())
        if s.asp:
            yield ("inc/head.asp", "inc/head.htm")

    def include_block(self, target, key):
        if self.style.asp:
            keyword = b"virtual" if target.startswith(b"/") else b"file"
            return Block(b"#include " + keyword + b'="' + target + b'"', key, comment=True)
        return Block(b'@ include file="' + target + b'" ', key)

    def code_line(self, rng, before=b"", after=b""):
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

    def link(self, rng, from_index=None):
        target = rng.randrange(max(1, self.leaf_pages))
        roll = rng.random()
        if roll < 0.6 or from_index is None:
            href = b"/" + self.page_path(target, EXT)
        elif roll < 0.9:
            href = b"../../../" + self.page_path(target, EXT)
        else:
            href = self.page_name(target).encode() + b"." + EXT
        if rng.random() < 0.3:
            href += b"?id=" + str(rng.randrange(1000)).encode()
        return b'<a href="' + href + b'">' + self.pool.pick_word(rng) + b"</a>"

    def text_lines(self, rng, count):
        return [Line(b"<p>" + self.pool.pick_text(rng, rng.randint(1, 3)) + b"</p>") for _ in range(count)]

    def build_includes(self):
        """key -> (relative path, lines). head includes menu, the one nested include."""
        rng = self.rng_for("includes")
        s = self.style
        head_name = b"head.asp" if s.asp else b"head.jspf"
        includes = {}
        menu = [Line(b'<ul class="menu">')]
        for _ in range(16):
            menu.append(Line(b"  <li>" + self.link(rng) + b"</li>"))
        menu.append(Line(b"</ul>"))
        includes["menu"] = ("inc/menu.inc", menu)

        head = [Line(b'<div id="head">'), Line(b'  <img src="/img/logo.gif" alt="' + self.pool.pick_word(rng) + b'">')]
        head += self.text_lines(rng, 6)
        head.append(Line(b'  <div id="menu">', self.include_block(b"menu.inc", "menu"), b"</div>"))
        head.append(self.code_line(rng, b"  <span>", b"</span>"))
        head += [Line(b'  <a href="/index.' + EXT + b'">' + self.pool.pick_word(rng) + b"</a>"), Line(b"</div>")]
        includes["head"] = ("inc/" + head_name.decode(), head)

        side = [Line(b'<div class="box">')] + self.text_lines(rng, 8)
        side += [Line(b"  " + self.link(rng)) for _ in range(8)] + [Line(b"</div>")]
        includes["side"] = ("inc/side.inc", side)

        foot = [Line(b'<div id="foot">')] + self.text_lines(rng, 4)
        foot += [Line(b"  Copyright (C) 2004 " + self.pool.pick_word(rng) + b" " + self.link(rng)), Line(b"</div>")]
        includes["foot"] = ("inc/foot.inc", foot)

        sec_name = b"sec.inc" if s.asp else b"sec.jspf"
        for section in range(self.sections):
            lines = [Line(b'<div class="sec">' + self.pool.pick_word(rng) + b"</div>")] + self.text_lines(rng, 5)
            lines += [Line(b"  " + self.link(rng)) for _ in range(4)]
            includes[f"sec{section}"] = (f"sec{section:02d}/" + sec_name.decode(), lines)
        return includes

    def page_lines(self, index):
        rng = self.rng_for(f"page/{index}")
        s = self.style
        pool = self.pool
        section = index // PAGES_PER_FOLDER // (self.fan_out * self.fan_out)
        lines = []
        if s.asp:
            lines.append(Line(b"", Block(b'@ LANGUAGE="VBSCRIPT" CODEPAGE="936" '), b""))
            lines.append(Line(b"", Block(b" Option Explicit "), b""))
            lines.append(MultiLineBlock(b"", b"", [b"Dim title, count", b'title = "' + pool.pick_word(rng) + b'"',
                                                   b"count = " + str(rng.randrange(100)).encode()], b"", b""))
        else:
            lines.append(Line(b"", Block(b'@ page contentType="text/html; charset=GBK" pageEncoding="GBK" '), b""))
            lines.append(Line(b"", Block(b'@ page import="java.util.*" '), b""))
            lines.append(MultiLineBlock(b"", b"", [b'    String title = "' + pool.pick_word(rng) + b'";',
                                                   b"    int count = " + str(rng.randrange(100)).encode() + b";"],
                                        b"", b""))
        lines += [Line(b'<!DOCTYPE HTML PUBLIC "-//W3C//DTD HTML 4.01 Transitional//EN">'), Line(b"<html>"),
                  Line(b"<head>"),
                  Line(b'<meta http-equiv="Content-Type" content="text/html; charset=gb2312">'),
                  Line(b"<title>" + pool.pick_word(rng) + b" " + self.page_name(index).encode() + b"</title>"),
                  Line(b"</head>"), Line(b"<body>")]
        head_target = b"/inc/head." + EXT if s.asp else b"/inc/head." + EXT + b"f"
        lines.append(Line(b"", self.include_block(head_target, "head"), b""))
        lines.append(Line(b'<div class="side">', self.include_block(b"../../../inc/side.inc", "side"), b"</div>"))
        lines += [Line(b'<div class="main">'), Line(b"<h1>" + pool.pick_text(rng, 1) + b"</h1>"), Line(b"")]

        paragraphs = rng.randint(10, 45)
        if index % BIG_PAGE_EVERY == BIG_PAGE_EVERY // 2:
            paragraphs += 1500
        sec_at = rng.randint(2, 6)
        for p in range(paragraphs):
            if p == sec_at:
                sec_target = f"/sec{section:02d}/sec.".encode() + (b"inc" if s.asp else EXT + b"f")
                lines.append(Line(b"", self.include_block(sec_target, f"sec{section}"), b""))
            roll = rng.random()
            text = pool.pick_text(rng, rng.randint(1, 4))
            if roll < 0.25:
                lines.append(Line(b"<p>" + text + b" " + self.link(rng, index) + b"</p>"))
            elif roll < 0.35:
                lines.append(self.code_line(rng, b"<p>" + pool.pick_word(rng) + b" ",
                                            b" " + pool.pick_word(rng) + b"</p>"))
            elif roll < 0.40:
                if s.asp:
                    lines.append(Line(b"", Block(b" If count > 3 Then "), b"<b>" + pool.pick_word(rng) + b"</b>",
                                      Block(b" End If "), b""))
                else:
                    lines.append(Line(b"", Block(b" if (count > 3) { "), b"<b>" + pool.pick_word(rng) + b"</b>",
                                      Block(b" } "), b""))
            elif roll < 0.43:
                lines.append(Line(b"<li>" + pool.pick_word(rng) + b" 50%>30 " + pool.pick_word(rng) + b"</li>"))
            elif roll < 0.45:
                lines.append(Line(b""))
            else:
                lines.append(Line(b"<p>" + text + b"</p>"))
        if index % 3 == 0:
            lines.extend(self.traps(rng))
        lines.append(MultiLineBlock(b"<p>", b" if (count > 0) {" if not s.asp else b" If count > 0 Then",
                                    [b"    count = count - 1" + (b"" if s.asp else b";")],
                                    b"  }" if not s.asp else b"  End If", b"</p>"))
        lines += [Line(b'<a href="old/Index.' + s.source.upper() + b'">' + pool.pick_word(rng) + b"</a>"),
                  Line(b"</div>"), Line(b"", self.include_block(b"/inc/foot.inc", "foot"), b""), Line(b"</body>"),
                  Line(b"</html>")]
        return lines

    def traps(self, rng):
        """Lines where a trail byte forms a keyword: a converter that scans bytes, not characters, goes wrong here."""
        s = self.style
        word = self.pool.pick_word(rng)
        # "include" made of a GBK character ending in "i" and "nclude": not a keyword, so the comments stay text.
        text = Line(b"<p>" + word + trail("i") + b"nclude " + word + b"</p> <!-- " + word + b" -->")
        if s.asp:
            lines = [text, Line(b"", Block(b" ' " + word + trail("i") + b'nclude file="none.inc" '), b"")]
        else:
            lines = [text, Line(b"", Block(b" /* " + word + trail("i") + b'nclude file="none.inc" */ '), b"")]
        # "file" made of a GBK character ending in "f" and "ile": the block holds "include" but no keyword.
        lines.append(Line(b"", Block(b"-- include " + trail("f") + b'ile="none.inc" --'), b""))
        return lines

    def page_bytes(self, index):
        lines = self.page_lines(index)
        data = render_source(lines, self.style)
        if index % NO_FINAL_LINE_END_EVERY == 3:
            data = data[:-2]  # a last line without a line end is still a line
        return lines, data

    def expected_page(self, lines):
        return render_expected(lines, self.style, self.expansions)


# ---------------------------------------------------------------------------------------------------------------

def generate(site, root):
    made = set()

    def write_file(relative, data):
        path = os.path.join(root, relative)
        folder = os.path.dirname(path)
        if folder not in made:
            os.makedirs(folder, exist_ok=True)
            made.add(folder)
        with open(path, "wb") as f:
            f.write(data)

    total = 0
    for key, (relative, lines) in site.includes.items():
        check_model(lines, site.style)
        write_file(relative, render_source(lines, site.style))
    for index in range(site.leaf_pages):
        lines, data = site.page_bytes(index)
        if index < 50:
            check_model(lines, site.style)
        write_file(site.page_path(index, site.style.source).decode(), data)
        total += len(data)
    write_file("img/logo.gif", b"GIF89a\x01\x00\x01\x00\x00\x00\x00;")
    print(f"{site.pages} pages, {total / 1e6:.1f} MB of pages, in {root}", file=sys.stderr)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("command", choices=["generate", "expected"])
    parser.add_argument("--style", choices=["jsp", "asp"], default="jsp")
    parser.add_argument("--pages", type=int, default=2000)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--page", type=int, default=0, help="for expected: the page index")
    parser.add_argument("paths", nargs="*")
    args = parser.parse_intermixed_args()
    if args.pages < 2:
        parser.error("--pages must be at least 2")
    site = Site(args.style, args.pages, args.seed)
    if args.command == "generate":
        if len(args.paths) != 1:
            parser.error("generate takes SITE_DIR")
        generate(site, args.paths[0])
        return 0
    if args.command == "expected":
        # The expected conversion of one page on stdout, for looking into a difference by hand.
        lines, _ = site.page_bytes(args.page)
        sys.stdout.buffer.write(site.expected_page(lines))
        return 0


if __name__ == "__main__":
    sys.exit(main())
