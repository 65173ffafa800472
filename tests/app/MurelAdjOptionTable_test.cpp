// The option table's value rules: the record the handlers fill, and what they refuse.
#include "app/MurelAdjOptionTable.h"

#include "app/CMurelAdjOptions.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Walks the arguments through the table the way the parse pass does, up to the first error: the
// result and the fields of the record that differ from their initial values.
std::string parse(const std::vector<std::string>& arguments) {
    CMurelAdjOptions options;
    uint32_t result = MURELADJ_OPTION_OK;
    for (size_t i = 0; i < arguments.size() && result == MURELADJ_OPTION_OK; ++i) {
        result = MURELADJ_OPTION_NOT_SUPPORTED;
        for (const CMurelAdjOptionEntry& entry : MURELADJ_OPTION_TABLE) {
            if (matchOption(arguments[i].c_str(), entry.name)) {
                result = entry.handler(arguments[i].c_str() + strlen(entry.name), options);
                break;
            }
        }
    }
    std::ostringstream text;
    text << result << std::hex;
    const auto number = [&text](const char* name, uint32_t value) {
        if (value != 0) {
            text << " " << name << "=" << value;
        }
    };
    const auto path = [&text](const char* name, const CVXString& value) {
        text << (value.isEmpty() ? "" : " " + std::string(name) + "='" + value.c_str() + "'");
    };
    number("endianness", options.endianness);
    number("log", options.logTarget);
    number("loglevel", options.logLevelMask);
    number("action", options.action);
    number("mode", options.dumpMode == MURELADJ_DUMP_VERBOSE ? 0 : options.dumpMode);
    number("json", options.jsonOutput);
    path("config", options.configPath);
    path("file", options.filePath);
    path("page", options.pagePath);
    path("lock", options.pageLockPath);
    path("from", options.fromPath);
    for (const CVXString& name : options.getNames) {
        text << " get='" << name.c_str() << "'";
    }
    return text.str();
}

// Results: 3 no value, 4 wrong format, 5 invalid, 6 duplicate. Rows "ARGUMENT|... => EXPECTED".
void expectRows(const std::vector<std::string>& rows) {
    for (const std::string& row : rows) {
        const size_t arrow = row.find(" => ");
        std::vector<std::string> arguments(1);
        for (const char c : row.substr(0, arrow)) {
            if (c == '|') {
                arguments.emplace_back();
            } else {
                arguments.back().push_back(c);
            }
        }
        EXPECT_EQ(parse(arguments), row.substr(arrow + 4)) << row;
    }
}

TEST(MurelAdjOptionTable, ValuesFillTheRecord) {
    expectRows({"--dump= hex\t => 0 action=1 mode=1", "--dump=verbose => 0 action=1",
                "--diff= /r.bin  => 0 action=a file='/r.bin'", "--get=E2P => 5 action=4",
                "--get=E2P.A,e2p.B => 5 action=4", "--log= slog , stdout  => 0 log=3",
                "--log=stdout,stdout => 0 log=2", "--log=syslog => 5"});
    expectRows({"--loglevel=none => 0 loglevel=ffffffff", "--loglevel=error,error => 0 loglevel=2",
                "--loglevel= info , warning => 0 loglevel=5", "--loglevel=error,none => 5",
                "--loglevel=Error => 5"});
    expectRows({"--endianness= little  => 0 endianness=2", "--endianness=BIG => 5",
                "--json|--json= => 6 json=1", "--json=x => 5"});
    // Repeated options keep their first value; --log and --loglevel judge the value first.
    expectRows({"--endianness=little|--endianness => 6 endianness=2",
                "--config=/a|--config => 6 config='/a'", "--page=/a|--page=/b => 6 page='/a'",
                "--pagelock=/a|--pagelock => 6 lock='/a'", "--log=slog|--log=stdout => 6 log=1",
                "--log=slog|--log=bad => 5 log=1", "--log=slog|--log => 3 log=1",
                "--loglevel=info|--loglevel=error => 6 loglevel=4",
                "--loglevel=info|--loglevel=a,,b => 4 loglevel=4"});
    // --from and a second source: the later one is refused, whichever it is.
    expectRows({"--from=f|--page=/p => 6 from='f'", "--page=/p|--from=f => 6 page='/p'",
                "--from=f|--pagelock => 6 from='f'", "--from=f|--check=x => 6 action=6 from='f'",
                "--check=x|--from=f => 6 action=6 file='x'",
                "--getver=x|--from=f => 6 action=7 file='x'",
                "--from=f|--check=  => 5 action=6 from='f'",
                "--from=f|--getver|--json => 0 action=7 json=1 from='f'",
                "--backup=b|--from=f => 0 action=2 file='b' from='f'"});
}

} // namespace
