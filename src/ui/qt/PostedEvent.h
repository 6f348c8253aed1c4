#pragma once

#include <QEvent>

#include "dialog/WindowMessage.h"

// A window message on its way through the Qt event queue to the window that posted it. The
// event owns its copy of the message, so the line is freed with the event whether or not it
// is ever delivered.
class PostedEvent : public QEvent {
public:
    explicit PostedEvent(WindowMessage message) : QEvent(Type()), m_message(std::move(message)) {}

    const WindowMessage& Message() const { return m_message; }
    // The event type of every PostedEvent, registered with Qt once.
    static QEvent::Type Type() {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }

private:
    WindowMessage m_message;
};
