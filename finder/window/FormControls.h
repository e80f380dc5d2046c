#pragma once
// Small controls of the main window that behave as its handlers expect:
// labels with enter/leave/click events, radio buttons and check boxes whose
// click handler runs once per change, a coloured panel, the owner-data list
// and the places tree with tick pictures.
#include <QAbstractTableModel>
#include <QCheckBox>
#include <QColor>
#include <QLabel>
#include <QRadioButton>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <QTreeWidget>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "finder/window/ImageEx.h"
#include "finder/core/PlacesTree.h"

// A label with the events of a link: the picture button's events on text.
class TLabelEx : public TImageEx {
    Q_OBJECT
public:
    explicit TLabelEx(const QString& Caption, QWidget* Parent = nullptr);
};

// A radio button grouped with the radio buttons of the same parent. Its
// OnClick runs when it becomes checked, by the user or by SetChecked(true);
// unchecking it from code is allowed and runs nothing. A click on a checked
// button changes nothing.
class TRadioButton : public QRadioButton {
    Q_OBJECT
public:
    explicit TRadioButton(const QString& Caption, QWidget* Parent = nullptr);
    TNotifyEvent OnClick;
    void SetChecked(bool Value);
    bool Checked() const { return isChecked(); }

protected:
    void nextCheckState() override;

private:
    void TurnSiblingsOff();
};

// A check box whose OnClick runs once for every change of its state, by the
// user or by SetChecked.
class TCheckBox : public QCheckBox {
    Q_OBJECT
public:
    explicit TCheckBox(const QString& Caption, QWidget* Parent = nullptr);
    TNotifyEvent OnClick;
    void SetChecked(bool Value);
    bool Checked() const { return isChecked(); }
};

// The arrows of an up-down control alone; the value shows in an edit beside it.
class TUpDown : public QSpinBox {
    Q_OBJECT
public:
    explicit TUpDown(QWidget* Parent = nullptr);
};

// A plain panel with a fill colour.
class TPanel : public QWidget {
    Q_OBJECT
public:
    explicit TPanel(QWidget* Parent = nullptr, const QColor& Color = QColor());
    void SetColor(const QColor& Color);
    TMouseEvent OnMouseDown;

protected:
    void mousePressEvent(QMouseEvent* Event) override;
};

// ---- The owner-data report list -------------------------------------------

// What the list asks of its owner for one row.
struct TListItem {
    int Index = 0;
    QString Caption;
    QStringList SubItems;
    int ImageIndex = -1;
    int Indent = 0;
};

// How the owner wants a row drawn.
struct TListItemLook {
    QColor Brush;       // invalid: the list's own
    QColor FontColor;   // invalid: the list's own
    bool Bold = false;
};

struct TListColumn {
    QString Caption;
    int Width = 50;
    Qt::Alignment Align = Qt::AlignLeft;
};

class TVirtualListView;

class TVirtualListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TVirtualListModel(TVirtualListView* View);
    int rowCount(const QModelIndex& Parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& Parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& Index, int Role) const override;
    QVariant headerData(int Section, Qt::Orientation Orientation, int Role) const override;
    void Reset() { beginResetModel(); endResetModel(); }

private:
    TVirtualListView* FView;
};

// A report list that holds no rows: it asks OnData for each row it shows.
class TVirtualListView : public QTreeView {
    Q_OBJECT
public:
    explicit TVirtualListView(QWidget* Parent = nullptr);

    std::function<void(TListItem& Item)> OnData;
    std::function<void(const TListItem& Item, TListItemLook& Look)> OnCustomDrawItem;
    TMouseEvent OnMouseDown;
    std::function<void(int Column)> OnColumnClick;
    TNotifyEvent OnDblClick;
    // The row pictures (the ticks); null pixmaps draw nothing.
    std::function<QPixmap(int Index)> SmallImage;
    int SmallImageWidth = 16;

    // Columns.
    void ClearColumns();
    void AddColumn(const QString& Caption, int Width, Qt::Alignment Align);
    int ColumnCount() const { return int(FColumns.size()); }
    const TListColumn& Column(int Index) const { return FColumns.at(size_t(Index)); }
    void SetColumnWidth(int Index, int Width);
    void SetColumnCaption(int Index, const QString& Caption);

    // Rows.
    void SetItemCount(int Count);
    int ItemCount() const { return FItemCount; }
    // Asks OnData for a row afresh (the export reads rows this way too).
    TListItem Item(int Index) const;
    void Repaint();

    // Hit test: the row under a point and whether the point is on its picture.
    int ItemAt(const QPoint& Point) const;
    bool OnItemImage(const QPoint& Point) const;

protected:
    void mousePressEvent(QMouseEvent* Event) override;
    void mouseDoubleClickEvent(QMouseEvent* Event) override;

private:
    friend class TVirtualListModel;
    std::vector<TListColumn> FColumns;
    int FItemCount = 0;
    TVirtualListModel* FModel;
    bool FApplying = false;  // widths set by us, not by the user
    void ApplyColumnWidths();
    void ResetModel();
};

// ---- The places tree ------------------------------------------------------

// A node of the places tree: a tick state, a picture and, below the root,
// the data of its place, which it owns.
class TPlaceNode : public QTreeWidgetItem {
public:
    TPlaceNode() = default;
    int StateIndex = places::StateUnticked;
    int ImageIndex = places::ImageRoot;
    int SelectedIndex = places::ImageRoot;
    std::unique_ptr<TDirectoryInfo> Data;

    int Level() const;
    QString Text() const { return text(0); }
    TPlaceNode* Parent() const { return static_cast<TPlaceNode*>(parent()); }
    TPlaceNode* Child(int Index) const { return static_cast<TPlaceNode*>(child(Index)); }
    int Count() const { return childCount(); }
    bool HasChildren() const { return childCount() > 0; }
    // Deletes every child with its data and its own children.
    void DeleteChildren();
};

class TPlacesTreeView;

// Draws a node as: tick picture, node picture, text.
class TPlaceDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit TPlaceDelegate(TPlacesTreeView* Tree);
    void paint(QPainter* Painter, const QStyleOptionViewItem& Option, const QModelIndex& Index) const override;
    QSize sizeHint(const QStyleOptionViewItem& Option, const QModelIndex& Index) const override;

private:
    TPlacesTreeView* FTree;
};

class TPlacesTreeView : public QTreeWidget {
    Q_OBJECT
public:
    enum class THit { Nowhere, StateIcon, Icon, Label, Button };

    explicit TPlacesTreeView(QWidget* Parent = nullptr);

    TMouseEvent OnMouseDown;
    std::function<void(TPlaceNode* Node)> OnGetImageIndex;
    // Pictures of the nodes and of the tick states; null pixmaps fall back
    // to the style's own.
    std::function<QPixmap(int Index)> NodeImage;
    std::function<QPixmap(int Index)> StateImage;
    QSize ImageSize{16, 16};

    TPlaceNode* Root() const;             // the first node, or nullptr
    int NodeCount() const;                // every node at every level
    std::vector<TPlaceNode*> Nodes() const;  // in the tree's node order
    TPlaceNode* NodeAt(const QPoint& Point) const;
    THit HitTest(const QPoint& Point) const;
    TPlaceNode* AddChild(TPlaceNode* Parent, const QString& Text);

    // Where the parts of a node are drawn within its row rectangle.
    QRect StateRect(const QRect& Row) const;
    QRect IconRect(const QRect& Row) const;
    QRect LabelRect(const QRect& Row, const QString& Text) const;
    QPixmap NodePicture(TPlaceNode* Node, bool Selected) const;
    QPixmap StatePicture(int State) const;

protected:
    void mousePressEvent(QMouseEvent* Event) override;
    // The second press of a double click is a mouse-down too, so quick
    // clicks on tick boxes are not lost.
    void mouseDoubleClickEvent(QMouseEvent* Event) override;
    bool viewportEvent(QEvent* Event) override;

private:
    // The column is as wide as the widest listed node, at least the view:
    // long or deep names scroll instead of being cut off.
    void FitColumn();
};
