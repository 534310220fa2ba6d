#include "GatingMlCommands.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <memory>

#include "IniFile.h"
#include "MainWindow.h"
#include "TDataBox.h"
#include "core/TData.h"
#include "gatingml/GmlDocument.h"
#include "gatingml/GmlExport.h"
#include "gatingml/GmlImport.h"

namespace orvala::GatingMlCommands {

namespace {

const QString Section = QStringLiteral("Gating-ML");
const QString Folder = QStringLiteral("Directory");
const QStringList Filters = {QStringLiteral("Gating-ML (*.xml)"), QStringLiteral("All files (*)")};

std::string native(const QString& fileName) { return QFile::encodeName(fileName).toStdString(); }

}  // namespace

std::vector<TData*> Import(MainWindow& window, TData& base, const QString& fileName)
{
    auto doc = std::make_shared<const GmlDocument>(ReadGatingMlFile(native(fileName)));
    const GmlImportResult result = ImportGatingMl(base, doc);
    window.dataBox()->Rebuild();
    base.Announce();
    return result.added;
}

void ImportDialog(MainWindow& window)
{
    TDataBox* box = window.dataBox();
    if (box->SelectionCount() == 0) return;
    TData* base = box->GetSelected(0);
    IniFile& settings = window.settings();
    const QString folder = settings.ReadString(Section, Folder, QString());
    const QString name = QFileDialog::getOpenFileName(&window, QStringLiteral("Import Gating-ML"), folder,
                                                      Filters.join(QStringLiteral(";;")));
    if (name.isEmpty()) return;
    settings.WriteString(Section, Folder, QFileInfo(name).absolutePath());
    Import(window, *base, name);
}

void Export(const TData& base, const QString& fileName) { ExportGatingMlFile(base, native(fileName)); }

void ExportDialog(MainWindow& window)
{
    TDataBox* box = window.dataBox();
    if (box->SelectionCount() == 0) return;
    const TData* base = box->GetSelected(0);
    IniFile& settings = window.settings();
    const QString folder = settings.ReadString(Section, Folder, QString());
    const QString proposed = QString::fromStdString(base->ShortName()) + QStringLiteral(".xml");
    const QString name =
        QFileDialog::getSaveFileName(&window, QStringLiteral("Export Gating-ML"),
                                     folder.isEmpty() ? proposed : QDir(folder).filePath(proposed),
                                     Filters.join(QStringLiteral(";;")));
    if (name.isEmpty()) return;
    settings.WriteString(Section, Folder, QFileInfo(name).absolutePath());
    Export(*base, name);
}

}  // namespace orvala::GatingMlCommands
