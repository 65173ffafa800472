// The action list: each action in turn, destroyed after it, until one fails or a termination
// request is counted.
#include "app/MurelAdjMain.h"

#include "app/CMurelAdjAction.h"
#include "app/CMurelAdjOptions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The signal-watch thread's side: a termination request sent is counted once it is taken.
std::string s_events;
volatile uint32_t s_requests = 0;
uint32_t s_sent = 0;

// Records its turn and its destruction; a name ending in "!" fails, one ending in "^" has a
// termination request sent while it runs.
class CRecordingAction final : public CMurelAdjAction {
public:
    explicit CRecordingAction(const std::string& name) : m_name(name) {}
    ~CRecordingAction() override { s_events += " delete " + m_name; }
    bool execute(CMurelAdjOptions& /*options*/) override {
        s_events += " execute " + m_name;
        s_sent += m_name.back() == '^' ? 1 : 0;
        return m_name.back() != '!';
    }

private:
    std::string m_name;
};

TEST(MurelAdjMain, ActionsRunInOrderUntilAFailureOrATerminationRequest) {
    const struct {
        std::vector<std::string> actions;
        uint32_t requestsBefore;
        bool failed;
        const char* events;
    } cases[] = {
        {{"a", "b"}, 0, false, " take execute a delete a take execute b delete b"},
        {{"config!", "get"}, 0, true, " take execute config! delete config! delete get"},
        // A request while an action runs lets it finish but keeps the next one from starting,
        // also when it is still pending then.
        {{"config^", "get"}, 0, true, " take execute config^ delete config^ take delete get"},
        {{"dump"}, 1, true, " take delete dump"},
    };
    for (const auto& c : cases) {
        s_events.clear();
        s_requests = c.requestsBefore;
        TVXVector<CMurelAdjAction*> actions;
        for (const std::string& name : c.actions) {
            actions.append(new CRecordingAction(name));
        }
        CMurelAdjOptions options;
        const auto take = [] {
            s_events += " take";
            s_requests = s_requests + s_sent;
            s_sent = 0;
        };
        EXPECT_EQ(runMurelAdjActions(actions, options, {&s_requests, take, nullptr}), c.failed);
        EXPECT_EQ(s_events, c.events);
        EXPECT_EQ(actions[0], nullptr);
        EXPECT_EQ(actions[actions.size() - 1], nullptr);
    }
}

} // namespace
