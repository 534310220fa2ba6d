#pragma once
// Where the settings file lives. One INI file per user, named after the
// program, in a folder of the same name under the user's configuration
// directory. A file of the same name beside the program is the read-only
// default: it seeds the per-user file once and stands in for it when the
// per-user file cannot be opened.
#include <QString>

namespace orvala {

struct SettingsLocation {
    QString userFile;    // <config>/<N>/<N>.ini
    QString besideFile;  // <program dir>/<N>.ini
};

// Locations for a program file (its name without extension is N) under the
// configuration directory configRoot.
SettingsLocation settingsLocation(const QString& programFile, const QString& configRoot);
// The same for the running program and QStandardPaths' configuration directory.
SettingsLocation defaultSettingsLocation();

// Creates the per-user folder when missing, copies the beside file there when
// the per-user file does not exist yet (never overwriting one), and returns
// the file to use: the per-user file when it can be opened for writing, else
// the beside file.
QString prepareSettingsFile(const SettingsLocation& where);

}  // namespace orvala
