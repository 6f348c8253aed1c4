#include "dialog/IniSettingsStore.h"

#include <filesystem>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

namespace {

std::string Trim(const std::string& text) {
    const char* blanks = " \t\r";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::string Escape(const std::string& value) {
    std::string out;
    for (char c : value) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string Unescape(const std::string& value) {
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        const char next = value[++i];
        switch (next) {
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        case '\\':
            out += '\\';
            break;
        default: // not an escape of ours: kept as written
            out += '\\';
            out += next;
        }
    }
    return out;
}

} // namespace

IniSettingsStore::IniSettingsStore(std::string path) : m_path(std::move(path)) {}

bool IniSettingsStore::Load() {
    m_values.clear();
    std::ifstream file(fs::u8path(m_path), std::ios::binary);
    if (!file)
        return false;
    std::string content(kMaxFileBytes, '\0');
    file.read(content.data(), static_cast<std::streamsize>(content.size()));
    content.resize(static_cast<size_t>(file.gcount()));

    std::string section;
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find('\n', start);
        if (end == std::string::npos)
            end = content.size();
        const std::string line = Trim(content.substr(start, end - start));
        start = end + 1;
        if (line.empty() || line[0] == ';' || line[0] == '#')
            continue;
        if (line.front() == '[' && line.back() == ']') {
            section = Trim(line.substr(1, line.size() - 2));
            continue;
        }
        const size_t equals = line.find('=');
        if (equals == std::string::npos || equals == 0)
            continue;
        const std::string name = Trim(line.substr(0, equals));
        if (name.empty())
            continue;
        // The value keeps its blanks except those Trim took from the line's end.
        const std::string value = Unescape(line.substr(equals + 1));
        m_values[section.empty() ? name : section + "/" + name] = value;
    }
    return true;
}

bool IniSettingsStore::Read(const std::string& key, std::string& value) const {
    const auto it = m_values.find(key);
    if (it == m_values.end())
        return false;
    value = it->second;
    return true;
}

void IniSettingsStore::Write(const std::string& key, const std::string& value) {
    m_values[key] = value;
}

void IniSettingsStore::Clear() {
    m_values.clear();
}

bool IniSettingsStore::Sync() {
    // Keys sort by section because the section is their prefix; top-level keys (no '/')
    // are written first.
    std::string top;
    std::string sections;
    std::string current;
    for (const auto& [key, value] : m_values) {
        const size_t slash = key.rfind('/');
        if (slash == std::string::npos) {
            top += key + "=" + Escape(value) + "\n";
            continue;
        }
        const std::string section = key.substr(0, slash);
        if (section != current || sections.empty()) {
            sections += (sections.empty() ? "[" : "\n[") + section + "]\n";
            current = section;
        }
        sections += key.substr(slash + 1) + "=" + Escape(value) + "\n";
    }
    const std::string content = top + (top.empty() || sections.empty() ? "" : "\n") + sections;

    std::error_code error;
    const fs::path target = fs::u8path(m_path);
    if (target.has_parent_path() && !fs::is_directory(target.parent_path(), error) &&
        !fs::create_directories(target.parent_path(), error))
        return false;
    fs::path temporary = target;
    temporary += ".tmp";
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        file.write(content.data(), static_cast<std::streamsize>(content.size()));
        file.close();
        if (!file) {
            fs::remove(temporary, error);
            return false;
        }
    }
    fs::rename(temporary, target, error);
    if (error) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        return false;
    }
    return true;
}
