#pragma once

#include <string>

// Where the window's remembered settings are kept: flat keys such as "serial/baud" with
// text values. The Qt face keeps them with QSettings; IniSettingsStore keeps them in a
// file. A store checks nothing: its readers treat every value as untrusted text.
class ISettingsStore {
public:
    virtual ~ISettingsStore() = default;

    // The value stored under key; false when there is none (value is then unchanged).
    virtual bool Read(const std::string& key, std::string& value) const = 0;
    // Stores value under key, replacing any earlier value.
    virtual void Write(const std::string& key, const std::string& value) = 0;
    // Forgets every key.
    virtual void Clear() = 0;
    // Makes what was written last durable; false when it could not be saved.
    virtual bool Sync() = 0;
};
