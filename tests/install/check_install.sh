#!/usr/bin/env bash
# Installs the build into a DESTDIR, checks the tree, and runs two clients
# built against the installed tree only: a C client built with pkg-config,
# which loads the plugin from the path that pkg-config names, and a C++
# client built with find_package.  Each prints the files that define what it
# calls, which must lie in the DESTDIR.
# Usage: check_install.sh BUILD-DIR WORK-DIR PREFIX LIBDIR INCLUDEDIR CMAKE CC CXX
#   (PREFIX, LIBDIR, INCLUDEDIR: the configured absolute install directories)
set -euo pipefail
build=$1 work=$2 prefix=$3 libdir=$4 includedir=$5 cmake=$6 cc=$7 cxx=$8
src=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work"
mkdir -p "$work"
dest="$work/root"
status=0
fail() { echo "FAIL $*"; status=1; }

DESTDIR="$dest" "$cmake" --install "$build" >"$work/install.log"

# The tree: what must be there, and the plugin's development link, which must not.
for f in "$includedir"/qolt/{http_plugin.h,rijndael.h,export.h} \
         "$includedir"/pelidor/gui_errhandler.h \
         "$libdir"/libpelidor_gui_errhandler.so{,.0} \
         "$libdir"/pelidor/plugins/qolt_http_plugin.so.2 \
         "$libdir"/pkgconfig/{pelidor-gui-errhandler,qolt-http-plugin}.pc \
         "$libdir"/cmake/pelidor_gui_errhandler/pelidor_gui_errhandler-config{,-version}.cmake \
         "$libdir"/cmake/qolt_http_plugin/qolt_http_plugin-config{,-version}.cmake; do
  [ -e "$dest$f" ] || fail "not installed: $f"
done
[ ! -e "$dest$libdir/pelidor/plugins/qolt_http_plugin.so" ] || fail "the plugin has a development link"

# Only what DESTDIR holds is to be used.
in_dest() {  # in_dest CLIENT-OUTPUT: every "defined in" file lies in $dest
  local n=0 file
  while read -r file; do
    n=$((n + 1))
    case "$(readlink -f "$file")" in
      "$(readlink -f "$dest")"/*) ;;
      *) fail "$2 used $file, outside the installed tree" ;;
    esac
  done < <(sed -n 's/^defined in //p' <<<"$1")
  [ "$n" -eq 2 ] || fail "$2 named $n defining files, not 2"
}

# The C client: pkg-config.  Our .pc files name the final prefix; copies that
# name the DESTDIR's stand for them.  (PKG_CONFIG_SYSROOT_DIR would move
# GTK+ and GLib into the DESTDIR too.)
mkdir -p "$work/pkgconfig"
for pc in "$dest$libdir"/pkgconfig/*.pc; do
  sed "s|^prefix=$prefix\$|prefix=$dest$prefix|" "$pc" >"$work/pkgconfig/$(basename "$pc")"
done
export PKG_CONFIG_PATH="$work/pkgconfig"
plugin=$(pkg-config --variable=plugin qolt-http-plugin)
[ "$plugin" = "$dest$libdir/pelidor/plugins/qolt_http_plugin.so.2" ] ||
  fail "pkg-config names the plugin $plugin"
# shellcheck disable=SC2046  # pkg-config's flags are separate words
"$cc" -o "$work/c_client" "$src/client.c" $(pkg-config --cflags qolt-http-plugin) \
  $(pkg-config --cflags --libs pelidor-gui-errhandler) -ldl
if out=$(LD_LIBRARY_PATH="$dest$libdir" "$work/c_client" "$plugin" 2>"$work/c_client.err"); then
  in_dest "$out" "the C client"
  grep -q "Ongeldige retval 9999" "$work/c_client.err" || fail "the C client's error line is missing"
else
  fail "the C client: $out $(cat "$work/c_client.err")"
fi
unset PKG_CONFIG_PATH

# The CMake client: find_package, with the installed prefix as its only hint.
"$cmake" -S "$src/cmake_client" -B "$work/cmake_client" -DCMAKE_C_COMPILER="$cc" \
  -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_PREFIX_PATH="$dest$prefix" \
  -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF >"$work/cmake_client.log" 2>&1 ||
  { cat "$work/cmake_client.log"; exit 1; }
"$cmake" --build "$work/cmake_client" >>"$work/cmake_client.log" 2>&1 ||
  { cat "$work/cmake_client.log"; exit 1; }
# No LD_LIBRARY_PATH: the imported targets give the client its run path.
if out=$("$work/cmake_client/cmake_client" 2>"$work/cmake_client.err"); then
  in_dest "$out" "the CMake client"
else
  fail "the CMake client: $out $(cat "$work/cmake_client.err")"
fi

[ $status -eq 0 ] && echo "ok: installed into $dest$prefix; the pkg-config and find_package clients ran"
exit $status
