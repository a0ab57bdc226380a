// Base64 decoding (RFC 4648) of a 44-character credential and of 1 MiB of
// text: our strict decoder against GLib's lenient g_base64_decode.
#include <glib.h>

#include <memory>

#include "base64.h"
#include "bench_support.h"

namespace bench {
namespace {

void decodeCase(const std::string &group, size_t dataBytes, uint64_t seed) {
    auto text = std::make_shared<std::string>(base64Encode(randomBytes(dataBytes, seed)));

    checks().push_back({group, [group, text] {
                            Bytes ours(text->size() + 1);
                            int n = base64Decode(text->c_str(), ours.data(), ours.size());
                            if (n < 0) return group + ": ours rejects the text";
                            ours.resize(size_t(n));
                            gsize length = 0;
                            guchar *glib = g_base64_decode(text->c_str(), &length);
                            Bytes theirs(glib, glib + length);
                            g_free(glib);
                            return compare(group, "glib", ours, theirs);
                        }});
    // The target is the caller's, as in the credential decoder: allocated
    // once here, outside the timing.
    add(group, "ours", text->size(), [text](benchmark::State &state) {
        Bytes target(text->size() + 1);
        for (auto _ : state) {
            int n = base64Decode(text->c_str(), target.data(), target.size());
            benchmark::DoNotOptimize(n);
            benchmark::ClobberMemory();
        }
    });
    add(group, "glib", text->size(), [text](benchmark::State &state) {
        for (auto _ : state) {
            gsize length = 0;
            guchar *out = g_base64_decode(text->c_str(), &length);
            benchmark::DoNotOptimize(out);
            g_free(out);
        }
    });
}

}  // namespace

void registerBase64() {
    decodeCase("base64-decode/44", 32, 500);
    decodeCase("base64-decode/1048576", 3 << 18, 501);
}

}  // namespace bench
