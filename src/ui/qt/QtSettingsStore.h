#pragma once

#include <QSettings>

#include <string>

#include "dialog/ISettingsStore.h"

// The window's remembered settings in a QSettings INI file at a path of the caller's choice.
class QtSettingsStore : public ISettingsStore {
public:
    // path: UTF-8 path of the file; it is read at once and written by Sync.
    explicit QtSettingsStore(const std::string& path);

    bool Read(const std::string& key, std::string& value) const override;
    void Write(const std::string& key, const std::string& value) override;
    void Clear() override;
    // False when the file could not be written.
    bool Sync() override;

private:
    QSettings m_settings;
};
