# shellcheck shell=bash
# Package installation for ./run, sourced by it: Debian packages for the build
# machine, and a sysroot of a foreign architecture's libraries for the cross
# builds.
#
# The package registry can be in a bad state for hours (an index that does not
# match its Release file while a mirror syncs). A failed index update is
# therefore a warning: the job goes on with the indexes the registry does offer
# and fails only when a package it needs cannot be had, saying which package,
# which index failed and what the registry answered, with exit status 75
# (EX_TEMPFAIL), so that CI can tell "the registry could not provide" from a
# failure of the project.

apt_tries=${PXVIBER_APT_TRIES:-3}      # tries of an index update
apt_backoff=${PXVIBER_APT_BACKOFF:-5}  # seconds before the second try; four times as long before each next
apt_failed_indexes=""                  # what the last update could not fetch, a line each

# The apt of the next calls: a command prefix (sudo for the machine's own
# packages) and options (a sysroot's private state, architecture, locks).
apt_prefix=()
apt_options=()

apt_get() { "${apt_prefix[@]}" apt-get "${apt_options[@]}" "$@"; }

# apt_update: refreshes the package indexes, retrying with a backoff. Never
# fails: what could not be fetched is kept in apt_failed_indexes and said.
apt_update() {
  local try delay=$apt_backoff out
  for ((try = 1; try <= apt_tries; try++)); do
    if out=$(apt_get -o DPkg::Lock::Timeout=900 update -q 2>&1); then
      apt_failed_indexes=""
      return 0
    fi
    apt_failed_indexes=$(grep -E '^(E|W): ' <<<"$out" | grep -v 'Some index files failed' || true)
    [ -n "$apt_failed_indexes" ] || apt_failed_indexes=$(tail -n 3 <<<"$out")
    if ((try < apt_tries)); then
      echo "run: the registry did not answer for every index (try $try of $apt_tries); again in $delay s:"
      sed 's/^/run:   /' <<<"$apt_failed_indexes"
      sleep "$delay"
      delay=$((delay * 4))
    fi
  done
  echo "run: warning: going on with the indexes the registry does offer; these failed to update:"
  sed 's/^/run:   /' <<<"$apt_failed_indexes"
}

# apt_install WHAT [APT-GET OPTIONS...] -- PACKAGE...: installs (or, with -d,
# downloads) the packages. When apt cannot, says for WHAT (the build machine, a
# sysroot) which package has no installable version, what apt answered and which
# indexes failed to update, and exits 75.
apt_install() {
  local what=$1 options=() log
  shift
  while [ "$1" != -- ]; do options+=("$1"); shift; done
  shift
  log=$(mktemp)
  if DEBIAN_FRONTEND=noninteractive apt_get -o DPkg::Lock::Timeout=900 install -y -q \
    --no-install-recommends "${options[@]}" "$@" 2>&1 | tee "$log"; then
    rm -f "$log"
    return 0
  fi
  local unavailable=() p candidate
  for p in "$@"; do
    candidate=$(apt-cache "${apt_options[@]}" policy "$p" 2>/dev/null | sed -n 's/^ *Candidate: //p')
    [ -n "$candidate" ] && [ "$candidate" != "(none)" ] || unavailable+=("$p")
  done
  echo "run: error: the packages $what needs cannot be installed."
  if ((${#unavailable[@]})); then
    echo "run:   the registry offers no version of: ${unavailable[*]}"
  else
    echo "run:   the registry offers every package asked for; a dependency of one is not installable"
  fi
  echo "run:   apt answered:"
  grep -E '^(E|W): |^ .* : |not installable|no installation candidate' "$log" | sed 's/^/run:     /' || true
  if [ -n "$apt_failed_indexes" ]; then
    echo "run:   indexes that failed to update:"
    sed 's/^/run:     /' <<<"$apt_failed_indexes"
  else
    echo "run:   every package index updated"
  fi
  rm -f "$log"
  exit 75
}

# install_missing PACKAGE...: installs on the build machine those not installed.
# The machine's package database gains only these packages; no architecture is
# added to it and nothing is removed (--no-remove).
install_missing() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  ((${#missing[@]} == 0)) && return 0
  echo "run: installing ${missing[*]}"
  apt_prefix=("${sudo[@]}")
  apt_options=()
  apt_update
  apt_install "this machine" --no-remove -- "${missing[@]}"
}

# make_sysroot ARCH DIR PACKAGE...: DIR becomes a sysroot of the Debian
# architecture ARCH holding the packages and everything they depend on,
# downloaded with apt told about ARCH for these commands only (its own indexes,
# cache and an empty package database under DIR.apt) and unpacked with dpkg-deb.
# The versions come from the registry's ARCH indexes alone, never tied to what
# the build machine has installed. Made once; made again when the list changes.
make_sysroot() {
  local arch=$1 dir=$2
  shift 2
  local wanted state=$dir.apt
  wanted=$(printf '%s\n' "$@" | sort)
  if [ -f "$dir/.packages" ] && [ "$(cat "$dir/.packages")" = "$wanted" ]; then
    return 0
  fi
  echo "run: making the $arch sysroot in $dir"
  mkdir -p "$state/lists/partial" "$state/archives/partial" "$state/cache"
  : > "$state/status"
  rm -f "$state"/archives/*.deb
  apt_prefix=()
  apt_options=(
    -o "APT::Architecture=$arch" -o "APT::Architectures::=$arch"
    -o "Dir::State=$state" -o "Dir::State::Lists=$state/lists" -o "Dir::State::status=$state/status"
    -o "Dir::Cache=$state/cache" -o "Dir::Cache::archives=$state/archives"
    -o Debug::NoLocking=1 -o APT::Sandbox::User=root
  )
  apt_update
  apt_install "the $arch sysroot" --download-only -- "$@"
  rm -rf "$dir.new" "$dir"
  mkdir -p "$dir.new"
  local deb
  for deb in "$state"/archives/*.deb; do dpkg-deb -x "$deb" "$dir.new"; done
  # Programs of the foreign architecture and the packages' configuration have
  # no use here; under qemu's -L they would even shadow the machine's own
  # (a test that starts /usr/bin/dbus-daemon must get the native one).
  rm -rf "$dir.new"/{bin,sbin,etc,var,usr/bin,usr/sbin,usr/libexec,usr/share/doc,usr/share/man}
  # Links that name an absolute path would lead the cross linker to the build
  # machine's own libraries: they become relative, inside the sysroot.
  local link target
  while IFS= read -r -d '' link; do
    target=$(readlink "$link")
    [[ $target == /* ]] || continue
    ln -sfn "$(realpath -m -s --relative-to="$(dirname "/${link#"$dir.new"/}")" "$target")" "$link"
  done < <(find "$dir.new" -type l -print0)
  printf '%s\n' "$wanted" > "$dir.new/.packages"
  mv "$dir.new" "$dir"
  echo "run: the $arch sysroot holds $(find "$state/archives" -name '*.deb' | wc -l) packages"
}
