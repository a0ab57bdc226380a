// The AES-NI backend.  Built with -maes -mssse3 -msse4.1 (this file only);
// run only where cpuid reports those instructions.
#include "rijndael_aesni.h"

const RijndaelBackend kRijndaelAesNiBackend =
    ModeLoops<AesNi>::backend(aesniExpandKey, aesniInvertKey);
