#!/usr/bin/env python3
"""Prints the licence terms of a machine-readable Debian copyright file as LICENSE.txt
for the Windows packages: the copyright lines, the contact and every licence's text, in
Windows line endings. One source of terms for the .deb and the Windows packages."""
import sys


def paragraphs(text):
    """The file's paragraphs as lists of (field, value lines)."""
    for block in text.replace("\r\n", "\n").split("\n\n"):
        fields = []
        for line in block.splitlines():
            if line.startswith((" ", "\t")) and fields:
                # " ." stands for an empty line inside a field.
                rest = line.strip()
                fields[-1][1].append("" if rest == "." else rest)
            elif ":" in line:
                name, value = line.split(":", 1)
                fields.append((name.strip(), [value.strip()]))
        if fields:
            yield fields


def main():
    with open(sys.argv[1], encoding="utf-8") as source:
        text = source.read()
    out = []
    for fields in paragraphs(text):
        found = dict((name, value) for name, value in fields)
        if "Upstream-Name" in found:
            out.append(found["Upstream-Name"][0])
            if "Upstream-Contact" in found:
                out.append("Contact: " + " ".join(found["Upstream-Contact"]))
        for name, value in fields:
            if name == "Copyright":
                out += ["", "Copyright " + value[0]] + value[1:]
            elif name == "License":
                out += ["", "License: " + value[0]] + value[1:]
    if not any(line.startswith("License: ") for line in out):
        sys.exit("license-text: no License field in " + sys.argv[1])
    sys.stdout.buffer.write(("\r\n".join(out) + "\r\n").encode("utf-8"))


main()
