#include "GatingMlCommands.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <memory>

#include "core/TData.h"
#include "gatingml/GmlDocument.h"
#include "gatingml/GmlExport.h"
#include "gatingml/GmlImport.h"
#include "ui/common/DataListWindow.h"
#include "ui/common/IniFile.h"
#include "ui/common/Workbench.h"

namespace orvala::GatingMlCommands {

namespace {

const QString Section = QStringLiteral("Gating-ML");
const QString Folder = QStringLiteral("Directory");
const QStringList Filters = {QStringLiteral("Gating-ML (*.xml)"), QStringLiteral("All files (*)")};

std::string native(const QString& fileName) { return QFile::encodeName(fileName).toStdString(); }

}  // namespace

std::vector<TData*> Import(Workbench& window, TData& base, const QString& fileName)
{
    auto doc = std::make_shared<const GmlDocument>(ReadGatingMlFile(native(fileName)));
    const GmlImportResult result = ImportGatingMl(base, doc);
    window.dataList()->Rebuild();
    base.Announce();
    return result.added;
}

void ImportDialog(Workbench& window)
{
    DataListWindow* box = window.dataList();
    if (box->SelectionCount() == 0) return;
    TData* base = box->GetSelected(0);
    IniFile& settings = window.settings();
    const QString folder = settings.ReadString(Section, Folder, QString());
    const QString name = QFileDialog::getOpenFileName(window.dialogParent(), QStringLiteral("Import Gating-ML"), folder,
                                                      Filters.join(QStringLiteral(";;")));
    if (name.isEmpty()) return;
    settings.WriteString(Section, Folder, QFileInfo(name).absolutePath());
    Import(window, *base, name);
}

void Export(const TData& base, const QString& fileName) { ExportGatingMlFile(base, native(fileName)); }

void ExportDialog(Workbench& window)
{
    DataListWindow* box = window.dataList();
    if (box->SelectionCount() == 0) return;
    const TData* base = box->GetSelected(0);
    IniFile& settings = window.settings();
    const QString folder = settings.ReadString(Section, Folder, QString());
    const QString proposed = QString::fromStdString(base->ShortName()) + QStringLiteral(".xml");
    const QString name =
        QFileDialog::getSaveFileName(window.dialogParent(), QStringLiteral("Export Gating-ML"),
                                     folder.isEmpty() ? proposed : QDir(folder).filePath(proposed),
                                     Filters.join(QStringLiteral(";;")));
    if (name.isEmpty()) return;
    settings.WriteString(Section, Folder, QFileInfo(name).absolutePath());
    Export(*base, name);
}

}  // namespace orvala::GatingMlCommands
