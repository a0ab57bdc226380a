// One operation repeated, with callgrind counting only the repetitions: the
// instructions it costs, which do not move with the machine's load.
// check_instruction_counts.sh runs it and holds each count to its bound.
// Usage: instruction_count <case> <repetitions>   (exit 77: backend absent)
#include <valgrind/callgrind.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "md5.h"
#include "qolt/rijndael.h"
#include "rijndael_dispatch.h"

namespace {

const unsigned char kKey[16] = {0x2b, 0x7e, 0x15, 0x16, 0x28, 0xae, 0xd2, 0xa6,
                                0xab, 0xf7, 0x15, 0x88, 0x09, 0xcf, 0x4f, 0x3c};
const unsigned char kIv[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

struct Case {
    const char *name;
    const char *backend;  // null: no cipher
    Rijndael::Mode mode;
    Rijndael::Direction direction;
    size_t bytes;  // 0: init() itself, keyed for direction
};

const Case kCases[] = {
    {"aes-ni/ecb-decrypt-4k", "aes-ni", Rijndael::ECB, Rijndael::Decrypt, 4096},
    {"aes-ni/cbc-decrypt-4k", "aes-ni", Rijndael::CBC, Rijndael::Decrypt, 4096},
    {"aes-ni/cbc-encrypt-4k", "aes-ni", Rijndael::CBC, Rijndael::Encrypt, 4096},
    {"aes-ni/one-block", "aes-ni", Rijndael::ECB, Rijndael::Encrypt, 16},
    {"aes-ni/one-block-decrypt", "aes-ni", Rijndael::ECB, Rijndael::Decrypt, 16},
    {"aes-ni/init-decrypt", "aes-ni", Rijndael::ECB, Rijndael::Decrypt, 0},
    {"ssse3/ecb-decrypt-4k", "ssse3", Rijndael::ECB, Rijndael::Decrypt, 4096},
    {"ssse3/one-block", "ssse3", Rijndael::ECB, Rijndael::Encrypt, 16},
    {"bitsliced/ecb-encrypt-4k", "bitsliced", Rijndael::ECB, Rijndael::Encrypt, 4096},
    {"bitsliced/one-block", "bitsliced", Rijndael::ECB, Rijndael::Encrypt, 16},
    {"bitsliced/init-decrypt", "bitsliced", Rijndael::ECB, Rijndael::Decrypt, 0},
    {"tables/ecb-encrypt-4k", "tables", Rijndael::ECB, Rijndael::Encrypt, 4096},
    {"tables/cbc-decrypt-4k", "tables", Rijndael::CBC, Rijndael::Decrypt, 4096},
    {"tables/one-block", "tables", Rijndael::ECB, Rijndael::Encrypt, 16},
    {"ssse3/ecb-encrypt-4k", "ssse3", Rijndael::ECB, Rijndael::Encrypt, 4096},
    {"ssse3/cbc-decrypt-4k", "ssse3", Rijndael::CBC, Rijndael::Decrypt, 4096},
    {"ssse3/cfb1-encrypt-64", "ssse3", Rijndael::CFB1, Rijndael::Encrypt, 64},
    {"bitsliced/cbc-decrypt-4k", "bitsliced", Rijndael::CBC, Rijndael::Decrypt, 4096},
    {"bitsliced/cfb1-encrypt-64", "bitsliced", Rijndael::CFB1, Rijndael::Encrypt, 64},
    {"md5-1m", nullptr, Rijndael::ECB, Rijndael::Encrypt, 1 << 20},
};

bool pin(const char *name) {
    const RijndaelBackendEntry *backend = rijndaelBackendNamed(name);
    return backend && rijndaelPinBackend(backend->id);
}

}  // namespace

int main(int argc, char **argv) {
    const Case *c = nullptr;
    for (const Case &k : kCases)
        if (argc == 3 && strcmp(argv[1], k.name) == 0) c = &k;
    if (!c) {
        fprintf(stderr, "usage: %s <case> <repetitions>\ncases:", argv[0]);
        for (const Case &k : kCases) fprintf(stderr, " %s", k.name);
        fprintf(stderr, "\n");
        return 2;
    }
    const long reps = strtol(argv[2], nullptr, 10);
    std::vector<unsigned char> in(c->bytes), out(c->bytes);
    for (size_t i = 0; i < c->bytes; ++i) in[i] = static_cast<unsigned char>(i * 131 + 7);

    std::function<void()> op;
    Rijndael cipher;
    if (c->backend) {
        if (!pin(c->backend)) {
            printf("no %s backend on this processor\n", c->backend);
            return 77;
        }
        cipher.init(c->mode, c->direction, kKey, Rijndael::Key128, kIv);
        const int bits = int(8 * c->bytes);
        if (c->bytes == 0)
            op = [&] { cipher.init(c->mode, c->direction, kKey, Rijndael::Key128, kIv); };
        else if (c->direction == Rijndael::Encrypt)
            op = [&, bits] { cipher.blockEncrypt(in.data(), bits, out.data()); };
        else
            op = [&, bits] { cipher.blockDecrypt(in.data(), bits, out.data()); };
    } else {
        op = [&] {
            Md5Context ctx;
            md5Start(&ctx);
            md5Add(&ctx, in.data(), int(in.size()));
            md5Finish(&ctx, out.data());
        };
    }

    op();  // warm up outside the count
    CALLGRIND_TOGGLE_COLLECT;
    for (long r = 0; r < reps; ++r) op();
    CALLGRIND_TOGGLE_COLLECT;
    printf("%s %02x\n", c->name, out[0]);
    return 0;
}
