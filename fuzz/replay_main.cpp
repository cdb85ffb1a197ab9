// Runs a fuzz target over the files of its seed corpus (the CI check when the
// target is not built with libFuzzer).
#include <dirent.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
    size_t runs = 0;
    for (int i = 1; i < argc; ++i) {
        DIR* dir = opendir(argv[i]);
        if (!dir) {
            std::fprintf(stderr, "cannot open %s\n", argv[i]);
            return 2;
        }
        while (dirent* e = readdir(dir)) {
            if (e->d_name[0] == '.') continue;
            std::ifstream f(std::string(argv[i]) + "/" + e->d_name, std::ios::binary);
            std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)), {});
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
            ++runs;
        }
        closedir(dir);
    }
    // every prefix of a fixed pattern as well: short and truncated inputs
    std::vector<uint8_t> pattern(200);
    for (size_t k = 0; k < pattern.size(); ++k) pattern[k] = static_cast<uint8_t>(k * 37 + 11);
    for (size_t len = 0; len <= pattern.size(); ++len, ++runs) LLVMFuzzerTestOneInput(pattern.data(), len);
    std::printf("%zu inputs replayed\n", runs);
    return runs ? 0 : 1;
}
