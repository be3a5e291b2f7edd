#!/usr/bin/env bash
# Installs the build into a scratch prefix and uses the result as outsiders
# do: the program runs from its installed place, an extension module builds
# against the installed headers with every symbol it uses defined by the
# library, a C host links the module interface through pkg-config, and the
# library shows nothing of the engine's insides.
#
# usage: InstallCheck.sh <build dir> <source dir> <C++ compiler> <C compiler>
set -euo pipefail
build=$1 source=$2 cxx=$3 cc=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

fail() {
  echo "install check: $*" >&2
  exit 1
}

cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/qem include/qem/engine/ModuleExports.h include/qem/engine/VmContainer.h \
         include/qem/engine/ExternModule.h include/qem/vm/VmRegister.h include/qem/vm/VirtualMachine.h; do
  [ -e "$prefix/$f" ] || fail "$f is not installed"
done
pc=$(find "$prefix" -name qemengine.pc)
[ -n "$pc" ] || fail "qemengine.pc is not installed"
export PKG_CONFIG_PATH=$(dirname "$pc")
libdir=$(pkg-config --variable=libdir qemengine)
for f in libqemengine.so libqemengine.so.2; do
  [ -e "$libdir/$f" ] || fail "$libdir/$f is not installed"
done
[ "$(cd "$libdir" && pwd -P)" = "$(cd "$(dirname "$pc")/.." && pwd -P)" ] || fail "pkg-config's libdir $libdir is not the installed one"

"$prefix/bin/qem" -v </dev/null | grep -q "Engine version: 0154" || fail "the installed qem does not run"

# shellcheck disable=SC2046
"$cxx" -std=c++17 -shared -fPIC -o "$work/module.so" "$source/tests/modules/TestModule.cpp" \
  $(pkg-config --cflags --libs qemengine) -Wl,--no-undefined || fail "a module does not build against the installation"

cat >"$work/host.c" <<'HOST'
#include <stdio.h>
#include "engine/ModuleExports.h"
int main(void) {
    const char* info = GetInfo(NULL, 1);
    printf("%s|%d\n", info ? info : "(null)", (int)GenericFrame(NULL, 0, 0, "x"));
    return 0;
}
HOST
# shellcheck disable=SC2046
"$cc" -std=c99 -Wall -Werror -o "$work/host" "$work/host.c" $(pkg-config --cflags --libs qemengine) \
  -Wl,-rpath,"$libdir" || fail "a C host does not build against the installation"
[ "$("$work/host")" = "Versione 1|0" ] || fail "the C host does not reach the engine"

exported=$(nm -D --defined-only "$libdir/libqemengine.so" | c++filt)
for entry in OnCreate OnDestroy GenericFrame GenericEvent GetInfo OnDownload OnDownload2 CallFunction Install; do
  grep -q " T $entry\$" <<<"$exported" || fail "$entry is not exported"
done
# The engine's own classes, the debugger's parser and the libraries it uses
# internally stay inside.
if inside=$(grep -E " (CVRMachine|CVRModule3D|CDownloadManager|DebugParseContext|DebugSession|ConfigStore|PathResolver)::|boost::" <<<"$exported"); then
  fail "internal symbols are exported:"$'\n'"$(head -5 <<<"$inside")"
fi
echo "install check: passed"
