#include "sim/SimComposeStage.h"

#include "platform/KeyEventPoster.h"
#include "platform/Pasteboard.h"

#include <QTextBoundaryFinder>
#include <algorithm>

namespace murmelo::sim {

namespace {

constexpr quint16 kA = 0, kX = 7, kC = 8, kV = 9;
constexpr quint16 kReturn = 36, kTab = 48, kDelete = 51, kEnter = 76;
constexpr quint16 kHome = 115, kForwardDelete = 117, kEnd = 119;
constexpr quint16 kLeft = 123, kRight = 124, kDown = 125, kUp = 126;

QStringList graphemes(const QString& text) {
    QStringList out;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype from = 0;
    while (finder.toNextBoundary() != -1) {
        const qsizetype to = finder.position();
        out << text.mid(from, to - from);
        from = to;
    }
    return out;
}

bool isWordChar(const QString& ch) { return !ch.isEmpty() && (ch[0].isLetterOrNumber() || ch[0] == u'_'); }

}  // namespace

SimComposeStage::SimComposeStage(const QString& sourceID, std::shared_ptr<SimField> field)
    : realSourceID(sourceID), hidSource(sourceID), field_(field ? std::move(field) : std::make_shared<SimField>()) {
    shownValue_ = field_->value;
    shownStart_ = field_->selectionStart;
    shownLength_ = field_->selectionLength;
    for (const QString& g : graphemes(field_->value)) cells_.push_back({g, false, QStringLiteral("field")});
    caret_ = anchor_ = cellIndex(field_->caret());
}

// ---- the field underneath

void SimComposeStage::adoptField() {
    const SimField& f = *field_;
    if (f.value != shownValue_) {
        // Keep who typed what for the unchanged ends; the changed middle came from elsewhere.
        const QStringList now = graphemes(f.value);
        const int n = int(cells_.size()), m = int(now.size());
        int prefix = 0;
        while (prefix < n && prefix < m && cells_[prefix].ch == now[prefix]) ++prefix;
        int suffix = 0;
        while (suffix < n - prefix && suffix < m - prefix && cells_[n - 1 - suffix].ch == now[m - 1 - suffix]) ++suffix;
        std::vector<ComposeCell> merged(cells_.begin(), cells_.begin() + prefix);
        for (int i = prefix; i < m - suffix; ++i) merged.push_back({now[i], false, QStringLiteral("field")});
        merged.insert(merged.end(), cells_.end() - suffix, cells_.end());
        cells_ = std::move(merged);
        shownValue_ = f.value;
        shownStart_ = -1;  // take the field's selection below
    }
    if (f.selectionStart != shownStart_ || f.selectionLength != shownLength_) {
        anchor_ = cellIndex(f.selectionStart);
        caret_ = cellIndex(f.selectionStart + f.selectionLength);
        shownStart_ = f.selectionStart;
        shownLength_ = f.selectionLength;
    }
    caret_ = std::clamp(caret_, 0, int(cells_.size()));
    anchor_ = std::clamp(anchor_, 0, int(cells_.size()));
}

void SimComposeStage::show() {
    QString value;
    for (const ComposeCell& c : cells_) value += c.ch;
    field_->value = value;
    const int lo = std::min(anchor_, caret_), hi = std::max(anchor_, caret_);
    field_->selectionStart = utf16Offset(lo);
    field_->selectionLength = utf16Offset(hi) - field_->selectionStart;
    shownValue_ = value;
    shownStart_ = field_->selectionStart;
    shownLength_ = field_->selectionLength;
}

int SimComposeStage::cellIndex(qsizetype utf16) const {
    if (cells_.empty() || utf16 <= 0) return 0;
    qsizetype length = 0;
    for (int i = 0; i < int(cells_.size()); ++i) {
        length += cells_[i].ch.size();
        if (length >= utf16) return i + 1;
    }
    return int(cells_.size());
}

qsizetype SimComposeStage::utf16Offset(int cell) const {
    qsizetype length = 0;
    for (int i = 0; i < cell && i < int(cells_.size()); ++i) length += cells_[i].ch.size();
    return length;
}

int SimComposeStage::removeCells(int from, int to) {
    int human = 0;
    for (int i = from; i < to; ++i) human += cells_[i].human ? 1 : 0;
    cells_.erase(cells_.begin() + from, cells_.begin() + to);
    caret_ = anchor_ = from;
    return human;
}

int SimComposeStage::removeSelection() {
    if (anchor_ == caret_) return 0;
    return removeCells(std::min(anchor_, caret_), std::max(anchor_, caret_));
}

void SimComposeStage::insertCells(const QString& text, bool human, const QString& origin) {
    for (const QString& g : graphemes(text)) {
        cells_.insert(cells_.begin() + caret_, ComposeCell{g, human, origin});
        ++caret_;
    }
    anchor_ = caret_;
}

// An insertion into the field: to fieldInsert when set, else over the selection at the caret.
void SimComposeStage::insertText(const QString& text, bool human, const QString& origin) {
    if (fieldInsert) {
        fieldInsert(text);
        writes.push_back({origin, 0, text, 0});
        return;
    }
    adoptField();
    const int erased = std::abs(caret_ - anchor_);
    const int humanErased = removeSelection();
    insertCells(text, human, origin);
    show();
    if (!text.isEmpty() || erased > 0) writes.push_back({origin, erased, text, humanErased});
}

// ---- the switcher's writes

void SimComposeStage::machineInsert(const QString& text, const QString& origin) {
    std::lock_guard guard(lock_);
    const int n = ++machineWriteCount_;
    if (sawDrop_) ++writesAfterFirstDrop;
    if (dropEveryNthWrite >= 1 && n % dropEveryNthWrite == 0) {
        sawDrop_ = true;
        droppedChars += int(graphemes(text).size());
        writes.push_back({origin, 0, text, 0});
        return;
    }
    insertText(text, false, origin);
}

void SimComposeStage::machinePaste(const QString& text, const QString& origin) {
    std::lock_guard guard(lock_);
    if (sawDrop_) ++writesAfterFirstDrop;
    insertText(text, false, origin);
}

void SimComposeStage::machineErase(int count, const QString& origin) {
    std::lock_guard guard(lock_);
    if (fieldErase) {
        fieldErase(count);
        writes.push_back({origin, count, QString(), 0});
        return;
    }
    adoptField();
    int erased = 0, human = 0;
    if (count > 0 && anchor_ != caret_) {
        // The first Backspace takes the selection, as in any editor.
        erased = std::abs(caret_ - anchor_);
        human = removeSelection();
        --count;
    }
    const int m = std::min(caret_, count);
    if (m > 0) {
        human += removeCells(caret_ - m, caret_);
        erased += m;
    }
    if (erased <= 0) return;
    show();
    writes.push_back({origin, erased, QString(), human});
}

void SimComposeStage::machineKey(quint16 keyCode, quint64 flags, const QString& origin) {
    std::lock_guard guard(lock_);
    keys.push_back({keyCode, flags, origin});
    const bool command = flags & KeyFlags::command;
    const bool shift = flags & KeyFlags::shift;
    const bool option = flags & KeyFlags::option;
    adoptField();
    const int n = int(cells_.size());
    if (command && keyCode == kA) {
        anchor_ = 0;
        caret_ = n;
    } else if (command && (keyCode == kC || keyCode == kX)) {
        copySelection();
        if (keyCode == kX && anchor_ != caret_) {
            const int erased = std::abs(caret_ - anchor_);
            const int human = removeSelection();
            writes.push_back({origin, erased, QString(), human});
        }
    } else if (command && keyCode == kV) {
        if (const std::optional<QString> text = Pasteboard::general().string()) return machinePaste(*text, origin);
    } else if (keyCode == kLeft || keyCode == kRight) {
        const bool left = keyCode == kLeft;
        int to = caret_;
        if (command) to = left ? 0 : n;
        else if (option) to = left ? wordStartBefore(caret_) : wordEndAfter(caret_);
        else if (!shift && anchor_ != caret_) to = left ? std::min(anchor_, caret_) : std::max(anchor_, caret_);
        else to = std::clamp(caret_ + (left ? -1 : 1), 0, n);
        moveCaret(to, shift);
    } else if (keyCode == kUp || keyCode == kHome) {
        moveCaret(0, shift);
    } else if (keyCode == kDown || keyCode == kEnd) {
        moveCaret(n, shift);
    } else if (keyCode == kDelete) {
        return machineErase(1, origin);
    } else if (keyCode == kForwardDelete) {
        if (anchor_ == caret_ && caret_ < n) caret_ = caret_ + 1;
        if (anchor_ != caret_) {
            const int erased = std::abs(caret_ - anchor_);
            const int human = removeSelection();
            writes.push_back({origin, erased, QString(), human});
        }
    } else if (!command && (keyCode == kReturn || keyCode == kEnter || keyCode == kTab)) {
        return insertText(keyCode == kTab ? QStringLiteral("\t") : QStringLiteral("\n"), false, origin);
    }
    show();
}

void SimComposeStage::moveCaret(int to, bool extend) {
    caret_ = std::clamp(to, 0, int(cells_.size()));
    if (!extend) anchor_ = caret_;
}

int SimComposeStage::wordStartBefore(int cell) const {
    int i = cell;
    while (i > 0 && !isWordChar(cells_[i - 1].ch)) --i;
    while (i > 0 && isWordChar(cells_[i - 1].ch)) --i;
    return i;
}

int SimComposeStage::wordEndAfter(int cell) const {
    const int n = int(cells_.size());
    int i = cell;
    while (i < n && !isWordChar(cells_[i].ch)) ++i;
    while (i < n && isWordChar(cells_[i].ch)) ++i;
    return i;
}

QString SimComposeStage::selectedText() const {
    QString out;
    for (int i = std::min(anchor_, caret_); i < std::max(anchor_, caret_); ++i) out += cells_[i].ch;
    return out;
}

void SimComposeStage::copySelection() {
    if (anchor_ == caret_) return;  // an editor copies nothing without a selection
    PasteboardItem item;
    item.setData(Pasteboard::plainTextType, selectedText().toUtf8());
    Pasteboard& board = Pasteboard::general();
    board.clearContents();
    board.writeItems({item});
}

// ---- accessibility

QString SimComposeStage::axValue() {
    std::lock_guard guard(lock_);
    adoptField();
    QString value;
    for (const ComposeCell& c : cells_) value += c.ch;
    return value;
}

qsizetype SimComposeStage::axCaret() {
    std::lock_guard guard(lock_);
    adoptField();
    return utf16Offset(caret_);
}

void SimComposeStage::axSetCaret(qsizetype offset) {
    std::lock_guard guard(lock_);
    adoptField();
    caret_ = anchor_ = cellIndex(offset);
    show();
}

bool SimComposeStage::axReplace(AXRange range, const QString& replacement, const QString& origin) {
    std::lock_guard guard(lock_);
    if (!forceAXDelivery) return false;
    adoptField();
    const int start = cellIndex(range.location);
    const int end = cellIndex(range.location + range.length);
    if (end < start) return false;
    const int human = removeCells(start, end);
    insertCells(replacement, false, origin);
    show();
    writes.push_back({origin, end - start, replacement, human});
    return true;
}

// ---- the user

void SimComposeStage::humanKey(const QString& ch, bool swallowed) {
    std::lock_guard guard(lock_);
    ++humanKeystrokes;
    plainChars << ch;
    if (swallowed) return;
    if (fieldInsert) return fieldInsert(ch);
    adoptField();
    removeSelection();
    insertCells(ch, true, QStringLiteral("human"));
    show();
}

void SimComposeStage::humanBackspace() {
    std::lock_guard guard(lock_);
    ++humanBackspaces;
    if (!plainChars.isEmpty()) plainChars.removeLast();
    if (fieldErase) return fieldErase(1);
    adoptField();
    if (anchor_ != caret_) removeSelection();
    else if (caret_ > 0) removeCells(caret_ - 1, caret_);
    show();
}

int SimComposeStage::caret() {
    std::lock_guard guard(lock_);
    adoptField();
    return caret_;
}

void SimComposeStage::setCaret(int cell) { select(cell, cell); }

void SimComposeStage::select(int anchor, int caret) {
    std::lock_guard guard(lock_);
    adoptField();
    anchor_ = std::clamp(anchor, 0, int(cells_.size()));
    caret_ = std::clamp(caret, 0, int(cells_.size()));
    show();
}

// ---- keyboard and input source

void SimComposeStage::selectSource(const QString& sourceID) {
    ++tisSelects;
    realSourceID = sourceID;
    const int lag = lagKeystrokes ? lagKeystrokes() : 0;
    if (lag <= 0) {
        hidSource = sourceID;
        pending_.reset();
    } else {
        pending_ = std::pair{sourceID, lag};
    }
}

void SimComposeStage::tickKeystroke() {
    if (!pending_) return;
    if (pending_->second > 0) {
        --pending_->second;
        return;
    }
    hidSource = pending_->first;
    pending_.reset();
}

void SimComposeStage::reselectSource(const QString& sourceID) {
    ++idleReselects;
    if (staleTapTable) {
        ++tisSelects;
        realSourceID = hidSource = sourceID;
        pending_.reset();
        return;
    }
    selectSource(sourceID);
}

void SimComposeStage::humanSelectSource(const QString& sourceID) {
    realSourceID = hidSource = sourceID;
    pending_.reset();
}

QString SimComposeStage::typed(const QString& sourceID, const QString& key) const {
    if (!keyMap) return key;
    const QString out = keyMap(sourceID, key);
    return out.isEmpty() ? key : out;
}

QString SimComposeStage::delivered(const QString& key) const { return typed(hidSource, key); }

QString SimComposeStage::rendered(const QString& key) const {
    return typed(staleTapTable ? sourceID() : hidSource, key);
}

// ---- inspection

QString SimComposeStage::text() {
    std::lock_guard guard(lock_);
    if (fieldRead) return fieldRead();
    return axValue();
}

std::vector<ComposeCell> SimComposeStage::cells() {
    std::lock_guard guard(lock_);
    adoptField();
    return cells_;
}

int SimComposeStage::humanCharsOnScreen() {
    std::lock_guard guard(lock_);
    adoptField();
    return int(std::count_if(cells_.begin(), cells_.end(), [](const ComposeCell& c) { return c.human; }));
}

int SimComposeStage::humanCharsErasedByUs() const {
    int n = 0;
    for (const ComposeWrite& w : writes) n += w.humanErased;
    return n;
}

}  // namespace murmelo::sim
