#include "ui/qt/QtSettingsStore.h"

QtSettingsStore::QtSettingsStore(const std::string& path)
    : m_settings(QString::fromStdString(path), QSettings::IniFormat) {}

bool QtSettingsStore::Read(const std::string& key, std::string& value) const {
    const QVariant stored = m_settings.value(QString::fromStdString(key));
    // Only plain text counts: a hand-edited list or a value of another type is ignored.
    if (!stored.isValid() || stored.typeId() != QMetaType::QString)
        return false;
    value = stored.toString().toStdString();
    return true;
}

void QtSettingsStore::Write(const std::string& key, const std::string& value) {
    m_settings.setValue(QString::fromStdString(key), QString::fromStdString(value));
}

void QtSettingsStore::Clear() {
    m_settings.clear();
}

bool QtSettingsStore::Sync() {
    m_settings.sync();
    return m_settings.status() == QSettings::NoError;
}
