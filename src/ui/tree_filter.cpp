#include "ui/tree_filter.h"

#include <QTreeWidget>
#include <algorithm>
#include <string>

#include "engine/extraction/entry_selection.h"

// Rows are reached through model indexes made from the rows noted while walking the tree:
// asking an item for its own index searches its siblings, which in a folder of 100,000
// files would make every step cost as much as the whole pass.

void TTreeFilter::Apply(const QString& text) {
    if (text.isEmpty()) {
        text_.clear();
        if (!expandedSaved_) return;
        CollectNodes();
        ShowAll();
        RestoreExpanded();
        return;
    }
    CollectNodes();
    if (!expandedSaved_) SaveExpanded();
    text_ = text;
    tree_.setUpdatesEnabled(false);
    const std::vector<char> visible = WildcardText(text) ? PatternNodes(text) : VisibleNodes(text);
    showsAny_ = std::find(visible.begin(), visible.end(), 1) != visible.end();
    SetHiddenRows(visible);
    ExpandShown(visible);
    tree_.setUpdatesEnabled(true);
}

void TTreeFilter::ForgetItems(bool itemsStay) {
    if (itemsStay && nodesKnown_) ShowAll();
    nodes_.clear();
    nodesKnown_ = false;
    hidden_.clear();
    expandedBefore_.clear();
    expandedSaved_ = false;
}

std::vector<QTreeWidgetItem*> TTreeFilter::ExpandedBefore() const {
    std::vector<QTreeWidgetItem*> items;
    for (int i : expandedBefore_) items.push_back(nodes_[static_cast<size_t>(i)].item);
    return items;
}

void TTreeFilter::CollectNodes() {
    if (nodesKnown_) return;
    nodes_.clear();
    deepest_ = 0;
    QAbstractItemModel* model = tree_.model();
    struct TPending {
        QTreeWidgetItem* item;
        int parent;
        int row;
    };
    // Depth first with a stack of its own: a crafted archive may nest folders deeply.
    std::vector<TPending> pending;
    for (int i = tree_.topLevelItemCount() - 1; i >= 0; --i) pending.push_back({tree_.topLevelItem(i), -1, i});
    while (!pending.empty()) {
        const TPending next = pending.back();
        pending.pop_back();
        const TNode* parent = next.parent < 0 ? nullptr : &nodes_[static_cast<size_t>(next.parent)];
        const QString name = next.item->text(0);
        const int depth = parent != nullptr ? parent->depth + 1 : 0;
        nodes_.push_back({next.item, next.parent, next.row,
                          model->index(next.row, 0, parent != nullptr ? parent->index : QModelIndex()),
                          name.toCaseFolded(), depth});
        deepest_ = std::max(deepest_, depth);
        const int self = static_cast<int>(nodes_.size()) - 1;
        for (int c = next.item->childCount() - 1; c >= 0; --c) pending.push_back({next.item->child(c), self, c});
    }
    nodesKnown_ = true;
}

namespace {

// Finds a text in a path read part by part (Knuth, Morris and Pratt): a node's path goes on
// from its folder's, so the search goes on from where the folder's left off.
class TPathSearch {
public:
    explicit TPathSearch(const QString& text) : text_(text.toCaseFolded()), fallback_(text_.size() + 1, 0) {
        for (qsizetype k = 1, matched = 0; k < text_.size(); ++k) {
            while (matched > 0 && text_[k] != text_[matched]) matched = fallback_[matched];
            if (text_[k] == text_[matched]) ++matched;
            fallback_[k + 1] = matched;
        }
    }

    // Reads more of a path from a state (how much of the text its end matched); true when the
    // text was met on the way.
    bool Read(const QString& more, qsizetype& state) const {
        bool found = false;
        for (const QChar c : more) {
            while (state > 0 && c != text_[state]) state = fallback_[state];
            if (c == text_[state]) ++state;
            if (state == text_.size()) {
                found = true;
                state = fallback_[state];
            }
        }
        return found;
    }

private:
    QString text_;
    std::vector<qsizetype> fallback_;
};

}  // namespace

std::vector<char> TTreeFilter::VisibleNodes(const QString& text) const {
    const TPathSearch search(text);
    std::vector<char> visible(nodes_.size(), 0);
    std::vector<qsizetype> state(nodes_.size(), 0);
    const QString separator(QLatin1Char('\\'));
    for (size_t i = 0; i < nodes_.size(); ++i) {
        const TNode& node = nodes_[i];
        if (node.parent >= 0) {
            const auto parent = static_cast<size_t>(node.parent);
            state[i] = state[parent];
            // A folder's path starts each of its entries' paths.
            visible[i] = visible[parent];
            if (search.Read(separator, state[i])) visible[i] = 1;
        }
        if (search.Read(node.name, state[i])) visible[i] = 1;
    }
    // What is left is to show the folders above each match.
    for (size_t i = nodes_.size(); i-- > 0;)
        if (visible[i] && nodes_[i].parent >= 0) visible[static_cast<size_t>(nodes_[i].parent)] = 1;
    return visible;
}

bool WildcardText(const QString& text) {
    return text.contains(QLatin1Char('*')) || text.contains(QLatin1Char('?'));
}

std::vector<char> TTreeFilter::PatternNodes(const QString& text) const {
    // The command line's rule, on the paths the tree shows: "*" and "?" within one part, "**"
    // for any number of parts, a folder standing for all it holds. A text it cannot take
    // (a root, a "." or ".." part) shows nothing.
    std::vector<char> visible(nodes_.size(), 0);
    const std::string typed = text.toUtf8().toStdString();
    if (!EntryPatternProblem(typed).empty()) return visible;
    const TEntryPattern pattern = ParseEntryPattern(typed);
    // Each node's path from its folder's: nodes_ holds a folder before what it holds.
    std::vector<std::string> paths(nodes_.size());
    for (size_t i = 0; i < nodes_.size(); ++i) {
        const TNode& node = nodes_[i];
        const std::string name = node.item->text(0).toUtf8().toStdString();
        std::string path = node.parent < 0 ? name : paths[static_cast<size_t>(node.parent)] + "\\" + name;
        visible[i] = PatternSelects(pattern, path) ? 1 : 0;
        if (node.item->childCount() > 0) paths[i] = std::move(path);
    }
    for (size_t i = nodes_.size(); i-- > 0;)
        if (visible[i] && nodes_[i].parent >= 0) visible[static_cast<size_t>(nodes_[i].parent)] = 1;
    return visible;
}

void TTreeFilter::ExpandShown(const std::vector<char>& visible) {
    // Real archives stay far above kDeepestExpanded, and get the view's one quick pass.
    if (deepest_ < kDeepestExpanded) {
        tree_.expandAll();
        return;
    }
    for (size_t i = 0; i < nodes_.size(); ++i)
        if (visible[i] && nodes_[i].depth < kDeepestExpanded && nodes_[i].item->childCount() > 0)
            tree_.expand(nodes_[i].index);
}

void TTreeFilter::SetHiddenRows(const std::vector<char>& visible) {
    // Only the highest row of each hidden branch is hidden: below it nothing shows anyway.
    std::vector<char> wasHidden(nodes_.size(), 0);
    for (int i : hidden_) wasHidden[static_cast<size_t>(i)] = 1;
    std::vector<int> hidden;
    for (size_t i = 0; i < nodes_.size(); ++i) {
        const TNode& node = nodes_[i];
        const bool hide = !visible[i] && (node.parent < 0 || visible[static_cast<size_t>(node.parent)]);
        if (hide) hidden.push_back(static_cast<int>(i));
        if (hide != static_cast<bool>(wasHidden[i])) tree_.setRowHidden(node.row, ParentIndex(node), hide);
    }
    hidden_ = std::move(hidden);
}

QModelIndex TTreeFilter::ParentIndex(const TNode& node) const {
    return node.parent < 0 ? QModelIndex() : nodes_[static_cast<size_t>(node.parent)].index;
}

void TTreeFilter::ShowAll() {
    for (int i : hidden_) {
        const TNode& node = nodes_[static_cast<size_t>(i)];
        tree_.setRowHidden(node.row, ParentIndex(node), false);
    }
    hidden_.clear();
}

void TTreeFilter::SaveExpanded() {
    expandedBefore_.clear();
    for (size_t i = 0; i < nodes_.size(); ++i)
        if (nodes_[i].item->childCount() > 0 && tree_.isExpanded(nodes_[i].index))
            expandedBefore_.push_back(static_cast<int>(i));
    expandedSaved_ = true;
}

void TTreeFilter::RestoreExpanded() {
    tree_.setUpdatesEnabled(false);
    tree_.collapseAll();
    for (int i : expandedBefore_) tree_.expand(nodes_[static_cast<size_t>(i)].index);
    tree_.setUpdatesEnabled(true);
    expandedBefore_.clear();
    expandedSaved_ = false;
    if (QTreeWidgetItem* current = tree_.currentItem()) tree_.scrollToItem(current);
}
