#include "exchange/RepollBound.h"

bool TRepollBound::MayPollAtOnce(bool broughtMessage, int64_t nowMs) {
    if (broughtMessage || nowMs - sentAt_ >= HeldAnswerMs) {
        quickRun_ = 0;
        return true;
    }
    if (quickRun_ >= MaxQuickRepolls) return false;
    ++quickRun_;
    return true;
}
