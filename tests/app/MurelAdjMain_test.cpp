#include "app/MurelAdjMain.h"

#include "app/CMurelAdjAction.h"
#include "app/CMurelAdjBackupAction.h"
#include "app/CMurelAdjCheckAction.h"
#include "app/CMurelAdjConfigAction.h"
#include "app/CMurelAdjDumpAction.h"
#include "app/CMurelAdjGetverAction.h"
#include "app/CMurelAdjLog.h"
#include "app/CMurelAdjOptions.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

// An action that records its turn and its destruction, and can raise a termination request.
class CRecordingAction final : public CMurelAdjAction {
public:
    CRecordingAction(std::string name, bool result, std::vector<std::string>& events,
                     volatile uint32_t* requestOnExecute = nullptr)
        : m_name(std::move(name)), m_result(result), m_events(events),
          m_requestOnExecute(requestOnExecute) {}
    ~CRecordingAction() override { m_events.push_back("delete " + m_name); }
    bool execute(CMurelAdjOptions& /*options*/) override {
        m_events.push_back("execute " + m_name);
        if (m_requestOnExecute != nullptr) {
            *m_requestOnExecute = *m_requestOnExecute + 1;
        }
        return m_result;
    }

private:
    std::string m_name;
    bool m_result;
    std::vector<std::string>& m_events;
    volatile uint32_t* m_requestOnExecute;
};

TEST(MurelAdjMain, ActionsRunInOrderAndAreDestroyedAfterTheirTurn) {
    std::vector<std::string> events;
    TVXVector<CMurelAdjAction*> actions;
    actions.append(new CRecordingAction("first", true, events));
    actions.append(new CRecordingAction("second", true, events));
    CMurelAdjOptions options;
    volatile uint32_t requests = 0;
    EXPECT_FALSE(runMurelAdjActions(actions, options, &requests));
    EXPECT_EQ(events, (std::vector<std::string>{"execute first", "delete first", "execute second",
                                                "delete second"}));
    EXPECT_EQ(actions[0], nullptr);
    EXPECT_EQ(actions[1], nullptr);
}

TEST(MurelAdjMain, AFailedActionKeepsTheLaterOnesFromRunning) {
    std::vector<std::string> events;
    TVXVector<CMurelAdjAction*> actions;
    actions.append(new CRecordingAction("config", false, events));
    actions.append(new CRecordingAction("get", true, events));
    CMurelAdjOptions options;
    volatile uint32_t requests = 0;
    EXPECT_TRUE(runMurelAdjActions(actions, options, &requests));
    EXPECT_EQ(events, (std::vector<std::string>{"execute config", "delete config", "delete get"}));
}

TEST(MurelAdjMain, ARequestDuringAnActionLetsItFinishButStopsTheNext) {
    std::vector<std::string> events;
    volatile uint32_t requests = 0;
    TVXVector<CMurelAdjAction*> actions;
    actions.append(new CRecordingAction("config", true, events, &requests));
    actions.append(new CRecordingAction("get", true, events));
    CMurelAdjOptions options;
    EXPECT_TRUE(runMurelAdjActions(actions, options, &requests));
    EXPECT_EQ(events, (std::vector<std::string>{"execute config", "delete config", "delete get"}));
}

TEST(MurelAdjMain, ARequestDuringTheLastActionLeavesItsVerdict) {
    std::vector<std::string> events;
    volatile uint32_t requests = 0;
    TVXVector<CMurelAdjAction*> actions;
    actions.append(new CRecordingAction("dump", true, events, &requests));
    CMurelAdjOptions options;
    EXPECT_FALSE(runMurelAdjActions(actions, options, &requests));
    EXPECT_EQ(requests, 1u);
}

TEST(MurelAdjMain, ARequestBeforeTheFirstActionRunsNothing) {
    std::vector<std::string> events;
    volatile uint32_t requests = 1;
    TVXVector<CMurelAdjAction*> actions;
    actions.append(new CRecordingAction("dump", true, events));
    CMurelAdjOptions options;
    EXPECT_TRUE(runMurelAdjActions(actions, options, &requests));
    EXPECT_EQ(events, (std::vector<std::string>{"delete dump"}));
}

// The classes of the built list, by name.
std::vector<std::string> buildKinds(const CMurelAdjOptions& options) {
    TVXVector<CMurelAdjAction*> actions;
    buildMurelAdjActions(options, actions);
    std::vector<std::string> kinds;
    for (CMurelAdjAction* action : actions) {
        if (dynamic_cast<CMurelAdjConfigAction*>(action) != nullptr) {
            kinds.emplace_back("config");
        } else if (dynamic_cast<CMurelAdjDumpAction*>(action) != nullptr) {
            kinds.emplace_back("dump");
        } else if (dynamic_cast<CMurelAdjBackupAction*>(action) != nullptr) {
            kinds.emplace_back("backup");
        } else if (dynamic_cast<CMurelAdjCheckAction*>(action) != nullptr) {
            kinds.emplace_back("check");
        } else if (dynamic_cast<CMurelAdjGetverAction*>(action) != nullptr) {
            kinds.emplace_back("getver");
        } else {
            kinds.emplace_back("?");
        }
        delete action;
    }
    return kinds;
}

CMurelAdjOptions optionsFor(EMurelAdjAction action, uint32_t dumpMode, const char* config) {
    CMurelAdjOptions options;
    options.action = action;
    options.dumpMode = dumpMode;
    options.configPath = config;
    return options;
}

TEST(MurelAdjMain, TheDescriptionFileIsReadFirstOnlyForGetAndVerboseDump) {
    using Kinds = std::vector<std::string>;
    EXPECT_EQ(buildKinds(optionsFor(MURELADJ_ACTION_GET, 2, "c")), (Kinds{"config", "dump"}));
    EXPECT_EQ(buildKinds(optionsFor(MURELADJ_ACTION_DUMP, 2, "c")), (Kinds{"config", "dump"}));
    EXPECT_EQ(buildKinds(optionsFor(MURELADJ_ACTION_DUMP, 1, "c")), (Kinds{"dump"}));
    EXPECT_EQ(buildKinds(optionsFor(MURELADJ_ACTION_BACKUP, 2, "c")), (Kinds{"backup"}));
    EXPECT_EQ(buildKinds(optionsFor(MURELADJ_ACTION_CHECK, 2, "c")), (Kinds{"check"}));
    EXPECT_EQ(buildKinds(optionsFor(MURELADJ_ACTION_GETVER, 2, "c")), (Kinds{"getver"}));
    EXPECT_EQ(buildKinds(optionsFor(MURELADJ_ACTION_GET, 2, "")), (Kinds{"dump"}));
    EXPECT_EQ(buildKinds(optionsFor(MURELADJ_ACTION_DUMP, 2, "")), (Kinds{"dump"}));
}

TEST(MurelAdjMain, OptionErrorLines) {
    struct Case {
        EMurelAdjOptionResult result;
        const char* expected;
    };
    const Case cases[] = {
        {MURELADJ_OPTION_OK, "velkor: Too few options, action cannot be identified.\n"},
        {MURELADJ_OPTION_NOT_SUPPORTED, "velkor: '--backup=x y' option not supported.\n"},
        {MURELADJ_OPTION_NO_VALUE, "velkor: '--backup' option requires value(s).\n"},
        {MURELADJ_OPTION_WRONG_FORMAT, "velkor: '--backup' option value(s) in wrong format.\n"},
        {MURELADJ_OPTION_INVALID, "velkor: '--backup' option value(s) invalid.\n"},
        {MURELADJ_OPTION_DUPLICATE, "velkor: '--backup' option duplications forbidden.\n"},
    };
    for (const Case& testCase : cases) {
        testing::internal::CaptureStderr();
        reportMurelAdjOptionError(testCase.result, "--backup=x y", "--backup");
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  std::string(testCase.expected) +
                      "velkor: Use option '--help' for detailed information.\n");
    }
}

std::vector<std::string>* g_calls = nullptr;
void recordOpen(const char* identity, int /*option*/, int /*facility*/) {
    g_calls->push_back(std::string("open ") + identity);
}
void recordWrite(int /*priority*/, const char* /*format*/, va_list /*args*/) {
    g_calls->emplace_back("write");
}
void recordClose() {
    g_calls->emplace_back("close");
}

TEST(MurelAdjMain, TheSystemLogIsOpenedFirstAndClosedLast) {
    // The test program's own arguments are not velkor options: the run ends with an option error.
    std::vector<std::string> calls;
    g_calls = &calls;
    const CMurelAdjSystemLog recorder = {recordOpen, recordWrite, recordClose};
    const CMurelAdjSystemLog* const previous = CMurelAdjLog::setSystemLog(&recorder);
    volatile uint32_t requests = 0;
    testing::internal::CaptureStderr();
    const int status = murelAdjMain(&requests);
    const std::string err = testing::internal::GetCapturedStderr();
    CMurelAdjLog::setSystemLog(previous);
    g_calls = nullptr;
    EXPECT_EQ(status, 1);
    EXPECT_EQ(calls, (std::vector<std::string>{"open velkor", "close"}));
    EXPECT_NE(err.find("velkor: Use option '--help' for detailed information.\n"),
              std::string::npos);
    EXPECT_EQ(err.find("FAILURE"), std::string::npos);
}

} // namespace
