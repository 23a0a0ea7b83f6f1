#!/bin/sh
# Installs the build into a fresh prefix, checks the installed tree, builds the
# same small host against it with pkg-config and with find_package, runs both,
# runs the installed Python module, and runs the installed library as a
# program.
# Usage: install_test.sh CMAKE CC BUILD_DIR SOURCE_DIR
set -eu
cmake=$1 cc=$2 build=$3 src=$4
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "install test: $*" >&2; exit 1; }

"$cmake" --install "$build" --prefix "$prefix" >/dev/null
lib=$prefix/lib
for f in libzel.so libzel.so.0 include/zel.h include/zel.hpp include/zel/core.h pkgconfig/zel.pc cmake/zel/zelConfig.cmake; do
  case $f in include/*) ;; *) f=lib/$f ;; esac
  [ -e "$prefix/$f" ] || fail "missing $f"
done
real=$(readlink -f "$lib/libzel.so")
case $(basename "$real") in libzel.so.0.*.*) ;; *) fail "libzel.so resolves to $real" ;; esac
objdump -p "$real" | grep -q 'SONAME *libzel.so.0$' || fail "soname is not libzel.so.0"

want="valid 1, tags [1,2,3], count 4"
export PKG_CONFIG_PATH="$lib/pkgconfig"
version=$(pkg-config --modversion zel)
# shellcheck disable=SC2046
"$cc" -o "$prefix/host-pc" "$src/tests/install/host.c" $(pkg-config --cflags --libs zel) -Wl,-rpath,"$lib"
[ "$("$prefix/host-pc")" = "$want" ] || fail "pkg-config host printed: $("$prefix/host-pc")"

"$cmake" -S "$src/tests/install/consumer" -B "$prefix/consumer" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_C_COMPILER="$cc" >/dev/null
"$cmake" --build "$prefix/consumer" >/dev/null
[ "$("$prefix/consumer/host")" = "$want" ] || fail "find_package host printed: $("$prefix/consumer/host")"

py=$(PYTHONPATH="$prefix/share/zel/python" ZEL_LIBRARY="$lib/libzel.so.0" python3 -c \
  'import zel; print(zel.get("{\"tags\":[1,2,3]}", "tags"))')
[ "$py" = "[1,2,3]" ] || fail "the installed Python module printed: $py"

[ "$("$lib/libzel.so" --version)" = "libzel $version" ] || fail "--version printed: $("$lib/libzel.so" --version)"
[ "$("$lib/libzel.so")" = "$("$build/libzel.so")" ] || fail "the installed program's demonstration differs"
echo "installed $version: pkg-config and find_package hosts run, the library runs as a program"
