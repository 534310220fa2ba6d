#include "IniFile.h"

#include <QFile>
#include <QLocale>
#include <QSaveFile>

namespace orvala {

namespace {

// Profile files are 8-bit text: names and values are shown as UTF-8 when they
// are valid UTF-8, else as Latin-1, and written back the same way.
QString fromBytes(const QByteArray& bytes)
{
    QString s = QString::fromUtf8(bytes);
    if (s.toUtf8() != bytes) return QString::fromLatin1(bytes);
    return s;
}

QByteArray toBytes(const QString& text) { return text.toUtf8(); }

bool sameName(const QByteArray& a, const QString& b)
{
    return fromBytes(a).compare(b.trimmed(), Qt::CaseInsensitive) == 0;
}

}  // namespace

IniFile::IniFile(const QString& path) : path_(path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return;
    const QByteArray all = f.readAll();
    Section* current = nullptr;
    for (QByteArray line : all.split('\n')) {
        if (line.endsWith('\r')) line.chop(1);
        const QByteArray t = line.trimmed();
        if (t.isEmpty() || t.startsWith(';')) continue;
        if (t.startsWith('[') && t.endsWith(']')) {
            const QByteArray name = t.mid(1, t.size() - 2).trimmed();
            current = nullptr;
            for (Section& s : sections_)
                if (sameName(s.name, fromBytes(name))) current = &s;
            if (!current) {
                sections_.push_back({name, {}});
                current = &sections_.back();
            }
            continue;
        }
        const int eq = t.indexOf('=');
        if (eq <= 0 || !current) continue;
        current->entries.push_back({t.left(eq).trimmed(), t.mid(eq + 1)});
    }
}

const IniFile::Entry* IniFile::find(const QString& section, const QString& key) const
{
    for (const Section& s : sections_) {
        if (!sameName(s.name, section)) continue;
        for (const Entry& e : s.entries)
            if (sameName(e.key, key)) return &e;
    }
    return nullptr;
}

bool IniFile::ValueExists(const QString& section, const QString& key) const { return find(section, key) != nullptr; }

bool IniFile::SectionExists(const QString& section) const
{
    for (const Section& s : sections_)
        if (sameName(s.name, section)) return true;
    return false;
}

QString IniFile::ReadString(const QString& section, const QString& key, const QString& fallback) const
{
    const Entry* e = find(section, key);
    return e ? fromBytes(e->value) : fallback;
}

int IniFile::ReadInteger(const QString& section, const QString& key, int fallback) const
{
    const Entry* e = find(section, key);
    if (!e) return fallback;
    bool ok = false;
    const QByteArray v = e->value.trimmed();
    // Hexadecimal as profile readers accept it ("$FF" or "0xFF").
    int n = 0;
    if (v.startsWith('$'))
        n = v.mid(1).toInt(&ok, 16);
    else if (v.startsWith("0x") || v.startsWith("0X"))
        n = v.mid(2).toInt(&ok, 16);
    else
        n = QLocale::c().toInt(QString::fromLatin1(v), &ok);
    return ok ? n : fallback;
}

double IniFile::ReadFloat(const QString& section, const QString& key, double fallback) const
{
    const Entry* e = find(section, key);
    if (!e) return fallback;
    bool ok = false;
    const double v = QLocale::c().toDouble(QString::fromLatin1(e->value.trimmed()), &ok);
    return ok ? v : fallback;
}

bool IniFile::ReadBool(const QString& section, const QString& key, bool fallback) const
{
    const Entry* e = find(section, key);
    if (!e) return fallback;
    const QByteArray v = e->value.trimmed().toLower();
    if (v == "true") return true;
    if (v == "false") return false;
    bool ok = false;
    const int n = v.toInt(&ok);
    return ok ? n != 0 : fallback;
}

bool IniFile::WriteString(const QString& section, const QString& key, const QString& value)
{
    Section* target = nullptr;
    for (Section& s : sections_)
        if (sameName(s.name, section)) {
            target = &s;
            break;
        }
    if (!target) {
        sections_.push_back({toBytes(section), {}});
        target = &sections_.back();
    }
    const QByteArray bytes = toBytes(value);
    bool replaced = false;
    for (Entry& e : target->entries)
        if (sameName(e.key, key)) {
            e.value = bytes;
            replaced = true;
            break;
        }
    if (!replaced) target->entries.push_back({toBytes(key), bytes});
    return save();
}

bool IniFile::WriteInteger(const QString& section, const QString& key, int value)
{
    return WriteString(section, key, QString::number(value));
}

bool IniFile::WriteFloat(const QString& section, const QString& key, double value)
{
    return WriteString(section, key, QLocale::c().toString(value, 'g', 17));
}

bool IniFile::WriteBool(const QString& section, const QString& key, bool value)
{
    return WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

QByteArray IniFile::serialize() const
{
    QByteArray out;
    bool first = true;
    for (const Section& s : sections_) {
        if (!first) out += "\r\n";
        first = false;
        out += '[' + s.name + "]\r\n";
        for (const Entry& e : s.entries) out += e.key + '=' + e.value + "\r\n";
    }
    return out;
}

bool IniFile::save() const
{
    if (path_.isEmpty()) return false;
    QSaveFile f(path_);
    if (!f.open(QIODevice::WriteOnly)) return false;
    f.write(serialize());
    return f.commit();
}

}  // namespace orvala
