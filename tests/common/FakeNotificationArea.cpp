#include "common/FakeNotificationArea.h"

namespace testing_support {

QImage IconImage(const QIcon& Icon) {
    return Icon.pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

bool FakeNotificationArea::AddIcon(const QIcon& Icon, const QString& Hint) {
    if (!HostRunning || RefuseAdd || Added) return false;
    ++Adds;
    Added = true;
    ShownHint = Hint;
    Sent.push_back(IconImage(Icon));
    return true;
}

bool FakeNotificationArea::ModifyIcon(const QIcon& Icon, const QString& Hint) {
    if (!HostRunning || !Added) return false;
    ++Modifies;
    ShownHint = Hint;
    Sent.push_back(IconImage(Icon));
    return true;
}

bool FakeNotificationArea::DeleteIcon() {
    if (RefuseDelete) return false;
    if (Added) ++Deletes;
    Added = false;
    return true;
}

void FakeNotificationArea::Mouse(TTrayMouseMessage Message) {
    if (OnMouse) OnMouse(Message);
}

void FakeNotificationArea::Activate() {
    if (OnActivate) OnActivate();
}

void FakeNotificationArea::StartHost() {
    HostRunning = true;
    Added = false;
    if (OnTaskbarCreated) OnTaskbarCreated();
}

void FakeNotificationArea::StopHost() {
    HostRunning = false;
    Added = false;
    if (OnTaskbarLost) OnTaskbarLost();
}

void FakeNotificationArea::UserMinimizes() {
    Minimized = true;
    if (OnApplicationMinimize) OnApplicationMinimize();
}

}  // namespace testing_support
