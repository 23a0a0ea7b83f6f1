"""json_query.py FILE KEY...: reads a JSON document and prints the value each
KEY names, one line each, as JSON text; the Python twin of zel-json.

A KEY is a path of member names and array indices joined by dots
("user.tags.0"); "." alone names the whole document. Exit status: 0, or 1 when
the document is not valid JSON, 2 when the file cannot be read, 3 when a KEY
names nothing (the others are still printed).

    PYTHONPATH=python ZEL_LIBRARY=build/libzel.so \\
        python3 examples/json_query.py examples/sample.json name user.tags.1
"""
import sys

import zel


def lookup(doc, path):
    """The JSON text (bytes) that path names inside doc, or None."""
    for step in filter(None, path.split(".")):
        kind = zel.type(doc)
        if kind == "array" and step.isdigit() and int(step) < zel.array_len(doc):
            doc = zel.array_get(doc, int(step))
        elif kind == "object" and zel.has_key(doc, step):
            doc = zel.get(doc, step)
        else:
            return None
    return doc


def main(argv):
    if len(argv) < 3:
        print(f"usage: {argv[0]} FILE KEY...", file=sys.stderr)
        return 2
    try:
        with open(argv[1], "rb") as f:
            doc = f.read()
    except OSError:
        print(f"{argv[1]}: cannot read the file", file=sys.stderr)
        return 2
    if not zel.validate(doc):
        print(f"{argv[1]}: not valid JSON", file=sys.stderr)
        return 1
    status = 0
    out = sys.stdout.buffer
    # The library's own strings come from an arena released at the end; the
    # answers are Python bytes and outlive it.
    with zel.arena():
        for key in argv[2:]:
            value = lookup(doc, key)
            if value is None:
                status = 3
                out.write(key.encode() + b": (absent)\n")
            else:
                out.write(key.encode() + b": " + zel.stringify(value) + b"\n")
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv))
