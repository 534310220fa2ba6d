#include "FileDialogs.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>

namespace orvala {

QString qtFilter(const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        out << parts[i] + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    return out.join(QStringLiteral(";;"));
}

QString askSaveName(QWidget* parent, const QString& proposed, const QString& filter, const QString& suffix)
{
    QFileDialog dlg(parent);
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setNameFilter(qtFilter(filter));
    dlg.setDefaultSuffix(suffix);
    const QFileInfo info(proposed);
    if (info.path() != QStringLiteral(".")) dlg.setDirectory(info.path());
    dlg.selectFile(info.fileName());
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return QString();
    return dlg.selectedFiles().first();
}

std::string nativeName(const QString& name) { return QFile::encodeName(name).toStdString(); }

}  // namespace orvala
