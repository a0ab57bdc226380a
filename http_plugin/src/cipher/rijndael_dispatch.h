// Which backend the cipher runs: one registry of every backend, with its id,
// its name and the processor features it needs; the choice, made once from
// cpuid (on 64-bit ARM the kernel's HWCAP_AES) alone, never from the
// environment, the first time a cipher needs it, is the first entry in the
// registry's order of preference that the processor and its operating
// system support and that may be chosen.  The tables are never chosen.
// Tests and benchmarks may pin any backend the processor runs; nothing else
// does.
#ifndef QOLT_RIJNDAEL_DISPATCH_H
#define QOLT_RIJNDAEL_DISPATCH_H

#include <atomic>
#include <cstddef>

#include "rijndael_backend.h"

enum class RijndaelBackendId { Tables, Bitsliced, Ssse3, AesNi, Vaes256, Vaes512, ArmAes };

// The processor features the backends need, read once per choice.
struct RijndaelCpu;

struct RijndaelBackendEntry {
    RijndaelBackendId id;
    const char *name;  // what tests, benchmarks and their --backend=NAME say
    const RijndaelBackend *backend;
    bool (*supported)(const RijndaelCpu &);
    bool choosable;  // false: only ever pinned
};

// The registry, most preferred first; every backend built for this
// architecture.
extern const RijndaelBackendEntry kRijndaelBackends[];
extern const size_t kRijndaelBackendCount;

// The backend every cipher uses: chosen once by the processor, or pinned.
// Until the first choice it is a stand-in whose functions choose, then run
// the chosen backend's, so a call pays one load and no test.  Inline, since
// a one-block call would feel a call more.  Hidden on the declaration too,
// so that the load is one rip-relative move and not a trip through the
// global offset table.
extern std::atomic<const RijndaelBackend *> rijndaelChosenBackend
    __attribute__((visibility("hidden")));
const RijndaelBackend &rijndaelChooseBackend();
inline const RijndaelBackend &rijndaelBackend() {
    return *rijndaelChosenBackend.load(std::memory_order_relaxed);
}

// The registry entry of the backend that runs, the choice made if none was
// yet: what tests and benchmarks ask, never the stand-in.
const RijndaelBackendEntry &rijndaelRunningBackend();

// The entry of that id or name; null for an unknown name.
const RijndaelBackendEntry &rijndaelBackendEntry(RijndaelBackendId id);
const RijndaelBackendEntry *rijndaelBackendNamed(const char *name);

// Whether this processor can run the backend.
bool rijndaelBackendSupported(RijndaelBackendId id);

// For tests: makes every cipher use the backend from now on.  Returns false,
// changing nothing, when the processor cannot run it.  Not thread-safe
// against ciphers in use; not exported.
bool rijndaelPinBackend(RijndaelBackendId id);

// The backend's name, as the registry has it.
inline const char *rijndaelBackendName(RijndaelBackendId id) {
    return rijndaelBackendEntry(id).name;
}

#endif  // QOLT_RIJNDAEL_DISPATCH_H
