#pragma once

#include <cstdint>
#include <string>

#include "device/Device.h"
#include "device/DeviceConfig.h"
#include "support/SimProcess.h"

// Points a Device at a running simulator: settings for the transport kind and protocol,
// with time-outs generous enough for a loaded machine.
DeviceConfig SimDeviceConfig(const SimProcess &sim, CommType commType, ProtocolType protocol);
// Hands the settings to the device the way the window does: the protocol object is
// installed under the device's lock first, then the settings.
void ApplyConfig(Device &device, const DeviceConfig &config);
// The device's cached states as words, bit k = point k.
uint32_t CachedCoilWord(Device &device);
uint32_t CachedInputWord(Device &device);

const char *CommName(CommType type);
const char *ProtocolName(ProtocolType type);
