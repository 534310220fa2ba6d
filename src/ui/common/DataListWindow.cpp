#include "DataListWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QColorDialog>
#include <QDrag>
#include <QHeaderView>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QSplitter>
#include <QTableWidget>
#include <QTimer>
#include <algorithm>
#include <charconv>

#include "DataEvents.h"
#include "DataSetDrag.h"
#include "UiMessages.h"

namespace orvala {

namespace {

constexpr int DataRole = Qt::UserRole + 1;

QColor toQColor(TColor c) { return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF)); }
TColor fromQColor(const QColor& c) { return TColor(c.red()) | (TColor(c.green()) << 8) | (TColor(c.blue()) << 16); }

// The mark drawn over the swatch of a data set whose colour is switched off:
// a curved arrow that says "colour undone".
QPixmap undoMark()
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0xFF, 0xFF, 0xFF), 3));
    p.drawArc(QRectF(3, 4, 10, 9), 30 * 16, 240 * 16);
    p.setPen(QPen(QColor(0xC0, 0x00, 0x00), 1.6));
    p.drawArc(QRectF(3, 4, 10, 9), 30 * 16, 240 * 16);
    p.setBrush(QColor(0xC0, 0x00, 0x00));
    p.setPen(Qt::NoPen);
    const QPointF tip[3] = {QPointF(13.5, 2.5), QPointF(14.5, 8.5), QPointF(9.0, 6.0)};
    p.drawPolygon(tip, 3);
    return pm;
}

}  // namespace

// ---------------------------------------------------------------- DataTree

DataTree::DataTree(QWidget* parent) : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setColumnCount(1);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::EditKeyPressed);
    setContextMenuPolicy(Qt::CustomContextMenu);
    setIconSize(QSize(16, 16));
    connect(this, &QTreeWidget::itemSelectionChanged, this, &DataTree::syncOrder);
    editTimer_ = new QTimer(this);
    editTimer_->setSingleShot(true);
    connect(editTimer_, &QTimer::timeout, this, [this] {
        if (editCandidate_ && editCandidate_->isSelected()) editItem(editCandidate_, 0);
    });
}

void DataTree::syncOrder()
{
    std::vector<QTreeWidgetItem*> kept;
    for (QTreeWidgetItem* it : order_)
        if (it->isSelected()) kept.push_back(it);
    for (QTreeWidgetItemIterator it(this, QTreeWidgetItemIterator::Selected); *it; ++it)
        if (std::find(kept.begin(), kept.end(), *it) == kept.end()) kept.push_back(*it);
    order_ = std::move(kept);
}

void DataTree::clearNodes()
{
    editTimer_->stop();
    editCandidate_ = nullptr;
    order_.clear();
    anchor_ = nullptr;
    clear();
    order_.clear();
}

void DataTree::pressNode(QTreeWidgetItem* item, Qt::KeyboardModifiers modifiers)
{
    const bool extend = modifiers & (Qt::ShiftModifier | Qt::ControlModifier);
    if (!extend) {
        clearSelection();
        if (item) item->setSelected(true);
        anchor_ = item;
        order_.clear();
        syncOrder();
        if (item) setCurrentItem(item, 0, QItemSelectionModel::NoUpdate);
        return;
    }
    if (!item) return;
    // Siblings only: a node under another parent starts a new selection.
    for (QTreeWidgetItem* s : selectedItems())
        if (s->parent() != item->parent()) s->setSelected(false);
    if ((modifiers & Qt::ShiftModifier) && anchor_ && anchor_->parent() == item->parent() && anchor_ != item) {
        QTreeWidgetItem* parentNode = item->parent();
        auto indexIn = [&](QTreeWidgetItem* n) {
            return parentNode ? parentNode->indexOfChild(n) : indexOfTopLevelItem(n);
        };
        const int a = indexIn(anchor_), b = indexIn(item);
        for (int i = std::min(a, b); i <= std::max(a, b); ++i)
            (parentNode ? parentNode->child(i) : topLevelItem(i))->setSelected(true);
    } else {
        item->setSelected(true);
        anchor_ = item;
    }
    setCurrentItem(item, 0, QItemSelectionModel::NoUpdate);
}

void DataTree::mousePressEvent(QMouseEvent* event)
{
    QTreeWidgetItem* item = itemAt(event->position().toPoint());
    // A press on the expand arrow only folds the branch.
    if (item && item->childCount() > 0 && event->position().x() < visualItemRect(item).left()) {
        QTreeWidget::mousePressEvent(event);
        return;
    }
    const bool secondClick = item && event->button() == Qt::LeftButton && event->modifiers() == Qt::NoModifier &&
                             order_.size() == 1 && order_.front() == item;
    dragArmed_ = item && event->button() == Qt::LeftButton;
    dragStart_ = event->position().toPoint();
    pressNode(item, event->modifiers());
    emit nodePressed(item, event->button());
    editTimer_->stop();
    if (secondClick) {
        editCandidate_ = item;
        editTimer_->start(QApplication::doubleClickInterval());
    }
}

// A left press on a node followed by a move past the platform's drag distance
// drags the selected data sets to windows that take them (the time plot, the
// image window's class grid). The distance keeps a click a click.
void DataTree::mouseMoveEvent(QMouseEvent* event)
{
    if (!dragArmed_ || !(event->buttons() & Qt::LeftButton) || !dragData_) {
        QTreeWidget::mouseMoveEvent(event);
        return;
    }
    if ((event->position().toPoint() - dragStart_).manhattanLength() < QApplication::startDragDistance()) return;
    dragArmed_ = false;
    editTimer_->stop();
    editCandidate_ = nullptr;
    auto* drag = new QDrag(this);
    drag->setMimeData(dragData_());
    drag->exec(Qt::CopyAction);
}

void DataTree::mouseReleaseEvent(QMouseEvent* event)
{
    dragArmed_ = false;
    QTreeWidget::mouseReleaseEvent(event);
}

void DataTree::mouseDoubleClickEvent(QMouseEvent* event)
{
    editTimer_->stop();
    QTreeWidgetItem* item = itemAt(event->position().toPoint());
    if (item && event->button() == Qt::LeftButton) emit nodeDoubleClicked(item);
}

// ---------------------------------------------------------------- DataListWindow

DataListWindow::DataListWindow(QWidget* parent) : QDockWidget(QStringLiteral("Data Sets"), parent)
{
    setObjectName(QStringLiteral("TDataBox"));
    // Closing the data list would lose the workspace view: it can be moved and
    // floated, and a floating one minimises when closed.
    setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    setAllowedAreas(Qt::LeftDockWidgetArea);

    Splitter1 = new QSplitter(Qt::Vertical, this);
    List = new DataTree(Splitter1);
    Values = new QTableWidget(0, 2, Splitter1);
    Values->horizontalHeader()->hide();
    Values->verticalHeader()->hide();
    Values->horizontalHeader()->setStretchLastSection(true);
    Values->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Values->setSelectionMode(QAbstractItemView::NoSelection);
    Splitter1->setStretchFactor(0, 3);
    Splitter1->setStretchFactor(1, 1);
    setWidget(Splitter1);

    PopupMenu = new QMenu(this);
    ChangeColor1 = PopupMenu->addAction(QStringLiteral("Change Color"));
    UpdateColor = PopupMenu->addAction(QStringLiteral("Disable Color"));
    UpdateColor->setCheckable(true);
    EnableColor = PopupMenu->addAction(QStringLiteral("Enable Color"));
    PopupMenu->addSeparator();
    FCSFileInfo1 = PopupMenu->addAction(QStringLiteral("FCS File Info"));
    PopupMenu->addSeparator();
    Remove1 = PopupMenu->addAction(QStringLiteral("Remove"));

    connect(ChangeColor1, &QAction::triggered, this, [this] { runCommand([this] { changeColor(); }); });
    connect(UpdateColor, &QAction::triggered, this, [this] { runCommand([this] { setColorDisabled(true); }); });
    connect(EnableColor, &QAction::triggered, this, [this] { runCommand([this] { setColorDisabled(false); }); });
    connect(FCSFileInfo1, &QAction::triggered, this, [this] {
        if (TData* d = DataOf(Currentnode)) emit fileInfoRequested(fromEightBit(d->FileName()), d->datasetnum);
    });
    connect(Remove1, &QAction::triggered, this, [this] { runCommand([this] { RemoveSelected(); }); });

    connect(List, &DataTree::nodePressed, this, &DataListWindow::onNodePressed);
    connect(List, &DataTree::nodeDoubleClicked, this, [this](QTreeWidgetItem* item) {
        if (TData* d = DataOf(item)) emit dataActivated(d);
    });
    connect(List, &QTreeWidget::itemChanged, this, &DataListWindow::onItemChanged);
    connect(List, &QWidget::customContextMenuRequested, this, &DataListWindow::showPopup);

    TData::Workspace = &datas;
    List->setDragData([this] { return SelectionMimeData(); });
}

DataListWindow::~DataListWindow()
{
    List->clearNodes();
    datas.Clear();
    if (TData::Workspace == &datas) TData::Workspace = nullptr;
}

TData* DataListWindow::DataOf(const QTreeWidgetItem* item)
{
    if (!item) return nullptr;
    return reinterpret_cast<TData*>(item->data(0, DataRole).value<quintptr>());
}

QTreeWidgetItem* DataListWindow::NodeOf(const TData* data) const
{
    for (QTreeWidgetItemIterator it(List); *it; ++it)
        if (DataOf(*it) == data) return *it;
    return nullptr;
}

void DataListWindow::Add(TData* data)
{
    if (!data) return;
    datas.Add(data);
    Rebuild();
}

void DataListWindow::Add(TDataList& list)
{
    for (TData* d : list.items()) datas.Add(d);
    Rebuild();
}

void DataListWindow::Remove(TData* data)
{
    datas.Delete(data);
    Rebuild();
}

void DataListWindow::RemoveSelected()
{
    std::vector<TData*> collection = Selected();
    // Leaves go first, so that a selected subtree disappears completely and no
    // kid is re-attached to a parent that is about to go too.
    bool removedAny = true;
    while (removedAny && !collection.empty()) {
        removedAny = false;
        for (int i = int(collection.size()) - 1; i >= 0; --i) {
            TData* d = collection[size_t(i)];
            if (d->KidCount() == 0) {
                collection.erase(collection.begin() + i);
                datas.Delete(d);
                removedAny = true;
            }
        }
    }
    for (TData* d : collection) datas.Delete(d);
    Currentnode = nullptr;
    Values->setRowCount(0);
    Rebuild();
}

int DataListWindow::SelectionCount() const { return int(List->selectionOrder().size()); }

TData* DataListWindow::GetSelected(int i) const
{
    const auto& order = List->selectionOrder();
    return i >= 0 && i < int(order.size()) ? DataOf(order[size_t(i)]) : nullptr;
}

std::vector<TData*> DataListWindow::Selected() const
{
    std::vector<TData*> out;
    for (QTreeWidgetItem* it : List->selectionOrder())
        if (TData* d = DataOf(it)) out.push_back(d);
    return out;
}

std::string DataListWindow::CreateName(const TData* source, const std::string& suffix) const
{
    return datas.CreateName(source, suffix);
}

bool DataListWindow::AskSelect()
{
    if (SelectionCount() > 0) return true;
    if (Count() == 1) {
        if (QTreeWidgetItem* node = NodeOf(GetItem(0))) {
            List->pressNode(node, Qt::NoModifier);
            return true;
        }
    }
    showUserMessage(QStringLiteral("Please select at least one data file!"));
    return false;
}

void DataListWindow::SelectData(const std::vector<TData*>& data)
{
    List->pressNode(nullptr, Qt::NoModifier);
    for (TData* d : data)
        if (QTreeWidgetItem* node = NodeOf(d)) List->pressNode(node, Qt::ControlModifier);
}

void DataListWindow::MakeCurrent(TData* data)
{
    QTreeWidgetItem* node = NodeOf(data);
    if (!node) return;
    List->pressNode(node, Qt::NoModifier);
    onNodePressed(node, Qt::LeftButton);
}

QIcon DataListWindow::swatch(const TData* data) const
{
    QPixmap pm(16, 16);
    pm.fill(toQColor(data->NativeColor()));
    if (data->disablecolor) {
        static const QPixmap mark = undoMark();
        QPainter p(&pm);
        p.drawPixmap(0, 0, mark);
    }
    return QIcon(pm);
}

void DataListWindow::Rebuild()
{
    const std::vector<TData*> wasSelected = Selected();
    TData* current = DataOf(Currentnode);
    rebuilding_ = true;
    List->clearNodes();
    Currentnode = nullptr;
    // Roots first, then every data set whose parent already has a node, in list
    // order, pass after pass until a pass adds nothing.
    std::vector<std::pair<TData*, QTreeWidgetItem*>> nodes;
    auto nodeFor = [&](const TData* d) -> QTreeWidgetItem* {
        for (auto& [data, node] : nodes)
            if (data == d) return node;
        return nullptr;
    };
    bool added = true;
    while (added) {
        added = false;
        for (TData* d : datas.items()) {
            if (nodeFor(d)) continue;
            QTreeWidgetItem* node = nullptr;
            if (!d->Parent())
                node = new QTreeWidgetItem(List);
            else if (QTreeWidgetItem* parentNode = nodeFor(d->Parent()))
                node = new QTreeWidgetItem(parentNode);
            if (!node) continue;
            node->setText(0, fromEightBit(d->ScreenName()));
            node->setIcon(0, swatch(d));
            node->setData(0, DataRole, QVariant::fromValue(quintptr(d)));
            node->setFlags(node->flags() | Qt::ItemIsEditable);
            nodes.emplace_back(d, node);
            added = true;
        }
    }
    List->expandAll();
    rebuilding_ = false;
    std::vector<TData*> keep;
    for (TData* d : wasSelected)
        if (datas.Contains(d)) keep.push_back(d);
    if (!keep.empty()) SelectData(keep);
    if (current && datas.Contains(current)) Currentnode = NodeOf(current);
    emit workspaceChanged();
}

bool DataListWindow::nodesMatchWorkspace() const
{
    std::vector<const TData*> shown;
    for (QTreeWidgetItemIterator it(List); *it; ++it)
        if (const TData* d = DataOf(*it)) shown.push_back(d);
    if (shown.size() != datas.items().size()) return false;
    std::sort(shown.begin(), shown.end());
    std::vector<const TData*> held(datas.items().begin(), datas.items().end());
    std::sort(held.begin(), held.end());
    return shown == held;
}

void DataListWindow::refreshNodes()
{
    rebuilding_ = true;
    for (QTreeWidgetItemIterator it(List); *it; ++it)
        if (TData* d = DataOf(*it)) {
            (*it)->setIcon(0, swatch(d));
            (*it)->setText(0, fromEightBit(d->ScreenName()));
        }
    rebuilding_ = false;
}

QString DataListWindow::Percentage(const TData* data)
{
    const int rootEvents = data->Grandpa()->events();
    const double percent = rootEvents > 0 ? 100.0 * data->events() / rootEvents : 0.0;
    // to_chars rounds an exact tie (12.25) to even, as every rounding here does.
    char buf[32];
    const auto res = std::to_chars(buf, buf + sizeof buf, percent, std::chars_format::fixed, 1);
    return QString::fromLatin1(buf, int(res.ptr - buf)) + QLatin1Char('%');
}

void DataListWindow::ShowValues(TData* data)
{
    Values->setRowCount(0);
    if (!data) return;
    const std::pair<QString, QString> rows[] = {
        {QStringLiteral("File Path"), fromEightBit(data->FileName())},
        {QStringLiteral("Params"), QString::number(data->CaseSize())},
        {QStringLiteral("Events"), QString::number(data->events())},
        {QStringLiteral("Percentage"), Percentage(data)},
    };
    Values->setRowCount(int(std::size(rows)));
    int r = 0;
    for (const auto& [name, value] : rows) {
        Values->setItem(r, 0, new QTableWidgetItem(name));
        Values->setItem(r, 1, new QTableWidgetItem(value));
        ++r;
    }
    Values->resizeColumnToContents(0);
}

QString DataListWindow::Value(const QString& name) const
{
    for (int r = 0; r < Values->rowCount(); ++r)
        if (Values->item(r, 0) && Values->item(r, 0)->text() == name)
            return Values->item(r, 1) ? Values->item(r, 1)->text() : QString();
    return {};
}

void DataListWindow::onNodePressed(QTreeWidgetItem* item, Qt::MouseButton)
{
    Currentnode = item;
    ShowValues(DataOf(item));
}

void DataListWindow::onItemChanged(QTreeWidgetItem* item, int)
{
    if (rebuilding_) return;
    TData* d = DataOf(item);
    if (!d) return;
    const QString text = item->text(0);
    if (text != fromEightBit(d->ScreenName()) && !text.trimmed().isEmpty()) d->setShortName(toEightBit(text));
    rebuilding_ = true;
    item->setText(0, fromEightBit(d->ScreenName()));
    rebuilding_ = false;
    if (item == Currentnode) ShowValues(d);
}

void DataListWindow::showPopup(const QPoint& pos)
{
    TData* d = DataOf(Currentnode);
    UpdateColor->setChecked(d && d->disablecolor);
    const bool any = d != nullptr;
    ChangeColor1->setEnabled(any);
    UpdateColor->setEnabled(SelectionCount() > 0);
    EnableColor->setEnabled(SelectionCount() > 0);
    FCSFileInfo1->setEnabled(any && fileInfoAvailable_);
    Remove1->setEnabled(SelectionCount() > 0);
    PopupMenu->popup(List->viewport()->mapToGlobal(pos));
}

void DataListWindow::changeColor()
{
    TData* d = DataOf(Currentnode);
    if (!d) return;
    const QColor c = QColorDialog::getColor(toQColor(d->NativeColor()), this, QStringLiteral("Change Color"));
    if (!c.isValid()) return;
    d->setNativeColor(fromQColor(c));
    d->Grandpa()->UpdateColors();
    refreshNodes();
}

void DataListWindow::setColorDisabled(bool disabled)
{
    for (TData* d : Selected()) {
        d->disablecolor = disabled;
        d->Grandpa()->UpdateColors();
        d->Grandpa()->Announce();
    }
    refreshNodes();
}

bool DataListWindow::event(QEvent* event)
{
    if (event->type() == DataEvent::changedType()) {
        dropQueuedDataEvents(this, WMDataChanged);
        // Windows add the data sets they derive (gated children) straight to the
        // workspace and announce them: the tree must gain their nodes then.
        if (nodesMatchWorkspace())
            refreshNodes();
        else
            Rebuild();
        if (TData* d = DataOf(Currentnode)) ShowValues(d);
        return true;
    }
    return QDockWidget::event(event);
}

void DataListWindow::closeEvent(QCloseEvent* event)
{
    event->ignore();
    if (isFloating()) showMinimized();
}

QMimeData* DataListWindow::SelectionMimeData() const
{
    return DataSetsMimeData(datas, Selected());
}

}  // namespace orvala
