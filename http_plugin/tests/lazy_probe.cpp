// A library whose call to its own exported function goes through a slot the
// dynamic linker binds at the first call (it is linked -z lazy): the
// residue test loads it anew for each run to make that first call.
extern "C" __attribute__((visibility("default"), noinline)) int qoltLazyTarget(int x) {
    __asm__ __volatile__("");  // not folded into the caller
    return x + 1;
}

extern "C" __attribute__((visibility("default"))) int qoltLazyProbe(int x) {
    return qoltLazyTarget(x);
}
