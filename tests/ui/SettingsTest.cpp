// The settings file: where it lives, how it is seeded, and the INI layer.
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>
#include <clocale>

#include "ui/common/IniFile.h"
#include "ui/workspace/SettingsLocation.h"

using namespace orvala;

namespace {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

class SettingsTest : public QObject {
    Q_OBJECT
private slots:
    void locationIsNamedAfterTheProgram()
    {
        const SettingsLocation where = settingsLocation(QStringLiteral("/opt/orvala/bin/orvala"), QStringLiteral("/home/u/.config"));
        QCOMPARE(where.userFile, QStringLiteral("/home/u/.config/orvala/orvala.ini"));
        QCOMPARE(where.besideFile, QStringLiteral("/opt/orvala/bin/orvala.ini"));
    }

    void besideFileSeedsTheUserFileOnceAndNeverAgain()
    {
        QTemporaryDir tmp;
        const SettingsLocation where = settingsLocation(tmp.filePath(QStringLiteral("bin/orvala")), tmp.filePath(QStringLiteral("config")));
        writeFile(where.besideFile, "[Main]\r\nTop=5\r\n");

        QCOMPARE(prepareSettingsFile(where), where.userFile);
        QCOMPARE(readFile(where.userFile), QByteArray("[Main]\r\nTop=5\r\n"));

        // The user's own changes survive later starts, and a newer default does not replace them.
        IniFile(where.userFile).WriteInteger(QStringLiteral("Main"), QStringLiteral("Left"), 9);
        writeFile(where.besideFile, "[Main]\r\nTop=77\r\n");
        QCOMPARE(prepareSettingsFile(where), where.userFile);
        IniFile ini(where.userFile);
        QCOMPARE(ini.ReadInteger(QStringLiteral("Main"), QStringLiteral("Top"), 0), 5);
        QCOMPARE(ini.ReadInteger(QStringLiteral("Main"), QStringLiteral("Left"), 0), 9);
    }

    void missingFilesAreCreated()
    {
        QTemporaryDir tmp;
        const SettingsLocation where = settingsLocation(tmp.filePath(QStringLiteral("bin/orvala")), tmp.filePath(QStringLiteral("new/config")));
        QCOMPARE(prepareSettingsFile(where), where.userFile);
        QVERIFY(QFileInfo::exists(where.userFile));
        QVERIFY(!QFileInfo::exists(where.besideFile));
    }

    void fallsBackToTheBesideFileWhenTheUserFileCannotBeOpened()
    {
        QTemporaryDir tmp;
        // A plain file where the configuration folder should be: nothing can be created below it.
        writeFile(tmp.filePath(QStringLiteral("config")), "not a folder");
        const SettingsLocation where = settingsLocation(tmp.filePath(QStringLiteral("bin/orvala")), tmp.filePath(QStringLiteral("config")));
        writeFile(where.besideFile, "[Main]\r\nTop=3\r\n");
        QCOMPARE(prepareSettingsFile(where), where.besideFile);
    }

    void sectionsAndKeysIgnoreCase()
    {
        QTemporaryDir tmp;
        const QString path = tmp.filePath(QStringLiteral("s.ini"));
        writeFile(path, "[main]\nCopyLeft=0\n\n[Main]\nTop=12\n[SelectedPars]\nch2=1\n");
        IniFile ini(path);
        QCOMPARE(ini.ReadBool(QStringLiteral("Main"), QStringLiteral("CopyLeft"), true), false);
        QCOMPARE(ini.ReadInteger(QStringLiteral("MAIN"), QStringLiteral("top"), 0), 12);
        QCOMPARE(ini.ReadBool(QStringLiteral("selectedpars"), QStringLiteral("CH2"), false), true);
        QCOMPARE(ini.ReadString(QStringLiteral("Main"), QStringLiteral("OpenPath"), QStringLiteral("dflt")), QStringLiteral("dflt"));

        ini.WriteInteger(QStringLiteral("MAIN"), QStringLiteral("TOP"), 13);
        ini.WriteString(QStringLiteral("Protocol"), QStringLiteral("Directory"), QStringLiteral("/p"));
        // One section for "main" and "Main", the key keeps its first spelling, CR LF lines.
        QCOMPARE(readFile(path), QByteArray("[main]\r\nCopyLeft=0\r\nTop=13\r\n\r\n[SelectedPars]\r\nch2=1\r\n\r\n"
                                            "[Protocol]\r\nDirectory=/p\r\n"));
    }

    void numbersUseADotUnderACommaLocale()
    {
        QTemporaryDir tmp;
        const QString path = tmp.filePath(QStringLiteral("n.ini"));
        const QLocale previous;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        const std::string cLocale = std::setlocale(LC_NUMERIC, nullptr);
        const bool german = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
        {
            IniFile ini(path);
            ini.WriteFloat(QStringLiteral("Calc"), QStringLiteral("Level"), 1234.5);
        }
        QCOMPARE(readFile(path), QByteArray("[Calc]\r\nLevel=1234.5\r\n"));
        writeFile(path, "[Calc]\r\nLevel=2.25\r\nBad=2,25\r\n");
        IniFile ini(path);
        QCOMPARE(ini.ReadFloat(QStringLiteral("Calc"), QStringLiteral("Level"), 0), 2.25);
        QCOMPARE(ini.ReadFloat(QStringLiteral("Calc"), QStringLiteral("Bad"), -1), -1.0);
        std::setlocale(LC_NUMERIC, cLocale.c_str());
        QLocale::setDefault(previous);
        if (!german) qInfo("de_DE.UTF-8 is not installed: only Qt's default locale was switched to German");
    }

    void eightBitValuesRoundTrip()
    {
        QTemporaryDir tmp;
        const QString path = tmp.filePath(QStringLiteral("b.ini"));
        writeFile(path, "[Main]\r\nOpenPath=C:\\Daten\\M\xfc" "ller\r\n");
        IniFile ini(path);
        QCOMPARE(ini.ReadString(QStringLiteral("Main"), QStringLiteral("OpenPath"), QString()),
                 QStringLiteral("C:\\Daten\\M\u00fcller"));
    }
};

int runSettingsTests(int argc, char** argv)
{
    SettingsTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "SettingsTest.moc"
