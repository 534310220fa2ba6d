#pragma once
// The program's settings file: an INI profile of sections with key=value lines.
// Section and key names compare ignoring ASCII case, as the profile files this
// format comes from do ("main" and "Main" are one section). Values are kept as
// the file's bytes. Every write goes to disk at once, so a crash loses nothing.
#include <QByteArray>
#include <QString>
#include <vector>

namespace orvala {

class IniFile {
public:
    IniFile() = default;
    // Reads path when it exists; later writes go to path.
    explicit IniFile(const QString& path);

    const QString& fileName() const { return path_; }

    QString ReadString(const QString& section, const QString& key, const QString& fallback) const;
    // Integers and floats are read with "." as decimal separator whatever the locale;
    // a value that is not a number yields fallback.
    int ReadInteger(const QString& section, const QString& key, int fallback) const;
    double ReadFloat(const QString& section, const QString& key, double fallback) const;
    // "1"/"true" and "0"/"false" (any case); any other integer counts as true when non-zero.
    bool ReadBool(const QString& section, const QString& key, bool fallback) const;
    bool ValueExists(const QString& section, const QString& key) const;
    bool SectionExists(const QString& section) const;

    // Replaces the first matching key of the first matching section, else appends.
    // Returns false when the file could not be written (the value is kept in memory).
    bool WriteString(const QString& section, const QString& key, const QString& value);
    bool WriteInteger(const QString& section, const QString& key, int value);
    bool WriteFloat(const QString& section, const QString& key, double value);
    bool WriteBool(const QString& section, const QString& key, bool value);

    // The whole file as it would be written (CR LF line ends).
    QByteArray serialize() const;

private:
    struct Entry {
        QByteArray key;
        QByteArray value;
    };
    struct Section {
        QByteArray name;
        std::vector<Entry> entries;
    };
    const Entry* find(const QString& section, const QString& key) const;
    bool save() const;

    QString path_;
    std::vector<Section> sections_;
};

}  // namespace orvala
