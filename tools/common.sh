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
