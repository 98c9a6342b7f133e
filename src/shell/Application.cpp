#include "shell/Application.h"

#include <QCoreApplication>
#include <QEvent>
#include <QSet>
#include <QTimer>
#include <exception>

#include "shell/MainUnit.h"
#include "support/MessageBox.h"

namespace {

std::function<void(const QString&)>& Presenter() {
    static std::function<void(const QString&)> presenter;
    return presenter;
}

// Texts queued by HandleExceptionLater and not shown yet.
QSet<QString>& PendingTexts() {
    static QSet<QString> texts;
    return texts;
}

}  // namespace

bool TMainFormQuitRule::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Show && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        if (widget->isWindow() && widget != mainForm_) widget->setAttribute(Qt::WA_QuitOnClose, false);
    }
    return false;
}

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    installEventFilter(&quitRule_);
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    return Guarded([&] { return QApplication::notify(receiver, event); });
}

bool TApplication::Guarded(const std::function<bool()>& deliver) {
    try {
        return deliver();
    } catch (const std::exception& error) {
        HandleException(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        HandleException(tr("An unexpected error occurred."));
    }
    return false;
}

void TApplication::HandleException(const QString& text) {
    if (Presenter()) {
        Presenter()(text);
        return;
    }
    if (MainForm && MainForm->MsgBox) {
        MainForm->MsgBox->ShowDialog(text, mkError, {mbOK}, 0);
        return;
    }
    TMessageBox box;
    box.MessageFont = box.ButtonFont = TMessageBox::ProgramFont();
    box.ShowDialog(text, mkError, {mbOK}, 0);
}

void TApplication::HandleExceptionLater(const QString& text) {
    if (PendingTexts().contains(text)) return;
    PendingTexts().insert(text);
    QTimer::singleShot(0, QCoreApplication::instance(), [text] {
        PendingTexts().remove(text);
        HandleException(text);
    });
}

void TApplication::SetErrorPresenter(std::function<void(const QString&)> presenter) {
    Presenter() = std::move(presenter);
}
