#!/usr/bin/env bash
# Checks what scripts/package.sh made: the .deb judged by lintian, its
# files unpacked into a temporary root, its desktop entry and AppStream
# file validated, its programs started, its manual pages rendered,
# kova-cli's bash completion run; the archive's layout.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
packages="$root/build/packages"
deb=$(ls "$packages"/kova_*.deb)
archive=$(ls "$packages"/kova-*.tar.gz)
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT

echo "== files of $(basename "$deb")"
dpkg-deb --info "$deb" | sed -n 's/^ \(Depends\|Version\|Architecture\):/  \1:/p'
dpkg-deb --contents "$deb" | awk '{print "  " $6}'
dpkg-deb -x "$deb" "$unpacked"
usr="$unpacked/usr"
for document in copyright changelog.Debian.gz; do
    [ -f "$usr/share/doc/kova/$document" ] || { echo "the package lacks its $document" >&2; exit 1; }
done

echo "== lintian"
lintian --fail-on error,warning "$deb" 2>&1 | { grep -v 'root privileges' || true; } | sed 's/^/  /'
test "${PIPESTATUS[0]}" -eq 0
# Every warning left is overridden in the package, with its reason.
echo "  no error and no warning; overridden:"
grep -v '^#' "$usr/share/lintian/overrides/kova" | sed 's/^/    /'

echo "== desktop entry and AppStream metadata"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$usr"/share/applications/*.desktop
    echo "  desktop entry valid"
fi
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$usr"/share/metainfo/*.metainfo.xml
fi
for size in 16x16 32x32 48x48 64x64 128x128 256x256 scalable; do
    ls "$usr/share/icons/hicolor/$size/apps/"* >/dev/null
done

echo "== udev rule"
rule="$usr/lib/udev/rules.d/70-kova-serial.rules"
[ -f "$rule" ] || { echo "the package lacks its udev rule" >&2; exit 1; }
# Every bridge the rule lists is opened to the user at the seat and kept
# from ModemManager's probe.
bridges=$(grep -c '^ATTRS{idVendor}' "$rule")
[ "$bridges" -gt 0 ] || { echo "the udev rule lists no bridge" >&2; exit 1; }
for setting in 'TAG+="uaccess"' 'ENV{ID_MM_DEVICE_IGNORE}="1"'; do
    [ "$(grep '^ATTRS{idVendor}' "$rule" | grep -cF "$setting")" -eq "$bridges" ] \
        || { echo "a bridge of the udev rule lacks $setting" >&2; exit 1; }
done
echo "  $(basename "$rule"): $bridges bridges, each with uaccess and ModemManager's ignore flag"

echo "== programs"
for program in "$usr"/bin/*; do
    case "$(basename "$program")" in
        kova) ;;  # the window has no options
        kova-cli) "$program" --version ;;
        # sed reads the whole text: head would leave a long help to die of SIGPIPE.
        *) "$program" --help | sed -n 1p ;;
    esac
done

echo "== manual pages"
for page in "$usr"/share/man/man1/*.1.gz; do
    lines=$(MANWIDTH=80 man -l "$page" 2>/dev/null | wc -l)
    [ "$lines" -gt 10 ] || { echo "$(basename "$page") does not render" >&2; exit 1; }
    echo "  $(basename "$page"): $lines lines"
done
for program in "$usr"/bin/*; do
    [ -e "$usr/share/man/man1/$(basename "$program").1.gz" ] || { echo "no manual page for $(basename "$program")" >&2; exit 1; }
done
for section in COMMANDS OPTIONS "EXIT STATUS" ENVIRONMENT FILES EXAMPLES; do
    MANWIDTH=80 man -l "$usr/share/man/man1/kova-cli.1.gz" 2>/dev/null | grep -qx "$section" \
        || { echo "kova-cli's manual page lacks $section" >&2; exit 1; }
done

echo "== bash completion"
completion="$usr/share/bash-completion/completions/kova-cli"
[ -f "$completion" ] || { echo "no bash completion for kova-cli" >&2; exit 1; }
offered=$(PATH="$usr/bin:$PATH" bash -c 'source "$1"; COMP_WORDS=(kova-cli ""); COMP_CWORD=1; _kova_cli; echo "${COMPREPLY[*]}"' _ "$completion")
[[ " $offered " == *" check "* ]] || { echo "the bash completion offers no commands" >&2; exit 1; }
echo "  $(basename "$completion"): commands $offered"

echo "== portable archive $(basename "$archive")"
listing=$(tar -tzf "$archive")
for expected in kova kova-cli kova-simulator tellur.dsc README LICENSE firmwares/vorn-4.14.upd firmwares/kelpa.dsc; do
    grep -qx "[^/]*/$expected" <<<"$listing" || { echo "archive lacks $expected" >&2; exit 1; }
done
echo "  $(grep -c . <<<"$listing") entries, laid out as the program expects"
