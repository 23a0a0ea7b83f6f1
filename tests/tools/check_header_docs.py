#!/usr/bin/env python3
"""Checks that every function declared in the public headers carries a comment.

usage: check_header_docs.py INCLUDE_DIR [--cc GCC]

INCLUDE_DIR holds zel.h and zel/*.h. Every function declared there must be documented:

  * A comment documents the declaration on the line right below it. Attribute lines in front of
    a declaration, with the #ifdef/#else/#endif lines around them, belong to the declaration.
  * Declarations on consecutive lines (nothing between them, not even a blank line) form a
    group. A comment right above a group of two or more documents it only when it names every
    member, by its full name or by a pattern ending in '*' that matches it ("sb_*").
  * A section heading, a comment whose text starts with "----", documents nothing.

Each undocumented function is named with its file and line, and the exit status is 1. With
--cc, the set of functions found is compared with the declarations GCC itself reports
(-aux-info), so that a declaration the parser cannot read fails the check too instead of going
unseen. A built-in sample is checked first, so a broken parser cannot pass a real header.
"""

import os
import re
import subprocess
import sys
import tempfile

IDENT = re.compile(r"[A-Za-z_][A-Za-z0-9_]*")
# Statements that are only macro invocations (ZEL_EXTERN_C_BEGIN, ZEL_LITERAL(3) ...).
MACRO_ONLY = re.compile(r"^(\s*[A-Z][A-Z0-9_]*(\s*\([^()]*\))?)+\s*$")
ATTRIBUTE = re.compile(r"^\s*(\[\[[^\]]*\]\]|_Noreturn\b|__attribute__\s*\(\([^()]*\)\))")
CONDITIONAL = re.compile(r"^\s*#\s*(if|ifdef|ifndef|elif|else|endif)\b")


class Comment:
    def __init__(self, first, last, text, standalone):
        self.first, self.last, self.text, self.standalone = first, last, text, standalone

    def body(self):
        return re.sub(r"^/\*+|\*+/$|^//", "", self.text.strip()).strip(" *\n\t")

    def is_heading(self):
        return self.body().startswith("----")


class Decl:
    def __init__(self, name, first, last, text):
        self.name, self.first, self.last, self.text = name, first, last, text
        self.head = first  # first line that belongs to the declaration


def lex(source):
    """Comments, preprocessor lines and code statements of a header, with line numbers."""
    comments, statements, pp_lines = [], [], set()
    lines = source.split("\n")
    i, n, line = 0, len(source), 1
    stmt, stmt_first, depth = [], None, 0
    line_has_code = False  # code seen earlier on the current line

    def end_statement(last):
        nonlocal stmt, stmt_first
        text = "".join(stmt)
        if text.strip():
            statements.append((stmt_first, last, text))
        stmt, stmt_first = [], None

    while i < n:
        c = source[i]
        if source.startswith("/*", i) or source.startswith("//", i):
            if source[i + 1] == "*":
                end = source.find("*/", i + 2)
                j = n if end < 0 else end + 2
            else:
                end = source.find("\n", i)
                j = n if end < 0 else end
            text = source[i:j]
            last = line + text.count("\n")
            rest = source[j:].split("\n", 1)[0]
            standalone = not line_has_code and rest.strip() == ""
            comments.append(Comment(line, last, text, standalone))
            line, i = last, j
            continue
        if c == "#" and not line_has_code:
            j = i
            while True:
                k = source.find("\n", j)
                if k < 0:
                    k = n
                if k > 0 and source[k - 1] == "\\" and k < n:
                    j = k + 1
                    continue
                break
            text = source[i:k]
            for m in range(line, line + text.count("\n") + 1):
                pp_lines.add(m)
            line += text.count("\n")
            i = k
            continue
        if c == "\n":
            # A line of macro invocations only is no part of a declaration.
            if stmt and MACRO_ONLY.match("".join(stmt)):
                stmt, stmt_first = [], None
            line += 1
            line_has_code = False
            stmt.append(c)
            i += 1
            continue
        if c in "\"'":
            j = i + 1
            while j < n and source[j] != c:
                j += 2 if source[j] == "\\" else 1
            stmt.append(source[i:j + 1])
            i = j + 1
            line_has_code = True
            continue
        if not c.isspace():
            line_has_code = True
            if stmt_first is None:
                stmt_first = line
        if c == "{":
            depth += 1
        elif c == "}":
            depth -= 1
        stmt.append(c)
        i += 1
        if c == ";" and depth == 0:
            end_statement(line)
    end_statement(line)
    return comments, statements, pp_lines, lines


def function_name(text):
    """The declared function's name, or None when the statement declares no function."""
    body = text.strip()
    while True:
        m = ATTRIBUTE.match(body)
        if not m:
            break
        body = body[m.end():].lstrip()
    paren = body.find("(")
    if paren < 0 or "{" in body or re.match(r"typedef\b", body):
        return None
    # A pointer to a function, `int (*fp)(int);`, is a variable.
    if body[paren + 1:].lstrip().startswith("*"):
        return None
    m = re.search(r"([A-Za-z_][A-Za-z0-9_]*)$", body[:paren].rstrip())
    return m.group(1) if m else None


def parse(source):
    """Declarations and the comments of one header."""
    comments, statements, pp_lines, lines = lex(source)
    decls = []
    for first, last, text in statements:
        name = function_name(text)
        if name is None:
            continue
        d = Decl(name, first, last, text)
        # Attribute lines between preprocessor conditionals (a noreturn spelled for C and C++).
        if ATTRIBUTE.match(text.strip()):
            while d.head - 1 in pp_lines and CONDITIONAL.match(lines[d.head - 2]):
                d.head -= 1
        decls.append(d)
    decls.sort(key=lambda d: d.first)
    return decls, comments


def named_in(name, comment):
    for token in re.findall(r"[A-Za-z_][A-Za-z0-9_]*\*?", comment.body()):
        if token == name or (token.endswith("*") and name.startswith(token[:-1])):
            return True
    return False


def undocumented(source):
    """(line, name, reason) for every function of the header that lacks a comment."""
    decls, comments = parse(source)
    by_last_line = {c.last: c for c in comments if c.standalone}
    problems = []
    groups = []
    for d in decls:
        if groups and d.head == groups[-1][-1].last + 1:
            groups[-1].append(d)
        else:
            groups.append([d])
    for group in groups:
        comment = by_last_line.get(group[0].head - 1)
        if comment is None or comment.is_heading():
            reason = "only a section heading above it" if comment else "no comment directly above it"
            problems += [(d.first, d.name, reason if d is group[0] else
                          "in an undocumented group (line %d)" % group[0].first) for d in group]
            continue
        if len(group) > 1:
            problems += [(d.first, d.name, "the comment over its group (line %d) does not name it" % comment.first)
                         for d in group if not named_in(d.name, comment)]
    return problems, [d.name for d in decls]


SAMPLE = r"""
/* Intro. */
#ifndef SAMPLE_H
#define SAMPLE_H
#define MACRO(a) extern int m_##a(int);
ZEL_EXTERN_C_BEGIN
typedef struct S { int (*callback)(int); int field; } S;
typedef void (*Callback)(void *user, int64_t fd);
extern int counter;
/* Documented. */
int documented(void);
int undocumented_after_documented(void);

int lonely(int a,
           int b);
/* ---- a heading ---- */
int under_heading(void);
/* grouped_a and grouped_* are named. */
int grouped_a(void);
int grouped_b(void);
/* Names only named_a. */
int named_a(void);
int named_b(const char *p);
ZEL_LITERAL(1) ZEL_LITERAL(2)
int after_macros(void); /* a trailing comment is not one above */
/* Ends the process. */
#ifdef __cplusplus
[[noreturn]]
#else
_Noreturn
#endif
void noreturn_fn(int status);

#ifdef __cplusplus
[[noreturn]]
#endif
void noreturn_undocumented(int status);
struct Fwd;
Callback *pointer_result(int (*fn)(int), int64_t arg);
ZEL_EXTERN_C_END
#endif
"""
SAMPLE_EXPECTED = ["documented", "undocumented_after_documented", "lonely", "under_heading", "named_b", "after_macros",
                   "noreturn_undocumented", "pointer_result"]
SAMPLE_FUNCTIONS = ["documented", "undocumented_after_documented", "lonely", "under_heading", "grouped_a",
                    "grouped_b", "named_a", "named_b", "after_macros", "noreturn_fn", "noreturn_undocumented",
                    "pointer_result"]


def self_test():
    problems, names = undocumented(SAMPLE)
    got = [name for _, name, _ in problems]
    if got != SAMPLE_EXPECTED or names != SAMPLE_FUNCTIONS:
        sys.stderr.write("check_header_docs: self-test failed\n  found %s\n  flagged %s\n" % (names, got))
        sys.exit(2)


def headers(include_dir):
    top = os.path.join(include_dir, "zel.h")
    sub = os.path.join(include_dir, "zel")
    found = [top] if os.path.isfile(top) else []
    if os.path.isdir(sub):
        found += sorted(os.path.join(sub, f) for f in os.listdir(sub) if f.endswith(".h"))
    return found


def compiler_view(cc, include_dir, paths):
    """{header path: set of function names} as GCC's -aux-info reports the declarations."""
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "aux.txt")
        subprocess.run([cc, "-std=c11", "-fsyntax-only", "-aux-info", out, os.path.join(include_dir, "zel.h")],
                       check=True)
        with open(out, encoding="utf-8", errors="replace") as f:
            aux = f.read().splitlines()
    wanted = {os.path.realpath(p): p for p in paths}
    view = {p: set() for p in paths}
    for entry in aux:
        m = re.match(r"/\* (.+?):(\d+):\w+ \*/ (.*)$", entry)
        if not m:
            continue
        path = wanted.get(os.path.realpath(m.group(1)))
        # The name stands before its parameter list: "(*" opens a declarator instead.
        name = re.search(r"([A-Za-z_][A-Za-z0-9_]*) \((?!\*)", m.group(3))
        if path and name:
            view[path].add(name.group(1))
    return view


def main(argv):
    args = argv[1:]
    cc = None
    if "--cc" in args:
        k = args.index("--cc")
        cc = args[k + 1]
        del args[k:k + 2]
    if len(args) != 1:
        sys.stderr.write(__doc__)
        return 2
    self_test()
    include_dir = args[0]
    paths = headers(include_dir)
    if not paths:
        sys.stderr.write("check_header_docs: no headers under %s\n" % include_dir)
        return 2
    failures, total, seen = [], 0, {}
    for path in paths:
        with open(path, encoding="utf-8") as f:
            problems, names = undocumented(f.read())
        total += len(names)
        seen[path] = set(names)
        rel = os.path.relpath(path, os.path.dirname(os.path.abspath(include_dir)))
        failures += ["%s:%d: %s: %s" % (rel, line, name, reason) for line, name, reason in problems]
    if cc:
        for path, names in compiler_view(cc, include_dir, paths).items():
            rel = os.path.relpath(path, os.path.dirname(os.path.abspath(include_dir)))
            failures += ["%s: %s: declared, but this check could not read its declaration" % (rel, name)
                         for name in sorted(names - seen[path])]
    for line in failures:
        print(line)
    if failures:
        print("%d undocumented or unread of the %d functions found in %d headers" % (len(failures), total, len(paths)))
        return 1
    print("all %d functions declared in %d headers are documented" % (total, len(paths)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
