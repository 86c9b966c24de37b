"""Puts a block that starts with <!-- NAME:begin --> and ends with <!-- NAME:end --> into a
Markdown file: in place of the file's block of that name, or at its end when it has none.

    python3 bench/put_section.py NAME FILE BLOCK_FILE
"""
import os
import sys


def put_section(name, path, block):
    text = open(path).read() if os.path.exists(path) else "# Benchmark results\n"
    begin, end = f"<!-- {name}:begin -->", f"<!-- {name}:end -->\n"
    if begin in text and end in text:
        text = text[:text.index(begin)] + block + text[text.index(end) + len(end):]
    else:
        text = text.rstrip("\n") + "\n\n" + block
    with open(path, "w") as f:
        f.write(text)


def main():
    name, path, block_file = sys.argv[1:4]
    put_section(name, path, open(block_file).read())


if __name__ == "__main__":
    main()
