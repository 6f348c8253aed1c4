#include "ui/DeviceEvent.h"

bool DeviceEvent::IsDeviceEvent(QEvent::Type type) {
    switch (static_cast<int>(type)) {
    case WM_LOG_SEND:
    case WM_LOG_RECV:
    case WM_DEVICE_STATE:
    case WM_DEVICE_LOG:
    case WM_DEVICE_COIL:
    case WM_DEVICE_INPUT:
    case WM_DEVICE_HEARTBEAT:
        return true;
    default:
        return false;
    }
}
