#pragma once
// The File and Tools menu commands on data sets themselves: saving them (FCS,
// text, gate table, cluster table, multipage images), protocols, pictures and
// frame directories, breeding gates, gate tables as columns and deleting
// channels. A "...Dialog" command asks for what it needs and works on the
// selection; the others do the work without a dialog and raise OrvalaError,
// which the menu entries show.
#include <QString>
#include <vector>

namespace orvala {

class SaveTextOptionsDialog;
class TData;
class Workbench;

namespace DataSetCommands {

// "Save As FCS": writes data as an FCS file.
void SaveAsFcs(const TData& data, const QString& fileName);
void SaveAsFcsDialog(Workbench& w);
// "Save As TXT": writes data's table, scaled to 0..1023 when asked.
void SaveAsTxt(const TData& data, const QString& fileName, bool scaled);
// options asks first whether the values are written scaled.
void SaveAsTxtDialog(Workbench& w, SaveTextOptionsDialog& options);
// "Save Gate Table": writes the 0/1 membership table of data's offspring.
void SaveGateTable(const TData& data, const QString& fileName);
void SaveGateTableDialog(Workbench& w);
// "Save For Cluster": the cluster table of each selected data set, beside its file.
void SaveForCluster(Workbench& w);

// "Save Protocol": writes the gate tree under base.
void SaveProtocol(TData& base, const QString& fileName);
void SaveProtocolDialog(Workbench& w);
// "Load Protocol": replays a protocol on base, adds the new data sets and
// rebuilds the tree; returns them in file order.
std::vector<TData*> LoadProtocol(Workbench& w, TData& base, const QString& fileName);
void LoadProtocolDialog(Workbench& w);

// "Open Picture": adds the picture data set of a file, opens its image
// window and returns it.
TData* OpenPicture(Workbench& w, const QString& fileName);
void OpenPictureDialog(Workbench& w);
// "Open Multipage Image" / "Open Kodak Multipage": loads a frame directory
// with the progress window ("Stop" cancels: nothing is added, nil returned).
TData* OpenMultipage(Workbench& w, const QString& dir, bool kodak);
void OpenMultipageDialog(Workbench& w, bool kodak);
// "Save as Multipage Image": writes every data set to the one directory name.
void SaveMultipage(const std::vector<TData*>& data, const QString& name);
void SaveMultipageDialog(Workbench& w);

// "Breed gates": the gates under source are copied onto every other root.
int BreedGates(Workbench& w, TData* source);
// "Add Gate Table To Data Table" on each data set.
void AddGateTables(Workbench& w, const std::vector<TData*>& data);
// "Delete channels": for each selected data set, a derived one without the
// channels the user unticks.
void DeleteChannels(Workbench& w);

}  // namespace DataSetCommands

}  // namespace orvala
