#!/usr/bin/env bash
# The installed tree as a packager and a client see it.
#  1. A DESTDIR install at the configured prefix: the files, the plugin's
#     layout (the shared object in the libdir, a relative link to it in the
#     plugin folder, no development link), no run path in either library.
#  2. The same stage through PKG_CONFIG_SYSROOT_DIR: every directory the .pc
#     files name exists.  Read without it, they name the configured prefix's
#     own directories; for /usr, every folder in their flags is a /usr
#     folder, and pkgconf drops ours.
#  3. An install to another prefix (cmake --install --prefix): the .pc files
#     name its absolute, normal paths, never ${pcfiledir} or "..", no flag
#     names the pkgconfig folder, and none is a run path.
#  4. Clients built against that prefix alone, run without LD_LIBRARY_PATH:
#     a C client through pkg-config that loads the plugin by the path
#     pkg-config names; a C++ client that links the plugin for the Rijndael
#     class, once through pkg-config and once through find_package.  Each
#     prints the files that define what it calls, which must lie in the
#     prefix.  Their one run path is that prefix's libdir, which stands for
#     the loader's own directories of an install to /usr: the plugin folder
#     is never on it.  (CMake gives its client that run path; the pkg-config
#     clients are linked with it.)  The C client runs again with the
#     pkgconfig folder removed, as where only the runtime files are
#     installed; the CMake package's plugin path is pkg-config's.
#  5. Every public header compiled on its own and after <resolv.h> and
#     <arpa/nameser.h>, as C89, C99, C11 (the C headers), C++11 and C++17,
#     with -Wall -Wextra -pedantic -Werror and pkg-config's ordinary -I flags;
#     the error codes' values, both names, the opt-out of the short names,
#     and GTK+'s GtkWidget passed to the error library's functions.
#  6. Components: Runtime installs the shared objects and the plugin's link
#     and no header; Runtime and Development together are the whole tree.
#  7. An embedding parent (add_subdirectory) installs nothing of ours, unless
#     it sets PELIDOR_INSTALL.
# Usage: check_install.sh BUILD-DIR WORK-DIR PREFIX LIBDIR INCLUDEDIR CMAKE CC CXX
#   PREFIX: the configured install prefix; LIBDIR and INCLUDEDIR relative to it
#   (CMAKE_INSTALL_LIBDIR, CMAKE_INSTALL_INCLUDEDIR).
set -euo pipefail
build=$1 work=$2 prefix=$3 libdir=$4 includedir=$5 cmake=$6 cc=$7 cxx=$8
src=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$src/../.." && pwd)
unset LD_LIBRARY_PATH PKG_CONFIG_PATH PKG_CONFIG_LIBDIR PKG_CONFIG_SYSROOT_DIR
case "$libdir$includedir" in
  /*) echo "LIBDIR and INCLUDEDIR must be relative to the prefix: $libdir $includedir"; exit 1 ;;
esac
rm -rf "$work"
mkdir -p "$work"
status=0
fail() { echo "FAIL $*"; status=1; }
plugin_name=qolt_http_plugin.so.2
pcs=(pelidor-gui-errhandler qolt-http-plugin)
system_pc_path=$(pkg-config --variable pc_path pkg-config)

# runpath FILE: its RPATH and RUNPATH entries, one per line.
runpath() {
  readelf -d "$1" | sed -n 's/.*(\(RPATH\|RUNPATH\)).*\[\(.*\)\]/\2/p' | tr ':' '\n'
}

# --- 1. The tree at the configured prefix, in a DESTDIR -------------------
stage="$work/stage"
DESTDIR="$stage" "$cmake" --install "$build" >"$work/install.log"
root="$stage$prefix"
for f in "$includedir"/qolt/{http_plugin.h,rijndael.h,export.h} \
         "$includedir"/pelidor/gui_errhandler.h \
         "$libdir"/libpelidor_gui_errhandler.so{,.0} \
         "$libdir/$plugin_name" "$libdir/pelidor/plugins/$plugin_name" \
         "$libdir"/pkgconfig/{pelidor-gui-errhandler,qolt-http-plugin}.pc \
         "$libdir"/cmake/pelidor_gui_errhandler/pelidor_gui_errhandler-config{,-version}.cmake \
         "$libdir"/cmake/qolt_http_plugin/qolt_http_plugin-config{,-version}.cmake; do
  [ -e "$root/$f" ] || fail "not installed: $f"
done
# The plugin: a file under its soname in the libdir, where the loader finds
# it, and a relative link in the plugin folder, which dlopen() follows.
so="$root/$libdir/$plugin_name" link="$root/$libdir/pelidor/plugins/$plugin_name"
if [ ! -f "$so" ] || [ -L "$so" ]; then fail "the plugin in the libdir is not a file"; fi
[ -L "$link" ] || fail "the plugin folder holds no link"
case "$(readlink "$link")" in /*) fail "the plugin's link is absolute: $(readlink "$link")" ;; esac
[ "$(readlink -f "$link")" = "$(readlink -f "$so")" ] || fail "the plugin's link names $(readlink "$link")"
soname=$(readelf -d "$link" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p') || true
[ "$soname" = "$plugin_name" ] || fail "the plugin's soname is $soname"
for f in "$root/$libdir"/qolt_http_plugin.so "$root/$libdir"/pelidor/plugins/qolt_http_plugin.so; do
  if [ -e "$f" ] || [ -L "$f" ]; then fail "the plugin has a development link: $f"; fi
done
for f in "$link" "$root/$libdir"/libpelidor_gui_errhandler.so.0; do
  [ -z "$(runpath "$f" 2>/dev/null)" ] || fail "$(basename "$f") has a run path: $(runpath "$f")"
done

# --- 2. The DESTDIR stage through PKG_CONFIG_SYSROOT_DIR -------------------
# Each directory variable exists, and the .pc files' own flags are those
# directories.  (GLib's and GTK+'s flags move into the stage too, where they
# are not: no client is built here.)
# shellcheck disable=SC2317  # called through check_pc_dirs
pc_stage() { PKG_CONFIG_SYSROOT_DIR="$stage" PKG_CONFIG_LIBDIR="$root/$libdir/pkgconfig:$system_pc_path" pkg-config "$@"; }
check_pc_dirs() {  # check_pc_dirs WHERE ROOT PKG-CONFIG-COMMAND...: the .pc files' directories
  local where=$1 root=$2 pc var value
  shift 2
  for pc in "${pcs[@]}"; do
    for var in prefix libdir includedir; do
      value=$("$@" --variable=$var "$pc")
      [ -d "$value" ] || fail "$where: $pc names $var $value, which is not there"
      case "$(readlink -f "$value")/" in
        "$(readlink -f "$root")"/*) ;;
        *) fail "$where: $pc names $var $value, outside $root" ;;
      esac
    done
    "$@" --cflags "$pc" | grep -qF -- "-I$("$@" --variable=includedir "$pc")" ||
      fail "$where: $pc's -I is not its includedir"
    "$@" --libs "$pc" | grep -qF -- "-L$("$@" --variable=libdir "$pc")" ||
      fail "$where: $pc's -L is not its libdir"
  done
  value=$("$@" --variable=plugin qolt-http-plugin)
  [ "$(readlink -f "$value")" = "$(readlink -f "$root/$libdir/$plugin_name")" ] ||
    fail "$where: the plugin $value is not the one installed in $root"
}
check_pc_dirs stage "$root" pc_stage

# Read as the system will read them once installed (no sysroot): the
# configured prefix's own directories.  For /usr, every folder in the flags is
# a /usr folder, and pkgconf drops ours as the system's: the error library's
# flags are the library alone.
# shellcheck disable=SC2317
pc_installed() { PKG_CONFIG_LIBDIR="$root/$libdir/pkgconfig:$system_pc_path" pkg-config "$@"; }
for pc in "${pcs[@]}"; do
  for pair in "prefix:$prefix" "libdir:$prefix/$libdir" "includedir:$prefix/$includedir"; do
    value=$(pc_installed --variable="${pair%%:*}" "$pc")
    [ "$value" = "${pair#*:}" ] || fail "the staged $pc names ${pair%%:*} $value, not ${pair#*:}"
  done
done
if [ "$prefix" = /usr ]; then
  for pc in "${pcs[@]}"; do
    for flag in $(pc_installed --cflags --libs "$pc"); do
      case "$flag" in
        -I/usr/include | -L/usr/"$libdir") fail "$pc: pkgconf kept the system folder in $flag" ;;
        -I/usr/* | -L/usr/*) ;;
        -I* | -L*) fail "the staged $pc's flag $flag names a folder outside /usr" ;;
      esac
    done
  done
  [ "$(pc_installed --cflags --libs pelidor-gui-errhandler | xargs)" = -lpelidor_gui_errhandler ] ||
    fail "pelidor-gui-errhandler's flags at /usr: $(pc_installed --cflags --libs pelidor-gui-errhandler)"
fi

# --- 3. Another prefix ----------------------------------------------------
other="$work/other"
"$cmake" --install "$build" --prefix "$other" >"$work/install-other.log"
olib="$other/$libdir"
export PKG_CONFIG_PATH="$olib/pkgconfig"
check_pc_dirs "--prefix" "$other" pkg-config
# Written at install time for this prefix: every path absolute and normal,
# none through the pkgconfig folder, so that the plugin's path holds where
# only the runtime files are installed and pkgconf can recognise the system's
# folders in the flags.
for pc in "${pcs[@]}"; do
  grep -n 'pcfiledir\|\.\.' "$olib/pkgconfig/$pc.pc" && fail "$pc.pc names \${pcfiledir} or .."
  for var in prefix exec_prefix libdir includedir plugindir plugin; do
    [ "$pc" = qolt-http-plugin ] || [[ $var != plugin* ]] || continue
    value=$(pkg-config --variable=$var "$pc")
    case "$value" in
      /*/ | *//* | */./* | */../* | */. | */..) fail "$pc's $var $value is not a normal path" ;;
      /*) ;;
      *) fail "$pc's $var $value is not absolute" ;;
    esac
  done
  case "$(pkg-config --cflags --libs "$pc")" in
    *pkgconfig*) fail "$pc's flags name the pkgconfig folder: $(pkg-config --cflags --libs "$pc")" ;;
  esac
done
[ "$(pkg-config --variable=prefix qolt-http-plugin)" = "$other" ] ||
  fail "qolt-http-plugin.pc names the prefix $(pkg-config --variable=prefix qolt-http-plugin), not $other"
plugin=$(pkg-config --variable=plugin qolt-http-plugin)
[ "$plugin" = "$olib/pelidor/plugins/$plugin_name" ] ||
  fail "pkg-config names the plugin $plugin, not the link in the plugin folder"
for pc in "${pcs[@]}"; do
  case " $(pkg-config --libs "$pc") " in
    *rpath*|*" -R"*|*runpath*) fail "$pc gives a run path: $(pkg-config --libs "$pc")" ;;
  esac
done

# --- 4. Clients of the other prefix ---------------------------------------
in_prefix() {  # in_prefix CLIENT-OUTPUT NAME: every "defined in" file lies in $other
  local n=0 file
  while read -r file; do
    n=$((n + 1))
    case "$(readlink -f "$file")" in
      "$(readlink -f "$other")"/*) ;;
      *) fail "$2 used $file, outside the installed tree" ;;
    esac
  done < <(sed -n 's/^defined in //p' <<<"$1")
  [ "$n" -eq 2 ] || fail "$2 named $n defining files, not 2"
}
only_libdir() {  # only_libdir BINARY NAME: its run path is the libdir alone
  local path
  path=$(runpath "$1" | sort -u)
  [ "$path" = "$olib" ] || fail "$2's run path is not $olib alone: ${path//$'\n'/ }"
}
run_client() {  # run_client NAME BINARY [ARGS...]: runs it, checks its output
  local name=$1 out
  shift
  if out=$(env -u LD_LIBRARY_PATH "$@" 2>"$work/$name.err"); then
    in_prefix "$out" "$name"
    grep -q "Ongeldige retval 9999" "$work/$name.err" || fail "$name's error line is missing"
  else
    fail "$name: $out $(cat "$work/$name.err")"
  fi
}
# The run path that stands for the loader's directories (see the top).
loader_path="-Wl,-rpath,$olib"

# The C client links the error library and loads the plugin; it uses GLib itself.
# shellcheck disable=SC2046  # pkg-config's flags are separate words
if "$cc" -o "$work/c_client" "$src/client.c" $(pkg-config --cflags qolt-http-plugin) \
     $(pkg-config --cflags --libs pelidor-gui-errhandler glib-2.0) -ldl "$loader_path" \
     >"$work/c_client.log" 2>&1; then
  only_libdir "$work/c_client" "the C client"
  run_client c_client "$work/c_client" "$plugin"
else
  fail "the C client does not build:"; cat "$work/c_client.log"
fi

# The C++ client links the plugin itself, for the Rijndael class, and loads it
# by the link in the plugin folder.
# shellcheck disable=SC2046
if "$cxx" -std=c++17 -o "$work/pc_client" "$src/cmake_client/main.cpp" \
     -DQOLT_PLUGIN="\"$plugin\"" \
     $(pkg-config --cflags --libs qolt-http-plugin pelidor-gui-errhandler) -ldl "$loader_path" \
     >"$work/pc_client.log" 2>&1; then
  only_libdir "$work/pc_client" "the pkg-config C++ client"
  run_client pc_client "$work/pc_client"
else
  fail "the pkg-config C++ client does not build:"; cat "$work/pc_client.log"
fi
unset PKG_CONFIG_PATH

# Where only the runtime files are installed there is no pkgconfig folder: the
# plugin's path that the client took from pkg-config must not run through it.
mv "$olib/pkgconfig" "$olib/pkgconfig.away"
if [ -x "$work/c_client" ]; then
  run_client c_client_without_pkgconfig "$work/c_client" "$plugin"
fi
mv "$olib/pkgconfig.away" "$olib/pkgconfig"

# The same C++ client through find_package, with the prefix as its only hint;
# CMake gives it the run path of the libraries it links.
if "$cmake" -S "$src/cmake_client" -B "$work/cmake_client" -DCMAKE_C_COMPILER="$cc" \
     -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_PREFIX_PATH="$other" \
     -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF -DQOLT_EXPECTED_PLUGIN="$plugin" \
     >"$work/cmake_client.log" 2>&1 &&
   "$cmake" --build "$work/cmake_client" >>"$work/cmake_client.log" 2>&1; then
  only_libdir "$work/cmake_client/cmake_client" "the find_package client"
  run_client cmake_client "$work/cmake_client/cmake_client"
else
  fail "the find_package client does not build:"; cat "$work/cmake_client.log"
fi

# --- 5. The public headers ------------------------------------------------
# header:package:languages (C, C++ or both)
headers=("qolt/export.h:qolt-http-plugin:c c++" "qolt/http_plugin.h:qolt-http-plugin:c c++"
         "qolt/rijndael.h:qolt-http-plugin:c++" "pelidor/gui_errhandler.h:pelidor-gui-errhandler:c c++")
resolv=$'#include <resolv.h>\n#include <arpa/nameser.h>\n'
warnings=(-Wall -Wextra -pedantic -Werror)
export PKG_CONFIG_PATH="$olib/pkgconfig"
compile() {  # compile NAME LANGUAGE STANDARD SOURCE FLAGS...: fails the test when it does not compile
  local name=$1 lang=$2 std=$3 source=$4 compiler=$cc
  shift 4
  [ "$lang" = c ] || compiler=$cxx
  printf '%s' "$source" >"$work/header.$lang"
  "$compiler" -x "$lang" -std="$std" "$@" -c "$work/header.$lang" -o "$work/header.o" \
    >"$work/header.log" 2>&1 || { fail "$name as $std:"; cat "$work/header.log"; }
}
for entry in "${headers[@]}"; do
  IFS=: read -r header pc languages <<<"$entry"
  # shellcheck disable=SC2207
  flags=($(pkg-config --cflags "$pc"))
  for lang in c c++; do
    [[ " $languages " == *" $lang "* ]] || continue
    if [ "$lang" = c ]; then standards=(c89 c99 c11); else standards=(c++11 c++17); fi
    for std in "${standards[@]}"; do
      body=$'#include <'"$header"$'>\nint header_used;\n'
      compile "$header" "$lang" "$std" "$body" "${warnings[@]}" "${flags[@]}"
      compile "$header after <resolv.h>" "$lang" "$std" "$resolv$body" "${warnings[@]}" "${flags[@]}"
    done
  done
done

# The error codes: each value under both names, unchanged from release 0.
actions=(UPDATE_POSTINGS GET_POSTING_INFO GET_POSTING_MESSAGES CHECK_MAIL GET_MAIL SEND_MAIL
         GET_NEWSGROUPS GIVE_KUDOS GET_KUDOS_BALANCE CREATE_ACCOUNT ADD_POSTING GET_MYQOLT)
results=(OK NO_CONNECTION BAD_LOGIN BANNED SERVER_FAILURE NO_NEW_POSTINGS PLUGINS_UNSUPPORTED
         PLUGIN_LOCATION_UNSET PLUGIN_LOAD_FAILED PLUGIN_FAILED UNKNOWN_RESPONSE PARSE_FAILED
         EVENT_NOT_CACHED NO_DATA DNS_FAILED DNS_FAILED_2 CONNECTION_REFUSED READ_FAILED
         SEND_FAILED TIMEOUT REGISTRATION_CLOSED NAME_TAKEN IP_BANNED IP_RECENTLY_USED
         HTTP_INIT_FAILED POST_CANCELLED POST_MODERATED CLIENT_TOO_OLD RATE_LIMITED SERVER_NOTICE)
codes=""  # compile-time checks, C89: an array of negative size fails
for i in "${!actions[@]}"; do codes+="ACT_${actions[$i]} $i"$'\n'; done
for i in "${!results[@]}"; do codes+="RES_${results[$i]} $i"$'\n'; done
prefixed="" short="" short_after_resolv=""
while read -r name value; do
  prefixed+="typedef char check_PELIDOR_${name}[PELIDOR_$name == $value ? 1 : -1];"$'\n'
  short+="typedef char check_${name}[$name == $value ? 1 : -1];"$'\n'
  # <resolv.h> has its own RES_TIMEOUT, which stays its own.
  [ "$name" = RES_TIMEOUT ] ||
    short_after_resolv+="typedef char check_${name}[$name == $value ? 1 : -1];"$'\n'
done <<<"${codes%$'\n'}"
errhandler=$'#include <pelidor/gui_errhandler.h>\n'
no_gtk=$'#if defined(__GTK_H__) || defined(__G_LIB_H__)\n#error GTK+ or GLib included\n#endif\n'
no_short=$'#if defined(ACT_UPDATE_POSTINGS) || defined(RES_OK) || defined(RES_SERVER_NOTICE)\n#error short names\n#endif\nint RES_OK, ACT_GET_MAIL;\n'
# shellcheck disable=SC2207
flags=($(pkg-config --cflags pelidor-gui-errhandler))
# Ours only: GTK+'s own headers warn under -Werror; a client takes them as system headers.
gtk_flags=$(pkg-config --cflags-only-I gtk+-2.0 | sed 's/-I/-isystem /g')
# shellcheck disable=SC2206
gtk_flags=($gtk_flags -I"$other/$includedir")
gtk_use=$'void use(GtkWidget *widget);\nvoid use(GtkWidget *widget) {\n    void (*show)(const char *, const char *, GtkWidget *) = qolt_gui_dialog_show;\n    qolt_gui_errhandler(widget, ACT_CHECK_MAIL, RES_TIMEOUT, NULL);\n    show("kop", "tekst", widget);\n}\n'
for std in c89 c99 c11 c++11 c++17; do
  lang=c
  [[ $std != c++* ]] || lang=c++
  compile "the codes" "$lang" "$std" "$errhandler$no_gtk$prefixed$short" "${warnings[@]}" "${flags[@]}"
  compile "the codes after <resolv.h>" "$lang" "$std" "$resolv$errhandler$prefixed$short_after_resolv" \
    "${warnings[@]}" "${flags[@]}"
  compile "the header, no short names" "$lang" "$std" "$errhandler$prefixed$no_short" \
    -DPELIDOR_GUI_NO_SHORT_NAMES "${warnings[@]}" "${flags[@]}"
  compile "the header without GTK+'s flags" "$lang" "$std" "$errhandler$short" \
    "${warnings[@]}" -I"$other/$includedir"
  compile "GtkWidget, <gtk/gtk.h> first" "$lang" "$std" $'#include <gtk/gtk.h>\n'"$errhandler$gtk_use" \
    "${warnings[@]}" "${gtk_flags[@]}"
  compile "GtkWidget, <gtk/gtk.h> after" "$lang" "$std" "$errhandler"$'#include <gtk/gtk.h>\n'"$gtk_use" \
    "${warnings[@]}" "${gtk_flags[@]}"
done
unset PKG_CONFIG_PATH

# --- 6. Components ----------------------------------------------------------
files() { (cd "$1" && find . \( -type f -o -type l \) | sed 's|^\./||' | sort); }
"$cmake" --install "$build" --prefix "$work/runtime" --component Runtime >"$work/install-runtime.log"
"$cmake" --install "$build" --prefix "$work/development" --component Development \
  >"$work/install-development.log"
runtime=$(files "$work/runtime")
expected=$(printf '%s\n' "$libdir/$plugin_name" "$libdir/pelidor/plugins/$plugin_name" \
  "$libdir"/libpelidor_gui_errhandler.so.0 \
  "$(cd "$other" && ls "$libdir"/libpelidor_gui_errhandler.so.0.*)" | sort)
[ "$runtime" = "$expected" ] ||
  fail "the Runtime component holds"$'\n'"$runtime"$'\n'"not"$'\n'"$expected"
! grep -q '\.h$' <<<"$runtime" || fail "the Runtime component installs a header"
if [ ! -L "$work/runtime/$libdir/pelidor/plugins/$plugin_name" ] ||
   [ ! -f "$work/runtime/$libdir/pelidor/plugins/$plugin_name" ]; then
  fail "the Runtime component's plugin link leads nowhere"
fi
both=$( (echo "$runtime"; files "$work/development") | sort)
[ "$both" = "$(files "$other")" ] ||
  fail "Runtime and Development are not the whole tree:"$'\n'"$(diff <(echo "$both") <(files "$other"))"

# --- 7. An embedding parent -----------------------------------------------
# Configured only: an install of the unbuilt parent succeeds only when none
# of our files is in it.
embed() {  # embed BUILD-DIR [CMAKE-ARGS...]
  local dir=$1
  shift
  "$cmake" -S "$src/embed_parent" -B "$dir" -DPELIDOR_SOURCE_DIR="$top" \
    -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" "$@" >"$dir.log" 2>&1 ||
    { cat "$dir.log"; exit 1; }
}
embed "$work/embed"
if "$cmake" --install "$work/embed" --prefix "$work/embed-root" >>"$work/embed.log" 2>&1; then
  [ "$(files "$work/embed-root")" = "share/parent/parent.txt" ] ||
    fail "the embedding parent installs $(files "$work/embed-root")"
else
  fail "the embedding parent's install: $(cat "$work/embed.log")"
fi
embed "$work/embed-on" -DPELIDOR_INSTALL=ON
grep -q "$plugin_name" "$work/embed-on/pelidor/http_plugin/cmake_install.cmake" ||
  fail "PELIDOR_INSTALL=ON in a parent installs no plugin"

[ $status -eq 0 ] && echo "ok: the tree at $prefix and at another prefix; the pkg-config and find_package clients ran; the headers compiled; components and embedding"
exit $status
