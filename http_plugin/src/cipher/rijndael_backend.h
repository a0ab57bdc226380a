// The Rijndael backends: one implementation of the key schedule and of the
// ECB, CBC and CFB1 loops per kind of processor, all with the same contract.
//
// - Tables: the portable table-driven code; fast, but its memory accesses
//   depend on key and data, so it is not constant-time.  Never chosen and
//   not in the plugin: the reference that tests and benchmarks pin, built
//   into their library alone.
// - Bitsliced: portable and constant-time, four blocks at a time in eight
//   64-bit words; the choice where there are no AES instructions and no
//   SSSE3.
// - Ssse3: constant-time software rounds by SSSE3 byte shuffles, for
//   processors without the AES instructions; four blocks in flight, and
//   ECB and CBC decryption eight blocks at a time bitsliced.
// - AesNi: the AES instructions on 128-bit registers (AES-NI and SSE2
//   alone); eight blocks in flight.
// - Vaes512: the vector AES instructions on 512-bit registers (VAES,
//   AVX-512F/VL); sixteen blocks in flight.
// - Vaes256: the same on 256-bit registers (VAES, AVX2), for processors
//   without AVX-512; sixteen blocks in flight.
//   Both VAES widths run their serial loops (CBC encryption, CFB1) and their
//   tails on the AesNi code.
// - ArmAes: the ARMv8 Cryptography Extensions on 64-bit ARM; eight blocks
//   in flight.
//
// Which one runs is rijndael_dispatch.h's matter.  This header is all that
// the files built for other instruction sets include: no inline function
// with external linkage, nothing a baseline file could share with them.
//
// Every function takes the schedule as Rijndael stores it: round key r at
// rk + 16 * r, FIPS-197 byte order, and for decryption slots 1 to rounds - 1
// converted by InvMixColumns (the equivalent inverse cipher).  Input and
// output may be the same buffer.  Lengths are in whole 16-byte blocks.
#ifndef QOLT_RIJNDAEL_BACKEND_H
#define QOLT_RIJNDAEL_BACKEND_H

#include <cstddef>

struct RijndaelBackend {
    // FIPS-197 KeyExpansion of the 4 * (rounds - 6) key bytes into round
    // keys 0 to rounds.
    void (*expandKey)(const unsigned char *key, unsigned rounds, unsigned char *rk);
    // InvMixColumns of round keys 1 to rounds - 1, in place.
    void (*invertKey)(unsigned rounds, unsigned char *rk);
    // One block: the short path of encrypt(), decrypt() and one-block ECB
    // calls, which reads each round key as it needs it instead of loading
    // the whole schedule into registers first.
    void (*encryptBlock)(const unsigned char *rk, unsigned rounds, const unsigned char *in,
                         unsigned char *out);
    void (*decryptBlock)(const unsigned char *rk, unsigned rounds, const unsigned char *in,
                         unsigned char *out);
    void (*ecbEncrypt)(const unsigned char *rk, unsigned rounds, const unsigned char *in,
                       unsigned char *out, size_t blocks);
    void (*ecbDecrypt)(const unsigned char *rk, unsigned rounds, const unsigned char *in,
                       unsigned char *out, size_t blocks);
    // CBC and CFB1 start from the 16-byte vector iv, which is not updated.
    void (*cbcEncrypt)(const unsigned char *rk, unsigned rounds, const unsigned char *iv,
                       const unsigned char *in, unsigned char *out, size_t blocks);
    void (*cbcDecrypt)(const unsigned char *rk, unsigned rounds, const unsigned char *iv,
                       const unsigned char *in, unsigned char *out, size_t blocks);
    void (*cfb1Encrypt)(const unsigned char *rk, unsigned rounds, const unsigned char *iv,
                        const unsigned char *in, unsigned char *out, size_t blocks);
    void (*cfb1Decrypt)(const unsigned char *rk, unsigned rounds, const unsigned char *iv,
                        const unsigned char *in, unsigned char *out, size_t blocks);
};

extern const RijndaelBackend kRijndaelTablesBackend;
extern const RijndaelBackend kRijndaelBitslicedBackend;
#if defined(__x86_64__)
extern const RijndaelBackend kRijndaelSsse3Backend;
extern const RijndaelBackend kRijndaelAesNiBackend;
extern const RijndaelBackend kRijndaelVaes256Backend;
extern const RijndaelBackend kRijndaelVaes512Backend;
// The AES-NI backend's entries (built with -maes alone), which the VAES
// backends share: those that work a block at a time, and the parallel loops
// for fewer blocks than a wide step.
void rijndaelAesNiExpandKey(const unsigned char *key, unsigned rounds, unsigned char *rk);
void rijndaelAesNiInvertKey(unsigned rounds, unsigned char *rk);
void rijndaelAesNiEncryptBlock(const unsigned char *rk, unsigned rounds, const unsigned char *in,
                               unsigned char *out);
void rijndaelAesNiDecryptBlock(const unsigned char *rk, unsigned rounds, const unsigned char *in,
                               unsigned char *out);
void rijndaelAesNiEcbEncrypt(const unsigned char *rk, unsigned rounds, const unsigned char *in,
                             unsigned char *out, size_t blocks);
void rijndaelAesNiEcbDecrypt(const unsigned char *rk, unsigned rounds, const unsigned char *in,
                             unsigned char *out, size_t blocks);
void rijndaelAesNiCbcDecrypt(const unsigned char *rk, unsigned rounds, const unsigned char *iv,
                             const unsigned char *in, unsigned char *out, size_t blocks);
void rijndaelAesNiCbcEncrypt(const unsigned char *rk, unsigned rounds, const unsigned char *iv,
                             const unsigned char *in, unsigned char *out, size_t blocks);
void rijndaelAesNiCfb1Encrypt(const unsigned char *rk, unsigned rounds, const unsigned char *iv,
                              const unsigned char *in, unsigned char *out, size_t blocks);
void rijndaelAesNiCfb1Decrypt(const unsigned char *rk, unsigned rounds, const unsigned char *iv,
                              const unsigned char *in, unsigned char *out, size_t blocks);
#endif
#if defined(__aarch64__)
extern const RijndaelBackend kRijndaelArmAesBackend;
#endif

#endif  // QOLT_RIJNDAEL_BACKEND_H
