#!/usr/bin/env bash
# Checks a built bankprep package: its control fields and file list, the desktop entry
# and AppStream metainfo with their validators, that the manual pages name every
# command and option the programs' --help prints, and lintian without errors.
#   scripts/check-package.sh build-package/bankprep_0.1_amd64.deb
set -euo pipefail
deb=$1
fail=0
problem() { echo "check-package: $*" >&2; fail=1; }

info=$(dpkg-deb -I "$deb")
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = bankprep ] || problem "Package is not bankprep"
for f in Version Architecture Maintainer Section Priority Description Homepage; do
  [ -n "$(field "$f")" ] || problem "control field $f is missing"
done
depends=$(field Depends)
# Computed from the programs' libraries, plus the plugins and translations no library names.
for d in libc6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6printsupport6 libqt6sql6 \
         libsqlite3-0 libsodium23 libqt6sql6-sqlite qt6-translations-l10n; do
  grep -qE "(^|, )$d( |,|$)" <<<"$depends" || problem "Depends lacks $d: $depends"
done
recommends=$(field Recommends)
for r in fcitx5-frontend-qt6 fonts-noto-cjk; do
  grep -q "$r" <<<"$recommends" || problem "Recommends lacks $r: $recommends"
done
grep -q ' md5sums' <<<"$info" || problem "no md5sums in the control archive"

files=$(dpkg-deb -c "$deb" | awk '{print $6}')
id=${BANKPREP_APP_ID:-io.bankprep.Bankprep}
for f in ./usr/bin/bankprep ./usr/bin/bankprep-cli \
         ./usr/share/man/man1/bankprep.1.gz ./usr/share/man/man1/bankprep-cli.1.gz \
         ./usr/share/applications/$id.desktop \
         ./usr/share/icons/hicolor/scalable/apps/$id.svg \
         ./usr/share/metainfo/$id.metainfo.xml \
         ./usr/share/doc/bankprep/copyright ./usr/share/doc/bankprep/changelog.gz; do
  grep -qxF "$f" <<<"$files" || problem "the package lacks $f"
done
extra=$(grep -E '^\./usr/bin/' <<<"$files" | grep -vxE '\./usr/bin/(bankprep|bankprep-cli)?' || true)
[ -z "$extra" ] || problem "programs that are not the product: $extra"
grep -q '^\./usr/local' <<<"$files" && problem "files under /usr/local"
bad_owner=$(dpkg-deb -c "$deb" | awk '$2 != "root/root"')
[ -z "$bad_owner" ] || problem "files not owned by root: $bad_owner"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
dpkg-deb -x "$deb" "$tmp"
desktop=$tmp/usr/share/applications/$id.desktop
desktop-file-validate "$desktop" || problem "desktop-file-validate refused the menu entry"
grep -qx 'Name=网上银行批预处理' "$desktop" || problem "the menu entry's Name"
grep -qx 'Categories=Office;Finance;' "$desktop" || problem "the menu entry's Categories"
grep -qx 'Exec=bankprep --user-data' "$desktop" || problem "the menu entry does not start in the data folder"
appstreamcli validate --no-net --explain "$tmp/usr/share/metainfo/$id.metainfo.xml" ||
  problem "appstreamcli refused the metainfo"
grep -q '<screenshot' "$tmp/usr/share/metainfo/$id.metainfo.xml" || problem "metainfo without a screenshot"

# Every command and option --help names is in the manual page.
check_manual() {
  local program=$1 page=$2 help words
  help=$("$tmp/usr/bin/$program" --help)
  words=$(grep -oE '(^  [a-z][a-z-]+|--[a-z][a-z-]*|(^|[ [])-[a-z]( |$))' <<<"$help" |
          sed -E 's/^[ []+//; s/ +$//' | sort -u)
  local text
  text=$(zcat "$tmp/usr/share/man/man1/$page" | sed 's/\\-/-/g; s/\\f[BIRP]//g')
  for w in $words; do
    grep -qF -- "$w" <<<"$text" || problem "$page does not name $w (from $program --help)"
  done
  grep -q 'EXIT STATUS' <<<"$text" || problem "$page has no EXIT STATUS"
}
check_manual bankprep-cli bankprep-cli.1.gz
check_manual bankprep bankprep.1.gz

if ! lintian --fail-on error --tag-display-limit 0 "$deb"; then
  problem "lintian reports errors"
fi

[ "$fail" -eq 0 ] && echo "check-package: $(basename "$deb") passed"
exit "$fail"
