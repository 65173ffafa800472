// Fuzz target: the option-file reader ("@file" arguments).
//
// Input: up to three option files "a", "b" and "c", separated by lines "====". The argument vector
// velkor --dump @a --page=/x is built into an argument table, which reads "a" and whatever "@"
// lines name in turn (relative names, in a private directory, where each name is a symbolic link
// to a memory file). The arguments must be exactly those
// of a model of the file format: comments and "\#", trailing white space and control characters,
// sections, the 1023-character read pieces, the 128-argument limit. The resulting arguments then go
// through the option table.
#include "app/CMurelAdjOptions.h"
#include "app/MurelAdjOptionTable.h"
#include "foundation/VXCommandLineOptions.h"
#include "fuzz/FuzzSupport.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr size_t READ_PIECE = 1023;
constexpr const char* SEPARATOR = "\n====\n";
constexpr size_t FILE_COUNT = 3;
constexpr const char* FILE_NAMES[FILE_COUNT] = {"a", "b", "c"};
CFuzzMemoryFile* s_memoryFiles[FILE_COUNT] = {};

// The option-file format, stated independently of the reader.
std::string modelStrip(std::string line) {
    line = line.substr(0, line.find('\0'));
    size_t search = 0;
    while ((search = line.find('#', search)) != std::string::npos) {
        if (search > 0 && line[search - 1] == '\\') {
            line.erase(search - 1, 1);
            continue;
        }
        line.erase(search);
        break;
    }
    while (!line.empty() && static_cast<unsigned char>(line.back()) <= 32) {
        line.pop_back();
    }
    return line;
}

// The files of one input by name (kept per input, so that every allocation of an input is freed
// within it and the fuzzer's leak check stays quiet).
using CFiles = std::map<std::string, std::string>;

void modelExpand(const CFiles& files, const std::string& name,
                 std::vector<std::string>& arguments) {
    const auto file = files.find(name);
    if (file == files.end()) {
        return;
    }
    const std::string& text = file->second;
    bool inCommandLine = false;
    size_t at = 0;
    while (at < text.size()) {
        // One read piece: up to and including a line feed, at most 1023 characters.
        size_t end = at;
        while (end < text.size() && end - at < READ_PIECE) {
            if (text[end++] == '\n') {
                break;
            }
        }
        const std::string line = modelStrip(text.substr(at, end - at));
        at = end;
        if (line.empty()) {
            continue;
        }
        if (line[0] == '[') {
            const size_t close = line.find(']', 1);
            inCommandLine =
                close != std::string::npos && line.substr(1, close - 1) == "COMMANDLINE";
            continue;
        }
        if (inCommandLine) {
            if (arguments.size() >= static_cast<size_t>(VXCommandLineOptions::MAX_ARGUMENTS)) {
                return;
            }
            arguments.push_back(line);
        }
    }
}

// Names that could reach outside the private directory are not tried.
bool staysInDirectory(const std::string& input) {
    return input.find("@/") == std::string::npos && input.find("@.") == std::string::npos &&
           input.find("/..") == std::string::npos;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    fuzzQuietProcess();
    if (chdir(fuzzScratchDirectory().c_str()) != 0) {
        perror("chdir");
        abort();
    }
    for (size_t index = 0; index < FILE_COUNT; ++index) {
        s_memoryFiles[index] = new CFuzzMemoryFile();
        if (symlink(s_memoryFiles[index]->path().c_str(), FILE_NAMES[index]) != 0) {
            perror("symlink");
            abort();
        }
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    if (size > 64 * 1024 || !staysInDirectory(input)) {
        return -1;
    }
    CFiles files;
    size_t start = 0;
    for (size_t index = 0; index < FILE_COUNT; ++index) {
        size_t end = input.find(SEPARATOR, start);
        if (end == std::string::npos || index == FILE_COUNT - 1) {
            end = input.size();
        }
        const std::string text = start <= input.size() ? input.substr(start, end - start) : "";
        files[FILE_NAMES[index]] = text;
        FUZZ_EXPECT(s_memoryFiles[index]->assign(reinterpret_cast<const uint8_t*>(text.data()),
                                                 text.size()));
        start = end + strlen(SEPARATOR);
    }

    char program[] = "velkor";
    char dump[] = "--dump";
    char file[] = "@a";
    char page[] = "--page=/x";
    char* argv[] = {program, dump, file, page, nullptr};
    const int argc = 4;

    std::vector<std::string> expected(argv, argv + argc);
    for (size_t index = 1; index < expected.size(); ++index) {
        if (expected[index][0] == '@') {
            modelExpand(files, expected[index].substr(1), expected);
        }
    }

    CVXCommandLineTable table;
    FUZZ_EXPECT(table.build(argc, argv));
    FUZZ_EXPECT(table.isEvaluated());
    FUZZ_EXPECT(table.count() == static_cast<int32_t>(expected.size()));
    FUZZ_EXPECT(table.argument(-1) == nullptr && table.argument(table.count()) == nullptr);
    FUZZ_EXPECT(table.arguments()[table.count()] == nullptr);
    for (int32_t index = 0; index < table.count(); ++index) {
        FUZZ_EXPECT(table.argument(index) == table.arguments()[index]);
        FUZZ_EXPECT(expected[static_cast<size_t>(index)] == table.argument(index));
    }
    for (int32_t index = 0; index < argc; ++index) {
        FUZZ_EXPECT(table.argument(index) == argv[index]);
    }

    // The arguments as the option table sees them.
    CMurelAdjOptions options;
    for (int32_t index = 1; index < table.count(); ++index) {
        const char* argument = table.argument(index);
        EMurelAdjOptionResult result = MURELADJ_OPTION_NOT_SUPPORTED;
        for (const CMurelAdjOptionEntry& entry : MURELADJ_OPTION_TABLE) {
            if (matchOption(argument, entry.name)) {
                result = entry.handler(argument + strlen(entry.name), options);
                break;
            }
        }
        if (result != MURELADJ_OPTION_OK) {
            break;
        }
    }
    return 0;
}
