#pragma once
// The Gating-ML commands of the File menu.
#include <QString>
#include <vector>

namespace orvala {

class Workbench;
class TData;

namespace GatingMlCommands {

// "Import Gating-ML": asks for a document and builds its gates under the
// selected data set; errors go to the command boundary.
void ImportDialog(Workbench& window);

// The import without the dialog: the new data sets, parents before kids.
std::vector<TData*> Import(Workbench& window, TData& base, const QString& fileName);

// "Export Gating-ML": asks for a file name and writes the selected data set's
// gate tree there. A gate the standard cannot express is refused by name and
// nothing is written; errors go to the command boundary.
void ExportDialog(Workbench& window);

// The export without the dialog.
void Export(const TData& base, const QString& fileName);

}  // namespace GatingMlCommands

}  // namespace orvala
