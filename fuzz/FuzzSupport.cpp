#include "fuzz/FuzzSupport.h"

#include "app/CMurelAdjLog.h"
#include "foundation/platform/VXSlog.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

void fuzzFailed(const char* file, int line, const char* condition) {
    fprintf(stderr, "%s:%d: fuzz expectation failed: %s\n", file, line, condition);
    abort();
}

void fuzzWriteFile(const std::string& path, const void* data, size_t size) {
    FILE* file = fopen(path.c_str(), "wb");
    FUZZ_EXPECT(file != nullptr);
    FUZZ_EXPECT(fwrite(data, 1, size, file) == size && fclose(file) == 0);
}

namespace {

const CMurelAdjSystemLog s_noSystemLog = {[](const char*, int, int) {},
                                          [](int, const char* format, va_list args) {
                                              char line[1024];
                                              vsnprintf(line, sizeof line, format, args);
                                          },
                                          [] {}};

} // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    setenv("VX_ENABLE_ABORT_ON_ASSERTION", "1", 1);
    setenv("VX_ENABLE_ABORT_ON_FATAL_ERROR", "1", 1);
    VXSlogSetSink([](void*, int, int, const char* text) { return static_cast<int>(strlen(text)); },
                  nullptr);
    CMurelAdjLog::setSystemLog(&s_noSystemLog);
    CMurelAdjLog::setTarget(CMurelAdjLog::TARGET_SYSLOG);
    FUZZ_EXPECT(freopen("/dev/null", "w", stdout) != nullptr);
    return 0;
}

#ifdef VELKOR_FUZZ_REPLAY
// Every argument is an input file or a directory of them; all inputs run in name order, each from a
// buffer of exactly its size, so that reading past it is caught.
int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    std::vector<fs::path> inputs;
    for (int index = 1; index < argc; ++index) {
        const fs::path path = fs::absolute(argv[index]).lexically_normal(); // before any chdir
        if (fs::is_directory(path)) {
            std::copy(fs::directory_iterator(path), fs::directory_iterator(),
                      std::back_inserter(inputs));
        } else {
            inputs.push_back(path);
        }
    }
    std::sort(inputs.begin(), inputs.end());
    LLVMFuzzerInitialize(&argc, &argv);
    for (const fs::path& input : inputs) {
        std::ifstream file(input, std::ios::binary);
        std::vector<uint8_t> bytes(file ? fs::file_size(input) : 0);
        if (!file.read(reinterpret_cast<char*>(bytes.data()),
                       static_cast<std::streamsize>(bytes.size()))) {
            fprintf(stderr, "replay: cannot read '%s'\n", input.c_str());
            return 1;
        }
        fprintf(stderr, "replay: %s (%zu bytes)\n", input.c_str(), bytes.size());
        static const uint8_t none = 0;
        LLVMFuzzerTestOneInput(bytes.empty() ? &none : bytes.data(), bytes.size());
    }
    fprintf(stderr, "%zu inputs replayed\n", inputs.size());
    return inputs.empty() ? 1 : 0;
}
#endif
