# Sourced: installs the Debian packages the build and tests need, when missing.
# Without recommended packages: Wine's alone (Mesa, GStreamer, fonts, SDL)
# would add hundreds of megabytes that no test uses. dpkg skips its fsync per
# file (unsafe-io): on a fresh machine the install runs beside the first
# build, and a power cut mid-install is no concern there.
need=()
for pkg in "$@"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || need+=("$pkg")
done
if [ ${#need[@]} -gt 0 ]; then
  echo "Installing: ${need[*]}"
  # One package-list update per run (the background install comes second).
  [ -n "${PORTRELAY_APT_UPDATED:-}" ] || apt-get update -qq
  export PORTRELAY_APT_UPDATED=1
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends -o Dpkg::Options::=--force-unsafe-io "${need[@]}" >/dev/null
fi
