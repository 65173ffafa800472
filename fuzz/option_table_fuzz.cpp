// Fuzz target: the option table and its handlers on an arbitrary argument vector.
//
// Input: the arguments, separated by zero bytes (at most 64). They are walked against the table as
// the parse pass does, stopping at the first error; the options record must then hold only what
// the handlers may store, and a successful command line must yield a buildable action list.
#include "app/CMurelAdjAction.h"
#include "app/CMurelAdjOptions.h"
#include "app/MurelAdjMain.h"
#include "app/MurelAdjOptionTable.h"
#include "fuzz/FuzzSupport.h"
#include "meta/MurelAdjDescription.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr size_t MAX_ARGUMENTS = 64;

bool isTrimSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Stored single values are trimmed and not empty.
void expectTrimmedValue(const CVXString& value) {
    if (value.isEmpty()) {
        return;
    }
    const char* text = value.c_str();
    FUZZ_EXPECT(!isTrimSpace(text[0]) && !isTrimSpace(text[value.byteLength() - 1]));
    FUZZ_EXPECT(strlen(text) == value.byteLength());
}

// The matching rule, stated independently: the name, then the end of the argument or "=".
bool modelMatch(const char* argument, const char* name) {
    const size_t length = strlen(name);
    return strncmp(argument, name, length) == 0 &&
           (argument[length] == '\0' || argument[length] == '=');
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    fuzzQuietProcess(); // "--help" and "--version" print to standard output
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> arguments;
    const char* const text = reinterpret_cast<const char*>(data);
    size_t start = 0;
    for (size_t at = 0; at <= size && arguments.size() < MAX_ARGUMENTS; ++at) {
        if (at == size || data[at] == 0) {
            arguments.emplace_back(text + start, at - start);
            start = at + 1;
        }
    }

    CMurelAdjOptions options;
    EMurelAdjOptionResult result = MURELADJ_OPTION_OK;
    for (const std::string& argument : arguments) {
        result = MURELADJ_OPTION_NOT_SUPPORTED;
        for (const CMurelAdjOptionEntry& entry : MURELADJ_OPTION_TABLE) {
            const bool matches = matchOption(argument.c_str(), entry.name);
            FUZZ_EXPECT(matches == modelMatch(argument.c_str(), entry.name));
            if (matches) {
                const char* rest = argument.c_str() + strlen(entry.name);
                const char* equals = strchr(rest, '=');
                FUZZ_EXPECT(hasOptionValue(rest) == (equals != nullptr && equals[1] != '\0'));
                result = entry.handler(rest, options);
                break;
            }
        }
        if (result != MURELADJ_OPTION_OK) {
            break;
        }
    }
    // The handlers never produce NOT_SUPPORTED or TOO_FEW themselves.
    FUZZ_EXPECT(result == MURELADJ_OPTION_OK || result == MURELADJ_OPTION_NOT_SUPPORTED ||
                (result >= MURELADJ_OPTION_NO_VALUE && result <= MURELADJ_OPTION_DUPLICATE));

    FUZZ_EXPECT(options.endianness <= MURELADJ_LITTLE_ENDIAN);
    FUZZ_EXPECT(options.logTarget <= 3);
    FUZZ_EXPECT(options.logLevelMask == 0xFFFFFFFFu || options.logLevelMask <= 7);
    FUZZ_EXPECT(options.dumpMode == MURELADJ_DUMP_HEX || options.dumpMode == MURELADJ_DUMP_VERBOSE);
    const EMurelAdjAction action = options.action;
    FUZZ_EXPECT(action == MURELADJ_ACTION_UNDEFINED || action == MURELADJ_ACTION_DUMP ||
                action == MURELADJ_ACTION_BACKUP || action == MURELADJ_ACTION_GET ||
                action == MURELADJ_ACTION_CHECK || action == MURELADJ_ACTION_GETVER ||
                action == MURELADJ_ACTION_DIFF);
    FUZZ_EXPECT(options.jsonOutput <= 1 && options.versionRequested <= 1);
    expectTrimmedValue(options.configPath);
    expectTrimmedValue(options.filePath);
    expectTrimmedValue(options.pagePath);
    expectTrimmedValue(options.pageLockPath);
    expectTrimmedValue(options.fromPath);
    // One source for the block: --from excludes the page names and a file of check or getver.
    if (!options.fromPath.isEmpty()) {
        FUZZ_EXPECT(options.pagePath.isEmpty() && options.pageLockPath.isEmpty());
        FUZZ_EXPECT(options.filePath.isEmpty() ||
                    (action != MURELADJ_ACTION_CHECK && action != MURELADJ_ACTION_GETVER));
    }
    // Backup and diff store their file only with the action.
    FUZZ_EXPECT(options.filePath.isEmpty() || action != MURELADJ_ACTION_UNDEFINED);
    for (const CVXString& name : options.getNames) {
        FUZZ_EXPECT(isFullEntryName(name));
        expectTrimmedValue(name);
    }
    FUZZ_EXPECT(options.getNames.isEmpty() || action == MURELADJ_ACTION_GET);

    if (result == MURELADJ_OPTION_OK && action != MURELADJ_ACTION_UNDEFINED) {
        TVXVector<CMurelAdjAction*> actions;
        buildMurelAdjActions(options, actions);
        const bool needsDescription =
            !options.configPath.isEmpty() &&
            (action == MURELADJ_ACTION_GET || action == MURELADJ_ACTION_DIFF ||
             (action == MURELADJ_ACTION_DUMP && options.dumpMode == MURELADJ_DUMP_VERBOSE));
        FUZZ_EXPECT(actions.size() == (needsDescription ? 2 : 1));
        for (CMurelAdjAction* built : actions) {
            FUZZ_EXPECT(built != nullptr);
            delete built;
        }
    }
    return 0;
}
