#!/usr/bin/env python3
"""lister's one manual, docs/manual.md, made into what each reader gets.

    manual.py FORMAT AUDIENCE SOURCE OUTPUT [NAME=VALUE ...]

FORMAT is `man` (a man page) or `text` (plain text at 76 columns; the
Windows zip's is written with CR LF by CMake); AUDIENCE picks the blocks:
a line `<!-- for: man help windows tarball hosting -->` gives the audiences
of the blocks after it, up to the next such line. NAME=VALUE pairs replace
@NAME@ in the result (the version, the release date).

The source is Markdown, of a few kinds of block only: headings (`#` is a
text's title, `##` a section, `###` a subsection), paragraphs, lists (`-`
or `1.`, continued by indented lines), terms (a line, then `: ` and its
description) and indented code; inline `code`, **bold**, *italics* and
[links](...). So it reads as it is on the web, and no fact of the manual
is kept twice.
"""
import re
import sys
import textwrap

WIDTH = 76
AUDIENCE_LINE = re.compile(r"^<!-- for: ([a-z ]+) -->$")


def blocks(lines):
    """(audiences, kind, lines) for each block, in order."""
    audiences = set()
    block, kind = [], None

    def flush():
        nonlocal block, kind
        while kind == "code" and block and not block[-1]:
            block.pop()
        if block:
            yield audiences, kind, block
        block, kind = [], None

    for raw in lines:
        line = raw.rstrip("\n")
        marker = AUDIENCE_LINE.match(line)
        if marker:
            yield from flush()
            audiences = set(marker.group(1).split())
            continue
        if not line.strip():
            if kind != "code":
                yield from flush()
            else:
                block.append("")
            continue
        if kind == "code" and line.startswith("    "):
            block.append(line[4:])
            continue
        if kind == "code":
            yield from flush()
        heading = re.match(r"^(#{1,3}) (.*)$", line)
        if heading:
            yield from flush()
            yield audiences, "h%d" % len(heading.group(1)), [heading.group(2)]
            continue
        item = re.match(r"^(-|\d+\.) (.*)$", line)
        if item:
            if kind not in ("list", None):
                yield from flush()
            kind = "list"
            block.append(line)
            continue
        if line.startswith(": ") and kind == "para" and len(block) == 1:
            kind = "term"
            block.append(line)
            continue
        if kind is None:
            kind = "code" if line.startswith("    ") else "para"
            block.append(line[4:] if kind == "code" else line)
            continue
        block.append(line)
    yield from flush()


def items(block):
    """A list's items as (marker, text)."""
    found = []
    for line in block:
        item = re.match(r"^(-|\d+\.) (.*)$", line)
        if item:
            found.append([item.group(1), item.group(2)])
        else:
            found[-1][1] += " " + line.strip()
    return found


def plain(text):
    text = re.sub(r"\[([^]]*)\]\([^)]*\)", r"\1", text)
    text = re.sub(r"\*\*([^*]+)\*\*", r"\1", text)
    text = re.sub(r"(?<![\w*])\*([^*]+)\*(?![\w*])", r"\1", text)
    return re.sub(r"`([^`]*)`", r"\1", text)


def roffEscape(text):
    return text.replace("\\", "\\e").replace("-", "\\-")


def roff(text):
    """Inline Markdown as roff: code and bold in bold, italics in italics."""
    out, at = [], 0
    pattern = re.compile(r"`([^`]*)`|\*\*([^*]+)\*\*|(?<![\w*])\*([^*]+)\*(?![\w*])|\[([^]]*)\]\([^)]*\)")
    for m in pattern.finditer(text):
        out.append(roffEscape(text[at:m.start()]))
        code, bold, italic, link = m.groups()
        if code is not None or bold is not None:
            out.append("\\fB" + roffEscape(code if code is not None else bold) + "\\fR")
        elif italic is not None:
            out.append("\\fI" + roffEscape(italic) + "\\fR")
        else:
            out.append(roffEscape(link))
        at = m.end()
    out.append(roffEscape(text[at:]))
    return "".join(out)


def roffLines(text):
    """Joined source lines as roff lines, none taken for a request."""
    lines = textwrap.wrap(roff(text), WIDTH, break_long_words=False, break_on_hyphens=False)
    return ["\\&" + line if line[:1] in ".'" else line for line in lines]


def joined(block):
    return " ".join(line.strip() for line in block)


def description(block):
    """A term's description: its `: ` line and the indented lines after it."""
    return joined([block[1][2:]] + block[2:])


def asMan(chosen, values):
    # Left-aligned and unhyphenated: paths and options read whole.
    out = ['.TH LISTER 1 "@LISTER_RELEASE_DATE@" "lister @PROJECT_VERSION@" "@MANUAL_SECTION@"', ".ad l", ".nh"]
    for kind, block in chosen:
        if kind == "h1":
            continue
        if kind == "h2":
            out.append(".SH " + roffEscape(plain(block[0]).upper()))
        elif kind == "h3":
            out.append(".SS " + roffEscape(plain(block[0])))
        elif kind == "para":
            out += [".PP"] + roffLines(joined(block))
        elif kind == "term":
            out += [".TP", *roffLines(block[0]), *roffLines(description(block))]
        elif kind == "list":
            for marker, text in items(block):
                out.append(".IP \\(bu 2" if marker == "-" else ".IP %s 4" % marker)
                out += roffLines(text)
        elif kind == "code":
            out += [".PP", ".RS", ".nf"] + ["\\&" + roffEscape(line) for line in block] + [".fi", ".RE"]
    return "\n".join(out) + "\n"


def wrapped(text, indent="", first=None):
    return textwrap.fill(plain(text), WIDTH, initial_indent=indent if first is None else first,
                         subsequent_indent=indent, break_long_words=False, break_on_hyphens=False)


def asText(chosen):
    out = []
    for kind, block in chosen:
        if kind == "h1":
            title = plain(block[0])
            out.append(title + "\n" + "=" * len(title))
        elif kind == "h2":
            title = plain(block[0])
            out.append(title + "\n" + "-" * len(title))
        elif kind == "h3":
            out.append(plain(block[0]))
        elif kind == "para":
            out.append(wrapped(joined(block)))
        elif kind == "term":
            out.append(plain(block[0]) + "\n" + wrapped(description(block), "    "))
        elif kind == "list":
            out.append("\n".join(wrapped(text, " " * (len(marker) + 1), marker + " ")
                                 for marker, text in items(block)))
        elif kind == "code":
            out.append("\n".join("    " + line if line else "" for line in block))
    return "\n\n".join(out) + "\n"


def usageOf(every):
    """The first line of code under the heading Synopsis, for whatever reader."""
    heading = None
    for _, kind, block in every:
        if kind == "h2":
            heading = block[0]
        elif kind == "code" and heading == "Synopsis":
            return block[0]
    sys.exit("manual.py: no synopsis to take the usage line from")


def asCpp(chosen, every):
    """The text as a C++ header: the synopsis as the usage line, and what
    only lister on Linux adds (blocks for `helplinux`)."""
    quoted = usageOf(every).replace("\\", "\\\\").replace('"', '\\"')
    linux = [(kind, block) for audiences, kind, block in every if "helplinux" in audiences]
    return ("// Made by docs/manual.py from docs/manual.md at each build: edit the manual.\n"
            "#pragma once\n\n#include <string_view>\n\nnamespace lister {\n\n"
            "inline constexpr std::string_view usageText = \"%s\";\n"
            "inline constexpr std::string_view helpText = R\"manual(%s)manual\";\n"
            "inline constexpr std::string_view linuxHelpText = R\"manual(%s)manual\";\n\n"
            "}  // namespace lister\n" % (quoted, asText(chosen), asText(linux) if linux else ""))


def main(argv):
    if len(argv) < 5 or argv[1] not in ("man", "text", "cpp"):
        sys.exit(__doc__)
    form, audience, source, output = argv[1:5]
    values = dict(pair.split("=", 1) for pair in argv[5:])
    newline = "\r\n" if values.pop("NEWLINE", "") == "CRLF" else "\n"
    with open(source, encoding="utf-8") as f:
        text = f.read()
    for name, value in values.items():
        text = text.replace("@%s@" % name, value)
    every = list(blocks(text.splitlines()))
    chosen = [(kind, block) for audiences, kind, block in every if audience in audiences]
    if not chosen:
        sys.exit("manual.py: no block of %s is for %s" % (source, audience))
    if form == "cpp":
        result = asCpp(chosen, every)
    else:
        result = asMan(chosen, values) if form == "man" else asText(chosen)
    for name, value in values.items():  # the man page's heading
        result = result.replace("@%s@" % name, value)
    with open(output, "w", encoding="utf-8", newline=newline) as f:
        f.write(result)


if __name__ == "__main__":
    main(sys.argv)
