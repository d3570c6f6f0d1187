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
        elif c == "'" and re.search(r"(?<![\w.])\d[\w'.]*$", text[max(0, i - 40):i]):
            out.append(" ")  # a digit separator, as in 30'000
            i += 1
        elif c in "\"'":
            j = i + 1
            while j < n and text[j] not in (c, "\n"):  # a literal ends with its line
                j += 2 if text[j] == "\\" else 1
            closed = int(j < n and text[j] == c)
            out.append(c + re.sub(r"[^\n]", " ", text[i + 1:j]) + c * closed)
            i = min(j, n) + closed
        else:
            out.append(c)
            i += 1
    return "".join(out)


INITIALISERS = r"\)\s*:[^:]"  # a constructor's member initialisers begin


def is_scope_head(head):
    return re.match(r"\s*(template\s*<.*>\s*)?(namespace|class|struct|union|enum)\b", head)


def is_function_head(head):
    """Whether the text before a brace at namespace or class level opens a
    function body: a parameter list, maybe qualifiers, a trailing return
    type or the start of a constructor's member initialisers."""
    s = " ".join(head.split())
    if "(" not in s or is_scope_head(s):
        return False
    trailers = r"(const|override|noexcept|final|mutable|try|&&?)\s*|->.*|requires\b.*"
    return re.search(r"\)\s*(" + trailers + r")*$", s) is not None \
        or re.search(INITIALISERS, s) is not None


def open_call(head):
    """The text after the last parenthesis left open in head, or None."""
    depth = 0
    for k in range(len(head) - 1, -1, -1):
        depth += {")": 1, "(": -1}.get(head[k], 0)
        if depth < 0:
            return head[k + 1:]
    return None


def brace_kind(head, in_function):
    """What a brace at namespace or class level opens, from the text before
    it: "function" (a body, or more of the open one), "inner" (a list in a
    constructor's member initialisers), "scope" or "other" (a list, a
    default argument)."""
    inside = open_call(head)
    if inside is not None:
        if in_function or re.search(INITIALISERS, " ".join(head.split())):
            return "inner"
        return "function" if is_function_head(inside) else "other"  # a lambda argument
    if in_function or is_function_head(head):
        return "function"
    if is_scope_head(head) or not head.strip().endswith("=") and "(" not in head:
        return "scope"
    return "other"


def functions(text):
    """(first line, line count, head) of each function body: a brace opened
    at namespace or class level after a parameter list. A constructor's
    member initialisers in braces join the body that follows them, and a
    function-try-block its handlers."""
    code = blank_out(text)
    code = re.sub(r"(?m)^[ \t]*#(.*\\\n)*.*$", lambda m: re.sub(r"[^\n]", " ", m.group(0)), code)
    kinds = []  # one per open brace, as brace_kind names them
    heads = []  # the text before each open brace, taken up again after a list
    head = []
    found = []
    start = None  # offset of the open function's first brace
    for i, c in enumerate(code):
        if c == "{":
            at_scope = all(k == "scope" for k in kinds)
            kind = brace_kind("".join(head), start is not None) if at_scope else "other"
            if kind in ("function", "inner") and start is None:
                start = i
                function_head = " ".join("".join(head).split())[-90:]
            kinds.append(kind)
            heads.append(head)
            head = []
        elif c == "}":
            kind = kinds.pop() if kinds else "scope"
            before = heads.pop() if heads else []
            head = before + ["{}"] if kind in ("other", "inner") else []
            # Braced member initialisers are followed by a comma or the body,
            # a function-try-block by its handlers.
            if kind == "function" and not code[i + 1:].lstrip().startswith((",", "{", "catch")):
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
            if path.suffix in (".cpp", ".h") and "build" not in path.relative_to(root).parts:
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
            elif not listing and count > limit:
                print(f"{name}:{first}: a function of {count} lines (at most {limit}): {head}")
                faults += 1
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
