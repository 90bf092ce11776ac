#!/usr/bin/env bash
# The Debian packages, checked as a packager and a user would: a Release build (the package preset, warnings as
# errors), `cpack` for quernfold-cli and quernfold, lintian (no error, no warning, no hardening tag), the control
# fields, ownership and stripping, the file list of both packages unpacked into a scratch root, the installed
# quernfold-cli run, the .desktop file and the AppStream metadata validated, both manual pages rendered without a
# warning, and the manual page and bash completion checked against the options that --help names.
# One line per check; exit status 1 when any fails.
#
#   KEEP_WORK=1   keep the scratch root and the logs for a look afterwards
set -uo pipefail

repo=$(cd "$(dirname "$0")/../.." && pwd)
build=$repo/build/package
work=$(mktemp -d "${TMPDIR:-/tmp}/quernfold-packages.XXXXXX")
if [ "${KEEP_WORK:-0}" = 1 ]; then echo "work folder: $work"; else trap 'rm -rf "$work"' EXIT; fi
failures=0
passes=0

pass() {
  echo "PASS $*"
  passes=$((passes + 1))
}
fail() {
  echo "FAIL $*"
  failures=$((failures + 1))
}
# check NAME COMMAND...: PASS when the command succeeds, else FAIL with what it printed.
check() {
  local name=$1
  shift
  if "$@" >"$work/check.out" 2>&1; then pass "$name"; else
    fail "$name"
    sed 's/^/    /' "$work/check.out" | head -40
  fi
}

for tool in cmake cpack dpkg-deb dpkg-shlibdeps lintian desktop-file-validate appstreamcli groff man readelf; do
  command -v "$tool" >/dev/null || {
    echo "60-packages: $tool is missing (bash scripts/install-deps.sh installs it)" >&2
    exit 1
  }
done

# --- The Release build and the packages --------------------------------------------------------------------------
cd "$repo"
if ! { cmake --preset package -DQUERNFOLD_WERROR=ON && cmake --build --preset package -j "$(nproc)"; } \
  >"$work/build.log" 2>&1; then
  tail -40 "$work/build.log"
  echo "FAIL the Release build (warnings are errors here)"
  exit 1
fi
pass "the Release build (hardened, warnings as errors)"

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
revision=$(sed -n 's/^set(CPACK_DEBIAN_PACKAGE_RELEASE "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
full="$version-$revision"
arch=$(dpkg --print-architecture)
rm -f "$build"/*.deb
if ! cpack --preset package >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"
  echo "FAIL cpack"
  exit 1
fi
cli_deb=$build/quernfold-cli_${full}_${arch}.deb
gui_deb=$build/quernfold_${full}_${arch}.deb
for deb in "$cli_deb" "$gui_deb"; do
  [ -f "$deb" ] || {
    ls "$build"/*.deb
    echo "FAIL $deb was not made"
    exit 1
  }
done
pass "cpack made $(basename "$cli_deb") and $(basename "$gui_deb")"

# --- lintian ------------------------------------------------------------------------------------------------------
# Informational tags are shown too, so that a lost hardening flag (hardening-no-*) is seen.
lintian --info --display-info --fail-on none "$cli_deb" "$gui_deb" >"$work/lintian.txt" 2>&1
echo "    lintian says:"
if [ -s "$work/lintian.txt" ]; then sed 's/^/    /' "$work/lintian.txt"; else echo "    (nothing)"; fi
check "lintian: no error and no warning" bash -c "! grep -E '^[EW]: ' '$work/lintian.txt'"
# hardening-no-fortify-functions is left out: glibc can only check a call whose buffer size is known when it
# is compiled, and the programs read into buffers sized at run time. The fortify flag is checked below instead.
check "lintian: no hardening tag (bind now, relro, PIE, stack protector)" bash -c \
  "! grep -E 'hardening-' '$work/lintian.txt' | grep -v hardening-no-fortify-functions"
check "every object of the Release build compiled with -D_FORTIFY_SOURCE=2 -fstack-protector-strong" bash -c \
  "grep '\"command\"' '$build/compile_commands.json' | grep -v -e '-D_FORTIFY_SOURCE=2 -fstack-protector-strong' |
   grep . && exit 1 || [ \$(grep -c '\"command\"' '$build/compile_commands.json') -gt 10 ]"

# --- Control fields, owners, stripping ----------------------------------------------------------------------------
field() { dpkg-deb -f "$1" "$2"; }
check "quernfold-cli depends on no Qt" bash -c "! dpkg-deb -f '$cli_deb' Depends | grep -qi qt"
check "quernfold-cli depends on libc and libstdc++" bash -c \
  "dpkg-deb -f '$cli_deb' Depends | grep -q 'libc6' && dpkg-deb -f '$cli_deb' Depends | grep -q 'libstdc++6'"
check "quernfold depends on quernfold-cli (= $full)" bash -c \
  "dpkg-deb -f '$gui_deb' Depends | grep -qF 'quernfold-cli (= $full)'"
check "quernfold depends on Qt Widgets (shlibdeps)" bash -c "dpkg-deb -f '$gui_deb' Depends | grep -q 'libqt6widgets6'"
for deb in "$cli_deb" "$gui_deb"; do
  name=$(field "$deb" Package)
  check "$name: version $full" test "$(field "$deb" Version)" = "$full"
  check "$name: summary and extended description" bash -c \
    "[ \$(dpkg-deb -f '$deb' Description | wc -l) -ge 4 ]"
  check "$name: every file owned by root" bash -c \
    "dpkg-deb -c '$deb' | awk '\$2 != \"root/root\" { print; bad = 1 } END { exit bad }'"
done

# --- Unpacked into a scratch root ---------------------------------------------------------------------------------
root=$work/root
mkdir -p "$root"
dpkg -x "$cli_deb" "$root/cli"
dpkg -x "$gui_deb" "$root/gui"
listing() { (cd "$1" && find . ! -type d | LC_ALL=C sort); }
cat >"$work/cli.expected" <<'EOF'
./usr/bin/quernfold-cli
./usr/share/bash-completion/completions/quernfold-cli
./usr/share/doc/quernfold-cli/changelog.Debian.gz
./usr/share/doc/quernfold-cli/copyright
./usr/share/lintian/overrides/quernfold-cli
./usr/share/man/man1/quernfold-cli.1.gz
EOF
{
  echo ./usr/bin/quernfold
  echo ./usr/share/applications/quernfold.desktop
  echo ./usr/share/doc/quernfold/changelog.Debian.gz
  echo ./usr/share/doc/quernfold/copyright
  for size in 16 24 32 48 64 128 256; do echo "./usr/share/icons/hicolor/${size}x${size}/apps/quernfold.png"; done
  echo ./usr/share/lintian/overrides/quernfold
  echo ./usr/share/man/man1/quernfold.1.gz
  echo ./usr/share/metainfo/example.varnholt.quernfold.metainfo.xml
} | LC_ALL=C sort >"$work/gui.expected"
for part in cli gui; do
  listing "$root/$part" >"$work/$part.files"
  echo "    files of the $part package:"
  sed 's/^/      /' "$work/$part.files"
  check "$part package: the expected file list" diff -u "$work/$part.expected" "$work/$part.files"
done
for binary in "$root/cli/usr/bin/quernfold-cli" "$root/gui/usr/bin/quernfold"; do
  check "$(basename "$binary"): stripped" bash -c "! readelf -S '$binary' | grep -qE '\\.symtab|\\.debug_'"
  check "$(basename "$binary"): PIE, full RELRO, stack protector" bash -c "
    readelf -h '$binary' | grep -q 'DYN (Position-Independent Executable' &&
    readelf -l '$binary' | grep -q GNU_RELRO && readelf -d '$binary' | grep -q BIND_NOW &&
    readelf -W --dyn-syms '$binary' | grep -q __stack_chk_fail"
done

cli=$root/cli/usr/bin/quernfold-cli
check "installed quernfold-cli --version says $version" test "$("$cli" --version)" = "quernfold-cli $version"
# The window answers --version before it needs a display. A window program built without a command line (no
# "--version" text in it) would open a window instead: that is shown as skipped, never as passed.
if grep -qa -- '--version' "$root/gui/usr/bin/quernfold"; then
  check "installed quernfold --version says $version (no display)" bash -c \
    "[ \"\$(env -u DISPLAY -u WAYLAND_DISPLAY timeout 20 '$root/gui/usr/bin/quernfold' --version)\" = 'quernfold $version' ]"
else
  echo "SKIP installed quernfold --version: this window program has no command line"
fi
rm -rf "$work/out" && mkdir "$work/out"
check "installed quernfold-cli converts the example site" bash -c \
  "'$cli' -q '$repo/examples/site' '$work/out' && [ -f '$work/out/index.html' ]"
for part_doc in cli/usr/share/doc/quernfold-cli gui/usr/share/doc/quernfold; do
  check "$part_doc/changelog.Debian.gz: top entry is $full" bash -c \
    "zcat '$root/$part_doc/changelog.Debian.gz' | head -1 | grep -qF '($full)'"
  check "$part_doc/copyright: the MIT (Expat) licence of LICENSE" bash -c \
    "grep -q '^License: Expat' '$root/$part_doc/copyright' &&
     grep -qF \"\$(sed -n 's/^Copyright (c) //p' '$repo/LICENSE')\" '$root/$part_doc/copyright'"
done
# gzip -9n: no file name and no time stamp in the header (flags byte 0, time 0).
for gz in "$root"/*/usr/share/man/man1/*.gz "$root"/*/usr/share/doc/*/changelog.Debian.gz; do
  check "$(basename "$gz"): no name or time stamp in the gzip header" \
    test "$(od -An -tx1 -j3 -N5 "$gz" | tr -d ' \n')" = 0000000000
done

# A plain `cmake --install` lays out the same files without the Debian-only ones (changelog, lintian overrides).
rm -rf "$work/local"
cmake --install "$build" --prefix "$work/local" >"$work/install.log" 2>&1
cat "$work/cli.expected" "$work/gui.expected" | grep -vE 'changelog\.Debian|/lintian/' | sed 's|^\./usr/|./|' |
  LC_ALL=C sort >"$work/local.expected"
check "cmake --install: the same files without the Debian-only ones" \
  diff -u "$work/local.expected" <(listing "$work/local")

# --- Desktop entry and AppStream ----------------------------------------------------------------------------------
desktop=$root/gui/usr/share/applications/quernfold.desktop
metainfo=$root/gui/usr/share/metainfo/example.varnholt.quernfold.metainfo.xml
check "desktop-file-validate" bash -c "out=\$(desktop-file-validate '$desktop' 2>&1); echo \"\$out\"; [ -z \"\$out\" ]"
check ".desktop: Keywords and the Chinese name and comment" bash -c \
  "grep -q '^Keywords=' '$desktop' && grep -q '^Name\\[zh_CN\\]=' '$desktop' && grep -q '^Comment\\[zh_CN\\]=' '$desktop'"
check "appstreamcli validate --no-net: no error, no warning" bash -c \
  "out=\$(appstreamcli validate --no-net '$metainfo' 2>&1); echo \"\$out\"; ! grep -E '^[EW]: ' <<<\"\$out\""
check "metainfo: release $version, launches quernfold.desktop" bash -c \
  "grep -q '<release version=\"$version\"' '$metainfo' &&
   grep -q '<launchable type=\"desktop-id\">quernfold.desktop</launchable>' '$metainfo'"

# --- Manual pages -------------------------------------------------------------------------------------------------
for page in "$root/cli/usr/share/man/man1/quernfold-cli.1.gz" "$root/gui/usr/share/man/man1/quernfold.1.gz"; do
  name=$(basename "$page")
  check "man -l $name: no warning" bash -c \
    "out=\$(LC_ALL=C.UTF-8 man --warnings -E UTF-8 -l -Tutf8 -Z '$page' 2>&1 >/dev/null); echo \"\$out\"; [ -z \"\$out\" ]"
  check "groff -ww $name: no warning" bash -c \
    "out=\$(zcat '$page' | groff -ww -k -man -Tutf8 -z 2>&1); echo \"\$out\"; [ -z \"\$out\" ]"
  check "$name: exit status, files and config.ini sections" bash -c \
    "zcat '$page' | grep -q '^\\.SH \"EXIT STATUS\"' && zcat '$page' | grep -q '^\\.SH FILES' &&
     zcat '$page' | grep -q 'config\\.ini'"
done

# Every option that --help names is in the manual page and offered by the completion.
"$cli" --help >"$work/help.txt"
grep -oE '(^|[ ,])--?[a-zA-Z][a-zA-Z-]*' "$work/help.txt" | sed 's/^[ ,]//' | LC_ALL=C sort -u >"$work/options"
zcat "$root/cli/usr/share/man/man1/quernfold-cli.1.gz" | sed 's/\\-/-/g' >"$work/man.txt"
completion=$root/cli/usr/share/bash-completion/completions/quernfold-cli
missing_man=$(while read -r option; do grep -qE -- "(^|[^a-z-])$option([^a-z-]|\$)" "$work/man.txt" || echo "$option"; done <"$work/options")
missing_completion=$(while read -r option; do grep -qE -- "(^|[ '])$option([ '|)]|\$)" "$completion" || echo "$option"; done <"$work/options")
check "the manual page names every option of --help ($(wc -l <"$work/options") options)" \
  bash -c "[ -z '$missing_man' ] || { echo 'missing: $missing_man'; false; }"
check "the completion offers every option of --help" \
  bash -c "[ -z '$missing_completion' ] || { echo 'missing: $missing_completion'; false; }"

# --- Bash completion, as bash would ask it ------------------------------------------------------------------------
mkdir -p "$work/comp/site" "$work/comp/out" && : >"$work/comp/site.txt"
cat >"$work/complete.sh" <<'EOF'
# complete.sh COMPLETION_FILE LINE: prints what bash would offer at the end of LINE, one per line.
source /usr/share/bash-completion/bash_completion
source "$1"
compopt() { :; } # only valid inside a real completion
COMP_LINE=$2
COMP_POINT=${#COMP_LINE}
# bash splits words at blanks and keeps "=" as a word of its own.
read -ra COMP_WORDS <<<"${COMP_LINE//=/ = }"
[[ $COMP_LINE == *[\ =] ]] && COMP_WORDS+=("")
COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
_quernfold_cli quernfold-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort
EOF
offered() { (cd "$work/comp" && bash "$work/complete.sh" "$completion" "$1" | tr '\n' ' ' | sed 's/ $//'); }
encodings=$(sed -n 's/.*--encoding NAME *page code page: //p' "$work/help.txt" | sed 's/ (default)//; s/, / /g' |
  tr ' ' '\n' | LC_ALL=C sort | tr '\n' ' ' | sed 's/ $//')
check "completion: --encoding offers the encodings of --help ($encodings)" \
  test "$(offered 'quernfold-cli --encoding ')" = "$encodings"
check "completion: --encoding=g" test "$(offered 'quernfold-cli --encoding=g')" = "gb18030 gbk"
check "completion: --enc" test "$(offered 'quernfold-cli --enc')" = "--encoding"
check "completion: -t" test "$(offered 'quernfold-cli -q -t ')" = "asp jsp"
check "completion: operands are folders" test "$(offered 'quernfold-cli -q s')" = "site"
check "completion: the output folder after the site" test "$(offered 'quernfold-cli site o')" = "out"
check "completion: --asset-types completes the last item" \
  test "$(offered 'quernfold-cli --asset-types css,jp')" = "css,jpeg css,jpg"

echo "packages: $passes passed, $failures failed"
[ "$failures" -eq 0 ]
