// Narrowing the contents tree to the entries whose path holds a text. The items stay; rows
// are hidden and shown, so a key costs a pass over the nodes' names, not a new tree, and
// never the length of every path: folders nested thousands deep cost their names once.
#pragma once

#include <QModelIndex>
#include <QString>
#include <vector>

class QTreeWidget;

// The view lays out an expanded folder's rows one call deeper per level: folders a crafted
// archive nests tens of thousands deep would overflow the stack. Where the tree expands many
// folders at once, it expands them one by one and no deeper than this, which no real
// archive reaches.
inline constexpr int kDeepestExpanded = 1000;
class QTreeWidgetItem;

class TTreeFilter {
public:
    explicit TTreeFilter(QTreeWidget& tree) : tree_(tree) {}

    // Shows only the entries whose path (as the tree shows it, folders joined by "\") holds
    // text in any letter case, with the folders above them, all expanded. A text with "*" or
    // "?" is a pattern that names paths as the command line's ENTRY does (see WildcardText). "" shows the tree
    // again with the folders expanded that were before the first text.
    void Apply(const QString& text);
    const QString& Text() const { return text_; }
    bool Active() const { return !text_.isEmpty(); }
    // Some entry is shown: always without a text.
    bool ShowsAny() const { return !Active() || showsAny_; }

    // Items are about to be added, or all removed first: what is known of them is dropped,
    // rows that stay are shown again, and the folders kept expanded are forgotten. The text
    // stays, for Apply again.
    void ForgetItems(bool itemsStay);

    // The folders that were expanded before the first text, while one is applied.
    std::vector<QTreeWidgetItem*> ExpandedBefore() const;

private:
    struct TNode {
        QTreeWidgetItem* item;
        int parent;  // index into nodes_, -1 at the top
        int row;
        QModelIndex index;
        QString name;  // case-folded; a path is its folders' names and its own, joined by "\\"
        int depth;     // 0 at the top
    };

    void CollectNodes();
    QModelIndex ParentIndex(const TNode& node) const;
    void ShowAll();
    std::vector<char> VisibleNodes(const QString& text) const;
    std::vector<char> PatternNodes(const QString& text) const;
    void SetHiddenRows(const std::vector<char>& visible);
    void ExpandShown(const std::vector<char>& visible);
    void SaveExpanded();
    void RestoreExpanded();

    QTreeWidget& tree_;
    QString text_;
    std::vector<TNode> nodes_;  // depth first, a parent before its children
    bool nodesKnown_ = false;
    int deepest_ = 0;           // the largest depth of a node
    std::vector<int> hidden_;   // nodes whose rows are hidden
    std::vector<int> expandedBefore_;  // nodes
    bool expandedSaved_ = false;
    bool showsAny_ = false;
};

// True for a filter text with a wildcard, "*" or "?".
bool WildcardText(const QString& text);
