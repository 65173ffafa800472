#include "app/MurelAdjMain.h"

#include "app/CMurelAdjAction.h"
#include "app/CMurelAdjBackupAction.h"
#include "app/CMurelAdjCheckAction.h"
#include "app/CMurelAdjConfigAction.h"
#include "app/CMurelAdjDumpAction.h"
#include "app/CMurelAdjGetverAction.h"
#include "app/CMurelAdjOptions.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

// Records its turn and its destruction in events; can count a termination request while it runs.
class CRecordingAction final : public CMurelAdjAction {
public:
    CRecordingAction(std::string name, bool result, std::string& events, volatile uint32_t* request)
        : m_name(std::move(name)), m_result(result), m_events(events), m_request(request) {}
    ~CRecordingAction() override { m_events += " delete " + m_name; }
    bool execute(CMurelAdjOptions& /*options*/) override {
        m_events += " execute " + m_name;
        if (m_request != nullptr) {
            *m_request = *m_request + 1;
        }
        return m_result;
    }

private:
    std::string m_name;
    bool m_result;
    std::string& m_events;
    volatile uint32_t* m_request;
};

TEST(MurelAdjMain, ActionsRunInOrderUntilAFailureOrATerminationRequest) {
    struct Case {
        std::vector<std::string> actions; // "!" fails, "^" counts a termination request
        uint32_t requestsBefore;
        bool failed;
        const char* events;
    };
    const Case cases[] = {
        {{"a", "b"}, 0, false, " execute a delete a execute b delete b"},
        {{"config!", "get"}, 0, true, " execute config! delete config! delete get"},
        // A request while an action runs lets it finish but keeps the next one from starting.
        {{"config^", "get"}, 0, true, " execute config^ delete config^ delete get"},
        {{"dump^"}, 0, false, " execute dump^ delete dump^"},
        {{"dump"}, 1, true, " delete dump"},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.events);
        std::string events;
        volatile uint32_t requests = testCase.requestsBefore;
        TVXVector<CMurelAdjAction*> actions;
        for (const std::string& name : testCase.actions) {
            actions.append(new CRecordingAction(name, name.back() != '!', events,
                                                name.back() == '^' ? &requests : nullptr));
        }
        CMurelAdjOptions options;
        EXPECT_EQ(runMurelAdjActions(actions, options, &requests), testCase.failed);
        EXPECT_EQ(events, testCase.events);
        for (CMurelAdjAction* action : actions) {
            EXPECT_EQ(action, nullptr);
        }
    }
}

// The classes of the built list, by name.
Lines builtActions(EMurelAdjAction action, uint32_t dumpMode, const char* config) {
    CMurelAdjOptions options;
    options.action = action;
    options.dumpMode = dumpMode;
    options.configPath = config;
    TVXVector<CMurelAdjAction*> actions;
    buildMurelAdjActions(options, actions);
    Lines kinds;
    for (CMurelAdjAction* built : actions) {
        kinds.emplace_back(dynamic_cast<CMurelAdjConfigAction*>(built)   ? "config"
                           : dynamic_cast<CMurelAdjDumpAction*>(built)   ? "dump"
                           : dynamic_cast<CMurelAdjBackupAction*>(built) ? "backup"
                           : dynamic_cast<CMurelAdjCheckAction*>(built)  ? "check"
                           : dynamic_cast<CMurelAdjGetverAction*>(built) ? "getver"
                                                                         : "?");
        delete built;
    }
    return kinds;
}

TEST(MurelAdjMain, TheDescriptionFileIsReadFirstOnlyForGetAndVerboseDump) {
    EXPECT_EQ(builtActions(MURELADJ_ACTION_GET, 2, "c"), (Lines{"config", "dump"}));
    EXPECT_EQ(builtActions(MURELADJ_ACTION_DUMP, 2, "c"), (Lines{"config", "dump"}));
    EXPECT_EQ(builtActions(MURELADJ_ACTION_DUMP, 1, "c"), (Lines{"dump"}));
    EXPECT_EQ(builtActions(MURELADJ_ACTION_BACKUP, 2, "c"), (Lines{"backup"}));
    EXPECT_EQ(builtActions(MURELADJ_ACTION_CHECK, 2, "c"), (Lines{"check"}));
    EXPECT_EQ(builtActions(MURELADJ_ACTION_GETVER, 2, "c"), (Lines{"getver"}));
    EXPECT_EQ(builtActions(MURELADJ_ACTION_GET, 2, ""), (Lines{"dump"}));
    EXPECT_EQ(builtActions(MURELADJ_ACTION_DUMP, 2, ""), (Lines{"dump"}));
}

} // namespace
