#include "store/table_impl.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <map>
#include <set>

#include "base/cp850.h"
#include "base/text.h"
#include "platform/drives.h"
#include "store/cdx.h"
#include "store/dbf.h"
#include "store/expr.h"
#include "store/journal.h"
#include "store/locks.h"
#include "store/table_files.h"
#include "store/work_areas.h"

namespace kdx2::store {

void Table::Impl::leaveRecord() {
    // Only a written change can move the record's index entries. Otherwise
    // the cursor stays on the entry it came by: seeking the record again
    // by its key would land elsewhere when the key disagrees with the
    // index (a damaged table or index), and a walk would never end.
    if (dirty || pendingAppend) cursorOnRecord = false;
    writeRecord();
}

void Table::Impl::placeEof() {
    recno = count + 1;
    atEof = true;
    loaded = false;
    cursorOnRecord = false;
}

bool Table::Impl::visible() {
    ensureLoaded();
    if (deletedFilter() && record[0] == dbf::kDeleted) return false;
    return !filter || filter(*owner);
}

bool Table::Impl::landOn(uint32_t n) {
    if (n > count) refreshCount();
    if (n < 1 || n > count) return false;
    place(n);
    return visible();
}

bool Table::Impl::landOnCursor(OpenOrder& o) {
    if (o.cursor.eof()) return false;
    if (!landOn(o.cursor.recno())) return false;
    cursorOnRecord = true;
    return true;
}

bool Table::Impl::syncCursor(OpenOrder& o) {
    if (cursorOnRecord && o.cursor.recno() == recno && !o.cursor.eof()) return true;
    ensureLoaded();
    const std::string key = keyOf(o, record.data());
    const bool there =
        o.cursor.seekEntry(key, recno) && o.cursor.recno() == recno && o.cursor.key() == key;
    cursorOnRecord = there;
    return there;
}

bool Table::Impl::orderNext(OpenOrder& o) {
    if (!o.descending) return o.cursor.next();
    if (o.cursor.eof()) return false;  // past the end in reading order
    if (o.cursor.previous()) return true;
    o.cursor = o.tag.cursor();  // before the tree's first entry: the end
    return false;
}

bool Table::Impl::orderPrevious(OpenOrder& o) {
    if (!o.descending) return o.cursor.previous();
    if (o.cursor.eof()) return o.cursor.first();
    return o.cursor.next();
}

bool Table::Impl::orderSeek(OpenOrder& o, std::string_view prefix) {
    const bool on = o.cursor.seek(prefix);
    if (!o.descending) return on;
    const auto matches = [&] {
        return !o.cursor.eof() && o.cursor.key().compare(0, prefix.size(), prefix) == 0;
    };
    if (!matches()) {
        // The greatest key below the prefix comes next in descending order.
        if (o.cursor.previous()) return true;
        o.cursor = o.tag.cursor();
        return false;
    }
    // The last of the matching entries is the first one read.
    while (matches() && o.cursor.next()) {
    }
    if (o.cursor.eof()) return o.cursor.last();
    return o.cursor.previous();
}

void Table::Impl::goTop() {
    requireOpen();
    leaveRecord();
    refreshCount();
    atBof = false;
    if (OpenOrder* o = controlling()) {
        bool on = orderFirst(*o);
        while (on && !landOnCursor(*o))
            on = orderNext(*o);
        if (!on) markEmpty();
        return;
    }
    for (uint32_t n = 1; n <= count; ++n)
        if (landOn(n)) return;
    markEmpty();
}

void Table::Impl::markEmpty() {
    placeEof();
    atBof = true;
}

void Table::Impl::goBottom() {
    requireOpen();
    leaveRecord();
    refreshCount();
    atBof = false;
    if (OpenOrder* o = controlling()) {
        bool on = orderLast(*o);
        while (on && !landOnCursor(*o))
            on = orderPrevious(*o);
        if (!on) markEmpty();
        return;
    }
    for (uint32_t n = count; n >= 1; --n)
        if (landOn(n)) return;
    markEmpty();
}

void Table::Impl::goTo(uint32_t n) {
    requireOpen();
    leaveRecord();
    atBof = false;
    if (n > count) refreshCount();
    if (n < 1 || n > count) {
        placeEof();
        return;
    }
    place(n);
}

bool Table::Impl::stepForward() {
    if (atEof) return false;
    if (OpenOrder* o = controlling()) {
        // Off its entry, the cursor already stands on the one after it in
        // the tree, which for a descending order comes before it.
        bool on = syncCursor(*o) ? orderNext(*o) : o->descending ? orderNext(*o) : !o->cursor.eof();
        while (on && !landOnCursor(*o))
            on = orderNext(*o);
        if (!on) placeEof();
        return on;
    }
    for (uint32_t n = recno + 1;; ++n) {
        if (n > count && n > refreshCount()) break;
        if (landOn(n)) return true;
    }
    placeEof();
    return false;
}

bool Table::Impl::stepBackward() {
    if (atEof) {
        goBottom();
        if (atEof) atBof = true;
        return !atEof;
    }
    bool on = false;
    if (OpenOrder* o = controlling()) {
        const bool onEntry = syncCursor(*o);
        on = onEntry || !o->descending ? orderPrevious(*o) : !o->cursor.eof();
        while (on && !landOnCursor(*o))
            on = orderPrevious(*o);
    } else {
        for (uint32_t n = recno; n-- > 1;)
            if (landOn(n)) {
                on = true;
                break;
            }
    }
    if (!on) {
        // Before the first record: xBase stays on the first visible one.
        goTop();
        atBof = true;
    }
    return on;
}

void Table::Impl::skip(long steps) {
    requireOpen();
    leaveRecord();
    atBof = false;
    if (steps == 0) {
        loaded = false;  // re-read: another copy may have changed it
        return;
    }
    if (steps > 0) {
        for (long i = 0; i < steps; ++i)
            if (!stepForward()) return;
    } else {
        for (long i = 0; i < -steps; ++i)
            if (!stepBackward()) return;
    }
}

std::string Table::Impl::seekBytes(const OpenOrder& o, const base::Value& key) const {
    if (key.type() != o.keyType)
        throw base::Error("O tipo da chave procurada não confere com o índice "_cp + o.filePath +
                          ".");
    if (o.keyType == base::Type::Character) {
        std::string text = key.text();
        // Blanks beyond the key length cannot make a difference.
        if (text.size() > o.keyLength) {
            const std::string tail = text.substr(o.keyLength);
            if (tail.find_first_not_of(' ') == std::string::npos) text.resize(o.keyLength);
        }
        return text;
    }
    return cdxKey(key, o.keyLength);
}

bool Table::Impl::seek(const base::Value& key, bool soft) {
    requireOpen();
    leaveRecord();
    atBof = false;
    OpenOrder* o = controlling();
    if (!o) throw base::Error("A tabela "_cp + path + " não tem índice ativo para a busca."_cp);
    const std::string bytes = seekBytes(*o, key);
    const bool tooLong = bytes.size() > o->keyLength;
    bool on = orderSeek(*o, tooLong ? bytes.substr(0, o->keyLength) : bytes);
    while (on && !landOnCursor(*o))
        on = orderNext(*o);
    if (!on) {
        placeEof();
        wasFound = false;
        return false;
    }
    wasFound = !tooLong && o->cursor.key().compare(0, bytes.size(), bytes) == 0;
    if (!wasFound && !soft) placeEof();
    return wasFound;
}

}  // namespace kdx2::store
