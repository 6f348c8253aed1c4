#pragma once

#include <QEvent>

#include <functional>

// A task on its way through the Qt event queue to the window that posted it. The event owns
// the task, so whatever it holds is freed with the event whether or not it ever runs.
class PostedEvent : public QEvent {
public:
    explicit PostedEvent(std::function<void()> task) : QEvent(Type()), m_task(std::move(task)) {}

    void Run() const { m_task(); }
    // The event type of every PostedEvent, registered with Qt once.
    static QEvent::Type Type() {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }

private:
    std::function<void()> m_task;
};
