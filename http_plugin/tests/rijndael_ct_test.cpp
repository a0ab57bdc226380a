// Constant time, the ctgrind way: the key, the vector and the data are
// marked undefined for valgrind's memcheck, which then reports every branch
// and every memory address that depends on them.  Run under valgrind:
//
//   rijndael_ct_test            the backend the processor chooses must give
//                               no report in any operation, any key length
//   rijndael_ct_test --backend=NAME
//                               the same, pinned to one backend
//   rijndael_ct_test --backend=tables --expect-leaks
//                               the table backend must give reports in
//                               every operation and key length: proof that
//                               the harness sees a leak in each
//
// Run with --error-limit=no: memcheck then counts every report, the repeats
// of a place already reported included, so each operation's count is its
// own, and a leak in a later operation is not lost once the default cap of
// distinct reports is reached.
//
// ECB padDecrypt is in: its padding check is constant-time, and only its
// one branch on the verdict is declassified (ct_declassified.supp).
// Exit code 77 (skipped) where the processor cannot run the pinned backend.
#include <valgrind/memcheck.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include "qolt/rijndael.h"
#include "rijndael_dispatch.h"

namespace {

using R = Rijndael;

struct Secrets {
    unsigned char key[32], iv[16], data[29 * 16], out[30 * 16];
};

// Fresh values each time, then hidden from memcheck.
void hide(Secrets &s, unsigned seed) {
    unsigned char *p = reinterpret_cast<unsigned char *>(&s);
    for (size_t i = 0; i < sizeof s; ++i) p[i] = static_cast<unsigned char>(seed += 0x9e3779b9u);
    VALGRIND_MAKE_MEM_UNDEFINED(s.key, sizeof s.key);
    VALGRIND_MAKE_MEM_UNDEFINED(s.iv, sizeof s.iv);
    VALGRIND_MAKE_MEM_UNDEFINED(s.data, sizeof s.data);
}

// Counts the reports that one operation adds; the results are compared
// with what they must be, the only branch allowed on them.
struct Harness {
    bool expectLeaks;
    int failures = 0;
    unsigned total = 0;

    void check(const std::string &what, const std::function<int()> &op, int expected) {
        const unsigned before = VALGRIND_COUNT_ERRORS;
        const int result = op();
        const unsigned reports = VALGRIND_COUNT_ERRORS - before;
        VALGRIND_MAKE_MEM_DEFINED(&result, sizeof result);
        total += reports;
        // Leaks expected: every operation must show some, or the harness
        // would be blind to that operation.
        const bool ok = result == expected && (expectLeaks ? reports > 0 : reports == 0);
        printf("%-44s result %5d, %u reports: %s\n", what.c_str(), result, reports,
               ok ? "ok" : "FAILED");
        failures += !ok;
    }
};

// ECB padDecrypt of a hidden text with valid padding, made with the hidden
// key, and of hidden random bytes, whose padding is bad.  Its one branch,
// on the verdict, and the copy of the plaintext's length are public and
// declassified by ct_declassified.supp; the check itself is not.
void checkEcbPadDecrypt(Harness &h, R &c, Secrets &s, R::KeyLength length, int blocks,
                        const std::string &what) {
    R sealer;
    sealer.init(R::ECB, R::Encrypt, s.key, length);
    c.init(R::ECB, R::Decrypt, s.key, length);
    unsigned char sealed[sizeof s.out];
    sealer.padEncrypt(s.data, 16 * blocks - 3, sealed);
    h.check(
        what + ", valid", [&] { return c.padDecrypt(sealed, 16 * blocks, s.out); },
        16 * blocks - 3);
    h.check(
        what + ", bad padding", [&] { return c.padDecrypt(s.data, 16 * blocks, s.out); },
        R::ErrCorruptData);
}

void run(Harness &h) {
    const R::KeyLength lengths[] = {R::Key128, R::Key192, R::Key256};
    const char *const names[] = {"128", "192", "256"};
    const R::Mode modes[] = {R::ECB, R::CBC, R::CFB1};
    const char *const modeNames[] = {"ECB", "CBC", "CFB1"};
    Secrets s;
    unsigned seed = 1;
    for (int k = 0; k < 3; ++k) {
        for (int m = 0; m < 3; ++m) {
            const std::string tag = std::string(modeNames[m]) + "-" + names[k] + " ";
            for (R::Direction dir : {R::Encrypt, R::Decrypt}) {
                const std::string dirName = dir == R::Encrypt ? "encrypt" : "decrypt";
                R c;
                hide(s, seed++);
                h.check(
                    tag + "init for " + dirName,
                    [&] { return c.init(modes[m], dir, s.key, lengths[k], s.iv); }, 0);
                // 1 block, then 29: every backend's widest steps, and tails
                // of a narrower step (the bitsliced four) and of single blocks.
                for (int blocks : {1, 29}) {
                    hide(s, seed++);
                    const std::string n = std::to_string(blocks) + " blocks";
                    if (dir == R::Encrypt) {
                        h.check(
                            tag + "blockEncrypt " + n,
                            [&] { return c.blockEncrypt(s.data, 128 * blocks, s.out); },
                            128 * blocks);
                    }
                    if (dir == R::Decrypt || modes[m] == R::CFB1) {
                        hide(s, seed++);
                        h.check(
                            tag + "blockDecrypt " + n + " keyed for " + dirName,
                            [&] { return c.blockDecrypt(s.data, 128 * blocks, s.out); },
                            128 * blocks);
                    }
                    if (modes[m] == R::CFB1) continue;
                    hide(s, seed++);
                    if (dir == R::Encrypt)
                        h.check(
                            tag + "padEncrypt " + n + " - 3 bytes",
                            [&] { return c.padEncrypt(s.data, 16 * blocks - 3, s.out); },
                            16 * blocks);
                    else if (modes[m] == R::CBC)
                        h.check(
                            tag + "padDecrypt " + n,
                            [&] { return c.padDecrypt(s.data, 16 * blocks, s.out); }, 16 * blocks);
                    else
                        checkEcbPadDecrypt(h, c, s, lengths[k], blocks, tag + "padDecrypt " + n);
                }
            }
        }
    }
}

}  // namespace

int main(int argc, char **argv) {
    if (!RUNNING_ON_VALGRIND) {
        fprintf(stderr, "%s: run me under valgrind --tool=memcheck\n", argv[0]);
        return 1;
    }
    Harness h{false};
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--backend=", 0) == 0) {
            const std::string name = arg.substr(strlen("--backend="));
            const RijndaelBackendEntry *backend = rijndaelBackendNamed(name.c_str());
            if (!backend) {
                fprintf(stderr, "unknown backend %s\n", name.c_str());
                return 2;
            }
            if (!rijndaelPinBackend(backend->id)) {
                printf("this processor cannot run the %s backend\n", name.c_str());
                return 77;
            }
        } else if (arg == "--expect-leaks") {
            h.expectLeaks = true;
        } else {
            fprintf(stderr, "unknown argument %s\n", argv[i]);
            return 2;
        }
    }
    printf("cipher backend: %s\n", rijndaelRunningBackend().name);
    run(h);
    if (h.expectLeaks && h.total == 0) {
        printf("the table backend gave no report: the harness is blind\n");
        ++h.failures;
    }
    printf("%u reports, %d failed\n", h.total, h.failures);
    return h.failures == 0 ? 0 : 1;
}
