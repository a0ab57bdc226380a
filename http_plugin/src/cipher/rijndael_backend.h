// The Rijndael backends: one implementation of the key schedule and of the
// ECB, CBC and CFB1 loops per kind of processor, all with the same contract.
//
// - Tables: the portable table-driven code; fast, but its memory accesses
//   depend on key and data, so it is not constant-time.  Never chosen: the
//   reference that tests and benchmarks pin.
// - Bitsliced: portable and constant-time, four blocks at a time in eight
//   64-bit words; the choice where there are no AES instructions.
// - AesNi: the AES instructions on 128-bit registers (AES-NI, SSSE3,
//   SSE4.1); eight blocks in flight.
// - Vaes: the vector AES instructions on 512-bit registers (VAES,
//   AVX-512F/VL); sixteen blocks in flight.
// - Vaes256: the same on 256-bit registers (VAES, AVX2), for processors
//   without AVX-512; sixteen blocks in flight.
//   Both VAES widths run their serial loops (CBC encryption, CFB1) and their
//   tails on the AesNi code.
//
// The choice is made once, from cpuid alone, the first time a cipher needs
// it: the widest backend the processor (and its operating system, for the
// 512-bit state) supports.  Tests may pin a backend; nothing else does.
//
// Every function takes the schedule as Rijndael stores it: round key r at
// rk + 16 * r, FIPS-197 byte order, and for decryption slots 1 to rounds - 1
// converted by InvMixColumns (the equivalent inverse cipher).  Input and
// output may be the same buffer.  Lengths are in whole 16-byte blocks.
#ifndef QOLT_RIJNDAEL_BACKEND_H
#define QOLT_RIJNDAEL_BACKEND_H

#include <atomic>
#include <cstddef>

enum class RijndaelBackendId { Tables, Bitsliced, AesNi, Vaes256, Vaes };

struct RijndaelBackend {
    RijndaelBackendId id;
    const char *name;
    // FIPS-197 KeyExpansion of the 4 * (rounds - 6) key bytes into round
    // keys 0 to rounds.
    void (*expandKey)(const unsigned char *key, unsigned rounds, unsigned char *rk);
    // InvMixColumns of round keys 1 to rounds - 1, in place.
    void (*invertKey)(unsigned rounds, unsigned char *rk);
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
extern const RijndaelBackend kRijndaelAesNiBackend;
extern const RijndaelBackend kRijndaelVaes256Backend;
extern const RijndaelBackend kRijndaelVaesBackend;
#endif

// The backend every cipher uses: chosen once by the processor, or pinned.
// Inline, since a one-block call would feel a call more.
extern std::atomic<const RijndaelBackend *> rijndaelChosenBackend;
const RijndaelBackend &rijndaelChooseBackend();
inline const RijndaelBackend &rijndaelBackend() {
    const RijndaelBackend *b = rijndaelChosenBackend.load(std::memory_order_relaxed);
    return b ? *b : rijndaelChooseBackend();
}

// Whether this processor can run the backend.
bool rijndaelBackendSupported(RijndaelBackendId id);

// For tests: makes every cipher use the backend from now on.  Returns false,
// changing nothing, when the processor cannot run it.  Not thread-safe
// against ciphers in use; not exported.
bool rijndaelPinBackend(RijndaelBackendId id);

// The backend's name ("tables", "bitsliced", "aes-ni", "vaes-256", "vaes"), or null for
// an unknown id.
const char *rijndaelBackendName(RijndaelBackendId id);

#endif  // QOLT_RIJNDAEL_BACKEND_H
