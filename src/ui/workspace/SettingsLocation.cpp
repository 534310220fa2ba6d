#include "SettingsLocation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace orvala {

SettingsLocation settingsLocation(const QString& programFile, const QString& configRoot)
{
    const QFileInfo program(programFile);
    const QString n = program.completeBaseName();
    SettingsLocation where;
    where.userFile = QDir(QDir(configRoot).filePath(n)).filePath(n + QStringLiteral(".ini"));
    where.besideFile = program.dir().filePath(n + QStringLiteral(".ini"));
    return where;
}

SettingsLocation defaultSettingsLocation()
{
    return settingsLocation(QCoreApplication::applicationFilePath(),
                            QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
}

QString prepareSettingsFile(const SettingsLocation& where)
{
    const QFileInfo user(where.userFile);
    QDir().mkpath(user.absolutePath());
    if (!user.exists() && QFileInfo::exists(where.besideFile)) {
        QFile::copy(where.besideFile, where.userFile);
        // A copy of a read-only default would stay read-only.
        QFile::setPermissions(where.userFile, QFile::permissions(where.userFile) | QFile::WriteOwner | QFile::ReadOwner);
    }
    QFile probe(where.userFile);
    if (probe.open(QIODevice::ReadWrite)) return where.userFile;
    return where.besideFile;
}

}  // namespace orvala
