// libFuzzer target comparing each backend this processor runs with the
// table backend, the reference, entry by entry.  The input picks one
// backend and one entry (the key schedule and its conversion always run
// first), so that each input costs one entry on a few blocks: the search
// stays fast however slow a backend's entry is under the sanitizers.
//
// Entries: one block each way (encrypt() and decrypt()'s path), ECB, CBC
// and CFB1 each way.  Blocks: at most 16 (every backend's widest step and
// its tails), CFB1 at most 1.  CFB1 costs 128 cipher calls a block, so 2
// selector values in 32 pick it, and it runs out of place only; the other
// entries run in place too on one input in four.  So the rate stays near
// that of the other targets.  Any difference from the tables, in place or
// not, stops the run.
//
// Input layout (missing bytes read as zero):
//   0  backend selector   1  entry selector (low 5 bits 0-29: entry % 6,
//   30 and 31: CFB1 each way; top 3 bits 0 or 4: in place too)
//   2  key length selector
//   3..34 key (32 bytes)   35..50 vector (16 bytes)   51.. data
#include "rijndael_dispatch.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

void check(bool ok) {
    if (!ok) abort();
}

constexpr size_t kHeader = 51;

// The backends to compare: every one this processor runs but the tables.
std::vector<const RijndaelBackend *> comparable() {
    std::vector<const RijndaelBackend *> list;
    for (size_t i = 0; i < kRijndaelBackendCount; ++i) {
        const RijndaelBackendEntry &e = kRijndaelBackends[i];
        if (e.id != RijndaelBackendId::Tables && rijndaelBackendSupported(e.id))
            list.push_back(e.backend);
    }
    return list;
}

void runEntry(const RijndaelBackend &x, int entry, const unsigned char *ek,
              const unsigned char *dk, unsigned rounds, const unsigned char *iv,
              const unsigned char *in, unsigned char *out, size_t n) {
    switch (entry) {
    case 0: x.encryptBlock(ek, rounds, in, out); break;
    case 1: x.decryptBlock(dk, rounds, in, out); break;
    case 2: x.ecbEncrypt(ek, rounds, in, out, n); break;
    case 3: x.ecbDecrypt(dk, rounds, in, out, n); break;
    case 4: x.cbcEncrypt(ek, rounds, iv, in, out, n); break;
    case 5: x.cbcDecrypt(dk, rounds, iv, in, out, n); break;
    case 6: x.cfb1Encrypt(ek, rounds, iv, in, out, n); break;
    default: x.cfb1Decrypt(ek, rounds, iv, in, out, n); break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const std::vector<const RijndaelBackend *> backends = comparable();
    if (backends.empty()) return 0;
    unsigned char header[kHeader] = {};
    memcpy(header, data, std::min(size, kHeader));
    const RijndaelBackend &b = *backends[header[0] % backends.size()];
    const RijndaelBackend &t = kRijndaelTablesBackend;
    const int selector = header[1] % 32;
    const int entry = selector < 30 ? selector % 6 : 6 + (selector - 30);
    const unsigned rounds = 10 + 2 * (header[2] % 3);
    const unsigned char *key = header + 3, *iv = header + 35;

    unsigned char enc[2][240], dec[2][240];
    t.expandKey(key, rounds, enc[0]);
    b.expandKey(key, rounds, enc[1]);
    check(memcmp(enc[0], enc[1], 16 * (rounds + 1)) == 0);
    memcpy(dec, enc, sizeof dec);
    t.invertKey(rounds, dec[0]);
    b.invertKey(rounds, dec[1]);
    check(memcmp(dec[0], dec[1], 16 * (rounds + 1)) == 0);

    // The one-block entries take one block, whatever the data; the others
    // its whole blocks, up to their bound.
    const size_t have = size > kHeader ? (size - kHeader) / 16 : 0;
    const size_t n = entry < 2 ? 1 : std::min(have, size_t(entry >= 6 ? 1 : 16));
    Bytes in(16 * std::max(n, size_t(1)), 0);
    if (size > kHeader) memcpy(in.data(), data + kHeader, std::min(in.size(), size - kHeader));
    Bytes want(in.size(), 0xee), got = want, inPlace = in;
    runEntry(t, entry, enc[0], dec[0], rounds, iv, in.data(), want.data(), n);
    runEntry(b, entry, enc[0], dec[0], rounds, iv, in.data(), got.data(), n);
    check(want == got);
    // In place on one input in four (the selector's top bits): the unit
    // tests cover every count in place.
    if (entry >= 6 || (header[1] >> 5) % 4 != 0) return 0;
    runEntry(b, entry, enc[0], dec[0], rounds, iv, inPlace.data(), inPlace.data(), n);
    check(n == 0 || memcmp(want.data(), inPlace.data(), 16 * n) == 0);
    return 0;
}
