# Sourced: installs the Debian packages the build and tests need, when missing.
# Without recommended packages: Wine's alone (Mesa, GStreamer, fonts, SDL)
# would add hundreds of megabytes that no test uses. dpkg skips its fsync per
# file (unsafe-io): a power cut mid-install is no concern on a build machine,
# and the syncs cost a fresh machine's install much of its time.
need=()
for pkg in "$@"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || need+=("$pkg")
done
if [ ${#need[@]} -gt 0 ]; then
  echo "Installing: ${need[*]}"
  # One package-list update per run, however often this is sourced.
  [ -n "${PORTRELAY_APT_UPDATED:-}" ] || apt-get update -qq
  export PORTRELAY_APT_UPDATED=1
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends -o Dpkg::Options::=--force-unsafe-io "${need[@]}" >/dev/null
fi
