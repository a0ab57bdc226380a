// Runs a fuzz target's LLVMFuzzerTestOneInput over files, so that the
// committed corpora run as plain tests in builds without libFuzzer.
// Usage: replay <file or directory>...  (directories: every regular file in them)
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

bool replayFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        fprintf(stderr, "cannot read %s\n", path.c_str());
        return false;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    // An empty vector's data() may be null; libFuzzer never passes null.
    uint8_t none = 0;
    LLVMFuzzerTestOneInput(bytes.empty() ? &none : bytes.data(), bytes.size());
    return true;
}

}  // namespace

int main(int argc, char **argv) {
    int replayed = 0;
    bool ok = argc > 1;
    for (int a = 1; a < argc; ++a) {
        struct stat st;
        if (stat(argv[a], &st) != 0) {
            fprintf(stderr, "cannot find %s\n", argv[a]);
            ok = false;
            continue;
        }
        std::vector<std::string> files;
        if (S_ISDIR(st.st_mode)) {
            DIR *dir = opendir(argv[a]);
            if (dir == nullptr) {
                ok = false;
                continue;
            }
            while (struct dirent *e = readdir(dir)) {
                std::string path = std::string(argv[a]) + "/" + e->d_name;
                struct stat fst;
                if (stat(path.c_str(), &fst) == 0 && S_ISREG(fst.st_mode)) files.push_back(path);
            }
            closedir(dir);
            std::sort(files.begin(), files.end());
        } else {
            files.push_back(argv[a]);
        }
        for (const std::string &path : files) {
            ok = replayFile(path) && ok;
            ++replayed;
        }
    }
    printf("replayed %d inputs\n", replayed);
    // An empty corpus is a broken test, not a passing one.
    return ok && replayed > 0 ? 0 : 1;
}
