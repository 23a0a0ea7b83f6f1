"""A Python host: loads the library with ctypes, asks JSON questions and gets a
failure back through the boundary instead of losing the process."""
import ctypes
import sys

lib = ctypes.CDLL(sys.argv[1])
P, I64, I32 = ctypes.c_void_p, ctypes.c_int64, ctypes.c_int32
for name, res, args in [
    ("zel_ffi_cstr_to_string", P, [ctypes.c_char_p]),
    ("zel_ffi_string_data", ctypes.c_char_p, [P]),
    ("zel_ffi_string_len", I64, [P]),
    ("zel_ffi_free_string", None, [P]),
    ("zel_string_free", I64, [P]),
    ("zel_json_validate", I64, [P]),
    ("zel_json_get", P, [P, P]),
    ("zel_json_get_number", I64, [P, P]),
    ("zel_json_array_get", P, [P, I32]),
    ("zel_ffi_begin", I32, []),
    ("zel_ffi_end", None, []),
    ("zel_ffi_has_error", I32, []),
    ("zel_ffi_error_message", ctypes.c_char_p, []),
    ("zel_array_get_safe", I64, [P, I64]),
]:
    fn = getattr(lib, name)
    fn.restype, fn.argtypes = res, args

doc = lib.zel_ffi_cstr_to_string(b'{"name":"ZEL","version":97,"list":[10,20,30]}')
name = lib.zel_ffi_cstr_to_string(b"name")
version = lib.zel_ffi_cstr_to_string(b"version")
print("valid", lib.zel_json_validate(doc))
got = lib.zel_json_get(doc, name)
print("name", lib.zel_ffi_string_data(got).decode(), lib.zel_ffi_string_len(got))
lib.zel_string_free(got)
print("version", lib.zel_json_get_number(doc, version))

array = (ctypes.c_int64 * 5)(3, 3, 7, 8, 9)
print("begin", lib.zel_ffi_begin())
print("in range", lib.zel_array_get_safe(ctypes.addressof(array), 2))
print("out of range", lib.zel_array_get_safe(ctypes.addressof(array), 3))
print("error", lib.zel_ffi_has_error(), lib.zel_ffi_error_message().decode())
lib.zel_ffi_end()
for s in (doc, name, version):
    lib.zel_ffi_free_string(s)
print("still alive")
