#!/usr/bin/env python3
"""Makes a PDF from a short plain-text manual: a line "# ..." is the title,
"## ..." a heading, every other line is set as it stands (the text carries
its own line breaks). ASCII only; the same text always gives the same bytes.

    text_to_pdf.py manual.txt manual.pdf
"""
import os
import sys

PAGE_W, PAGE_H = 595, 842  # A4 in points
MARGIN = 64
STYLES = {"#": ("F2", 18, 30), "##": ("F2", 13, 24), "": ("F1", 11, 15)}  # font, size, line advance


def escape(text):
    return text.replace("\\", "\\\\").replace("(", "\\(").replace(")", "\\)")


def layout(lines):
    """Page content streams: one list of PDF text operators per page."""
    pages, ops, y = [], [], PAGE_H - MARGIN
    for line in lines:
        mark, _, rest = line.partition(" ")
        style = mark if mark in ("#", "##") else ""
        text = rest if style else line
        font, size, advance = STYLES[style]
        if style == "##":
            y -= 8
        if y - advance < MARGIN:
            pages.append(ops)
            ops, y = [], PAGE_H - MARGIN
        y -= advance
        if text.strip():
            ops.append("BT /%s %d Tf %d %d Td (%s) Tj ET" % (font, size, MARGIN, y, escape(text)))
    pages.append(ops)
    return pages


def build(pages):
    objects = [
        "<< /Type /Catalog /Pages 2 0 R >>",
        None,  # the page tree, once the pages are numbered
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica-Bold /Encoding /WinAnsiEncoding >>",
    ]
    kids = []
    for ops in pages:
        stream = "\n".join(ops)
        objects.append("<< /Length %d >>\nstream\n%s\nendstream" % (len(stream), stream))
        objects.append("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 %d %d] /Contents %d 0 R "
                       "/Resources << /Font << /F1 3 0 R /F2 4 0 R >> >> >>"
                       % (PAGE_W, PAGE_H, len(objects)))
        kids.append("%d 0 R" % len(objects))
    objects[1] = "<< /Type /Pages /Kids [%s] /Count %d >>" % (" ".join(kids), len(kids))
    out = "%PDF-1.4\n"
    offsets = []
    for number, body in enumerate(objects, 1):
        offsets.append(len(out))
        out += "%d 0 obj\n%s\nendobj\n" % (number, body)
    xref = len(out)
    out += "xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
    out += "".join("%010d 00000 n \n" % o for o in offsets)
    out += "trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objects) + 1, xref)
    return out.encode("ascii")


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    with open(sys.argv[1], encoding="ascii") as f:
        lines = f.read().splitlines()
    data = build(layout(lines))
    os.makedirs(os.path.dirname(os.path.abspath(sys.argv[2])), exist_ok=True)
    with open(sys.argv[2], "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
