// The benchmark suite: first every contender is checked against ours on the
// inputs the benchmarks use, then the benchmarks run.  Options are Google
// Benchmark's; --check_only stops after the checks.
#include <cstdio>
#include <cstring>

#include "bench_support.h"

int main(int argc, char **argv) {
    bool checkOnly = false;
    for (int i = 1; i < argc; ++i)
        if (strcmp(argv[i], "--check_only") == 0) checkOnly = true;

    bench::registerMd5();
    bench::registerRijndael();
    bench::registerBase64();
    bench::registerPlugin();

    int failed = 0;
    for (const bench::Check &check : bench::checks()) {
        std::string why = check.run();
        if (!why.empty()) {
            fprintf(stderr, "MISMATCH in %s\n%s\n", check.name.c_str(), why.c_str());
            ++failed;
        }
    }
    if (failed) {
        fprintf(stderr, "%d of %zu agreement checks failed: no timings taken.\n", failed,
                bench::checks().size());
        return 2;
    }
    fprintf(stderr, "agreement: %zu checks, every peer gives our output\n", bench::checks().size());
    if (checkOnly) return 0;

    // Our own flag is not Google Benchmark's: drop it before it sees argv.
    int kept = 0;
    for (int i = 0; i < argc; ++i)
        if (strcmp(argv[i], "--check_only") != 0) argv[kept++] = argv[i];
    argc = kept;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
