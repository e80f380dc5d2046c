#include "finder/window/FormControls.h"

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>
#include <algorithm>

// ---- TLabelEx --------------------------------------------------------------

TLabelEx::TLabelEx(const QString& Caption, QWidget* Parent) : TImageEx(Parent) {
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setText(Caption);
}

// ---- TRadioButton ----------------------------------------------------------

TRadioButton::TRadioButton(const QString& Caption, QWidget* Parent) : QRadioButton(Caption, Parent) {
    // Grouping is ours: Qt's own would refuse to uncheck a button from code.
    setAutoExclusive(false);
}

void TRadioButton::TurnSiblingsOff() {
    if (!parentWidget()) return;
    for (TRadioButton* B : parentWidget()->findChildren<TRadioButton*>(Qt::FindDirectChildrenOnly))
        if (B != this && B->isChecked()) B->setChecked(false);
}

void TRadioButton::SetChecked(bool Value) {
    if (isChecked() == Value) return;
    setChecked(Value);
    if (!Value) return;
    TurnSiblingsOff();
    if (OnClick) OnClick(this);
}

void TRadioButton::nextCheckState() {
    // Called by a user's click (mouse or keyboard) before clicked() is sent.
    if (isChecked()) return;
    SetChecked(true);
}

// ---- TCheckBox -------------------------------------------------------------

TCheckBox::TCheckBox(const QString& Caption, QWidget* Parent) : QCheckBox(Caption, Parent) {
    connect(this, &QAbstractButton::clicked, this, [this] {
        if (OnClick) OnClick(this);
    });
}

void TCheckBox::SetChecked(bool Value) {
    if (isChecked() == Value) return;
    setChecked(Value);
    if (OnClick) OnClick(this);
}

// ---- TUpDown ---------------------------------------------------------------

TUpDown::TUpDown(QWidget* Parent) : QSpinBox(Parent) {
    lineEdit()->hide();
    setFocusPolicy(Qt::NoFocus);
}

// ---- TPanel ----------------------------------------------------------------

TPanel::TPanel(QWidget* Parent, const QColor& Color) : QWidget(Parent) {
    if (Color.isValid()) SetColor(Color);
}

void TPanel::SetColor(const QColor& Color) {
    QPalette P = palette();
    P.setColor(QPalette::Window, Color);
    setPalette(P);
    setAutoFillBackground(true);
}

void TPanel::mousePressEvent(QMouseEvent* Event) {
    if (!OnMouseDown) {
        QWidget::mousePressEvent(Event);
        return;
    }
    Event->accept();
    const QPoint P = Event->position().toPoint();
    OnMouseDown(this, Event->button(), Event->modifiers(), P.x(), P.y());
}

// ---- TVirtualListView ------------------------------------------------------

TVirtualListModel::TVirtualListModel(TVirtualListView* View) : QAbstractTableModel(View), FView(View) {}

int TVirtualListModel::rowCount(const QModelIndex& Parent) const {
    return Parent.isValid() ? 0 : FView->FItemCount;
}

int TVirtualListModel::columnCount(const QModelIndex& Parent) const {
    return Parent.isValid() ? 0 : int(FView->FColumns.size());
}

QVariant TVirtualListModel::headerData(int Section, Qt::Orientation Orientation, int Role) const {
    if (Orientation != Qt::Horizontal || Section < 0 || Section >= int(FView->FColumns.size())) return {};
    const TListColumn& C = FView->FColumns[size_t(Section)];
    if (Role == Qt::DisplayRole) return C.Caption;
    if (Role == Qt::TextAlignmentRole) return int(C.Align | Qt::AlignVCenter);
    return {};
}

QVariant TVirtualListModel::data(const QModelIndex& Index, int Role) const {
    if (!Index.isValid() || Index.row() >= FView->FItemCount) return {};
    const int Col = Index.column();
    switch (Role) {
    case Qt::DisplayRole: {
        TListItem Item = FView->Item(Index.row());
        if (Col == 0) return Item.Caption;
        return Col - 1 < Item.SubItems.size() ? Item.SubItems[Col - 1] : QString();
    }
    case Qt::TextAlignmentRole:
        if (Col < int(FView->FColumns.size())) return int(FView->FColumns[size_t(Col)].Align | Qt::AlignVCenter);
        return {};
    case Qt::DecorationRole: {
        if (Col != 0 || !FView->SmallImage) return {};
        TListItem Item = FView->Item(Index.row());
        QPixmap Pic = Item.ImageIndex >= 0 ? FView->SmallImage(Item.ImageIndex) : QPixmap();
        const int W = FView->SmallImageWidth;
        const int H = Pic.isNull() ? W : Pic.height();
        // The indent is drawn as blank picture widths before the picture.
        QPixmap Out(W * (Item.Indent + 1), H);
        Out.fill(Qt::transparent);
        if (!Pic.isNull()) {
            QPainter P(&Out);
            P.drawPixmap(W * Item.Indent, 0, Pic);
        }
        return Out;
    }
    case Qt::BackgroundRole:
    case Qt::ForegroundRole:
    case Qt::FontRole: {
        if (!FView->OnCustomDrawItem) return {};
        TListItem Item = FView->Item(Index.row());
        TListItemLook Look;
        FView->OnCustomDrawItem(Item, Look);
        if (Role == Qt::BackgroundRole) return Look.Brush.isValid() ? QVariant(Look.Brush) : QVariant();
        if (Role == Qt::ForegroundRole) return Look.FontColor.isValid() ? QVariant(Look.FontColor) : QVariant();
        QFont F = FView->font();
        F.setBold(Look.Bold);
        return F;
    }
    default:
        return {};
    }
}

TVirtualListView::TVirtualListView(QWidget* Parent) : QTreeView(Parent), FModel(new TVirtualListModel(this)) {
    setModel(FModel);
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setItemsExpandable(false);
    header()->setStretchLastSection(false);
    header()->setSectionsClickable(true);
    header()->setSectionsMovable(false);
    connect(header(), &QHeaderView::sectionClicked, this, [this](int Section) {
        if (OnColumnClick) OnColumnClick(Section);
    });
    // A column the user drags wider or narrower keeps that width, also
    // through the rebuilds that reset the header.
    connect(header(), &QHeaderView::sectionResized, this, [this](int Section, int, int Size) {
        if (!FApplying && Section >= 0 && Section < ColumnCount() && Size > 0) FColumns[size_t(Section)].Width = Size;
    });
}

void TVirtualListView::ResetModel() {
    FApplying = true;
    FModel->Reset();
    FApplying = false;
}

void TVirtualListView::ClearColumns() {
    ResetModel();
    FColumns.clear();
    ResetModel();
}

void TVirtualListView::AddColumn(const QString& Caption, int Width, Qt::Alignment Align) {
    FColumns.push_back({Caption, Width, Align});
    ResetModel();
    ApplyColumnWidths();
}

void TVirtualListView::SetColumnWidth(int Index, int Width) {
    if (Index < 0 || Index >= ColumnCount()) return;
    FColumns[size_t(Index)].Width = Width;
    ApplyColumnWidths();
}

void TVirtualListView::SetColumnCaption(int Index, const QString& Caption) {
    if (Index < 0 || Index >= ColumnCount()) return;
    FColumns[size_t(Index)].Caption = Caption;
    emit FModel->headerDataChanged(Qt::Horizontal, Index, Index);
}

void TVirtualListView::ApplyColumnWidths() {
    FApplying = true;
    for (int I = 0; I < ColumnCount(); ++I) {
        const int W = FColumns[size_t(I)].Width;
        // A column of width 0 carries values the user does not see.
        setColumnHidden(I, W <= 0);
        if (W > 0) setColumnWidth(I, W);
    }
    FApplying = false;
}

void TVirtualListView::SetItemCount(int Count) {
    FItemCount = Count < 0 ? 0 : Count;
    ResetModel();
    ApplyColumnWidths();
}

TListItem TVirtualListView::Item(int Index) const {
    TListItem Item;
    Item.Index = Index;
    if (OnData && Index >= 0 && Index < FItemCount) OnData(Item);
    return Item;
}

void TVirtualListView::Repaint() {
    viewport()->update();
}

int TVirtualListView::ItemAt(const QPoint& Point) const {
    const QModelIndex I = indexAt(Point);
    return I.isValid() ? I.row() : -1;
}

bool TVirtualListView::OnItemImage(const QPoint& Point) const {
    const QModelIndex I = indexAt(Point);
    if (!I.isValid() || !SmallImage) return false;
    const QModelIndex First = FModel->index(I.row(), 0);
    const QRect Cell = visualRect(First);
    if (!Cell.contains(Point)) return false;
    QStyleOptionViewItem Opt;
    const_cast<TVirtualListView*>(this)->initViewItemOption(&Opt);
    Opt.rect = Cell;
    Opt.index = First;
    Opt.features |= QStyleOptionViewItem::HasDecoration;
    const QPixmap Deco = qvariant_cast<QPixmap>(FModel->data(First, Qt::DecorationRole));
    Opt.decorationSize = Deco.size();
    Opt.icon = QIcon(Deco);
    const QRect D = style()->subElementRect(QStyle::SE_ItemViewItemDecoration, &Opt, this);
    // The picture proper is the last picture width of the decoration.
    const QRect Pic(D.right() + 1 - SmallImageWidth, D.top(), SmallImageWidth, D.height());
    return Pic.contains(Point);
}

void TVirtualListView::mousePressEvent(QMouseEvent* Event) {
    if (OnMouseDown) {
        const QPoint P = Event->position().toPoint();
        OnMouseDown(this, Event->button(), Event->modifiers(), P.x(), P.y());
    }
    QTreeView::mousePressEvent(Event);
}

void TVirtualListView::mouseDoubleClickEvent(QMouseEvent* Event) {
    // The second press of a double click is a mouse-down too: two quick
    // clicks on a tick picture tick and untick it.
    if (OnMouseDown) {
        const QPoint P = Event->position().toPoint();
        OnMouseDown(this, Event->button(), Event->modifiers(), P.x(), P.y());
    }
    QTreeView::mouseDoubleClickEvent(Event);
    if (Event->button() == Qt::LeftButton && OnDblClick) OnDblClick(this);
}

// ---- The places tree -------------------------------------------------------

int TPlaceNode::Level() const {
    int L = 0;
    for (QTreeWidgetItem* P = parent(); P; P = P->parent()) ++L;
    return L;
}

void TPlaceNode::DeleteChildren() {
    // Each node owns its data, so deleting the node releases it.
    const QList<QTreeWidgetItem*> Kids = takeChildren();
    qDeleteAll(Kids);
}

TPlaceDelegate::TPlaceDelegate(TPlacesTreeView* Tree) : QStyledItemDelegate(Tree), FTree(Tree) {}

QSize TPlaceDelegate::sizeHint(const QStyleOptionViewItem& Option, const QModelIndex& Index) const {
    const int H = std::max(FTree->ImageSize.height(), Option.fontMetrics.height()) + 4;
    const QString Text = Index.data(Qt::DisplayRole).toString();
    const QRect Row(0, 0, 10000, H);
    return QSize(FTree->LabelRect(Row, Text).right() + 4, H);
}

void TPlaceDelegate::paint(QPainter* Painter, const QStyleOptionViewItem& Option, const QModelIndex& Index) const {
    auto* Node = static_cast<TPlaceNode*>(FTree->itemFromIndex(Index));
    if (!Node) return;
    const bool Selected = Option.state & QStyle::State_Selected;
    Painter->save();
    const QRect Row = Option.rect;
    const QRect Label = FTree->LabelRect(Row, Node->Text());
    // The whole row shows the selection.
    if (Selected) Painter->fillRect(Row, Option.palette.color(QPalette::Highlight));
    const QPixmap State = FTree->StatePicture(Node->StateIndex);
    if (!State.isNull()) Painter->drawPixmap(FTree->StateRect(Row).topLeft(), State);
    const QPixmap Pic = FTree->NodePicture(Node, Selected);
    if (!Pic.isNull()) Painter->drawPixmap(FTree->IconRect(Row).topLeft(), Pic);
    Painter->setPen(Option.palette.color(Selected ? QPalette::HighlightedText : QPalette::Text));
    Painter->setFont(Option.font);
    Painter->drawText(Label.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, Node->Text());
    Painter->restore();
}

TPlacesTreeView::TPlacesTreeView(QWidget* Parent) : QTreeWidget(Parent) {
    setColumnCount(1);
    setHeaderHidden(true);
    setIndentation(19);
    setRootIsDecorated(true);
    setExpandsOnDoubleClick(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setFrameShape(QFrame::NoFrame);
    setItemDelegate(new TPlaceDelegate(this));
    header()->setStretchLastSection(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    connect(model(), &QAbstractItemModel::rowsInserted, this, [this] { FitColumn(); });
    connect(model(), &QAbstractItemModel::rowsRemoved, this, [this] { FitColumn(); });
    connect(this, &QTreeView::expanded, this, [this] { FitColumn(); });
    connect(this, &QTreeView::collapsed, this, [this] { FitColumn(); });
}

void TPlacesTreeView::FitColumn() {
    const int W = std::max(viewport()->width(), sizeHintForColumn(0));
    if (columnWidth(0) != W) setColumnWidth(0, W);
}

bool TPlacesTreeView::viewportEvent(QEvent* Event) {
    const bool Result = QTreeWidget::viewportEvent(Event);
    if (Event->type() == QEvent::Resize) FitColumn();
    return Result;
}

TPlaceNode* TPlacesTreeView::Root() const {
    return topLevelItemCount() ? static_cast<TPlaceNode*>(topLevelItem(0)) : nullptr;
}

std::vector<TPlaceNode*> TPlacesTreeView::Nodes() const {
    std::vector<TPlaceNode*> Out;
    std::function<void(QTreeWidgetItem*)> Walk = [&](QTreeWidgetItem* I) {
        Out.push_back(static_cast<TPlaceNode*>(I));
        for (int K = 0; K < I->childCount(); ++K) Walk(I->child(K));
    };
    for (int K = 0; K < topLevelItemCount(); ++K) Walk(topLevelItem(K));
    return Out;
}

int TPlacesTreeView::NodeCount() const {
    return int(Nodes().size());
}

TPlaceNode* TPlacesTreeView::NodeAt(const QPoint& Point) const {
    return static_cast<TPlaceNode*>(itemAt(Point));
}

TPlaceNode* TPlacesTreeView::AddChild(TPlaceNode* Parent, const QString& Text) {
    auto* Node = new TPlaceNode();
    Node->setText(0, Text);
    if (Parent)
        Parent->addChild(Node);
    else
        addTopLevelItem(Node);
    return Node;
}

QRect TPlacesTreeView::StateRect(const QRect& Row) const {
    const int Y = Row.top() + (Row.height() - ImageSize.height()) / 2;
    return QRect(Row.left() + 1, Y, ImageSize.width(), ImageSize.height());
}

QRect TPlacesTreeView::IconRect(const QRect& Row) const {
    const QRect S = StateRect(Row);
    return QRect(S.right() + 1 + 3, S.top(), ImageSize.width(), ImageSize.height());
}

QRect TPlacesTreeView::LabelRect(const QRect& Row, const QString& Text) const {
    const QRect I = IconRect(Row);
    const int W = fontMetrics().horizontalAdvance(Text) + 6;
    return QRect(I.right() + 1 + 2, Row.top(), W, Row.height());
}

QPixmap TPlacesTreeView::NodePicture(TPlaceNode* Node, bool Selected) const {
    if (OnGetImageIndex) OnGetImageIndex(Node);
    const int Index = Selected ? Node->SelectedIndex : Node->ImageIndex;
    QPixmap P = NodeImage ? NodeImage(Index) : QPixmap();
    if (!P.isNull()) return P;
    QStyle::StandardPixmap Std = QStyle::SP_DirClosedIcon;
    if (Index == places::ImageRoot) Std = QStyle::SP_ComputerIcon;
    else if (Index == places::ImageDrive) Std = QStyle::SP_DriveHDIcon;
    else if (Index == places::ImageFolder + 1) Std = QStyle::SP_DirOpenIcon;
    return style()->standardIcon(Std).pixmap(ImageSize);
}

QPixmap TPlacesTreeView::StatePicture(int State) const {
    QPixmap P = StateImage ? StateImage(State) : QPixmap();
    if (!P.isNull() || (State != places::StateUnticked && State != places::StateTicked)) return P;
    // Without pictures the style's check box stands in.
    QPixmap Out(ImageSize);
    Out.fill(Qt::transparent);
    QPainter Painter(&Out);
    QStyleOptionButton Opt;
    Opt.rect = QRect(QPoint(0, 0), ImageSize).adjusted(1, 1, -1, -1);
    Opt.state = QStyle::State_Enabled | (State == places::StateTicked ? QStyle::State_On : QStyle::State_Off);
    style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &Opt, &Painter, this);
    return Out;
}

TPlacesTreeView::THit TPlacesTreeView::HitTest(const QPoint& Point) const {
    QTreeWidgetItem* Item = itemAt(Point);
    if (!Item) return THit::Nowhere;
    const QRect Row = visualItemRect(Item);
    if (Point.x() < Row.left()) {
        // The indent; its last step holds the expand button.
        return Point.x() >= Row.left() - indentation() ? THit::Button : THit::Nowhere;
    }
    if (StateRect(Row).contains(Point)) return THit::StateIcon;
    if (IconRect(Row).contains(Point)) return THit::Icon;
    if (LabelRect(Row, Item->text(0)).contains(Point)) return THit::Label;
    return THit::Nowhere;
}

void TPlacesTreeView::mousePressEvent(QMouseEvent* Event) {
    if (OnMouseDown) {
        const QPoint P = Event->position().toPoint();
        OnMouseDown(this, Event->button(), Event->modifiers(), P.x(), P.y());
    }
    QTreeWidget::mousePressEvent(Event);
}

void TPlacesTreeView::mouseDoubleClickEvent(QMouseEvent* Event) {
    if (OnMouseDown) {
        const QPoint P = Event->position().toPoint();
        OnMouseDown(this, Event->button(), Event->modifiers(), P.x(), P.y());
    }
    Event->accept();
}
