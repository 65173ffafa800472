// Fuzz target: the option table and its handlers on up to 64 arguments (the input, split at zero
// bytes), walked as the parse pass does up to the first error. Matching and value detection follow
// their rules; the record holds one source of the block, and files and names only with actions.
#include "app/CMurelAdjOptions.h"
#include "app/MurelAdjOptionTable.h"
#include "fuzz/FuzzSupport.h"
#include "meta/MurelAdjDescription.h"

#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> arguments;
    const char* const text = reinterpret_cast<const char*>(data);
    for (size_t start = 0, end = 0; end <= size && arguments.size() < 64; ++end) {
        if (end == size || text[end] == '\0') {
            arguments.emplace_back(text + start, end - start);
            start = end + 1;
        }
    }

    CMurelAdjOptions options;
    EMurelAdjOptionResult result = MURELADJ_OPTION_OK;
    for (size_t index = 0; index < arguments.size() && result == MURELADJ_OPTION_OK; ++index) {
        const char* const argument = arguments[index].c_str();
        result = MURELADJ_OPTION_NOT_SUPPORTED;
        for (const CMurelAdjOptionEntry& entry : MURELADJ_OPTION_TABLE) {
            // The name alone or followed by "="; a value when anything follows the "=".
            const size_t length = strlen(entry.name);
            const char* const rest = argument + length;
            const bool matches =
                strncmp(argument, entry.name, length) == 0 && (rest[0] == '\0' || rest[0] == '=');
            FUZZ_EXPECT(matchOption(argument, entry.name) == matches);
            if (matches) {
                FUZZ_EXPECT(hasOptionValue(rest) == (rest[0] == '=' && rest[1] != '\0'));
                result = entry.handler(rest, options);
                break;
            }
        }
    }
    // Only the parse pass reports too few arguments.
    FUZZ_EXPECT(result != MURELADJ_OPTION_TOO_FEW && result <= MURELADJ_OPTION_DUPLICATE);

    const EMurelAdjAction action = options.action;
    FUZZ_EXPECT(options.fromPath.isEmpty() ||
                (options.pagePath.isEmpty() && options.pageLockPath.isEmpty() &&
                 (options.filePath.isEmpty() ||
                  (action != MURELADJ_ACTION_CHECK && action != MURELADJ_ACTION_GETVER))));
    FUZZ_EXPECT(options.filePath.isEmpty() || action != MURELADJ_ACTION_UNDEFINED);
    FUZZ_EXPECT(options.getNames.isEmpty() || action == MURELADJ_ACTION_GET);
    for (const CVXString& name : options.getNames) {
        FUZZ_EXPECT(isFullEntryName(name));
    }
    return 0;
}
