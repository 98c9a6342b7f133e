#include "exchange/RepollBound.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(RepollBound, RunsOfQuickAnswersWithoutAMessageEndTheImmediatePolls) {
    const int max = TRepollBound::MaxQuickRepolls;
    struct TCase {
        const char* Name;
        // 'q' a quick answer without message, 'h' one held open, 'm' a message, 'E' an answer
        // that ends the burst (empty or a refusal).
        std::string Answers;
        std::string Expected;  // 'y' polls at once, 'n' waits for the timer, '-' for 'E'
    };
    const TCase cases[] = {
        {"a run up to the bound", std::string(max, 'q'), std::string(max, 'y')},
        {"past the bound", std::string(max + 3, 'q'), std::string(max, 'y') + "nnn"},
        {"a message ends the run", std::string(max, 'q') + "mq", std::string(max, 'y') + "yy"},
        {"a held answer ends the run", std::string(max + 1, 'q') + "hq", std::string(max, 'y') + "nyy"},
        {"an empty answer ends the run", std::string(max + 1, 'q') + "Eq", std::string(max, 'y') + "n-y"},
        {"a long burst of messages", std::string(1000, 'm'), std::string(1000, 'y')},
        {"long polls that time out", std::string(100, 'h'), std::string(100, 'y')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TRepollBound bound;
        int64_t now = 0;
        std::string got;
        for (char kind : c.Answers) {
            bound.PollSent(now);
            now += kind == 'h' ? TRepollBound::HeldAnswerMs : 3;
            if (kind == 'E') {
                bound.AnswerEndedTheBurst();
                got += '-';
            } else {
                got += bound.MayPollAtOnce(kind == 'm', now) ? 'y' : 'n';
            }
        }
        EXPECT_EQ(got, c.Expected);
    }
}
