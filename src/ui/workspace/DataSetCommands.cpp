#include "DataSetCommands.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

#include "ClusterTable.h"
#include "DeleteChannelsDialog.h"
#include "FileDialogs.h"
#include "SaveTextOptionsDialog.h"
#include "core/TGate.h"
#include "formats/TFCSWrite.h"
#include "formats/images/MultiPage.h"
#include "formats/images/PictureReader.h"
#include "protocol/Protocol.h"
#include "ui/common/DataListWindow.h"
#include "ui/common/IniFile.h"
#include "ui/common/ProgressWindow.h"
#include "ui/common/Workbench.h"
#include "ui/image/ImageCommands.h"

namespace orvala::DataSetCommands {

namespace {

const QString FcsFilter = QStringLiteral("FCS Files (*.fcs)|*.fcs");
const QString TextFilter = QStringLiteral("Text File|*.txt");
const QString ProtocolOpenFilter = QStringLiteral("Protocol File (*.orp)|*.orp");
const QString ProtocolSaveFilter = QStringLiteral("Protol file (*.orp)|*.orp");
const QString PictureFilter = QStringLiteral("Pictures|*.jpg;*.jpeg;*.bmp;*.ico;*.emf;*.wmf");

QString dirOf(const QString& fileName) { return QFileInfo(fileName).absolutePath(); }

}  // namespace

void SaveAsFcs(const TData& data, const QString& fileName) { SaveAsFCS(data, nativeName(fileName)); }

void SaveAsFcsDialog(Workbench& w)
{
    TData* d = w.dataList()->GetSelected(0);
    const QString name = askSaveName(w.dialogParent(), QString::fromStdString(d->FullName()) + QStringLiteral(".fcs"),
                                     FcsFilter, QStringLiteral("fcs"));
    if (!name.isEmpty()) SaveAsFcs(*d, name);
}

void SaveAsTxt(const TData& data, const QString& fileName, bool scaled)
{
    SaveAsTXT(data, nativeName(fileName), scaled);
}

void SaveAsTxtDialog(Workbench& w, SaveTextOptionsDialog& options)
{
    if (options.exec() != QDialog::Accepted) return;
    const bool scaled = options.ItemIndex() == 1;
    for (TData* d : w.dataList()->Selected()) {
        const QString name = askSaveName(w.dialogParent(), QString::fromStdString(d->Path() + d->FullName() + ".txt"),
                                         TextFilter, QStringLiteral("txt"));
        if (!name.isEmpty()) SaveAsTxt(*d, name, scaled);
    }
}

void SaveGateTable(const TData& data, const QString& fileName) { data.SaveGateTable(nativeName(fileName)); }

void SaveGateTableDialog(Workbench& w)
{
    for (TData* d : w.dataList()->Selected()) {
        const QString name =
            askSaveName(w.dialogParent(), QString::fromStdString(d->FullName()), TextFilter, QStringLiteral("txt"));
        if (!name.isEmpty()) SaveGateTable(*d, name);
    }
}

void SaveForCluster(Workbench& w)
{
    for (TData* d : w.dataList()->Selected()) writeClusterTable(*d, d->Path() + d->FullName() + ".txt");
}

void SaveProtocol(TData& base, const QString& fileName) { orvala::SaveProtocol(base, nativeName(fileName)); }

void SaveProtocolDialog(Workbench& w)
{
    DataListWindow* list = w.dataList();
    if (list->SelectionCount() == 0) return;
    TData* base = list->GetSelected(0);
    IniFile& settings = w.settings();
    const QString start = settings.ReadString(QStringLiteral("Protocol"), QStringLiteral("Directory"), QString());
    const QString proposed = QString::fromStdString(base->ShortName()) + QStringLiteral(".orp");
    const QString name = askSaveName(w.dialogParent(), start.isEmpty() ? proposed : QDir(start).filePath(proposed),
                                     ProtocolSaveFilter, QStringLiteral("orp"));
    if (name.isEmpty()) return;
    // The protocol folder is a setting of its own: the dialog's starting
    // folder is written back as it was, whatever folder the user picked.
    settings.WriteString(QStringLiteral("Protocol"), QStringLiteral("Directory"), start);
    SaveProtocol(*base, name);
}

std::vector<TData*> LoadProtocol(Workbench& w, TData& base, const QString& fileName)
{
    DataListWindow* list = w.dataList();
    std::vector<TData*> made;
    // Whatever was replayed before a failure is in the workspace already: the
    // tree shows it either way.
    try {
        made = orvala::LoadProtocol(base, nativeName(fileName), list->datas);
    } catch (...) {
        list->Rebuild();
        throw;
    }
    list->Rebuild();
    base.Announce();
    return made;
}

void LoadProtocolDialog(Workbench& w)
{
    if (w.dataList()->SelectionCount() == 0) return;
    TData* base = w.dataList()->GetSelected(0);
    IniFile& settings = w.settings();
    const QString start = settings.ReadString(QStringLiteral("Protocol"), QStringLiteral("Directory"), QString());
    const QString name = QFileDialog::getOpenFileName(w.dialogParent(), QStringLiteral("Load Protocol"), start,
                                                      qtFilter(ProtocolOpenFilter));
    if (name.isEmpty()) return;
    settings.WriteString(QStringLiteral("Protocol"), QStringLiteral("Directory"), start);
    LoadProtocol(w, *base, name);
}

TData* OpenPicture(Workbench& w, const QString& fileName)
{
    TData* d = orvala::OpenPicture(nativeName(fileName));
    w.dataList()->Add(d);
    ImageCommands::Opened(w, d, fileName);
    return d;
}

void OpenPictureDialog(Workbench& w)
{
    IniFile& settings = w.settings();
    const QString start = settings.ReadString(QStringLiteral("Main"), QStringLiteral("OpenPicturePath"), QString());
    const QString name = QFileDialog::getOpenFileName(w.dialogParent(), QStringLiteral("Open Picture"), start,
                                                      qtFilter(PictureFilter));
    if (name.isEmpty()) return;
    settings.WriteString(QStringLiteral("Main"), QStringLiteral("OpenPicturePath"), dirOf(name));
    OpenPicture(w, name);
}

TData* OpenMultipage(Workbench& w, const QString& dir, bool kodak)
{
    ProgressWindow* progress = w.progress();
    progress->startSteps(QDir::toNativeSeparators(dir));
    const ImageProgress step = [progress](int position, int count) { return progress->step(position, count); };
    TData* d = nullptr;
    try {
        d = kodak ? KodakLoadMultiPage(nativeName(dir), step) : LoadMultiPage(nativeName(dir), step);
    } catch (...) {
        progress->hide();
        throw;
    }
    progress->hide();
    w.dataList()->Add(d);
    ImageCommands::Opened(w, d, dir);
    return d;
}

void OpenMultipageDialog(Workbench& w, bool kodak)
{
    IniFile& settings = w.settings();
    const QString key = kodak ? QStringLiteral("MultiBIP") : QStringLiteral("MultiBMP");
    const QString start = settings.ReadString(QStringLiteral("Main"), key, QString());
    const QString dir =
        QFileDialog::getExistingDirectory(w.dialogParent(), QStringLiteral("Select Multipage Directory"), start);
    if (dir.isEmpty()) return;
    settings.WriteString(QStringLiteral("Main"), key, dir);
    OpenMultipage(w, dir, kodak);
}

void SaveMultipage(const std::vector<TData*>& data, const QString& name)
{
    for (TData* d : data) SaveMultiImg(*d, nativeName(name));
}

void SaveMultipageDialog(Workbench& w)
{
    const QString name = QFileDialog::getSaveFileName(w.dialogParent(), QStringLiteral("Save as Multipage Image"),
                                                      QStringLiteral("New"));
    if (!name.isEmpty()) SaveMultipage(w.dataList()->Selected(), name);
}

int BreedGates(Workbench& w, TData* source)
{
    const int bred = orvala::BreedGates(source);
    w.dataList()->Rebuild();
    return bred;
}

void AddGateTables(Workbench& w, const std::vector<TData*>& data)
{
    for (TData* d : data) d->AddGateTable();
    w.dataList()->Rebuild();
}

void DeleteChannels(Workbench& w)
{
    DataListWindow* list = w.dataList();
    for (TData* d : list->Selected()) {
        DeleteChannelsDialog dlg(d, &w.settings(), w.dialogParent());
        if (dlg.exec() != QDialog::Accepted || dlg.KeptChannels().empty()) continue;
        TGate gate(TGateType::gtSubChannel, TIntVector(dlg.KeptChannels().begin(), dlg.KeptChannels().end()));
        list->Add(TData::Gated(d, &gate));
    }
}

}  // namespace orvala::DataSetCommands
