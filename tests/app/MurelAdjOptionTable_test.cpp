#include "app/MurelAdjOptionTable.h"

#include "app/CMurelAdjOptions.h"
#include "app/MurelAdjUsage.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Runs the table entry named by the argument the way the parse pass does.
EMurelAdjOptionResult parseOne(const char* argument, CMurelAdjOptions& options) {
    for (const CMurelAdjOptionEntry& entry : MURELADJ_OPTION_TABLE) {
        if (matchOption(argument, entry.name)) {
            return entry.handler(argument + std::string(entry.name).size(), options);
        }
    }
    return MURELADJ_OPTION_NOT_SUPPORTED;
}

EMurelAdjOptionResult parseAll(const std::vector<const char*>& arguments,
                               CMurelAdjOptions& options) {
    EMurelAdjOptionResult result = MURELADJ_OPTION_OK;
    for (const char* argument : arguments) {
        result = parseOne(argument, options);
        if (result != MURELADJ_OPTION_OK) {
            break;
        }
    }
    return result;
}

EMurelAdjOptionResult parseFresh(const char* argument) {
    CMurelAdjOptions options;
    return parseOne(argument, options);
}

std::vector<std::string> names(const TVXVector<CVXString>& strings) {
    std::vector<std::string> out;
    for (const CVXString& text : strings) {
        out.emplace_back(text.c_str());
    }
    return out;
}

TEST(MurelAdjOptionTable, HoldsTheTwelveOptionsInParseOrder) {
    const std::vector<std::string> expected = {"--help",   "--log",   "--loglevel", "--endianness",
                                               "--config", "--dump",  "--backup",   "--getver",
                                               "--get",    "--check", "--pagelock", "--page"};
    std::vector<std::string> actual;
    for (const CMurelAdjOptionEntry& entry : MURELADJ_OPTION_TABLE) {
        actual.emplace_back(entry.name);
        EXPECT_NE(entry.handler, nullptr);
    }
    EXPECT_EQ(actual, expected);
}

TEST(MurelAdjOptionTable, MatchOptionNeedsTheWholeNameThenEndOrEquals) {
    EXPECT_TRUE(matchOption("--dump", "--dump"));
    EXPECT_TRUE(matchOption("--dump=hex", "--dump"));
    EXPECT_TRUE(matchOption("--dump=", "--dump"));
    EXPECT_TRUE(matchOption("--help=x", "--help"));
    EXPECT_FALSE(matchOption("--getver", "--get"));
    EXPECT_FALSE(matchOption("--pagelock=/l", "--page"));
    EXPECT_FALSE(matchOption("--dumpx", "--dump"));
    EXPECT_FALSE(matchOption("--dum", "--dump"));
    EXPECT_FALSE(matchOption("-dump", "--dump"));
    EXPECT_FALSE(matchOption("--DUMP", "--dump"));
    EXPECT_FALSE(matchOption("", "--dump"));
}

TEST(MurelAdjOptionTable, HasOptionValueNeedsACharacterAfterTheFirstEquals) {
    EXPECT_FALSE(hasOptionValue(""));
    EXPECT_FALSE(hasOptionValue("="));
    EXPECT_TRUE(hasOptionValue("=x"));
    EXPECT_TRUE(hasOptionValue("= "));
    EXPECT_TRUE(hasOptionValue("=="));
}

TEST(MurelAdjOptionTable, LongerNamesAreNotTakenForShorterOnes) {
    // "--getver" must reach its own entry although "--get" is a prefix of it, and the same for
    // "--pagelock" and "--page".
    CMurelAdjOptions options;
    EXPECT_EQ(parseOne("--getver", options), MURELADJ_OPTION_OK);
    EXPECT_EQ(options.action, MURELADJ_ACTION_GETVER);
    EXPECT_EQ(parseOne("--pagelock=/lock", options), MURELADJ_OPTION_OK);
    EXPECT_STREQ(options.pageLockPath.c_str(), "/lock");
    EXPECT_TRUE(options.pagePath.isEmpty());
    EXPECT_EQ(parseFresh("--getverx"), MURELADJ_OPTION_NOT_SUPPORTED);
    EXPECT_EQ(parseFresh("--dumpx"), MURELADJ_OPTION_NOT_SUPPORTED);
}

TEST(MurelAdjOptionTable, HelpPrintsTheUsageTextAndSetsTheFlag) {
    CMurelAdjOptions options;
    testing::internal::CaptureStdout();
    EXPECT_EQ(handleHelpOption("=anything", options), MURELADJ_OPTION_OK);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), std::string(MURELADJ_USAGE_TEXT));
    EXPECT_EQ(options.helpRequested, 1);
}

TEST(MurelAdjOptionTable, DumpModes) {
    CMurelAdjOptions plain;
    EXPECT_EQ(parseOne("--dump", plain), MURELADJ_OPTION_OK);
    EXPECT_EQ(plain.action, MURELADJ_ACTION_DUMP);
    EXPECT_EQ(plain.dumpMode, MURELADJ_DUMP_VERBOSE);

    CMurelAdjOptions empty;
    EXPECT_EQ(parseOne("--dump=", empty), MURELADJ_OPTION_OK);
    EXPECT_EQ(empty.dumpMode, MURELADJ_DUMP_VERBOSE);

    CMurelAdjOptions hex;
    EXPECT_EQ(parseOne("--dump= hex\t", hex), MURELADJ_OPTION_OK);
    EXPECT_EQ(hex.dumpMode, MURELADJ_DUMP_HEX);

    CMurelAdjOptions verbose;
    EXPECT_EQ(parseOne("--dump=verbose", verbose), MURELADJ_OPTION_OK);
    EXPECT_EQ(verbose.dumpMode, MURELADJ_DUMP_VERBOSE);

    EXPECT_EQ(parseFresh("--dump=HEX"), MURELADJ_OPTION_INVALID);
    EXPECT_EQ(parseFresh("--dump=  "), MURELADJ_OPTION_INVALID);
}

TEST(MurelAdjOptionTable, OnlyOneActionOption) {
    const char* const actionOptions[] = {"--dump", "--backup=f", "--getver", "--get=E2P.A",
                                         "--check"};
    for (const char* first : actionOptions) {
        for (const char* second : actionOptions) {
            CMurelAdjOptions options;
            ASSERT_EQ(parseOne(first, options), MURELADJ_OPTION_OK) << first;
            EXPECT_EQ(parseOne(second, options), MURELADJ_OPTION_DUPLICATE)
                << first << " then " << second;
        }
    }
    // The duplicate is found before the value is looked at.
    CMurelAdjOptions options;
    ASSERT_EQ(parseOne("--check", options), MURELADJ_OPTION_OK);
    EXPECT_EQ(parseOne("--backup", options), MURELADJ_OPTION_DUPLICATE);
    EXPECT_EQ(parseOne("--get=,", options), MURELADJ_OPTION_DUPLICATE);
    EXPECT_EQ(options.action, MURELADJ_ACTION_CHECK);
}

TEST(MurelAdjOptionTable, BackupNeedsANonBlankPath) {
    EXPECT_EQ(parseFresh("--backup"), MURELADJ_OPTION_NO_VALUE);
    EXPECT_EQ(parseFresh("--backup="), MURELADJ_OPTION_NO_VALUE);
    EXPECT_EQ(parseFresh("--backup=  \t"), MURELADJ_OPTION_INVALID);
    CMurelAdjOptions options;
    EXPECT_EQ(parseOne("--backup= /tmp/b.bin ", options), MURELADJ_OPTION_OK);
    EXPECT_EQ(options.action, MURELADJ_ACTION_BACKUP);
    EXPECT_STREQ(options.filePath.c_str(), "/tmp/b.bin");
}

TEST(MurelAdjOptionTable, CheckAndGetverTakeAnOptionalFile) {
    for (const char* option : {"--check", "--getver"}) {
        const std::string name(option);
        CMurelAdjOptions none;
        EXPECT_EQ(parseOne(option, none), MURELADJ_OPTION_OK);
        EXPECT_TRUE(none.filePath.isEmpty());
        CMurelAdjOptions empty;
        EXPECT_EQ(parseOne((name + "=").c_str(), empty), MURELADJ_OPTION_OK);
        EXPECT_TRUE(empty.filePath.isEmpty());
        CMurelAdjOptions file;
        EXPECT_EQ(parseOne((name + "=/tmp/x").c_str(), file), MURELADJ_OPTION_OK);
        EXPECT_STREQ(file.filePath.c_str(), "/tmp/x");
        EXPECT_EQ(parseFresh((name + "= ").c_str()), MURELADJ_OPTION_INVALID);
    }
}

TEST(MurelAdjOptionTable, LogTargets) {
    CMurelAdjOptions slog;
    EXPECT_EQ(parseOne("--log=slog", slog), MURELADJ_OPTION_OK);
    EXPECT_EQ(slog.logTarget, 1u);
    CMurelAdjOptions both;
    EXPECT_EQ(parseOne("--log= slog , stdout ", both), MURELADJ_OPTION_OK);
    EXPECT_EQ(both.logTarget, 3u);
    CMurelAdjOptions twice;
    EXPECT_EQ(parseOne("--log=stdout,stdout", twice), MURELADJ_OPTION_OK);
    EXPECT_EQ(twice.logTarget, 2u);

    EXPECT_EQ(parseFresh("--log"), MURELADJ_OPTION_NO_VALUE);
    EXPECT_EQ(parseFresh("--log="), MURELADJ_OPTION_NO_VALUE);
    EXPECT_EQ(parseFresh("--log=slog,"), MURELADJ_OPTION_WRONG_FORMAT);
    EXPECT_EQ(parseFresh("--log=,stdout"), MURELADJ_OPTION_WRONG_FORMAT);
    EXPECT_EQ(parseFresh("--log= "), MURELADJ_OPTION_WRONG_FORMAT);
    EXPECT_EQ(parseFresh("--log=syslog"), MURELADJ_OPTION_INVALID);
    EXPECT_EQ(parseFresh("--log=SLOG"), MURELADJ_OPTION_INVALID);
}

TEST(MurelAdjOptionTable, LogDuplicateIsCheckedAfterTheValue) {
    CMurelAdjOptions options;
    ASSERT_EQ(parseOne("--log=slog", options), MURELADJ_OPTION_OK);
    EXPECT_EQ(parseOne("--log=bad", options), MURELADJ_OPTION_INVALID);
    EXPECT_EQ(parseOne("--log=a,,b", options), MURELADJ_OPTION_WRONG_FORMAT);
    EXPECT_EQ(parseOne("--log", options), MURELADJ_OPTION_NO_VALUE);
    EXPECT_EQ(parseOne("--log=stdout", options), MURELADJ_OPTION_DUPLICATE);
    EXPECT_EQ(options.logTarget, 1u);
}

TEST(MurelAdjOptionTable, LogLevels) {
    struct Case {
        const char* argument;
        EMurelAdjOptionResult result;
        uint32_t mask;
    };
    const Case cases[] = {
        {"--loglevel=none", MURELADJ_OPTION_OK, 0xFFFFFFFFu},
        {"--loglevel=warning", MURELADJ_OPTION_OK, 1},
        {"--loglevel=error", MURELADJ_OPTION_OK, 2},
        {"--loglevel=info", MURELADJ_OPTION_OK, 4},
        {"--loglevel=error,error", MURELADJ_OPTION_OK, 2},
        {"--loglevel= info , warning", MURELADJ_OPTION_OK, 5},
        {"--loglevel=warning,error,info", MURELADJ_OPTION_OK, 7},
        {"--loglevel=none,error", MURELADJ_OPTION_INVALID, 0},
        {"--loglevel=error,none", MURELADJ_OPTION_INVALID, 0},
        {"--loglevel=none,none", MURELADJ_OPTION_INVALID, 0},
        {"--loglevel=debug", MURELADJ_OPTION_INVALID, 0},
        {"--loglevel=Error", MURELADJ_OPTION_INVALID, 0},
        {"--loglevel=error,", MURELADJ_OPTION_WRONG_FORMAT, 0},
        {"--loglevel", MURELADJ_OPTION_NO_VALUE, 0},
        {"--loglevel=", MURELADJ_OPTION_NO_VALUE, 0},
    };
    for (const Case& testCase : cases) {
        CMurelAdjOptions options;
        EXPECT_EQ(parseOne(testCase.argument, options), testCase.result) << testCase.argument;
        EXPECT_EQ(options.logLevelMask, testCase.mask) << testCase.argument;
    }
    CMurelAdjOptions options;
    ASSERT_EQ(parseOne("--loglevel=info", options), MURELADJ_OPTION_OK);
    EXPECT_EQ(parseOne("--loglevel=bogus", options), MURELADJ_OPTION_INVALID);
    EXPECT_EQ(parseOne("--loglevel=error", options), MURELADJ_OPTION_DUPLICATE);
}

TEST(MurelAdjOptionTable, EndiannessChecksTheDuplicateFirst) {
    CMurelAdjOptions little;
    EXPECT_EQ(parseOne("--endianness= little ", little), MURELADJ_OPTION_OK);
    EXPECT_EQ(little.endianness, MURELADJ_LITTLE_ENDIAN);
    EXPECT_EQ(parseOne("--endianness=big", little), MURELADJ_OPTION_DUPLICATE);
    EXPECT_EQ(parseOne("--endianness", little), MURELADJ_OPTION_DUPLICATE);
    EXPECT_EQ(little.endianness, MURELADJ_LITTLE_ENDIAN);

    CMurelAdjOptions big;
    EXPECT_EQ(parseOne("--endianness=big", big), MURELADJ_OPTION_OK);
    EXPECT_EQ(big.endianness, MURELADJ_BIG_ENDIAN);

    EXPECT_EQ(parseFresh("--endianness"), MURELADJ_OPTION_NO_VALUE);
    EXPECT_EQ(parseFresh("--endianness="), MURELADJ_OPTION_NO_VALUE);
    EXPECT_EQ(parseFresh("--endianness=BIG"), MURELADJ_OPTION_INVALID);
    EXPECT_EQ(parseFresh("--endianness=  "), MURELADJ_OPTION_INVALID);
}

TEST(MurelAdjOptionTable, PathOptionsCheckTheDuplicateFirst) {
    struct PathOption {
        const char* name;
        CVXString CMurelAdjOptions::*field;
    };
    const PathOption pathOptions[] = {{"--config", &CMurelAdjOptions::configPath},
                                      {"--page", &CMurelAdjOptions::pagePath},
                                      {"--pagelock", &CMurelAdjOptions::pageLockPath}};
    for (const PathOption& option : pathOptions) {
        const std::string name(option.name);
        CMurelAdjOptions options;
        EXPECT_EQ(parseOne(name.c_str(), options), MURELADJ_OPTION_NO_VALUE) << name;
        EXPECT_EQ(parseOne((name + "=").c_str(), options), MURELADJ_OPTION_NO_VALUE) << name;
        EXPECT_EQ(parseOne((name + "= \t").c_str(), options), MURELADJ_OPTION_INVALID) << name;
        EXPECT_EQ(parseOne((name + "=\t/a b ").c_str(), options), MURELADJ_OPTION_OK) << name;
        EXPECT_STREQ((options.*option.field).c_str(), "/a b") << name;
        EXPECT_EQ(parseOne((name + "=/b").c_str(), options), MURELADJ_OPTION_DUPLICATE) << name;
        EXPECT_EQ(parseOne(name.c_str(), options), MURELADJ_OPTION_DUPLICATE) << name;
        EXPECT_STREQ((options.*option.field).c_str(), "/a b") << name;
    }
}

TEST(MurelAdjOptionTable, GetStoresTrimmedNamesInOrder) {
    CMurelAdjOptions options;
    EXPECT_EQ(parseOne("--get= E2P.A.B ,E2P.C,E2P.A.B", options), MURELADJ_OPTION_OK);
    EXPECT_EQ(options.action, MURELADJ_ACTION_GET);
    EXPECT_EQ(names(options.getNames), (std::vector<std::string>{"E2P.A.B", "E2P.C", "E2P.A.B"}));

    EXPECT_EQ(parseFresh("--get"), MURELADJ_OPTION_NO_VALUE);
    EXPECT_EQ(parseFresh("--get="), MURELADJ_OPTION_NO_VALUE);
    EXPECT_EQ(parseFresh("--get=E2P.A.B,,E2P.C"), MURELADJ_OPTION_WRONG_FORMAT);
    EXPECT_EQ(parseFresh("--get=E2P.A.B,"), MURELADJ_OPTION_WRONG_FORMAT);
    EXPECT_EQ(parseFresh("--get=E2P"), MURELADJ_OPTION_INVALID);
    EXPECT_EQ(parseFresh("--get=E2P.A,e2p.B"), MURELADJ_OPTION_INVALID);
    EXPECT_EQ(parseFresh("--get=E2P..X"), MURELADJ_OPTION_INVALID);
}

TEST(MurelAdjOptionTable, ParseStopsAtTheFirstError) {
    CMurelAdjOptions options;
    EXPECT_EQ(parseAll({"--page=/p", "--bogus", "--dump"}, options), MURELADJ_OPTION_NOT_SUPPORTED);
    EXPECT_EQ(options.action, MURELADJ_ACTION_UNDEFINED);

    CMurelAdjOptions full;
    EXPECT_EQ(parseAll({"--config=c.txt", "--get=E2P.Networking.Eth0MacAddr", "--page=/p",
                        "--pagelock=/l", "--endianness=little", "--log=stdout", "--loglevel=error"},
                       full),
              MURELADJ_OPTION_OK);
    EXPECT_STREQ(full.configPath.c_str(), "c.txt");
    EXPECT_EQ(full.action, MURELADJ_ACTION_GET);
    EXPECT_EQ(full.endianness, MURELADJ_LITTLE_ENDIAN);
    EXPECT_EQ(full.logTarget, 2u);
    EXPECT_EQ(full.logLevelMask, 2u);
}

} // namespace
