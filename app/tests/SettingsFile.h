// For window tests: a settings file of their own.
#pragma once

#include <QTemporaryDir>
#include <string>

#include "korvo/appcore/SettingsPath.h"

namespace korvotest {

// A settings file of its own in a fresh folder, where the window looks for
// "Account.ini" while this object lives.
class SettingsFile {
public:
    SettingsFile() : m_path(m_dir.filePath("Account.ini").toStdString()) { korvo::SetSettingsPathOverride(m_path); }
    ~SettingsFile() { korvo::SetSettingsPathOverride({}); }
    SettingsFile(const SettingsFile&) = delete;
    SettingsFile& operator=(const SettingsFile&) = delete;

    bool IsValid() const { return m_dir.isValid(); }
    const std::string& Path() const { return m_path; }
    QString Folder() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    std::string m_path;
};

}  // namespace korvotest
