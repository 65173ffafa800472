#include "app/MurelAdjOptionTable.h"

#include "app/CMurelAdjOptions.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

// Walks the arguments through the table the way the parse pass does, up to the first error, and
// returns the result and the fields of the record that differ from their initial values.
std::string parse(const std::vector<std::string>& arguments) {
    CMurelAdjOptions options;
    uint32_t result = MURELADJ_OPTION_OK;
    for (size_t i = 0; i < arguments.size() && result == MURELADJ_OPTION_OK; ++i) {
        const char* argument = arguments[i].c_str();
        result = MURELADJ_OPTION_NOT_SUPPORTED;
        for (const CMurelAdjOptionEntry& entry : MURELADJ_OPTION_TABLE) {
            if (matchOption(argument, entry.name)) {
                result = entry.handler(argument + strlen(entry.name), options);
                break;
            }
        }
    }
    std::ostringstream text;
    text << result << std::hex;
    const std::pair<const char*, uint32_t> numbers[] = {
        {"endianness", options.endianness},
        {"log", options.logTarget},
        {"loglevel", options.logLevelMask},
        {"action", options.action},
        {"mode", options.dumpMode == MURELADJ_DUMP_VERBOSE ? 0 : options.dumpMode},
        {"json", options.jsonOutput}};
    for (const auto& [name, value] : numbers) {
        if (value != 0) {
            text << " " << name << "=" << value;
        }
    }
    const std::pair<const char*, const CVXString*> paths[] = {{"config", &options.configPath},
                                                              {"file", &options.filePath},
                                                              {"page", &options.pagePath},
                                                              {"lock", &options.pageLockPath},
                                                              {"from", &options.fromPath}};
    for (const auto& [name, path] : paths) {
        if (!path->isEmpty()) {
            text << " " << name << "='" << path->c_str() << "'";
        }
    }
    for (const CVXString& name : options.getNames) {
        text << " get='" << name.c_str() << "'";
    }
    return text.str();
}

TEST(MurelAdjOptionTable, MissingBlankAndRepeatedValues) {
    struct Option {
        std::string name;
        std::string action; // the field that a handler sets before it looks at the value
        bool valueRequired;
        bool list;
    };
    const Option options[] = {{"--log", "", true, true},
                              {"--loglevel", "", true, true},
                              {"--get", " action=4", true, true},
                              {"--endianness", "", true, false},
                              {"--config", "", true, false},
                              {"--backup", " action=2", true, false},
                              {"--pagelock", "", true, false},
                              {"--page", "", true, false},
                              {"--from", "", true, false},
                              {"--diff", " action=a", true, false},
                              {"--dump", " action=1", false, false},
                              {"--check", " action=6", false, false},
                              {"--getver", " action=7", false, false}};
    for (const Option& option : options) {
        SCOPED_TRACE(option.name);
        const std::string missing = (option.valueRequired ? "3" : "0") + option.action;
        EXPECT_EQ(parse({option.name}), missing);
        EXPECT_EQ(parse({option.name + "="}), missing);
        if (option.list) {
            for (const char* value : {"= ", "=,E2P.A", "=E2P.A,", "=E2P.A, ,E2P.B"}) {
                EXPECT_EQ(parse({option.name + value}), "4" + option.action) << value;
            }
        } else {
            EXPECT_EQ(parse({option.name + "= \t"}), "5" + option.action);
        }
    }
    // A second action option is refused before its value is looked at.
    for (const char* first :
         {"--dump", "--backup=f", "--getver", "--get=E2P.A", "--check", "--diff=f"}) {
        for (const char* second :
             {"--dump", "--backup", "--getver", "--get=,", "--check=x", "--diff"}) {
            EXPECT_EQ(parse({first, second}).substr(0, 1), "6") << first << " " << second;
        }
    }
}

TEST(MurelAdjOptionTable, ValuesFillTheRecord) {
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {{"--dumpx"}, "1"},
        {{"--DUMP"}, "1"},
        {{"-dump"}, "1"},
        {{"--page=/p", "--bogus", "--dump"}, "1 page='/p'"},
        {{"--dump= hex\t"}, "0 action=1 mode=1"},
        {{"--dump=verbose"}, "0 action=1"},
        {{"--dump=HEX"}, "5 action=1"},
        {{"--backup= /tmp/b.bin "}, "0 action=2 file='/tmp/b.bin'"},
        {{"--check=/tmp/x"}, "0 action=6 file='/tmp/x'"},
        {{"--getver=/tmp/x"}, "0 action=7 file='/tmp/x'"},
        {{"--get= E2P.A.B ,E2P.C,E2P.A.B"}, "0 action=4 get='E2P.A.B' get='E2P.C' get='E2P.A.B'"},
        {{"--get=E2P"}, "5 action=4"},
        {{"--get=E2P.A,e2p.B"}, "5 action=4"},
        {{"--get=XE2P.X"}, "5 action=4"},
        {{"--get=E2P..X"}, "5 action=4"},
        {{"--get=E2P.X."}, "5 action=4"},
        {{"--log= slog , stdout "}, "0 log=3"},
        {{"--log=stdout,stdout"}, "0 log=2"},
        {{"--log=syslog"}, "5"},
        {{"--loglevel=none"}, "0 loglevel=ffffffff"},
        {{"--loglevel=warning"}, "0 loglevel=1"},
        {{"--loglevel=error,error"}, "0 loglevel=2"},
        {{"--loglevel= info , warning"}, "0 loglevel=5"},
        {{"--loglevel=warning,error,info"}, "0 loglevel=7"},
        {{"--loglevel=none,error"}, "5"},
        {{"--loglevel=error,none"}, "5"},
        {{"--loglevel=none,none"}, "5"},
        {{"--loglevel=Error"}, "5"},
        {{"--endianness= little "}, "0 endianness=2"},
        {{"--endianness=big"}, "0 endianness=1"},
        {{"--endianness=BIG"}, "5"},
        {{"--config=\t/a b "}, "0 config='/a b'"},
        {{"--config=c.txt", "--get=E2P.Networking.Eth0MacAddr", "--page=/p", "--pagelock=/l",
          "--endianness=little", "--log=stdout", "--loglevel=error"},
         "0 endianness=2 log=2 loglevel=2 action=4 config='c.txt' page='/p' lock='/l' "
         "get='E2P.Networking.Eth0MacAddr'"},
        // Repeated options keep their first value; --log and --loglevel judge the value first.
        {{"--endianness=little", "--endianness"}, "6 endianness=2"},
        {{"--config=/a", "--config"}, "6 config='/a'"},
        {{"--page=/a", "--page=/b"}, "6 page='/a'"},
        {{"--pagelock=/a", "--pagelock"}, "6 lock='/a'"},
        {{"--log=slog", "--log=stdout"}, "6 log=1"},
        {{"--log=slog", "--log=bad"}, "5 log=1"},
        {{"--log=slog", "--log"}, "3 log=1"},
        {{"--loglevel=info", "--loglevel=error"}, "6 loglevel=4"},
        {{"--loglevel=info", "--loglevel=a,,b"}, "4 loglevel=4"},
        {{"--diff= /r.bin "}, "0 action=a file='/r.bin'"},
        {{"--json", "--json="}, "6 json=1"},
        {{"--json="}, "0 json=1"},
        {{"--json=x"}, "5"},
        // --from and a second source: the later one is refused, whichever it is.
        {{"--from=f", "--page=/p"}, "6 from='f'"},
        {{"--page=/p", "--from=f"}, "6 page='/p'"},
        {{"--from=f", "--pagelock"}, "6 from='f'"},
        {{"--pagelock=/l", "--from"}, "6 lock='/l'"},
        {{"--from=f", "--check=x"}, "6 action=6 from='f'"},
        {{"--check=x", "--from=f"}, "6 action=6 file='x'"},
        {{"--from=f", "--getver=x"}, "6 action=7 from='f'"},
        {{"--getver=x", "--from=f"}, "6 action=7 file='x'"},
        {{"--from=f", "--check= "}, "5 action=6 from='f'"},
        {{"--from=f", "--getver", "--json"}, "0 action=7 json=1 from='f'"},
        {{"--backup=b", "--from=f"}, "0 action=2 file='b' from='f'"}};
    for (const auto& [arguments, expected] : cases) {
        EXPECT_EQ(parse(arguments), expected) << arguments[0];
    }
}

} // namespace
