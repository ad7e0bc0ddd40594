#!/usr/bin/python3
"""Fails when a translatable text of the current sources has no finished
translation in a language file. Collects the texts into a copy of each
translations/tarvo_*.ts (scripts/translations), so a new tr() in the code
counts, and leaves the source tree as it was."""
import glob
import os
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET


def problems(ts_file):
    found = []
    root = ET.parse(ts_file).getroot()
    for context in root.iter("context"):
        name = context.findtext("name")
        for message in context.iter("message"):
            # lupdate writes control characters as <byte> elements.
            source_element = message.find("source")
            source = "".join(source_element.itertext()) if source_element is not None else ""
            translation = message.find("translation")
            kind = translation.get("type", "") if translation is not None else "missing"
            if message.get("numerus") == "yes" and translation is not None:
                forms = ["".join(f.itertext()) for f in translation.iter("numerusform")]
                empty = not forms or any(not f.strip() for f in forms)
            else:
                empty = translation is None or not "".join(translation.itertext()).strip()
            if kind in ("unfinished", "vanished", "obsolete", "missing") or empty:
                found.append(f"{name}: {source!r} ({kind or 'empty'})")
    return found


def main():
    source_dir = os.path.abspath(sys.argv[1])
    ts_files = sorted(glob.glob(os.path.join(source_dir, "translations", "tarvo_*.ts")))
    if not ts_files:
        print("no translations/tarvo_*.ts")
        return 1
    failed = False
    with tempfile.TemporaryDirectory(prefix="tarvo-ts-") as tmp:
        for ts in ts_files:
            copy = os.path.join(tmp, os.path.basename(ts))
            shutil.copyfile(ts, copy)
            subprocess.run([os.path.join(source_dir, "scripts", "translations"), copy], check=True)
            found = problems(copy) + [f"(in the tree) {p}" for p in problems(ts)]
            with open(copy, encoding="utf-8") as f:
                entries = f.read().count("<message")
            print(f"{os.path.basename(ts)}: {entries} entries, {len(found)} not translated")
            for p in found:
                print("  " + p)
            failed = failed or bool(found) or entries == 0
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
