#!/usr/bin/python3
"""Builds the operator's manual: docs/manual/*.md (one file per chapter, in
name order) into one HTML file with a table of contents, and copies the
pictures it uses beside it.

    build-manual.py SOURCE_FOLDER IMAGES_FOLDER OUTPUT_HTML

Needs Debian's python3-markdown. A heading takes a fixed anchor with
{#name}; the main window's help commands open the manual at such anchors.
"""
import html
import pathlib
import re
import shutil
import sys

import markdown

STYLE = """
body { font-family: "DejaVu Sans", Arial, sans-serif; font-size: 15px; line-height: 1.5;
       color: #222; background: #fff; max-width: 60em; margin: 0 auto; padding: 1em 2em 4em; }
h1 { font-size: 2em; margin-bottom: 0.2em; border-bottom: 3px solid #2b5d8a; }
h2 { font-size: 1.45em; margin-top: 2.2em; color: #2b5d8a; border-bottom: 1px solid #ccd; }
h3 { font-size: 1.15em; margin-top: 1.6em; }
h4 { font-size: 1em; margin-top: 1.2em; }
code, kbd, pre { font-family: "DejaVu Sans Mono", monospace; font-size: 0.92em; }
pre { background: #f4f6f8; border: 1px solid #dde; padding: 0.6em 0.9em; overflow-x: auto; }
code { background: #f4f6f8; padding: 0 0.2em; }
pre code { background: none; padding: 0; }
table { border-collapse: collapse; margin: 0.8em 0; }
th, td { border: 1px solid #ccd; padding: 0.3em 0.6em; text-align: left; vertical-align: top; }
th { background: #eef2f6; }
img { max-width: 100%; border: 1px solid #bbb; }
p.pictures img { max-width: 49%; vertical-align: top; }
nav.toc { background: #f8f9fb; border: 1px solid #dde; padding: 0.5em 1.2em; }
nav.toc ul { padding-left: 1.4em; margin: 0.2em 0; }
nav.toc > div > ul > li > ul > li > ul { display: none; }
.note { background: #fff8e1; border-left: 4px solid #e0b000; padding: 0.5em 0.9em; margin: 1em 0; }
"""


def build(source: pathlib.Path, images: pathlib.Path, output: pathlib.Path) -> None:
    chapters = sorted(source.glob("*.md"))
    if not chapters:
        sys.exit(f"build-manual: no chapters in {source}")
    text = "\n\n".join(c.read_text(encoding="utf-8") for c in chapters)
    md = markdown.Markdown(
        extensions=["toc", "tables", "attr_list", "fenced_code", "md_in_html", "sane_lists"],
        extension_configs={"toc": {"toc_depth": "2-3", "permalink": False}},
    )
    body = md.convert(text)
    title = "Tarvo – operator's manual"
    page = (
        '<!DOCTYPE html>\n<html lang="en">\n<head>\n<meta charset="utf-8">\n'
        f"<title>{html.escape(title)}</title>\n<style>{STYLE}</style>\n</head>\n<body>\n"
        f'<h1 id="top">Tarvo</h1>\n<p>{html.escape("A desktop terminal for amateur packet radio on Linux – the operator’s manual")}</p>\n'
        f'<nav class="toc"><strong>Contents</strong>\n{md.toc}</nav>\n{body}\n</body>\n</html>\n'
    )
    output.parent.mkdir(parents=True, exist_ok=True)
    tmp = output.with_suffix(".tmp")
    tmp.write_text(page, encoding="utf-8")
    tmp.replace(output)

    # The pictures the manual names, beside it; a missing one fails the build.
    missing = []
    for name in sorted(set(re.findall(r'<img[^>]*\ssrc="([^"]+)"', body))):
        if "://" in name:
            continue
        src = images.parent / name if name.startswith("images/") else images / name
        dst = output.parent / name
        if not src.is_file():
            missing.append(name)
            continue
        dst.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(src, dst)
    if missing:
        sys.exit("build-manual: missing pictures: " + ", ".join(missing))
    # Pictures the manual no longer shows would otherwise be installed with it.
    wanted = {(output.parent / n).resolve() for n in re.findall(r'<img[^>]*\ssrc="([^"]+)"', body)}
    for old in (output.parent / "images").glob("*"):
        if old.is_file() and old.resolve() not in wanted:
            old.unlink()


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    build(pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2]), pathlib.Path(sys.argv[3]))
