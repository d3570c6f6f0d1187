#!/usr/bin/env python3
"""Checks the code's shape: no C++ file over 700 lines, no function body over
80 lines (100 in tests), counted from its opening brace to its closing one.
Prints each that runs over and exits 1 when there is one.
With --list, prints every function of more than N lines (default 60) instead."""
import pathlib
import re
import sys

MAX_FILE_LINES = 700
MAX_FUNCTION_LINES = 80
MAX_TEST_LINES = 100
FOLDERS = ("common", "platform", "vuzizeri", "tessane", "tests", "bench")


def blank_out(text):
    """The text with comments, strings and characters replaced by spaces,
    newlines kept, so braces inside them are not counted."""
    out = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            out.append(" " * (j - i))
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            out.append(re.sub(r"[^\n]", " ", text[i:j]))
            i = j
        elif text.startswith('R"', i):
            m = re.match(r'R"([^(\s]*)\(', text[i:])
            end = text.find(")" + m.group(1) + '"', i) if m else -1
            j = n if end < 0 else end + len(m.group(1)) + 2
            out.append('""' + re.sub(r"[^\n]", " ", text[i + 2:j]))
            i = j
        elif c == "'" and 0 < i < n - 1 and text[i - 1].isalnum() and text[i + 1].isalnum():
            out.append(" ")  # a digit separator, as in 30'000
            i += 1
        elif c in "\"'":
            j = i + 1
            while j < n and text[j] != c:
                j += 2 if text[j] == "\\" else 1
            out.append(c + " " * (j - i - 1) + c)
            i = j + 1
        else:
            out.append(c)
            i += 1
    return "".join(out)


def is_function_head(head):
    """Whether the text before a brace at namespace or class level opens a
    function body: a parameter list, maybe qualifiers, a trailing return
    type or the start of a constructor's member initialisers."""
    s = " ".join(head.split())
    if "(" not in s or re.match(r"(template\s*<.*>\s*)?(namespace|class|struct|union|enum)\b", s):
        return False
    return re.search(r"\)\s*((const|override|noexcept|final|mutable)\s*|->.*)*$", s) is not None \
        or re.search(r"\)\s*:[^:]", s) is not None


def functions(text):
    """(first line, line count, head) of each function body: a brace opened
    at namespace or class level after a parameter list. A constructor's
    braced member initialisers join the body that follows them."""
    code = blank_out(text)
    code = re.sub(r"(?m)^[ \t]*#.*$", lambda m: " " * len(m.group(0)), code)
    kinds = []  # one per open brace: "scope", "function" or "other"
    head = []
    found = []
    start = None  # offset of the open function's first brace
    for i, c in enumerate(code):
        if c == "{":
            text_before = "".join(head)
            at_scope = all(k == "scope" for k in kinds)
            if at_scope and (start is not None or is_function_head(text_before)):
                if start is None:
                    start = i
                    function_head = " ".join(text_before.split())[-90:]
                kinds.append("function")
            elif at_scope and not text_before.strip().endswith("=") and "(" not in text_before:
                kinds.append("scope")
            else:
                kinds.append("other")
            head = []
        elif c == "}":
            kind = kinds.pop() if kinds else "scope"
            head = []
            # Braced member initialisers are followed by a comma or the body.
            if kind == "function" and not code[i + 1:].lstrip().startswith((",", "{")):
                first = code.count("\n", 0, start) + 1
                found.append((first, code.count("\n", 0, i) + 2 - first, function_head))
                start = None
        elif c == ";":
            head = []
        else:
            head.append(c)
    return found


def source_files(root):
    for folder in FOLDERS:
        for path in sorted((root / folder).rglob("*")):
            if path.suffix in (".cpp", ".h") and "build" not in path.parts:
                yield path


def main():
    args = sys.argv[1:]
    listing = "--list" in args
    args = [a for a in args if a != "--list"]
    root = pathlib.Path(args[0] if args else ".")
    threshold = int(args[1]) if len(args) > 1 else 60
    faults = 0
    for path in source_files(root):
        name = path.relative_to(root).as_posix()
        text = path.read_text(encoding="utf-8")
        in_tests = name.startswith("tests/")
        lines = text.count("\n")
        if lines > MAX_FILE_LINES and not listing and not in_tests:
            print(f"{name}: {lines} lines (at most {MAX_FILE_LINES})")
            faults += 1
        limit = MAX_TEST_LINES if in_tests else MAX_FUNCTION_LINES
        for first, count, head in functions(text):
            if listing and count > threshold:
                print(f"{count:4d} {name}:{first}: {head}")
            elif not listing and count > limit and not name.startswith("bench/"):
                print(f"{name}:{first}: a function of {count} lines (at most {limit}): {head}")
                faults += 1
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
