// Runs a fuzz target without libFuzzer: every file of the corpus folder
// given on the command line, then a number of generated inputs (the second
// argument, 200000 by default) built
// from bytes that parsers of text tend to trip over. The target reports a
// broken invariant by calling abort(), which fails the test.

#include <dirent.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

int replayCorpus(const std::string& dir) {
    int count = 0;
    DIR* d = opendir(dir.c_str());
    if (d == nullptr) return 0;
    while (dirent* e = readdir(d)) {
        if (e->d_name[0] == '.') continue;
        std::ifstream in(dir + "/" + e->d_name, std::ios::binary);
        std::stringstream bytes;
        bytes << in.rdbuf();
        const std::string input = bytes.str();
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.data()), input.size());
        ++count;
    }
    closedir(d);
    return count;
}

int replayGenerated(int rounds) {
    const std::string alphabet = "ab09:/?.&$\\(),@ \t\r\n%\x80\xbf\xc3\xe2\xf0\xff";
    std::mt19937 rng(20261208);
    std::string input;
    for (int i = 0; i < rounds; ++i) {
        input.clear();
        const size_t len = rng() % 64;
        for (size_t j = 0; j < len; ++j) {
            input += (rng() % 4 == 0) ? static_cast<char>(rng() & 0xff)
                                      : alphabet[rng() % alphabet.size()];
        }
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.data()), input.size());
    }
    return rounds;
}

}  // namespace

int main(int argc, char** argv) {
    const int corpus = argc > 1 ? replayCorpus(argv[1]) : 0;
    // Targets that build a whole message environment per input ask for
    // fewer rounds: the sanitizer suites run them too.
    const int generated = replayGenerated(argc > 2 ? std::atoi(argv[2]) : 200000);
    std::printf("replayed %d corpus files and %d generated inputs\n", corpus, generated);
    return 0;
}
