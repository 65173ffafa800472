// Fuzz target: the option-file reader ("@file" arguments). The input holds up to three option files
// "a", "b", "c" between lines "===="; the argument table of velkor --dump @a --page=/x reads "a"
// and what "@" lines name (in a private directory); its arguments follow the format stated below.
#include "foundation/VXCommandLineOptions.h"
#include "fuzz/FuzzSupport.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Reads go in pieces of up to 1023 characters that end at a line feed. A piece is cut at a zero
// byte and at the first "#" that no "\" escapes (the "\" goes), then loses trailing white space and
// control characters; empty pieces are skipped, "[COMMANDLINE]" opens the section whose pieces are
// arguments, any other "[...]" closes it. The table takes at most 128 arguments.
void expand(const std::map<std::string, std::string>& files, const std::string& name,
            std::vector<std::string>& arguments) {
    const auto file = files.find(name);
    const std::string text = file == files.end() ? "" : file->second;
    bool inSection = false;
    for (size_t at = 0; at < text.size();) {
        const size_t end = std::min(std::min(text.find('\n', at), text.size() - 1) + 1, at + 1023);
        std::string line = text.substr(at, end - at);
        at = end;
        line.resize(std::min(line.size(), line.find('\0')));
        for (size_t hash = line.find('#'); hash != std::string::npos; hash = line.find('#', hash)) {
            if (hash == 0 || line[hash - 1] != '\\') {
                line.resize(hash);
                break;
            }
            line.erase(hash - 1, 1);
        }
        while (!line.empty() && static_cast<unsigned char>(line.back()) <= ' ') {
            line.pop_back();
        }
        if (!line.empty() && line[0] == '[') {
            inSection = line.compare(0, 13, "[COMMANDLINE]") == 0;
        } else if (inSection && !line.empty()) {
            if (arguments.size() >= 128) {
                return;
            }
            arguments.push_back(line);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const char* const names[] = {"a", "b", "c"};
    static std::string directory; // private, the working directory, removed at exit
    if (directory.empty()) {
        directory = std::filesystem::temp_directory_path() / "velkor-fuzz-XXXXXX";
        FUZZ_EXPECT(mkdtemp(directory.data()) != nullptr && chdir(directory.c_str()) == 0);
        atexit([] { std::filesystem::remove_all(directory); });
    }
    // Names that could reach outside the directory are not tried.
    const std::string input(reinterpret_cast<const char*>(data), size);
    if (input.find("@/") != std::string::npos || input.find("@.") != std::string::npos ||
        input.find("/..") != std::string::npos) {
        return -1;
    }
    std::map<std::string, std::string> files;
    for (size_t index = 0, start = 0; index < 3; ++index) {
        const size_t end =
            index < 2 ? std::min(input.find("\n====\n", start), input.size()) : input.size();
        std::string& text = files[names[index]];
        text = start < input.size() ? input.substr(start, end - start) : "";
        fuzzWriteFile(names[index], text.data(), text.size());
        start = end + 6;
    }

    char* argv[] = {const_cast<char*>("velkor"), const_cast<char*>("--dump"),
                    const_cast<char*>("@a"), const_cast<char*>("--page=/x"), nullptr};
    std::vector<std::string> expected(argv, argv + 4);
    for (size_t index = 1; index < expected.size(); ++index) {
        if (expected[index][0] == '@') {
            expand(files, expected[index].substr(1), expected);
        }
    }
    CVXCommandLineTable table;
    FUZZ_EXPECT(table.build(4, argv) && table.count() == static_cast<int32_t>(expected.size()));
    for (int32_t index = 0; index < table.count(); ++index) {
        FUZZ_EXPECT(expected[static_cast<size_t>(index)] == table.argument(index));
    }
    return 0;
}
