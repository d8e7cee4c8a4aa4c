#!/usr/bin/env bash
# Checks the Debian package that scripts/package.sh built: lintian finds no errors, the menu entry
# and the metainfo validate, the package unpacks into a scratch root with every file it should
# carry, and the program installed there runs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/package"

# The package of the sources as they are (an up-to-date build only runs CPack again);
# --no-build checks the package already there.
if [[ "${1:-}" != "--no-build" ]]; then
  "$root/scripts/package.sh"
fi
deb=$(ls -t "$build"/vkt-rs7_*_amd64.deb | head -n1)
echo "Package: $deb"
fail=0
problem() {
  echo "check-package: $*" >&2
  fail=1
}

# lintian: errors fail; warnings are shown.
lintian_out=$(lintian --tag-display-limit 0 "$deb" 2>&1 | grep -v "^running with root privileges" || true)
[[ -n $lintian_out ]] && echo "$lintian_out"
if grep -q '^E: ' <<<"$lintian_out"; then
  problem "lintian reports errors"
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
dpkg-deb -x "$deb" "$scratch/root"

app_id=ru.tervolin.vkt_rs7
expected=(
  usr/bin/vkt-rs7
  usr/share/applications/$app_id.desktop
  usr/share/metainfo/$app_id.metainfo.xml
  usr/share/man/man1/vkt-rs7.1.gz
  usr/share/bash-completion/completions/vkt-rs7
  usr/share/doc/vkt-rs7/copyright
  usr/share/doc/vkt-rs7/changelog.gz
  usr/share/doc/vkt-rs7/help.html
  usr/share/icons/hicolor/scalable/apps/vkt-rs7.svg
)
for size in 16 22 24 32 48 64 128 256; do
  expected+=("usr/share/icons/hicolor/${size}x${size}/apps/vkt-rs7.png")
done
# Exactly these files, nothing missing and nothing unexpected.
(cd "$scratch/root" && find . -type f | sed 's|^\./||' | sort) >"$scratch/have"
printf '%s\n' "${expected[@]}" | sort >"$scratch/want"
if ! diff -u "$scratch/want" "$scratch/have"; then
  problem "the package's file list differs from the expected one"
fi

desktop-file-validate "$scratch/root/usr/share/applications/$app_id.desktop" || problem "desktop-file-validate"
appstreamcli validate --no-net --pedantic "$scratch/root/usr/share/metainfo/$app_id.metainfo.xml" ||
  problem "appstreamcli validate"
man_warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' man --warnings -l "$scratch/root/usr/share/man/man1/vkt-rs7.1.gz" 2>&1 >/dev/null || true)
[[ -z $man_warnings ]] || problem "manual page: $man_warnings"
bash -n "$scratch/root/usr/share/bash-completion/completions/vkt-rs7" || problem "bash completion syntax"

# The completion offers the subcommands, their options and the values of those options.
if [[ -f /usr/share/bash-completion/bash_completion ]]; then
  completions=$(cd "$scratch" && bash -c '
    source /usr/share/bash-completion/bash_completion
    source "$1"
    offer() {
      COMP_WORDS=("$@"); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
      COMPREPLY=(); _vkt_rs7 vkt-rs7 "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
      echo "${COMPREPLY[*]}"
    }
    offer vkt-rs7 d; offer vkt-rs7 export --; offer vkt-rs7 export --format ""; offer vkt-rs7 dump --format ""
    offer vkt-rs7 simulate --fault ga' _ "$scratch/root/usr/share/bash-completion/completions/vkt-rs7")
  want=$'download dump\n--kind --format --separator --decimal --help\nxls xlsx csv\ncsv json\ngarbage'
  [[ $completions == "$want" ]] || problem "bash completion offers: $completions"
fi

# Every subcommand of the program has its section in the manual page.
manual=$(zcat "$scratch/root/usr/share/man/man1/vkt-rs7.1.gz")
for sub in download export dump report simulate help; do
  grep -q "^\.SS $sub\$" <<<"$manual" || problem "manual page lacks the command $sub"
done

# The dependencies were computed from the program's libraries.
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6core6 libqt6widgets6 libqt6serialport6 libxlsxwriter4 libc6; do
  grep -q "$lib" <<<"$depends" || problem "Depends lacks $lib: $depends"
done
echo "Depends: $depends"

# The installed program runs from where the package puts it.
version=$("$scratch/root/usr/bin/vkt-rs7" --version) || problem "vkt-rs7 --version failed"
echo "Installed: $version"
[[ $version == "vkt-rs7 $(dpkg-deb -f "$deb" Version)" ]] || problem "version '$version' differs from the package's"

exit $fail
