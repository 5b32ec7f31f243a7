// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/QtUserInterface.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>
#include <QWidget>

#include "gui/ControlName.h"

namespace tavrisk {

namespace {

QMessageBox::Icon IconOf(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Stop:
            return QMessageBox::Critical;
        case MessageIcon::Question:
            return QMessageBox::Question;
        case MessageIcon::Exclamation:
            return QMessageBox::Warning;
        case MessageIcon::None:
            return QMessageBox::NoIcon;
        case MessageIcon::Information:
            break;
    }
    return QMessageBox::Information;
}

}  // namespace

QtUserInterface::QtUserInterface()
    : messageHandler(
          [this](const std::string& text, const std::string& title, MessageButtons buttons,
                 MessageIcon icon) { return ShowMessageBox(text, title, buttons, icon); }) {}

QtUserInterface::~QtUserInterface() {
    SetBusy(false);
}

void QtUserInterface::Attach(QWidget* view, Refresher onChange) {
    window = view;
    refresher = std::move(onChange);
}

bool QtUserInterface::OnWindowThread() {
    return QThread::currentThread() == QCoreApplication::instance()->thread();
}

MessageAnswer QtUserInterface::MessageBox(std::string_view text, std::string_view title,
                                          MessageButtons buttons, MessageIcon icon) {
    std::string message(text), caption(title);
    if (OnWindowThread()) return messageHandler(message, caption, buttons, icon);
    // Another thread cannot wait for the user: the box is shown later on the window's thread
    // (dropped with the window) and the question is answered "Cancel", which never destroys
    // anything.
    if (window)
        QMetaObject::invokeMethod(
            window.data(),
            [this, message, caption, buttons, icon] {
                messageHandler(message, caption, buttons, icon);
            },
            Qt::QueuedConnection);
    return buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::Cancel;
}

MessageAnswer QtUserInterface::ShowMessageBox(const std::string& text, const std::string& title,
                                              MessageButtons buttons, MessageIcon icon) {
    QMessageBox box(
        IconOf(icon), QString::fromStdString(title), QString::fromStdString(text),
        buttons == MessageButtons::Ok ? QMessageBox::Ok : QMessageBox::Ok | QMessageBox::Cancel,
        window);
    box.setWindowModality(Qt::ApplicationModal);
    return box.exec() == QMessageBox::Ok ? MessageAnswer::Ok : MessageAnswer::Cancel;
}

void QtUserInterface::ControlChanged(int controlId) {
    if (!window || !refresher) return;
    if (OnWindowThread()) {
        refresher(controlId);
        return;
    }
    QPointer<QWidget> target = window;
    Refresher redraw = refresher;
    QMetaObject::invokeMethod(
        window.data(),
        [target, redraw, controlId] {
            if (target) redraw(controlId);
        },
        Qt::QueuedConnection);
}

void QtUserInterface::Post(std::function<void()> task) {
    if (OnWindowThread()) {
        task();
        return;
    }
    if (window) QMetaObject::invokeMethod(window.data(), std::move(task), Qt::QueuedConnection);
}

void QtUserInterface::FocusControl(int controlId) {
    if (!window || !OnWindowThread()) return;
    QWidget* control = window->findChild<QWidget*>(ControlName(controlId));
    if (!control) return;
    control->setFocus(Qt::OtherFocusReason);
    if (auto* edit = qobject_cast<QLineEdit*>(control)) edit->selectAll();
}

void QtUserInterface::PumpMessages() {
    if (OnWindowThread()) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtUserInterface::SetBusy(bool on) {
    if (on == busy || !qApp) return;
    busy = on;
    if (on)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

}  // namespace tavrisk
