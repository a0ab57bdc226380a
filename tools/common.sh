# Settings shared by the tools, sourced by them: written here once.

# The X server of the dialog tests, the screenshot gallery and the demo tour.
QOLT_XVFB_SCREEN="-screen 0 1280x1024x24"

# peers_on_tables COMMAND [ARGS...]: runs COMMAND with the benchmark peers'
# AES instructions masked, so that OpenSSL and nettle run their table code,
# the fair match for our table cipher.  OPENSSL_ia32cap=~0x200020200000000
# clears AES-NI and SSSE3 (with SSSE3 left on, OpenSSL picks a vector-permute
# fallback instead of its tables); NETTLE_FAT_OVERRIDE=vendor:intel names no
# AES feature.
peers_on_tables() {
  OPENSSL_ia32cap='~0x200020200000000' NETTLE_FAT_OVERRIDE=vendor:intel "$@"
}

# processor_name: the processor as /proc/cpuinfo names it, with its family
# and model numbers, for the heading of every benchmark table.
processor_name() {
  local name family model
  name=$(grep -m1 '^model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')
  family=$(grep -m1 '^cpu family' /proc/cpuinfo | cut -d: -f2 | tr -d ' ')
  model=$(grep -m1 '^model[[:space:]]*:' /proc/cpuinfo | cut -d: -f2 | tr -d ' ')
  echo "$name (family $family, model $model)"
}

# peers_on_ssse3 COMMAND [ARGS...]: runs COMMAND with OpenSSL's AES-NI alone
# masked (OPENSSL_ia32cap=~0x200000200000000), so that it runs its SSSE3
# vector-permute code, the fair match for our SSSE3 backend.
peers_on_ssse3() {
  OPENSSL_ia32cap='~0x200000200000000' "$@"
}

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
