# Sourced by the tools (bash) that build for another architecture.

# install_foreign ARCH PACKAGE:ARCH...: installs another architecture's
# packages through multiarch (dpkg --add-architecture ARCH), when missing.
# Multi-Arch: same packages must carry the very version of their installed
# amd64 twins; apt-get install upgrades those twins to the mirror's version
# in the same step.  When the mirror holds different versions for the two
# architectures (one built or published before the other), apt refuses, and
# this names the packages and both versions.
install_foreign() {
  local arch=$1 p sudo="" missing=()
  shift
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  dpkg --print-foreign-architectures | grep -qx "$arch" || $sudo dpkg --add-architecture "$arch"
  $sudo apt-get update
  if ! DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=900 install -y \
        --no-install-recommends "${missing[@]}"; then
    echo "the $arch packages cannot be installed beside the amd64 ones; versions that differ:" >&2
    for p in $(apt-get -s install "${missing[@]}" 2>&1 |
               sed -n "s/^ *\([^ :]*\):$arch : .*/\1/p" | sort -u); do
      echo "  $p: amd64 $(apt-cache policy "$p:amd64" | sed -n 's/ *Candidate: //p')," \
           "$arch $(apt-cache policy "$p:$arch" | sed -n 's/ *Candidate: //p')" >&2
    done
    return 1
  fi
}
