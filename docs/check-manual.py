#!/usr/bin/python3
"""Builds the manual into a folder of its own and checks it: every anchor the
main window's help commands open is there, every picture it shows is beside
it, and every link inside it leads to an anchor.

    check-manual.py SOURCE_ROOT OUTPUT_FOLDER
"""
import pathlib
import re
import subprocess
import sys

root, out = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
html_file = out / "Tarvo.html"
built = subprocess.run([sys.executable, str(root / "docs" / "build-manual.py"),
                        str(root / "docs" / "manual"), str(root / "docs" / "images"),
                        str(html_file)])
if built.returncode != 0:
    sys.exit("the manual does not build")
page = html_file.read_text(encoding="utf-8")
ids = set(re.findall(r'\sid="([^"]+)"', page))
problems = []

# Anchors the program opens: HelpContents("...") anywhere in the widgets.
anchors = set()
for source in (root / "ui").glob("*.cpp"):
    anchors.update(re.findall(r'HelpContents\("([^"]+)"\)', source.read_text(encoding="utf-8")))
if not anchors:
    problems.append("no HelpContents anchors found in ui/*.cpp")
problems += [f"anchor used by the program is missing: #{a}" for a in sorted(anchors - ids)]

for link in sorted(set(re.findall(r'href="#([^"]*)"', page)) - ids):
    problems.append(f"link to a missing anchor: #{link}")

images = set(re.findall(r'<img[^>]*\ssrc="([^"]+)"', page))
if not images:
    problems.append("the manual shows no pictures")
problems += [f"picture missing: {i}" for i in sorted(images) if not (out / i).is_file()]

for p in problems:
    print(p)
print(f"{len(anchors)} program anchors, {len(ids)} anchors, {len(images)} pictures checked")
sys.exit(1 if problems else 0)
