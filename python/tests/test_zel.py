"""Tests of the Python module: declarations against the headers, the JSON
calls, releasing results, the failure boundary and arena mode.
The library comes from ZEL_LIBRARY (CTest sets it), else build/libzel.so."""
import ctypes
import os
import pathlib
import re
import shutil
import subprocess
import sys
import threading

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "python"))
if not os.environ.get("ZEL_LIBRARY") and (ROOT / "build" / "libzel.so").exists():
    os.environ["ZEL_LIBRARY"] = str(ROOT / "build" / "libzel.so")

import zel  # noqa: E402

LIB = zel.library()


# ---- declarations: an ABI reading of the headers, independent of gen_decls.py ----

C_SCALARS = {"void": None, "int64_t": ("int", 8, True), "int32_t": ("int", 4, True),
             "uint64_t": ("int", 8, False), "uint32_t": ("int", 4, False),
             "int": ("int", 4, True), "double": ("float", 8)}


def header_prototypes():
    """{name: (result abi, [argument abi])} for every function in the headers."""
    found = {}
    for path in [ROOT / "include" / "zel.h", *sorted((ROOT / "include" / "zel").glob("*.h"))]:
        text = re.sub(r"/\*.*?\*/|//[^\n]*", " ", path.read_text(), flags=re.S)
        text = re.sub(r"(?m)^\s*#.*$", " ", text)
        fn_types = set(re.findall(r"typedef[^;]*\(\s*\*\s*(\w+)\s*\)", text))
        text = re.sub(r"\btypedef\b[^;]*;|\[\[\w+\]\]|\b_Noreturn\b", " ", text)

        def abi(decl):
            decl = re.sub(r"\b(ZEL_\w+|const|struct)\b", " ", decl)
            words = decl.split()
            if "*" in decl or "(" in decl or (words and words[0] in fn_types):
                return "pointer"
            return C_SCALARS[words[0]]

        for result, name, params in re.findall(
                r"([A-Za-z_][\w \t\n\*]*?)\b(\w+)\s*\(((?:[^();{}]|\([^()]*\))*)\)\s*;", text):
            params = [p for p in re.split(r",(?![^(]*\))", params) if p.strip() not in ("", "void")]
            found[name] = (abi(result), [abi(p) for p in params])
    return found


def ctypes_abi(t):
    if t is None:
        return None
    if issubclass(t, (ctypes.c_void_p, ctypes.c_char_p, ctypes._Pointer, ctypes._CFuncPtr)):
        return "pointer"
    if issubclass(t, (ctypes.c_float, ctypes.c_double)):
        return ("float", ctypes.sizeof(t))
    return ("int", ctypes.sizeof(t), t(-1).value < 0)


def test_declared_types_match_the_headers():
    headers = header_prototypes()
    declared = [row[0] for row in zel._DECLS]
    assert len(declared) == len(set(declared))
    assert {"zel_json_get", "zel_string_split", "zel_exit", "zel_event_loop_register"} <= headers.keys()
    for name in declared:
        assert name in headers, f"{name} is declared but in no header"
        fn = getattr(LIB, name)
        got = (ctypes_abi(fn.restype), [ctypes_abi(a) for a in fn.argtypes])
        assert got == headers[name], name


def test_every_exported_header_function_is_declared():
    exports = ROOT.parent / "shared" / "exports.txt"
    if not exports.exists():
        pytest.skip(f"{exports} is absent")
    functions = {line.split()[1] for line in exports.read_text().splitlines() if line.startswith("F ")}
    missing = (functions & header_prototypes().keys()) - {row[0] for row in zel._DECLS}
    assert not missing


def test_generated_table_is_current():
    run = subprocess.run([sys.executable, str(ROOT / "python" / "gen_decls.py"), "--check"],
                         capture_output=True, text=True)
    assert run.returncode == 0, run.stderr


def test_library_search_order(tmp_path):
    # Next to the module: a copy of zel.py beside a link to the library.
    real = os.path.realpath(LIB._name)
    shutil.copy(ROOT / "python" / "zel.py", tmp_path)
    (tmp_path / "libzel.so").symlink_to(real)
    probe = "import zel; print(zel.library()._name)"
    env = {k: v for k, v in os.environ.items() if k != "ZEL_LIBRARY"}
    run = subprocess.run([sys.executable, "-c", probe], cwd=tmp_path, env=env, capture_output=True, text=True)
    assert run.stdout.strip() == str(tmp_path / "libzel.so"), run.stderr
    # The variable beats the module's directory, an explicit path beats both.
    env["ZEL_LIBRARY"] = str(tmp_path / "missing.so")
    run = subprocess.run([sys.executable, "-c", probe], cwd=tmp_path, env=env, capture_output=True, text=True)
    assert run.returncode != 0 and "ZEL_LIBRARY" in run.stderr
    run = subprocess.run([sys.executable, "-c", f"import zel; print(zel.load({real!r})._name)"],
                         cwd=tmp_path, env=env, capture_output=True, text=True)
    assert run.stdout.strip() == real, run.stderr


# ---- the JSON calls ----

DOC = '{"name":"ZEL","version":97,"ok":true,"tags":["a","b"],"esc":"x\\ty","n":null}'


@pytest.mark.parametrize("call, args, expected", [
    (zel.validate, (DOC,), True),
    (zel.validate, ("[1] x",), False),
    (zel.stringify, ('{ "a" : [1, 2] }',), '{"a":[1,2]}'),
    (zel.stringify, (b"[ true ]",), b"[true]"),
    (zel.type, (DOC,), "object"),
    (zel.type, (b"[1]",), "array"),
    (zel.type, ("",), "null"),
    (zel.get, (DOC, "name"), '"ZEL"'),
    (zel.get, (DOC.encode(), b"tags"), b'["a","b"]'),
    (zel.get, (DOC, "absent"), ""),
    (zel.get_string, (DOC, "esc"), "x\ty"),
    (zel.get_string, (DOC, "version"), ""),
    (zel.get_string, ('{"s":"h\u00e9"}', "s"), "h\u00e9"),
    (zel.get_number, (DOC, "version"), 97),
    (zel.get_number, ('{"v":-12.9}', "v"), -12),
    (zel.get_bool, (DOC, "ok"), 1),
    (zel.get_bool, (DOC, "n"), -1),
    (zel.has_key, (DOC, "n"), True),
    (zel.has_key, (DOC, b"nam"), False),
    (zel.array_len, ("[1,[2,3],{}]",), 3),
    (zel.array_len, (DOC,), -1),
    (zel.array_get, ("[10,20,30]", 1), "20"),
    (zel.array_get, (b"[10,20,30]", -1), b""),
    (zel.array_get, ("[10,20,30]", 2**32 + 1), ""),  # no wrap-around to element 1
    (zel.object_len, (DOC,), 6),
    (zel.count, ('{"a":1,"b":[1,2]}',), 5),
    # Zero bytes stay in the document: keys match them, and nothing is cut there.
    (zel.has_key, (b'{"k\x00":1}', b"k\x00"), True),
    (zel.has_key, (b'{"k\x00":1}', b"k"), False),
    (zel.get_number, (b'{"a\x00b":1,"y":2}', b"y"), 2),
    (zel.validate, (b"[1]\x00",), False),
    (zel.array_get, (bytearray(b'[1,"\x00"]'), 0), b"1"),
])
def test_json_calls(call, args, expected):
    got = call(*args)
    assert got == expected and type(got) is type(expected)


def test_bad_argument_types():
    with pytest.raises(TypeError):
        zel.get(DOC, 5)
    with pytest.raises(TypeError):
        zel.validate(None)
    with pytest.raises(TypeError):
        zel.array_get("[1]", 1.0)


class MallInfo2(ctypes.Structure):
    _fields_ = [(f, ctypes.c_size_t) for f in
                ("arena", "ordblks", "smblks", "hblks", "hblkhd", "usmblks", "fsmblks",
                 "uordblks", "fordblks", "keepcost")]


def heap_in_use():
    libc = ctypes.CDLL(None)
    libc.mallinfo2.restype = MallInfo2
    info = libc.mallinfo2()
    return info.uordblks + info.hblkhd


def test_results_are_released():
    # Every text result of 4 KiB that stayed allocated would add 16 MiB here.
    doc = '{"k":"' + "x" * 4096 + '","a":["' + "y" * 4096 + '"]}'
    calls = [lambda: zel.get(doc, "k"), lambda: zel.get_string(doc, "k"), lambda: zel.stringify(doc),
             lambda: zel.array_get(zel.get(doc, "a"), 0), lambda: zel.type(doc)]
    for call in calls:
        call()
    before = heap_in_use()
    for _ in range(800):
        for call in calls:
            call()
    assert heap_in_use() - before < 1 << 20


# ---- the failure boundary ----

def test_failures_raise_error_with_the_message():
    array = (ctypes.c_int64 * 5)(3, 3, 7, 8, 9)  # capacity, len, elements
    assert zel.call("zel_array_get_safe", ctypes.addressof(array), 2) == 9
    cases = [
        (("zel_array_get_safe", ctypes.addressof(array), 3), "array index 3 out of bounds [0, 3)"),
        ((LIB.zel_panic, zel.ZelString.of("gone wrong")), "gone wrong"),
        (("zel_assert", 0), "assertion failed"),
        (("zel_panic_divzero",), "division by zero"),
    ]
    for args, message in cases:
        with pytest.raises(zel.Error) as failure:
            zel.call(*args)
        assert str(failure.value) == message
    # The boundary is closed again and the next call starts clean.
    assert zel.get(DOC, "version") == "97" and LIB.zel_ffi_has_error() == 0


def test_failure_inside_a_callback_reaches_the_outer_call():
    loop = LIB.zel_event_loop_create()
    rfd, wfd = os.pipe()
    os.write(wfd, b"!")
    array = (ctypes.c_int64 * 3)(1, 1, 5)
    seen = []

    @ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.c_int64, ctypes.c_uint32)
    def on_ready(data, fd, ready):
        with pytest.raises(zel.Error):  # a failure raised and handled inside the callback
            zel.call("zel_array_get_safe", ctypes.addressof(array), 9)
        seen.append(zel.get_number(DOC, "version"))
        if data:  # a failure of a raw call, left for the outer call to report
            LIB.zel_array_get_safe(ctypes.addressof(array), 7)
            seen.append(zel.type(DOC))

    try:
        assert LIB.zel_event_loop_register(loop, rfd, 1, on_ready, None) == 0
        assert zel.call("zel_event_loop_run_once", loop, 1000) == 1
        assert LIB.zel_event_loop_register(loop, rfd, 1, on_ready, 1) == 0
        with pytest.raises(zel.Error, match=re.escape("array index 7 out of bounds [0, 1)")):
            zel.call("zel_event_loop_run_once", loop, 1000)
        assert seen == [97, 97, "object"]
    finally:
        LIB.zel_event_loop_destroy(loop)
        os.close(rfd)
        os.close(wfd)


# ---- arena mode ----

def test_arena_scope():
    usage = LIB.zel_arena_usage
    assert not zel.arena_enabled() and usage() == 0
    with zel.arena():
        assert zel.arena_enabled()
        name = zel.get(DOC, "name")
        assert usage() > 0
        with zel.arena():
            zel.stringify(DOC)
        assert zel.arena_enabled() and usage() > 0  # an inner scope leaves the outer one's arena
    assert name == '"ZEL"' and not zel.arena_enabled() and usage() == 0
    with pytest.raises(KeyError):
        with zel.arena():
            zel.get(DOC, "name")
            raise KeyError
    assert not zel.arena_enabled() and usage() == 0


def test_arena_switches_beside_calls_in_other_threads():
    # Another thread's strings are released by the mode they were made in.
    errors = []

    def query():
        for _ in range(20000):
            if zel.get(DOC, "tags") != '["a","b"]':
                errors.append("wrong answer")

    worker = threading.Thread(target=query)
    worker.start()
    for _ in range(10000):
        with zel.arena():
            zel.get_string(DOC, "name")
    worker.join()
    assert not errors and not zel.arena_enabled()
