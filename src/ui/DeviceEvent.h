#pragma once

#include <QEvent>
#include <QString>

#include <cstdint>
#include <utility>

// The messages that the main dialog posts to itself, numbered after the window messages
// they stand for (the user range plus 0x464 for the send pane's line, and so on).
constexpr QEvent::Type WM_LOG_SEND = static_cast<QEvent::Type>(QEvent::User + 0x464);
constexpr QEvent::Type WM_LOG_RECV = static_cast<QEvent::Type>(QEvent::User + 0x465);
constexpr QEvent::Type WM_DEVICE_STATE = static_cast<QEvent::Type>(QEvent::User + 0x4C8);
constexpr QEvent::Type WM_DEVICE_LOG = static_cast<QEvent::Type>(QEvent::User + 0x4C9);
constexpr QEvent::Type WM_DEVICE_COIL = static_cast<QEvent::Type>(QEvent::User + 0x4CA);
constexpr QEvent::Type WM_DEVICE_INPUT = static_cast<QEvent::Type>(QEvent::User + 0x4CB);
constexpr QEvent::Type WM_DEVICE_HEARTBEAT = static_cast<QEvent::Type>(QEvent::User + 0x4CD);

// One posted message: a device event or a log line. Two integer parameters carry indices,
// states and flags; a log line travels as text owned by the event, so it is freed with
// the event whether or not it is ever handled.
class DeviceEvent : public QEvent {
public:
    // An event without text.
    DeviceEvent(QEvent::Type type, int64_t wParam, int64_t lParam)
        : QEvent(type), m_wParam(wParam), m_lParam(lParam) {}
    // An event carrying one line of text.
    DeviceEvent(QEvent::Type type, int64_t wParam, QString text)
        : QEvent(type), m_wParam(wParam), m_text(std::move(text)), m_hasText(true) {}

    int64_t WParam() const { return m_wParam; }
    int64_t LParam() const { return m_lParam; }
    // False for an event posted without a line: its handler ignores it.
    bool HasText() const { return m_hasText; }
    const QString& Text() const { return m_text; }

    // True for the WM_ types above.
    static bool IsDeviceEvent(QEvent::Type type);

private:
    int64_t m_wParam = 0;
    int64_t m_lParam = 0;
    QString m_text;
    bool m_hasText = false;
};
