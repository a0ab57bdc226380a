// The portable key schedule; the S-box look-ups are indexed by key bytes,
// so, like the table rounds, it is used only without AES instructions.
#include "rijndael_key.h"

#include <cstdint>
#include <cstring>

#include "rijndael_tables.h"
#include "wipe.h"

void rijndaelTablesExpandKey(const unsigned char *key, unsigned rounds, unsigned char *rk) {
    const RijndaelTables &t = kRijndaelTables;
    const unsigned nk = rounds - 6;
    unsigned char tk[8][4];
    memcpy(tk, key, 4 * nk);

    // The words of tk are placed four to a round key, from round r, column
    // c on; words that would fall after round key `rounds` are dropped.
    unsigned r = 0, c = 0, step = 0;
    for (;;) {
        for (unsigned j = 0; j < nk && r <= rounds; ++j) {
            memcpy(rk + 16 * r + 4 * c, tk[j], 4);
            if (++c == 4) c = 0, ++r;
        }
        if (r > rounds) break;

        const unsigned char *last = tk[nk - 1];
        tk[0][0] ^= t.sbox[last[1]] ^ t.rcon[step++];
        tk[0][1] ^= t.sbox[last[2]];
        tk[0][2] ^= t.sbox[last[3]];
        tk[0][3] ^= t.sbox[last[0]];
        const unsigned firstHalf = nk == 8 ? 4 : nk;
        for (unsigned j = 1; j < firstHalf; ++j)
            for (int b = 0; b < 4; ++b) tk[j][b] ^= tk[j - 1][b];
        if (nk == 8) {
            for (int b = 0; b < 4; ++b) tk[4][b] ^= t.sbox[tk[3][b]];
            for (unsigned j = 5; j < 8; ++j)
                for (int b = 0; b < 4; ++b) tk[j][b] ^= tk[j - 1][b];
        }
    }
    qoltWipe(tk, sizeof tk);
}

void rijndaelTablesInvertKey(unsigned rounds, unsigned char *rk) {
    const uint32_t(&K)[4][256] = kRijndaelTables.keyDec;
    for (unsigned i = 4; i < 4 * rounds; ++i) {
        unsigned char *w = rk + 4 * i;
        uint32_t v = K[0][w[0]] ^ K[1][w[1]] ^ K[2][w[2]] ^ K[3][w[3]];
        for (int b = 0; b < 4; ++b, v >>= 8) w[b] = static_cast<unsigned char>(v);
    }
}
