#!/usr/bin/env bash
# Checks of what `cmake --install` and the Debian package ship, run by CTest:
#
#   packaging_test.sh install-tree BUILD EXPECTED   the installed files are
#       exactly those of EXPECTED, directories 0755, programs 0755, data 0644
#   packaging_test.sh manual-page-options REPORT PAGE   every option that
#       `REPORT --help` prints has an entry in the OPTIONS of the manual page
#   packaging_test.sh manual-page-warnings PAGE...   man renders each page
#       without a warning (as lintian checks it)
#   packaging_test.sh versions VERSION METAINFO CHANGELOG   the newest release
#       of the metainfo and of the changelog is VERSION, of the same day
set -euo pipefail

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

install_tree() {
  local build=$1 expected=$2
  local root
  root=$(mktemp -d)
  # shellcheck disable=SC2064 # the folder is named now; the local is gone at exit
  trap "rm -rf '$root'" EXIT
  DESTDIR="$root/dest" cmake --install "$build" --prefix /usr >/dev/null
  local actual
  actual=$(cd "$root/dest" && find . -mindepth 1 ! -type d | sed 's|^\./||' | LC_ALL=C sort)
  if ! diff -u <(grep -v '^#' "$expected" | LC_ALL=C sort) <(echo "$actual") >&2; then
    fail "installed files differ from $expected (- expected, + installed)"
  fi
  local odd
  odd=$(cd "$root/dest" && find . \( -type d ! -perm 0755 \) -o \
    \( -type f -path './usr/bin/*' ! -perm 0755 \) -o \( -type f ! -path './usr/bin/*' ! -perm 0644 \))
  [ -z "$odd" ] || fail "wrong permissions: $odd"
}

manual_page_options() {
  local report=$1 page=$2
  local options
  options=$("$report" --help | grep -o -- '--[a-z][a-z-]*' | sort -u)
  [ -n "$options" ] || fail "$report --help names no option"
  # The tags of the OPTIONS section: the lines after its .TP requests.
  local tags
  tags=$(sed -n '/^\.SH OPTIONS/,/^\.SH /p' "$page" | sed -n '/^\.TP/{n;p}')
  local missing=()
  for option in $options; do
    # In roff a hyphen to be typed is written \-; an option ends before a
    # letter, a hyphen or a backslash would continue it.
    local roff=${option//-/\\-}
    grep -Eq -- "${roff//\\/\\\\}([^a-z\\]|$)" <<<"$tags" || missing+=("$option")
  done
  [ ${#missing[@]} -eq 0 ] || fail "$page does not describe ${missing[*]}"
}

manual_page_warnings() {
  for page in "$@"; do
    local warnings
    warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 \
      man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$page: $warnings"
  done
}

versions() {
  local version=$1 metainfo=$2 changelog=$3
  # The first <release> is the newest.
  local release
  release=$(grep -m1 -o '<release [^>]*>' "$metainfo")
  local releaseVersion releaseDate
  releaseVersion=$(sed -n 's/.*version="\([^"]*\)".*/\1/p' <<<"$release")
  releaseDate=$(sed -n 's/.*date="\([^"]*\)".*/\1/p' <<<"$release")
  local changelogVersion changelogDate
  changelogVersion=$(sed -n '1s/^[^ ]* (\([^)]*\)).*/\1/p' "$changelog")
  changelogDate=$(date -u -d "$(sed -n 's/^ -- .*>  //p' "$changelog" | head -1)" +%F)
  [ "$releaseVersion" = "$version" ] || fail "$metainfo: newest release $releaseVersion, not $version"
  [ "$changelogVersion" = "$version" ] || fail "$changelog: newest entry $changelogVersion, not $version"
  [ "$releaseDate" = "$changelogDate" ] ||
    fail "release $version dated $releaseDate in $metainfo, $changelogDate in $changelog"
}

case ${1:-} in
  install-tree) install_tree "$2" "$3" ;;
  manual-page-options) manual_page_options "$2" "$3" ;;
  manual-page-warnings) shift && manual_page_warnings "$@" ;;
  versions) versions "$2" "$3" "$4" ;;
  *) fail "usage: $0 install-tree|manual-page-options|manual-page-warnings|versions ARGS" ;;
esac
