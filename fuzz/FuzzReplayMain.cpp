// Replays fuzz inputs without libFuzzer: every argument is a file or a directory of files (taken in
// name order). Each input goes once through the target; a failing input ends the program as it
// would end the fuzzer. The count is printed at the end.
#include "fuzz/FuzzSupport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <vector>

static bool readWholeFile(const std::string& path, std::vector<uint8_t>& bytes) {
    FILE* file = fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    bytes.clear();
    uint8_t buffer[65536];
    size_t count = 0;
    while ((count = fread(buffer, 1, sizeof buffer, file)) > 0) {
        bytes.insert(bytes.end(), buffer, buffer + count);
    }
    const bool failed = ferror(file) != 0;
    fclose(file);
    return !failed;
}

static bool collectInputs(const std::string& path, std::vector<std::string>& inputs) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) {
        fprintf(stderr, "replay: cannot find '%s'\n", path.c_str());
        return false;
    }
    if (!S_ISDIR(status.st_mode)) {
        inputs.push_back(path);
        return true;
    }
    DIR* directory = opendir(path.c_str());
    if (directory == nullptr) {
        fprintf(stderr, "replay: cannot read directory '%s'\n", path.c_str());
        return false;
    }
    std::vector<std::string> names;
    while (const dirent* entry = readdir(directory)) {
        if (entry->d_name[0] != '.') {
            names.emplace_back(entry->d_name);
        }
    }
    closedir(directory);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        if (!collectInputs(path + "/" + name, inputs)) {
            return false;
        }
    }
    return true;
}

int main(int argc, char** argv) {
    // Collected first: a target's set-up may change the working directory.
    std::vector<std::string> inputs;
    for (int index = 1; index < argc; ++index) {
        if (!collectInputs(argv[index], inputs)) {
            return 1;
        }
    }
    for (std::string& input : inputs) {
        char* absolute = realpath(input.c_str(), nullptr);
        if (absolute != nullptr) {
            input = absolute;
            free(absolute);
        }
    }
    LLVMFuzzerInitialize(&argc, &argv);
    if (inputs.empty()) {
        fprintf(stderr, "replay: no inputs\n");
        return 1;
    }
    std::vector<uint8_t> bytes;
    for (const std::string& input : inputs) {
        if (!readWholeFile(input, bytes)) {
            fprintf(stderr, "replay: cannot read '%s'\n", input.c_str());
            return 1;
        }
        fprintf(stderr, "replay: %s (%zu bytes)\n", input.c_str(), bytes.size());
        // A copy of exactly the input's size, so that reading past it is caught.
        static const uint8_t none = 0;
        std::vector<uint8_t> exact(bytes);
        LLVMFuzzerTestOneInput(exact.empty() ? &none : exact.data(), exact.size());
    }
    // Standard output may be closed by the target's set-up.
    fprintf(stderr, "%zu inputs replayed\n", inputs.size());
    return 0;
}
