#pragma once
// Multi-well plates: the plate data set read from a folder of per-well FCS
// files, the geometry of the plate picture and its mouse selection. No Qt:
// the plate view in src/ui paints the rectangles computed here.
#include <functional>
#include <string>
#include <vector>

#include "core/Messages.h"
#include "core/TData.h"

namespace orvala {

class TMultiThread;

// Row (A = 0) and column (1 = 0) of a well.
struct WellPosition {
    int row = 0;
    int column = 0;
    bool operator==(const WellPosition&) const = default;
};

// The well a file's short name (name without extension) gives, or false.
// Two layouts are read: the row letter at character 6 and a two-digit column
// at characters 7-8 ("12345B07" -> row 1, column 6), and, for names that do
// not fit that layout, a well code at the end of the name: a letter A-Z
// after a non-letter (or at the start) and a column of one or two digits
// ("Yeast_B1_B01" -> B01, "CFP_Well_A4" -> A4). Column 0 is no well.
bool ParseWellName(const std::string& shortName, WellPosition& well);
// As above; throws OrvalaError naming fileName when the name gives no well.
WellPosition WellFromName(const std::string& shortName, const std::string& fileName);
// "B07" for row 1, column 6.
std::string WellLabel(WellPosition well);

// Called after each file with the files done and the total; false cancels.
using PlateProgress = std::function<bool(int done, int total)>;

// The plate data set of a folder: one data set whose events are the events
// of its "*.fcs" files (extension in any letter case; names beginning "._"
// and subfolders passed over), each file's events kept together in its well
// (Wells[row][column] = first event, count; NonEmptyWellCount). Files are
// taken in the order of their wells, names sorted within a well. Only the
// first data set of a file is used. Anomalies go to sink: a file that does
// not open, one whose parameter count differs from the first file's (left
// out), two files naming one well (both kept in that well). A file name that
// names no well throws OrvalaError naming the file before anything is read.
// Nil when no file opened or the progress callback cancelled. Reference count 0.
TData* LoadPlate(const std::string& dir, MessageSink& sink, TMultiThread* pool, const PlateProgress& progress = {});

// --------------------------------------------------------------- plate picture

enum class TPlateType { pt96, pt384 };
// Columns and rows of a plate type: 12 x 8, 24 x 16.
int PlateColumns(TPlateType type);
int PlateRows(TPlateType type);

struct PlateRect {
    int left = 0, top = 0, width = 0, height = 0;
    // Edges included, as the plate's hit test wants.
    bool contains(int x, int y) const { return x >= left && x <= left + width && y >= top && y <= top + height; }
    bool empty() const { return width <= 0 || height <= 0; }
    bool operator==(const PlateRect&) const = default;
};

// Where everything of a plate picture goes in a paint box of boxWidth x
// boxHeight pixels. labelWidth is twice the text width of "H", labelHeight
// the text height of "0". drawn is false when the wells would be narrower or
// lower than 3 pixels: the view then keeps its last picture.
struct PlateLayout {
    bool drawn = false;
    int pictureWidth = 0, pictureHeight = 0;
    int plateWidth = 0, plateHeight = 0;  // b and c: the plate without its labels
    PlateRect corner;
    std::vector<PlateRect> columnLabels;         // one per column
    std::vector<PlateRect> rowLabels;            // one per row
    std::vector<std::vector<PlateRect>> wells;   // [row][column]
    int columns = 0, rows = 0;

    static PlateLayout Compute(int boxWidth, int boxHeight, int labelWidth, int labelHeight, int columns, int rows);
    // The well whose rectangle holds (x, y), or false.
    bool HitWell(int x, int y, WellPosition& well) const;
};

// How a well looks: the circle's fill and the red strokes of a well that is
// switched off ("\" for the user's switch, "/" for the second switch).
struct WellLook {
    bool enabled = true;     // circle in the well's colour, else grey
    bool userStroke = false;
    bool adminStroke = false;
};
WellLook LookOfWell(bool fEnabled, bool fAdminEnabled, bool fFilteredOut);

enum class TSelectionMode { smNone, smSelect, smDeselect };

// The mouse selection of a plate's wells. The view feeds it mouse events in
// well coordinates; each call answers whether the plate's selection-changed
// notice should fire.
class PlateSelection {
public:
    PlateSelection(int rows = 0, int columns = 0) { Resize(rows, columns); }
    void Resize(int rows, int columns);
    int rows() const { return rows_; }
    int columns() const { return columns_; }

    bool IsSelected(WellPosition w) const;
    void SetSelected(WellPosition w, bool selected);
    void DeselectAll();
    // Selects every well of the rectangle spanned by a and b, both included.
    void SelectRectangle(WellPosition a, WellPosition b);
    std::vector<WellPosition> Selected() const;  // rows, then columns

    // Left button on a well. Shift: the rectangle from the anchor to here,
    // alone. Ctrl: this well toggled, the anchor moves here. Neither: this
    // well alone, the anchor moves here. Returns true when the notice fires.
    bool MouseDown(WellPosition w, bool shift, bool ctrl);
    // The mouse entered well w with the button held: the rectangle from the
    // anchor (added to the selection when Ctrl is held).
    void MouseMove(WellPosition w, bool ctrl);
    // Button released; true when the notice fires (the end of every drag).
    bool MouseUp();
    // The corner cell: selects or deselects the plate as a whole.
    bool PlateSelected() const { return plateSelected_; }
    void SetPlateSelected(bool v) { plateSelected_ = v; }
    TSelectionMode Mode() const { return mode_; }
    WellPosition Anchor() const { return anchor_; }

private:
    bool inside(WellPosition w) const;
    int rows_ = 0, columns_ = 0;
    std::vector<char> selected_;
    TSelectionMode mode_ = TSelectionMode::smNone;
    WellPosition anchor_;
    WellPosition lastWell_;
    bool plateSelected_ = false;
};

}  // namespace orvala
