#!/usr/bin/env bash
# Holds the cipher and MD5 to their instruction counts under callgrind, in
# whatever build this is: a loop the optimiser left rolled, a block array
# left in memory, or a longer per-call path shows up as instructions, and
# instruction counts do not move with the machine's load as time does.
#
# Each bound is the count of a Release (-O3) build plus a little: the point
# is that the default and distribution builds (-O2) run the code that -O3
# runs.  Valgrind presents AES-NI but not VAES, so the
# hardware cases pin AES-NI; a count per repetition includes the call
# through the class.
# Usage: check_instruction_counts.sh <instruction_count binary>
set -euo pipefail
bin=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Bounds: the Release count of 2026-12-08 plus about 3 % for the loops (room
# for another compiler's scheduling, not for a rolled loop, which costs
# several times more), plus 8 instructions for one block (a check or a move
# more on the call path, not a second pass over the schedule).  Every loop
# ends with its registers cleared (16 zero idioms and 9 register clears,
# wipe.h), the one-block path with its two (the one-block count of 76).
# The table backend counts its look-ups, MD5 its 64 steps a block.
# case                   repetitions  bound per repetition   (Release count)
cases=(
  "aes-ni/ecb-decrypt-4k  64          3700"   #     3561
  "aes-ni/cbc-decrypt-4k  64          4550"   #     4401
  "aes-ni/one-block       4096        84"     #       76
  "tables/ecb-encrypt-4k  16          156000" #   151632
  "tables/cbc-decrypt-4k  16          161000" #   156503
  "tables/one-block       4096        700"    #      670
  "md5-1m                 2           10500000" # 10191737
  # The software backends, one copy of their loops for every key length:
  # the default build's count of 2026-12-09 plus about 4 %.
  "ssse3/ecb-encrypt-4k   16          116000" #   111978
  # ECB and CBC decryption take eight blocks at a time bitsliced: the
  # default build's count of 2026-12-09, after that change, plus 4 %.
  "ssse3/ecb-decrypt-4k   16          130000" #   124964
  "ssse3/cbc-decrypt-4k   16          130500" #   125513
  "ssse3/cfb1-encrypt-64  4           260000" #   250408
  "ssse3/one-block        1024        745"    #      715
  "bitsliced/ecb-encrypt-4k  8        350000" #   337679
  "bitsliced/cbc-decrypt-4k  8        397000" #   383003
  "bitsliced/cfb1-encrypt-64 2        2610000" # 2512205
  "bitsliced/one-block    1024        6450"   #     6221
)

status=0
for row in "${cases[@]}"; do
  read -r name reps bound <<<"$row"
  set +e
  valgrind --tool=callgrind --collect-atstart=no --callgrind-out-file="$work/out" \
    "$bin" "$name" "$reps" >"$work/log" 2>&1
  rc=$?
  set -e
  if [ $rc -eq 77 ]; then
    echo "skip  $name: $(head -1 "$work/log")"
    continue
  elif [ $rc -ne 0 ]; then
    cat "$work/log"
    echo "FAIL  $name: exit code $rc"
    status=1
    continue
  fi
  total=$(awk '/^totals:/ {print $2}' "$work/out")
  per=$(( total / reps ))
  if [ "$per" -le "$bound" ]; then
    printf 'ok    %-22s %10d instructions (bound %d)\n' "$name" "$per" "$bound"
  else
    printf 'FAIL  %-22s %10d instructions, above the bound %d\n' "$name" "$per" "$bound"
    status=1
  fi
done
exit $status
