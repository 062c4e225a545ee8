#!/usr/bin/env bash
# The package set-up of ./run (tools/setup/apt.sh) against a registry that
# misbehaves: a stand-in apt-get on the PATH fails its index updates as the
# registry did while a mirror synced ("File has unexpected size"), and offers
# or withholds packages. Each case checks the job's exit status and what it
# said. Needs neither root nor a network.
set -uo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# The stand-ins. APT_UPDATE_FAILS: how many updates fail before one works
# (a large number: all fail); APT_MISSING: a package the registry offers in
# no version. Installed packages are recorded in $work/installed.
mkdir -p "$work/bin"
cat > "$work/bin/apt-get" <<'STUB'
#!/usr/bin/env bash
state=$STUB_STATE
for a in "$@"; do
  case $a in
    update)
      n=$(cat "$state/updates" 2>/dev/null || echo 0)
      echo $((n + 1)) > "$state/updates"
      if ((n < APT_UPDATE_FAILS)); then
        echo "Get:1 http://deb.debian.org/debian bookworm InRelease"
        echo "E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-armhf/Packages.xz  File has unexpected size (359552 != 360800). Mirror sync in progress?"
        echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
        exit 100
      fi
      exit 0 ;;
    install)
      shift_to_packages=1 ;;
  esac
done
packages=()
for a in "$@"; do [[ $a == -* || $a == install || $a == *=* ]] || packages+=("$a"); done
for p in "${packages[@]}"; do
  if [ "$p" = "${APT_MISSING:-}" ]; then
    echo "E: Package '$p' has no installation candidate"
    exit 100
  fi
done
printf '%s\n' "${packages[@]}" >> "$state/installed"
exit 0
STUB
cat > "$work/bin/apt-cache" <<'STUB'
#!/usr/bin/env bash
p=${*: -1}
echo "$p:"
if [ "$p" = "${APT_MISSING:-}" ]; then echo "  Candidate: (none)"; else echo "  Candidate: 1.0"; fi
STUB
cat > "$work/bin/dpkg-query" <<'STUB'
#!/usr/bin/env bash
grep -qx "${*: -1}" "$STUB_STATE/installed" 2>/dev/null && printf 'install ok installed'
STUB
chmod +x "$work/bin"/*

# run_case NAME UPDATE_FAILS MISSING: installs two packages the way ./run does;
# leaves its output in $out and its exit status in $status.
run_case() {
  local name=$1
  export STUB_STATE=$work/$name APT_UPDATE_FAILS=$2 APT_MISSING=$3
  mkdir -p "$STUB_STATE"
  out=$(PATH=$work/bin:$PATH PXVIBER_APT_BACKOFF=0 bash -c '
    set -euo pipefail
    sudo=()
    . "$1/tools/setup/apt.sh"
    install_missing libfoo-dev libbar-dev
    echo "job goes on"' _ "$here" 2>&1)
  status=$?
}

expect() {  # expect CASE WHAT CONDITION...
  local name=$1 what=$2
  shift 2
  if ! "$@"; then
    echo "FAIL $name: $what"
    echo "$out" | sed 's/^/    | /'
    failures=$((failures + 1))
  fi
}
says() { grep -qF -- "$1" <<<"$out"; }

run_case recovers 1 ""
expect recovers "a second update that works lets the job go on" test "$status" -eq 0
expect recovers "the first failure is said" says "again in 0 s"
expect recovers "the packages are installed" grep -qx libbar-dev "$STUB_STATE/installed"
expect recovers "no warning once an update worked" bash -c '! grep -q "warning" <<<"$0"' "$out"

run_case index-stays-broken 99 ""
expect index-stays-broken "a broken index is a warning when the packages still install" test "$status" -eq 0
expect index-stays-broken "the job went on" says "job goes on"
expect index-stays-broken "three tries" test "$(cat "$STUB_STATE/updates")" -eq 3
expect index-stays-broken "the warning names the index" says "run: warning: going on with the indexes the registry does offer"
expect index-stays-broken "... and what failed" says "binary-armhf/Packages.xz  File has unexpected size"

run_case package-missing 99 libbar-dev
expect package-missing "a package that cannot be had stops the job with 75" test "$status" -eq 75
expect package-missing "the job stopped" bash -c '! grep -q "job goes on" <<<"$0"' "$out"
expect package-missing "names the package" says "the registry offers no version of: libbar-dev"
expect package-missing "says what apt answered" says "E: Package 'libbar-dev' has no installation candidate"
expect package-missing "names the failed index" says "indexes that failed to update:"

mkdir -p "$work/already-installed"
printf 'libfoo-dev\nlibbar-dev\n' > "$work/already-installed/installed"
run_case already-installed 99 ""
expect already-installed "nothing missing: the job goes on" test "$status" -eq 0
expect already-installed "nothing missing: no update at all" test ! -e "$STUB_STATE/updates"

if ((failures)); then
  echo "$failures checks failed"
  exit 1
fi
echo "every check passed"
