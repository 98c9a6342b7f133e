#pragma once

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <QWheelEvent>
#include <cstdlib>
#include <functional>
#include <string>

#include "common/EventLoopWait.h"
#include "htmlview/HtmlView.h"

namespace htmlview_testing {

// Handles events until the condition holds; false after the time-out.
inline bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 20000) {
    return testing_support::WaitUntil(condition, std::chrono::milliseconds(timeoutMs));
}

// Runs what is queued already (posted events, zero timers).
inline void Settle() {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

// The view as drawn once what is queued has run.
inline QImage Shot(THtmlView& view) {
    Settle();
    return view.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

inline void Load(THtmlView& view, const std::string& html) {
    view.LoadBuffer(html.data(), static_cast<int64_t>(html.size()), "");
}

// A view as the program's owners set it up: no frame, no scroll bars of its own.
inline void Configure(THtmlView& view, int width = 400, int height = 300) {
    view.SetBorderStyle(TBorderStyle::bsNone);
    view.SetScrollBars(TScrollStyle::ssNone);
    view.SetDefBackground(QColor(Qt::white));
    view.resize(width, height);
    view.show();
    Settle();
}

inline void Click(QWidget* target, QPoint at, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    const QPointF local(at), global(target->mapToGlobal(at));
    QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton, modifiers);
    QApplication::sendEvent(target, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton, modifiers);
    QApplication::sendEvent(target, &release);
}

inline void Drag(QWidget* target, QPoint from, QPoint to) {
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(from), QPointF(target->mapToGlobal(from)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    QMouseEvent move(QEvent::MouseMove, QPointF(to), QPointF(target->mapToGlobal(to)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &move);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(to), QPointF(target->mapToGlobal(to)),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(target, &release);
}

inline void Key(QWidget* target, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
                const QString& text = {}) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
    QApplication::sendEvent(target, &release);
}

inline void Wheel(QWidget* target, int delta) {
    const QPointF at(10, 10);
    QWheelEvent event(at, target->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &event);
}

inline QByteArray Picture(int width, int height, QColor color, const char* format = "PNG") {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

inline std::string DataUri(const QByteArray& bytes, const char* type = "image/png") {
    return std::string("data:") + type + ";base64," + bytes.toBase64().toStdString();
}

// The samples beside this file, or those of the folder QUORVEL_SAMPLES names (for comparing a few
// messages with a browser).
inline std::string SamplePath(const std::string& name) {
    if (const char* folder = std::getenv("QUORVEL_SAMPLES"); folder && *folder)
        return std::string(folder) + "/" + name;
    std::string here = __FILE__;
    return here.substr(0, here.find_last_of('/')) + "/samples/" + name;
}

inline std::string ReadSample(const std::string& name) {
    QFile file(QString::fromStdString(SamplePath(name)));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll().toStdString();
}

// Pixels of a colour (within a tolerance) inside a rectangle of a grabbed image.
inline int CountColor(const QImage& image, const QRect& area, QColor color, int tolerance = 40) {
    int count = 0;
    const QRect box = area.intersected(image.rect());
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - color.red()) <= tolerance &&
                std::abs(c.green() - color.green()) <= tolerance &&
                std::abs(c.blue() - color.blue()) <= tolerance)
                ++count;
        }
    return count;
}

// The bounding box of the pixels of a colour, empty when there are none.
inline QRect ColorBounds(const QImage& image, QColor color, int tolerance = 40) {
    QRect bounds;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - color.red()) <= tolerance &&
                std::abs(c.green() - color.green()) <= tolerance &&
                std::abs(c.blue() - color.blue()) <= tolerance)
                bounds = bounds.united(QRect(x, y, 1, 1));
        }
    return bounds;
}

}  // namespace htmlview_testing
