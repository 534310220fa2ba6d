#include "Plate.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <memory>
#include <system_error>

#include "formats/FcsOpen.h"

namespace orvala {

namespace {

bool isUpper(char c) { return c >= 'A' && c <= 'Z'; }
bool isLetter(char c) { return isUpper(c) || (c >= 'a' && c <= 'z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string lowerCase(std::string s)
{
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The rest of a file's chain of data sets: a plate takes one data set per file.
int dropChain(TData* d)
{
    int dropped = 0;
    TData* next = d->NextData;
    d->NextData = nullptr;
    while (next) {
        TData* after = next->NextData;
        delete next;
        next = after;
        ++dropped;
    }
    return dropped;
}

struct PlateFile {
    std::string name;  // file name with extension
    std::string path;
    WellPosition well;
};

}  // namespace

bool ParseWellName(const std::string& s, WellPosition& well)
{
    // The instrument layout: five characters of plate code, then row letter
    // and a two-digit column ("12345B07").
    if (s.size() >= 8 && isUpper(s[5]) && isDigit(s[6]) && isDigit(s[7])) {
        const int column = (s[6] - '0') * 10 + (s[7] - '0');
        if (column >= 1) {
            well = {s[5] - 'A', column - 1};
            return true;
        }
    }
    // Other instruments and exports end the name with the well, with or
    // without a leading zero ("Yeast_B1_B01", "CFP_Well_A4").
    size_t digits = 0;
    while (digits < s.size() && digits < 3 && isDigit(s[s.size() - 1 - digits])) ++digits;
    if (digits < 1 || digits > 2 || s.size() < digits + 1) return false;
    const size_t letterAt = s.size() - 1 - digits;
    const char letter = s[letterAt];
    if (!isUpper(letter)) return false;
    if (letterAt > 0 && isLetter(s[letterAt - 1])) return false;  // "Well7" is no well
    int column = 0;
    for (size_t i = letterAt + 1; i < s.size(); ++i) column = column * 10 + (s[i] - '0');
    if (column < 1) return false;
    well = {letter - 'A', column - 1};
    return true;
}

WellPosition WellFromName(const std::string& shortName, const std::string& fileName)
{
    WellPosition w;
    if (!ParseWellName(shortName, w))
        throw OrvalaError("The plate file " + fileName +
                          " does not name a well: its name must give a row letter A-Z and a column 01-99, "
                          "as in 12345B07 or Sample_B7. Rename the file or move it out of the plate folder.");
    return w;
}

std::string WellLabel(WellPosition well)
{
    std::string s(1, char('A' + well.row));
    const int c = well.column + 1;
    s += char('0' + c / 10 % 10);
    s += char('0' + c % 10);
    return s;
}

TData* LoadPlate(const std::string& dir, MessageSink& sink, TMultiThread* pool, const PlateProgress& progress)
{
    namespace fs = std::filesystem;
    std::vector<PlateFile> files;
    std::error_code ec;
    fs::directory_iterator it(fs::path(dir), ec);
    if (ec) throw OrvalaError("Cannot list the plate folder " + dir + ": " + ec.message());
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) throw OrvalaError("Cannot list the plate folder " + dir + ": " + ec.message());
        std::error_code typeError;
        if (it->is_directory(typeError)) continue;
        const fs::path p = it->path();
        const std::string name = p.filename().string();
        // Resource forks left by macOS on shared drives look like FCS files.
        if (name.rfind("._", 0) == 0) continue;
        if (lowerCase(p.extension().string()) != ".fcs") continue;
        files.push_back({name, p.string(), {}});
    }
    if (files.empty()) return nullptr;
    std::sort(files.begin(), files.end(), [](const PlateFile& a, const PlateFile& b) { return a.name < b.name; });
    // Every name is checked before anything is read: a misnamed file ends
    // the load at once instead of after minutes of reading.
    for (PlateFile& f : files) f.well = WellFromName(fs::path(f.name).stem().string(), f.path);
    std::stable_sort(files.begin(), files.end(), [](const PlateFile& a, const PlateFile& b) {
        return a.well.row != b.well.row ? a.well.row < b.well.row : a.well.column < b.well.column;
    });

    std::vector<std::unique_ptr<TData>> opened;
    std::vector<const PlateFile*> openedFiles;
    int64_t total = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        const PlateFile& f = files[i];
        std::unique_ptr<TData> d(TryOpenFile(f.path, 0, sink, pool));
        if (d) {
            if (const int more = dropChain(d.get()); more > 0)
                sink.message(f.path + " holds " + std::to_string(more + 1) +
                             " data sets; the plate uses the first one.");
            if (!opened.empty() && d->CaseSize() != opened.front()->CaseSize()) {
                sink.message(f.path + " has " + std::to_string(d->CaseSize()) + " parameters, but " +
                             openedFiles.front()->path + " has " + std::to_string(opened.front()->CaseSize()) +
                             "; the file is left out of the plate.");
            } else {
                if (!openedFiles.empty() && openedFiles.back()->well == f.well)
                    sink.message(openedFiles.back()->path + " and " + f.path + " both name well " +
                                 WellLabel(f.well) + "; the well holds the events of both.");
                total += d->events();
                if (total > std::numeric_limits<int32_t>::max())
                    throw OrvalaError("The plate folder " + dir + " holds more than " +
                                      std::to_string(std::numeric_limits<int32_t>::max()) +
                                      " events, more than one data set can hold.");
                opened.push_back(std::move(d));
                openedFiles.push_back(&f);
            }
        }
        if (progress && !progress(int(i + 1), int(files.size()))) return nullptr;
    }
    if (opened.empty()) return nullptr;

    const int cols = opened.front()->CaseSize();
    std::unique_ptr<TData> plate(TData::Create(std::string(), cols, int(total)));
    plate->setFileName(dir);
    if (plate->ShortName().empty())  // a folder given with a trailing separator
        plate->setShortName(fs::path(dir).parent_path().filename().string());
    plate->Desc() = opened.front()->Desc();

    int maxRow = 0, maxColumn = 0;
    for (const PlateFile* f : openedFiles) {
        maxRow = std::max(maxRow, f->well.row);
        maxColumn = std::max(maxColumn, f->well.column);
    }
    plate->Wells.assign(size_t(maxRow) + 1, std::vector<TWellCell>(size_t(maxColumn) + 1));
    int first = 0;
    for (size_t i = 0; i < opened.size(); ++i) {
        TData& d = *opened[i];
        const int n = d.events();
        if (n > 0) std::copy_n(d.data.data(), size_t(n) * size_t(cols), plate->data[first]);
        TWellCell& cell = plate->Wells[size_t(openedFiles[i]->well.row)][size_t(openedFiles[i]->well.column)];
        // Files of one well follow each other (sorted by well), so the cell grows.
        if (cell.count == 0) cell.first = first;
        cell.count += n;
        first += n;
        opened[i].reset();  // keeps the peak near one copy of the plate
    }
    plate->NonEmptyWellCount = 0;
    for (const auto& row : plate->Wells)
        for (const TWellCell& c : row)
            if (c.count > 0) ++plate->NonEmptyWellCount;
    return plate.release();
}

// ---------------------------------------------------------------- plate picture

int PlateColumns(TPlateType type) { return type == TPlateType::pt96 ? 12 : 24; }
int PlateRows(TPlateType type) { return type == TPlateType::pt96 ? 8 : 16; }

PlateLayout PlateLayout::Compute(int boxWidth, int boxHeight, int labelWidth, int labelHeight, int columns, int rows)
{
    PlateLayout L;
    L.columns = std::max(columns, 0);
    L.rows = std::max(rows, 0);
    if (L.columns == 0 || L.rows == 0) return L;
    const int availW = boxWidth - 1 - labelWidth;
    const int availH = boxHeight - 1 - labelHeight;
    const int b = std::min(availW, availH * 3 / 2);
    const int c = std::min(availH, b * 2 / 3);
    const double d = double(b) / L.columns;
    const double e = double(c) / L.rows;
    if (d < 3 || e < 3) return L;
    L.drawn = true;
    L.plateWidth = b;
    L.plateHeight = c;
    L.pictureWidth = labelWidth + b + 1;
    L.pictureHeight = labelHeight + c + 1;
    const int ww = b / L.columns, wh = c / L.rows;
    L.corner = {0, 0, labelWidth, labelHeight};
    for (int k = 0; k < L.columns; ++k)
        L.columnLabels.push_back({labelWidth + int(std::nearbyint(d * k)), 1, ww, labelHeight});
    for (int r = 0; r < L.rows; ++r)
        L.rowLabels.push_back({1, int(std::nearbyint(labelHeight + e * r)), labelWidth, wh});
    L.wells.assign(size_t(L.rows), std::vector<PlateRect>(size_t(L.columns)));
    for (int r = 0; r < L.rows; ++r)
        for (int k = 0; k < L.columns; ++k)
            L.wells[size_t(r)][size_t(k)] = {labelWidth + int(std::nearbyint(d * k)),
                                             labelHeight + int(std::nearbyint(e * r)), ww, wh};
    return L;
}

bool PlateLayout::HitWell(int x, int y, WellPosition& well) const
{
    for (int r = 0; r < int(wells.size()); ++r)
        for (int k = 0; k < int(wells[size_t(r)].size()); ++k)
            if (wells[size_t(r)][size_t(k)].contains(x, y)) {
                well = {r, k};
                return true;
            }
    return false;
}

WellLook LookOfWell(bool fEnabled, bool fAdminEnabled, bool fFilteredOut)
{
    WellLook look;
    look.enabled = fEnabled && fAdminEnabled && !fFilteredOut;
    look.userStroke = !fEnabled;
    look.adminStroke = !fAdminEnabled;
    return look;
}

// ---------------------------------------------------------------- selection

void PlateSelection::Resize(int rows, int columns)
{
    rows_ = std::max(rows, 0);
    columns_ = std::max(columns, 0);
    selected_.assign(size_t(rows_) * size_t(columns_), 0);
    mode_ = TSelectionMode::smNone;
    anchor_ = lastWell_ = {};
}

bool PlateSelection::inside(WellPosition w) const
{
    return w.row >= 0 && w.row < rows_ && w.column >= 0 && w.column < columns_;
}

bool PlateSelection::IsSelected(WellPosition w) const
{
    return inside(w) && selected_[size_t(w.row) * size_t(columns_) + size_t(w.column)] != 0;
}

void PlateSelection::SetSelected(WellPosition w, bool selected)
{
    if (inside(w)) selected_[size_t(w.row) * size_t(columns_) + size_t(w.column)] = selected ? 1 : 0;
}

void PlateSelection::DeselectAll() { std::fill(selected_.begin(), selected_.end(), 0); }

void PlateSelection::SelectRectangle(WellPosition a, WellPosition b)
{
    const int r0 = std::max(std::min(a.row, b.row), 0), r1 = std::min(std::max(a.row, b.row), rows_ - 1);
    const int c0 = std::max(std::min(a.column, b.column), 0),
              c1 = std::min(std::max(a.column, b.column), columns_ - 1);
    for (int r = r0; r <= r1; ++r)
        for (int c = c0; c <= c1; ++c) SetSelected({r, c}, true);
}

std::vector<WellPosition> PlateSelection::Selected() const
{
    std::vector<WellPosition> out;
    for (int r = 0; r < rows_; ++r)
        for (int c = 0; c < columns_; ++c)
            if (IsSelected({r, c})) out.push_back({r, c});
    return out;
}

bool PlateSelection::MouseDown(WellPosition w, bool shift, bool ctrl)
{
    if (!inside(w)) return false;
    lastWell_ = w;
    if (shift) {
        DeselectAll();
        SelectRectangle(anchor_, w);
        mode_ = TSelectionMode::smNone;
        return true;
    }
    if (ctrl) {
        SetSelected(w, !IsSelected(w));
    } else {
        DeselectAll();
        SetSelected(w, true);
    }
    mode_ = TSelectionMode::smSelect;
    anchor_ = w;
    return false;
}

void PlateSelection::MouseMove(WellPosition w, bool ctrl)
{
    if (mode_ != TSelectionMode::smSelect || !inside(w)) return;
    // Only entering another well drags: a jitter inside the clicked well
    // would otherwise re-select the well a Ctrl-click has just deselected.
    if (w == lastWell_) return;
    lastWell_ = w;
    if (!ctrl) DeselectAll();
    SelectRectangle(anchor_, w);
}

bool PlateSelection::MouseUp()
{
    mode_ = TSelectionMode::smNone;
    return true;
}

}  // namespace orvala
