#!/usr/bin/env bash
# Checks of what `cmake --install` and the Debian package put on a machine.
#
#   check_install.sh destdir BUILD_DIR WORK_DIR VERSION APP_ID SAMPLES_DIR
#       installs into WORK_DIR/root and checks every installed file and program
#   check_install.sh deb     BUILD_DIR WORK_DIR VERSION APP_ID
#       builds the package with CPack and checks its control fields and contents
#   check_install.sh system  BUILD_DIR WORK_DIR VERSION APP_ID SAMPLES_DIR
#       in CI, as root only: installs that package with apt, runs the programs from
#       /usr/bin, removes it and checks that nothing is left; exits 77 (skipped) elsewhere
set -euo pipefail

step=$1 build=$2 work=$3 version=$4 app_id=$5 samples=${6:-}
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# Every file a complete installation holds, below the prefix.
expected_files() {
  printf '%s\n' \
    bin/varnoke-pcx bin/varnoke-pcx-c000 bin/varnoke-pcx-convert \
    share/man/man1/varnoke-pcx.1.gz share/man/man1/varnoke-pcx-c000.1.gz share/man/man1/varnoke-pcx-convert.1.gz \
    "share/applications/$app_id.desktop" "share/applications/${app_id}C000.desktop" \
    "share/metainfo/$app_id.metainfo.xml" \
    share/icons/hicolor/scalable/apps/varnoke-pcx.svg \
    share/bash-completion/completions/varnoke-pcx-convert \
    share/doc/varnoke-pcx/copyright
  for size in 16 32 48 64 128 256; do echo "share/icons/hicolor/${size}x$size/apps/varnoke-pcx.png"; done
}

# check_programs PREFIX: --version, a conversion and the window's start, from PREFIX/bin.
check_programs() {
  local bin=$1/bin out
  out=$(mktemp -d "$work/run.XXXXXX")
  for program in varnoke-pcx varnoke-pcx-c000 varnoke-pcx-convert; do
    [ "$(env -u DISPLAY -u WAYLAND_DISPLAY "$bin/$program" --version)" = "$program $version" ] ||
      fail "$program --version does not say '$program $version'"
  done
  "$bin/varnoke-pcx-convert" "$samples/sunset-mode1.pcx" "$out/sunset.scr" || fail "the converter failed"
  [ "$(stat -c %s "$out/sunset.scr" 2>/dev/null)" = 16512 ] || fail "the screen file is not 16512 bytes"
  [ "$(stat -c %s "$out/sunset.pal" 2>/dev/null)" = 367 ] || fail "the palette file is not 367 bytes"
  # --ocp-pal changes one byte: the palette block's first, 0 before, the mode (1) after.
  "$bin/varnoke-pcx-convert" --ocp-pal "$samples/sunset-mode1.pcx" "$out/ocp.scr" || fail "the converter failed"
  cmp -s "$out/sunset.scr" "$out/ocp.scr" || fail "--ocp-pal changed the screen file"
  [ "$(cmp -l "$out/sunset.pal" "$out/ocp.pal" | tr -s ' ')" = "129 0 1" ] ||
    fail "--ocp-pal did not change exactly the palette block's first byte from 0 to 1"
  # The window opens a picture and keeps running until it is stopped: 124 is timeout's.
  for program in varnoke-pcx varnoke-pcx-c000; do
    local status=0
    QT_QPA_PLATFORM=offscreen timeout 4 "$bin/$program" "$samples/sunset-mode0.pcx" >"$out/$program.log" 2>&1 ||
      status=$?
    [ "$status" = 124 ] || fail "$program did not keep its window open (status $status): $(cat "$out/$program.log")"
  done
  rm -rf "$out"
}

# check_man PAGE.gz: renders without a warning, at man's width and with groff's own checks.
check_man() {
  local page=$1 said
  said=$(zcat "$page" | groff -ww -z -man 2>&1)
  said+=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$said" ] || fail "$(basename "$page"): $said"
  zcat "$page" | grep -q "^\.TH .* \"Varnoke PCX $version\"" || fail "$(basename "$page") does not carry version $version"
}

# The converter's options, as its --help lists them.
help_options() {
  "$1" --help | grep -oE -- '--[a-z0-9][a-z0-9-]*' | sort -u
}

check_converter_documents() {
  local prefix=$1 page=$1/share/man/man1/varnoke-pcx-convert.1.gz
  local completion=$1/share/bash-completion/completions/varnoke-pcx-convert
  local text
  text=$(zcat "$page")
  for option in $(help_options "$prefix/bin/varnoke-pcx-convert"); do
    grep -qF -- "${option//-/\\-}" <<<"$text" || fail "the manual page does not explain $option"
    grep -qE -- "(^|[ '])$option( |'|$)" "$completion" || fail "the completion does not offer $option"
  done
  # The other way round: every option the page explains is one the program knows.
  local known
  known=$(help_options "$prefix/bin/varnoke-pcx-convert")
  for option in $(grep -oE -- '\\-\\-[a-z0-9][a-z0-9\\-]*' <<<"$text" | sed 's/\\-/-/g' | sort -u); do
    grep -qx -- "$option" <<<"$known" || fail "the manual page explains $option, which the program does not know"
  done
  # The dithering methods: the program's help, its manual page and its completion list
  # the same words, in the same order, all written from the program's one table.
  local from_help from_page from_completion
  from_help=$("$prefix/bin/varnoke-pcx-convert" --help | sed -n '/--dither METHOD/,/(default/p' | tail -n +2 |
    tr '\n' ' ' | sed 's/(default.*//; s/ or /, /' | tr -s ' ,' '\n\n' | grep -v '^$' | tr '\n' ' ')
  from_page=$(sed -n '/^\.BI \\-\\-dither " METHOD"/,/^(default/p' <<<"$text" | grep -E '^\.BR? ' |
    sed 's/^\.BR\? //; s/ ,$//; s/\\-/-/g' | tr '\n' ' ')
  from_completion=$(sed -n '/--dither)/,/;;/p' "$completion" | grep -o "compgen -W '[^']*'" |
    sed "s/compgen -W '//; s/'$//" | tr -s ' \n' '  ' | sed 's/ *$/ /')
  [ -n "$from_help" ] && [ "$from_help" = "$from_page" ] && [ "$from_help" = "$from_completion" ] ||
    fail "the methods differ: help '$from_help', manual page '$from_page', completion '$from_completion'"
  for section in OPTIONS "EXIT STATUS" EXAMPLES; do
    grep -q "^\.SH \"\?$section" <<<"$text" || fail "the manual page has no $section section"
  done
  bash -n "$completion" || fail "the completion is not valid bash"
  # One query, as bash makes it when Tab is pressed after "--ocp".
  local offered
  offered=$(bash -c 'source /usr/share/bash-completion/bash_completion && source "$1" &&
    COMP_LINE="varnoke-pcx-convert --oc" COMP_POINT=26 COMP_WORDS=(varnoke-pcx-convert --oc) COMP_CWORD=1 &&
    _varnoke_pcx_convert varnoke-pcx-convert --oc varnoke-pcx-convert && echo "${COMPREPLY[*]}"' _ "$completion")
  [ "$offered" = --ocp-pal ] || fail "completing --oc offers '$offered', not --ocp-pal"
}

check_desktop_files() {
  local share=$1/share
  for entry in "$share/applications/$app_id.desktop:varnoke-pcx" "$share/applications/${app_id}C000.desktop:varnoke-pcx-c000"; do
    local file=${entry%:*} program=${entry##*:}
    desktop-file-validate "$file" || fail "$(basename "$file") is not a valid desktop entry"
    grep -qx "Exec=$program %f" "$file" || fail "$(basename "$file") does not start $program with %f"
    for type in image/x-pcx image/vnd.zbrush.pcx image/png image/jpeg image/gif image/bmp image/webp; do
      grep -q "^MimeType=.*$type;" "$file" || fail "$(basename "$file") does not open $type"
    done
    grep -qx 'Icon=varnoke-pcx' "$file" || fail "$(basename "$file") names another icon"
  done
  appstreamcli validate --no-net "$share/metainfo/$app_id.metainfo.xml" >/dev/null ||
    fail "$app_id.metainfo.xml is not valid AppStream metadata"
  grep -q "<release version=\"$version\" date=\"[0-9-]*\"" "$share/metainfo/$app_id.metainfo.xml" ||
    fail "the metadata does not hold release $version"
  for size in 16 32 48 64 128 256; do
    file -b "$share/icons/hicolor/${size}x$size/apps/varnoke-pcx.png" | grep -q "PNG image data, $size x $size," ||
      fail "the ${size}x$size icon is not a $size x $size PNG"
  done
}

run_destdir() {
  local root=$work/root
  rm -rf "$root"
  DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null
  local listed
  listed=$(cd "$root/usr" && find . -type f | sed 's|^\./||' | sort)
  [ "$listed" = "$(expected_files | sort)" ] || fail "installed files differ: $(diff <(expected_files | sort) - <<<"$listed")"
  check_programs "$root/usr"
  for page in "$root"/usr/share/man/man1/*.1.gz; do check_man "$page"; done
  check_converter_documents "$root/usr"
  check_desktop_files "$root/usr"
}

run_deb() {
  rm -rf "$work/deb" && mkdir -p "$work/deb"
  (cd "$build" && cpack -G DEB -B "$work/deb" >"$work/deb/cpack.log") || { cat "$work/deb/cpack.log"; exit 1; }
  local deb
  deb=$(echo "$work"/deb/varnoke-pcx_"$version"_*.deb)
  [ -f "$deb" ] || { echo "FAIL: no package varnoke-pcx_${version}_*.deb" >&2; exit 1; }
  local listed
  listed=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./usr/||' | sort)
  [ "$listed" = "$(expected_files | sort)" ] || fail "package contents differ: $(diff <(expected_files | sort) - <<<"$listed")"
  [ "$(dpkg-deb -f "$deb" Package)" = varnoke-pcx ] || fail "the package is not named varnoke-pcx"
  [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "the package's version is not $version"
  [ "$(dpkg-deb -f "$deb" Section)" = graphics ] || fail "the package's section is not graphics"
  local depends
  depends=$(dpkg-deb -f "$deb" Depends)
  for library in libc6 libstdc++6 libqt6widgets6 libpng16-16 libdsk4 libjpeg62-turbo libgif7 libwebp7 liblcms2-2; do
    grep -q "\b$library\b" <<<"$depends" || fail "the package does not depend on $library: $depends"
  done
  dpkg-deb -f "$deb" Description | tr -s ' \n' '  ' | grep -q 'GNU GPL, version 3 or later' || fail "the description names no licence"
}

run_system() {
  if [ "${CI:-}" != true ] || [ "$(id -u)" != 0 ]; then
    echo "skipped: installing the package system-wide is done in CI, as root, only"
    exit 77
  fi
  if dpkg-query -W -f '${Status}' varnoke-pcx 2>/dev/null | grep -q 'ok installed'; then
    echo "skipped: varnoke-pcx is already installed on this machine, and stays as it is"
    exit 77
  fi
  local deb
  deb=$(echo "$work"/deb/varnoke-pcx_"$version"_*.deb)
  [ -f "$deb" ] || { echo "FAIL: no package to install (the deb check makes it)" >&2; exit 1; }
  deb=$(readlink -f "$deb")  # apt takes a path for a file only when it has a slash before it
  # Whatever happens below, the machine is left without the package.
  trap 'dpkg -r varnoke-pcx >/dev/null 2>&1 || true' EXIT
  DEBIAN_FRONTEND=noninteractive apt-get install -y -o DPkg::Lock::Timeout=300 "$deb" >"$work/apt.log" 2>&1 ||
    { cat "$work/apt.log"; echo "FAIL: apt could not install $deb" >&2; exit 1; }
  check_programs /usr
  # (Minimal Debian images tell dpkg to leave manual pages out.)
  if ! grep -rqs '^path-exclude.*/usr/share/man' /etc/dpkg/dpkg.cfg.d/; then
    LC_ALL=C.UTF-8 MANWIDTH=80 man varnoke-pcx-convert 2>/dev/null | grep -q -- '--ocp-pal' ||
      fail "man varnoke-pcx-convert does not find the installed page"
  fi
  dpkg -r varnoke-pcx >/dev/null
  local left
  left=$(expected_files | while read -r file; do [ ! -e "/usr/$file" ] || echo "/usr/$file"; done)
  [ -z "$left" ] || fail "left behind after removal: $left"
  [ ! -e /usr/share/doc/varnoke-pcx ] || fail "/usr/share/doc/varnoke-pcx is left behind"
  local status
  status=$(dpkg-query -W -f '${Status}' varnoke-pcx 2>/dev/null || true)
  [ -z "$status" ] || [[ $status == *not-installed ]] || fail "dpkg still knows varnoke-pcx: $status"
}

mkdir -p "$work"
case $step in
  destdir) run_destdir ;;
  deb) run_deb ;;
  system) run_system ;;
  *) echo "unknown step $step" >&2; exit 2 ;;
esac
if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "all checks passed ($step)"
