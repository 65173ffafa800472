#include "app/MurelAdjMain.h"

#include "app/CMurelAdjAction.h"
#include "app/CMurelAdjOptions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Records its turn and its destruction in events; a name ending in "!" fails, one ending in "^"
// counts a termination request while it runs.
class CRecordingAction final : public CMurelAdjAction {
public:
    CRecordingAction(const std::string& name, std::string& events, volatile uint32_t& requests)
        : m_name(name), m_events(events), m_requests(requests) {}
    ~CRecordingAction() override { m_events += " delete " + m_name; }
    bool execute(CMurelAdjOptions& /*options*/) override {
        m_events += " execute " + m_name;
        if (m_name.back() == '^') {
            m_requests = m_requests + 1;
        }
        return m_name.back() != '!';
    }

private:
    std::string m_name;
    std::string& m_events;
    volatile uint32_t& m_requests;
};

TEST(MurelAdjMain, ActionsRunInOrderUntilAFailureOrATerminationRequest) {
    const struct {
        std::vector<std::string> actions;
        uint32_t requestsBefore;
        bool failed;
        const char* events;
    } cases[] = {
        {{"a", "b"}, 0, false, " execute a delete a execute b delete b"},
        {{"config!", "get"}, 0, true, " execute config! delete config! delete get"},
        // A request while an action runs lets it finish but keeps the next one from starting.
        {{"config^", "get"}, 0, true, " execute config^ delete config^ delete get"},
        {{"dump^"}, 0, false, " execute dump^ delete dump^"},
        {{"dump"}, 1, true, " delete dump"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.events);
        std::string events;
        volatile uint32_t requests = c.requestsBefore;
        TVXVector<CMurelAdjAction*> actions;
        for (const std::string& name : c.actions) {
            actions.append(new CRecordingAction(name, events, requests));
        }
        CMurelAdjOptions options;
        EXPECT_EQ(runMurelAdjActions(actions, options, &requests), c.failed);
        EXPECT_EQ(events, c.events);
        for (CMurelAdjAction* action : actions) {
            EXPECT_EQ(action, nullptr);
        }
    }
}

} // namespace
