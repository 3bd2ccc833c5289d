# Sourced by scripts: the Debian archive that this machine's own apt entries
# name for a release (deb822 .sources or one-line .list form). Prints nothing
# when no entry names the release; the repository never carries an address.
debian_archive_uri() { # codename
  local codename=$1 uri=""
  uri=$(awk -v cn="$codename" '
    BEGIN { RS = "" }
    {
      if ($0 !~ /Types:[^\n]*deb([ \t\n]|$)/) next
      n = split($0, lines, "\n"); suites = ""; uris = ""
      for (i = 1; i <= n; i++) {
        if (lines[i] ~ /^Suites:/) suites = " " substr(lines[i], 8) " "
        if (lines[i] ~ /^URIs:/) { uris = substr(lines[i], 6); sub(/^[ \t]+/, "", uris); sub(/[ \t].*$/, "", uris) }
      }
      if (index(suites, " " cn " ") && uris != "") { print uris; exit }
    }' /etc/apt/sources.list.d/*.sources 2>/dev/null || true)
  if [ -z "$uri" ]; then
    uri=$(sed -nE "s/^deb[[:space:]]+(\[[^]]*\][[:space:]]+)?([^[:space:]]+)[[:space:]]+$codename[[:space:]].*/\2/p" \
      /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null | head -n1 || true)
  fi
  echo "$uri"
}

debian_codename() {
  (. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
}
