# shellcheck shell=bash
# installMissing PACKAGE...: installs the Debian packages of the list that are not installed yet,
# as root or through sudo; a machine that has them all is left alone, without a look at the
# network.
# shellcheck source=scripts/lib/sudo.bash
source "${BASH_SOURCE[0]%/*}/sudo.bash"

installMissing() {
  local missing=() package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
      missing+=("$package")
  done
  ((${#missing[@]} > 0)) || return 0
  echo "installing ${missing[*]}"
  $sudo apt-get update -qq
  # Through env: sudo resets the environment, and apt must not stop to ask questions.
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
}
