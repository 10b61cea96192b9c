#include "ui/get.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>

#include "base/cp850.h"
#include "base/text.h"
#include "ui/button.h"
#include "ui/color.h"
#include "ui/detail.h"
#include "ui/dialog.h"
#include "ui/msgalert.h"
#include "ui/screen.h"

namespace kdx2::ui {

namespace keys = platform::keys;
using namespace base::literals;

namespace {

bool isDigit(uint8_t ch) {
    return ch >= '0' && ch <= '9';
}

bool isLetter(uint8_t ch) {
    // CP850 letters above 127 are the accented ones (and a few symbols,
    // which a name field may take as well).
    return std::isalpha(ch) || (ch >= 128 && ch != 0xFF);
}

// Refusals of typed or pasted input are told at once, in a box of their own.
void refuse(const std::vector<std::string>& lines) {
    console().beep();
    MSGALERT(lines, {"Ok"}, "", "Aviso");
}

bool isYes(uint8_t ch) {
    return ch == 'T' || ch == 't' || ch == 'Y' || ch == 'y' || ch == 'S' || ch == 's';
}

bool isNo(uint8_t ch) {
    return ch == 'F' || ch == 'f' || ch == 'N' || ch == 'n';
}

uint8_t upperByte(uint8_t ch) {
    const char c = static_cast<char>(ch);
    return static_cast<uint8_t>(base::cp850::upper(std::string_view(&c, 1))[0]);
}

// The picture used while editing: the display picture without the
// left-justification, over the editing template.
Picture editPicture(const Picture& picture, const std::string& mask) {
    Picture edit = picture;
    std::erase(edit.functions, 'B');
    edit.mask = mask;
    return edit;
}

}  // namespace

Get::Get(int row, int col, Getter getter, Setter setter, std::string picture, std::string name)
    : row(row),
      col(col),
      name(std::move(name)),
      picture(std::move(picture)),
      getter_(std::move(getter)),
      setter_(std::move(setter)) {
    pic_ = Picture::parse(this->picture);
    type_ = getter_ ? getter_().type() : base::Type::Character;
}

std::shared_ptr<Get> Get::of(int row, int col, base::Value& variable, std::string picture,
                             std::string name) {
    return std::make_shared<Get>(
        row, col, [&variable] { return variable; },
        [&variable](const base::Value& value) { variable = value; }, std::move(picture),
        std::move(name));
}

void Get::setPicture(std::string text) {
    picture = std::move(text);
    pic_ = Picture::parse(picture);
}

void Get::setValue(const base::Value& value) {
    if (setter_) setter_(value);
    if (focus_) loadBuffer();
    display();
}

int Get::displayWidth() const {
    if (pic_.scrollWidth > 0) return pic_.scrollWidth;
    if (focus_) return static_cast<int>(buffer_.size());
    return static_cast<int>(formatValue(value(), pic_).size());
}

void Get::display() const {
    if (button || !started()) return;
    const ColorList colors = parseColorList(
        colorSpec.empty() ? LDialog::csColorGet + "," + LDialog::csColorGetActive : colorSpec);
    std::string text = focus_ ? buffer_ : formatValue(value(), pic_);
    if (pic_.scrollWidth > 0) {
        const size_t from = focus_ ? static_cast<size_t>(scrollOffset_) : 0;
        text = base::padRight(from < text.size() ? text.substr(from) : std::string(),
                              static_cast<size_t>(pic_.scrollWidth));
    }
    grid().write(row, col, text, focus_ ? colors.enhanced : colors.standard);
    if (focus_) setPos(row, col + pos_ - scrollOffset_);
}

// ---- Focus and buffer ------------------------------------------------------

void Get::setFocus() {
    focus_ = true;
    loadBuffer();
    if (button) button->setFocus();
    display();
}

void Get::killFocus() {
    focus_ = false;
    scrollOffset_ = 0;
    if (button) button->killFocus();
    display();
}

void Get::loadBuffer() {
    original_ = value();
    type_ = original_.type();
    mask_ =
        pic_.mask.empty() || type_ == base::Type::Date ? defaultMask(original_, pic_) : pic_.mask;
    replaceBufferText(original_);
    changed_ = false;
    clearOnType_ = type_ == base::Type::Numeric || pic_.has('K');
    typedOut_ = false;
    scrollOffset_ = 0;
    pos_ = firstEditable();
    updateScroll();
}

void Get::replaceBufferText(const base::Value& value) {
    if (type_ == base::Type::Character && pic_.mask.empty()) {
        // A text field without template edits its own width.
        std::string text = value.text();
        if (pic_.has('!')) text = base::cp850::upper(text);
        buffer_ = base::padRight(text, mask_.size());
        return;
    }
    base::Value typed = value;
    if (typed.type() != type_) typed = base::Value::emptyOf(type_);
    buffer_ = formatValue(typed, editPicture(pic_, mask_));
    if (buffer_.size() != mask_.size()) buffer_ = base::padRight(buffer_, mask_.size());
}

bool Get::bufferValue(base::Value& out) const {
    switch (type_) {
        case base::Type::Numeric: {
            const size_t pointAt = mask_.find('.');
            std::string integer, decimals;
            bool negative = false;
            for (size_t i = 0; i < buffer_.size(); ++i) {
                const uint8_t ch = static_cast<uint8_t>(buffer_[i]);
                if (ch == '-' || ch == '(') negative = true;
                if (!editable(static_cast<int>(i)) || !isDigit(ch)) continue;
                if (pointAt != std::string::npos && i > pointAt)
                    decimals += static_cast<char>(ch);
                else
                    integer += static_cast<char>(ch);
            }
            double number = base::parseNumber((integer.empty() ? "0" : integer) + "." + decimals);
            out = base::Value(negative ? -number : number);
            return true;
        }
        case base::Type::Date: {
            auto date = readTypedDate(buffer_);
            if (!date) return false;
            out = base::Value(*date);
            return true;
        }
        case base::Type::Logical: {
            const int at = firstEditable();
            out = base::Value(at >= 0 && at < static_cast<int>(buffer_.size()) &&
                              isYes(static_cast<uint8_t>(buffer_[at])));
            return true;
        }
        case base::Type::Character: {
            std::string text;
            if (pic_.has('R') && !pic_.mask.empty()) {
                for (size_t i = 0; i < buffer_.size(); ++i)
                    if (editable(static_cast<int>(i))) text += buffer_[i];
            } else {
                text = buffer_;
            }
            if (pic_.has('!')) text = base::cp850::upper(text);
            const size_t width = original_.text().size();
            if (text.size() < width) text = base::padRight(text, width);
            out = base::Value(std::move(text));
            return true;
        }
    }
    return false;
}

bool Get::assign() {
    if (!changed_) return true;
    base::Value value;
    if (!bufferValue(value)) return false;
    if (setter_) setter_(value);
    return true;
}

void Get::undo() {
    replaceBufferText(original_);
    changed_ = false;
    pos_ = firstEditable();
    updateScroll();
    display();
}

void Get::replaceBuffer(const base::Value& value) {
    replaceBufferText(value);
    changed_ = true;
    clearOnType_ = false;
    pos_ = firstEditable();
    updateScroll();
    display();
}

bool Get::fits(const base::Value& value) const {
    if (type_ != base::Type::Numeric || !value.isNumeric()) return true;
    const std::string mask = pic_.mask.empty() ? defaultMask(value, pic_) : pic_.mask;
    return formatValue(value, editPicture(pic_, mask)).find('*') == std::string::npos;
}

std::string Get::tooLargeMessage() const {
    std::string largest;
    for (size_t i = 0; i < mask_.size(); ++i)
        if (mask_[i] == '9' || mask_[i] == '#')
            largest += '9';
        else if (mask_[i] == '.')
            largest += '.';
    const std::string shown = base::alltrim(
        formatValue(base::Value(base::parseNumber(largest)), editPicture(pic_, mask_)));
    return "Valor grande demais para este campo: o máximo é "_cp + shown + ".";
}

bool Get::paste(const std::string& text) {
    if (type_ == base::Type::Numeric) {
        const base::Value number(base::parseNumber(base::alltrim(text)));
        if (number.isEmpty()) return false;  // nothing that reads as a number
        if (!fits(number)) {
            refuse({tooLargeMessage()});
            return false;
        }
        replaceBuffer(number);
        return true;
    }
    if (type_ == base::Type::Date) {
        const std::optional<base::Date> date = readTypedDate(base::alltrim(text));
        if (!date) {
            refuse({"Data inválida: "_cp + base::alltrim(text)});
            return false;
        }
        replaceBuffer(base::Value(*date));
        return true;
    }
    // Text takes the field's width: what would run past its end is dropped.
    base::Value current;
    if (!bufferValue(current)) current = value();
    const size_t width = std::max<size_t>(current.text().size(), 1);
    replaceBuffer(base::Value(base::padRight(text.substr(0, std::min(text.size(), width)), width)));
    return true;
}

// ---- Positions -----------------------------------------------------------------

bool Get::editable(int position) const {
    if (position < 0 || position >= static_cast<int>(mask_.size())) return false;
    const char m = mask_[static_cast<size_t>(position)];
    if (type_ == base::Type::Character && pic_.mask.empty()) return true;
    return Picture::isPlaceholder(m, type_);
}

int Get::firstEditable() const {
    for (int i = 0; i < static_cast<int>(mask_.size()); ++i)
        if (editable(i)) return i;
    return 0;
}

int Get::lastEditable() const {
    for (int i = static_cast<int>(mask_.size()) - 1; i >= 0; --i)
        if (editable(i)) return i;
    return 0;
}

int Get::nextEditable(int position) const {
    for (int i = position + 1; i < static_cast<int>(mask_.size()); ++i)
        if (editable(i)) return i;
    return -1;
}

int Get::previousEditable(int position) const {
    for (int i = position - 1; i >= 0; --i)
        if (editable(i)) return i;
    return -1;
}

void Get::updateScroll() {
    const int width = pic_.scrollWidth;
    if (width <= 0) {
        scrollOffset_ = 0;
        return;
    }
    if (pos_ < scrollOffset_) scrollOffset_ = pos_;
    if (pos_ >= scrollOffset_ + width) scrollOffset_ = pos_ - width + 1;
    scrollOffset_ = std::max(scrollOffset_, 0);
}

// The editable positions from `from` up to the end of its run: for numbers
// the integer or the decimal part, for other types the whole field.
std::vector<int> Get::runFrom(int from) const {
    std::vector<int> run;
    const size_t point = type_ == base::Type::Numeric ? mask_.find('.') : std::string::npos;
    const int end = point != std::string::npos && from < static_cast<int>(point)
                        ? static_cast<int>(point)
                        : static_cast<int>(mask_.size());
    for (int i = from; i < end; ++i)
        if (editable(i)) run.push_back(i);
    return run;
}

// ---- Editing -------------------------------------------------------------------

bool Get::acceptsChar(int position, uint8_t ch) const {
    if (!editable(position)) return false;
    switch (type_) {
        case base::Type::Numeric:
            return isDigit(ch) || ch == '-';
        case base::Type::Date:
            return isDigit(ch);
        case base::Type::Logical:
            return isYes(ch) || isNo(ch);
        case base::Type::Character:
            break;
    }
    if (pic_.mask.empty()) return ch >= 32;
    switch (mask_[static_cast<size_t>(position)]) {
        case '9':
            return isDigit(ch);
        case '#':
            return isDigit(ch) || ch == ' ' || ch == '+' || ch == '-';
        case 'A':
        case 'a':
            return isLetter(ch);
        case 'N':
        case 'n':
            return isLetter(ch) || isDigit(ch);
        case 'L':
        case 'l':
        case 'Y':
        case 'y':
            return isYes(ch) || isNo(ch);
        default:
            return ch >= 32;
    }
}

void Get::clearBuffer() {
    for (size_t i = 0; i < buffer_.size(); ++i)
        if (editable(static_cast<int>(i))) buffer_[i] = ' ';
    if (type_ == base::Type::Numeric) {
        // Thousands separators reappear when the number is shown again.
        for (size_t i = 0; i < mask_.size(); ++i)
            if (mask_[i] == ',') buffer_[i] = ' ';
        const size_t point = mask_.find('.');
        if (point != std::string::npos) buffer_[point] = pic_.has('E') ? ',' : '.';
    }
    pos_ = firstEditable();
    changed_ = true;
}

void Get::putChar(int key) {
    uint8_t ch = static_cast<uint8_t>(key);
    if (clearOnType_) {
        clearBuffer();
        clearOnType_ = false;
    }
    if (!acceptsChar(pos_, ch)) {
        console().beep();
        return;
    }
    if (type_ == base::Type::Character &&
        (pic_.has('!') || (!pic_.mask.empty() && mask_[static_cast<size_t>(pos_)] == '!')))
        ch = upperByte(ch);
    if (type_ == base::Type::Logical || (type_ == base::Type::Character && !pic_.mask.empty() &&
                                         std::strchr("LlYy", mask_[static_cast<size_t>(pos_)]))) {
        const bool yesNo = std::strchr("Yy", mask_[static_cast<size_t>(pos_)]) != nullptr;
        ch = isYes(ch) ? (yesNo ? 'Y' : 'T') : (yesNo ? 'N' : 'F');
    }
    if (insertMode()) {
        const std::vector<int> run = runFrom(pos_);
        for (size_t i = run.size(); i-- > 1;)
            buffer_[static_cast<size_t>(run[i])] = buffer_[static_cast<size_t>(run[i - 1])];
    }
    buffer_[static_cast<size_t>(pos_)] = static_cast<char>(ch);
    changed_ = true;
    const int next = nextEditable(pos_);
    if (next < 0 ||
        (type_ == base::Type::Numeric && mask_.find('.') != std::string::npos &&
         next > static_cast<int>(mask_.find('.')) && pos_ < static_cast<int>(mask_.find('.')))) {
        // Past the last position (a number's integer part continues into its
        // decimals only through the decimal key).
        if (next < 0) {
            typedOut_ = true;
        } else {
            moveToDecimals();
            autoDecimals_ = true;
        }
        return;
    }
    pos_ = next;
}

void Get::deleteAt(int position) {
    if (!editable(position)) return;
    const std::vector<int> run = runFrom(position);
    for (size_t i = 0; i + 1 < run.size(); ++i)
        buffer_[static_cast<size_t>(run[i])] = buffer_[static_cast<size_t>(run[i + 1])];
    if (!run.empty()) buffer_[static_cast<size_t>(run.back())] = ' ';
    changed_ = true;
}

// The decimal key: the integer digits typed so far move to the right of the
// integer part and the cursor goes to the first decimal.
void Get::moveToDecimals() {
    const size_t point = mask_.find('.');
    if (type_ != base::Type::Numeric || point == std::string::npos) return;
    std::string typed;
    for (size_t i = 0; i < point; ++i)
        if (editable(static_cast<int>(i)) && buffer_[i] != ' ') typed += buffer_[i];
    std::vector<int> slots;
    for (size_t i = 0; i < point; ++i)
        if (editable(static_cast<int>(i))) slots.push_back(static_cast<int>(i));
    for (size_t i = 0; i < point; ++i)
        if (mask_[i] == ',') buffer_[i] = ' ';
    for (int slot : slots)
        buffer_[static_cast<size_t>(slot)] = ' ';
    size_t from = typed.size() > slots.size() ? typed.size() - slots.size() : 0;
    size_t slot = slots.size() - (typed.size() - from);
    for (size_t i = from; i < typed.size(); ++i, ++slot)
        buffer_[static_cast<size_t>(slots[slot])] = typed[i];
    const int next = nextEditable(static_cast<int>(point));
    if (next >= 0) pos_ = next;
    changed_ = true;
    clearOnType_ = false;
}

void Get::wordLeft() {
    int p = pos_;
    while (p > 0 && (buffer_[static_cast<size_t>(p - 1)] == ' ' || !editable(p - 1)))
        --p;
    while (p > 0 && buffer_[static_cast<size_t>(p - 1)] != ' ' && editable(p - 1))
        --p;
    pos_ = editable(p) ? p : firstEditable();
}

void Get::wordRight() {
    int p = pos_;
    const int size = static_cast<int>(buffer_.size());
    while (p < size && buffer_[static_cast<size_t>(p)] != ' ')
        ++p;
    while (p < size && buffer_[static_cast<size_t>(p)] == ' ')
        ++p;
    if (p >= size) p = lastEditable();
    while (p < size && !editable(p))
        ++p;
    pos_ = std::min(p, lastEditable());
}

void Get::deleteEnd() {
    for (int i = pos_; i < static_cast<int>(buffer_.size()); ++i)
        if (editable(i)) buffer_[static_cast<size_t>(i)] = ' ';
    changed_ = true;
}

void Get::deleteWordRight() {
    // The word under the cursor and the blanks after it.
    int count = 0;
    int p = pos_;
    const int size = static_cast<int>(buffer_.size());
    while (p < size && buffer_[static_cast<size_t>(p)] != ' ')
        ++p, ++count;
    while (p < size && buffer_[static_cast<size_t>(p)] == ' ')
        ++p, ++count;
    for (int i = 0; i < count; ++i)
        deleteAt(pos_);
}

bool Get::applyKey(int key) {
    if (!focus_) return false;
    // A digit right after the integer part filled up would land in the
    // decimals and change the amount: it is refused instead.
    const bool overflow = autoDecimals_ && key >= '0' && key <= '9';
    autoDecimals_ = false;
    if (overflow) {
        refuse({tooLargeMessage()});
        display();
        return true;
    }
    bool handled = true;
    switch (key) {
        case keys::Left:
            if (int p = previousEditable(pos_); p >= 0) pos_ = p;
            clearOnType_ = false;
            break;
        case keys::Right:
            if (int p = nextEditable(pos_); p >= 0) pos_ = p;
            clearOnType_ = false;
            break;
        case keys::Home:
            pos_ = firstEditable();
            clearOnType_ = false;
            break;
        case keys::End: {
            int last = firstEditable();
            for (int i = 0; i < static_cast<int>(buffer_.size()); ++i)
                if (editable(i) && buffer_[static_cast<size_t>(i)] != ' ') last = i;
            const int after = nextEditable(last);
            pos_ = buffer_[static_cast<size_t>(last)] != ' ' && after >= 0 ? after : last;
            clearOnType_ = false;
            break;
        }
        case keys::CtrlLeft:
            wordLeft();
            clearOnType_ = false;
            break;
        case keys::CtrlRight:
            wordRight();
            clearOnType_ = false;
            break;
        case keys::Backspace:
            clearOnType_ = false;
            if (int p = previousEditable(pos_); p >= 0) {
                pos_ = p;
                deleteAt(pos_);
            }
            break;
        case keys::Del:
            clearOnType_ = false;
            deleteAt(pos_);
            break;
        case keys::CtrlY:
            clearOnType_ = false;
            deleteEnd();
            break;
        case keys::CtrlT:
            clearOnType_ = false;
            deleteWordRight();
            break;
        case keys::CtrlU:
            undo();
            break;
        case keys::Ins:
            setInsertMode(!insertMode());
            setCursorShape(insertMode() ? platform::CursorShape::Block
                                        : platform::CursorShape::Vertical);
            break;
        default:
            if (!keys::isCharacter(key)) {
                handled = false;
                break;
            }
            if (type_ == base::Type::Numeric && (key == '.' || key == ',')) {
                // Either key is the decimal key: the keypad has "." and the
                // amounts are shown with ","; thousands separators are the
                // template's business.
                moveToDecimals();
            } else {
                putChar(key);
            }
            break;
    }
    if (handled) {
        updateScroll();
        display();
    }
    return handled;
}

// ---- Dates -------------------------------------------------------------------------

int fullYear(int twoDigitYear) {
    return twoDigitYear < 50 ? 2000 + twoDigitYear : 1900 + twoDigitYear;
}

std::optional<base::Date> readTypedDate(std::string_view text) {
    const std::string trimmed = base::rtrim(text);
    if (trimmed.find_first_not_of("/ ") == std::string::npos) return base::Date();
    if (trimmed.size() != 8 && trimmed.size() != 10) return std::nullopt;
    if (trimmed[2] != '/' || trimmed[5] != '/') return std::nullopt;
    for (size_t i = 0; i < trimmed.size(); ++i)
        if (i != 2 && i != 5 && !isDigit(static_cast<uint8_t>(trimmed[i]))) return std::nullopt;
    const int day = std::stoi(trimmed.substr(0, 2));
    const int month = std::stoi(trimmed.substr(3, 2));
    int year = std::stoi(trimmed.substr(6));
    if (trimmed.size() == 8) year = fullYear(year);
    return base::Date::fromYmd(year, month, day);
}

// ---- Reading a form ----------------------------------------------------------

Get* activeGet() {
    auto& reads = detail::state().reads;
    return reads.empty() ? nullptr : reads.back()->field;
}

bool readActive() {
    return !detail::state().reads.empty();
}

void endRead(bool keepValues) {
    auto& reads = detail::state().reads;
    if (reads.empty()) return;
    reads.back()->end = keepValues ? detail::ReadEnd::KeepValues : detail::ReadEnd::Cancel;
    // Wakes a read waiting for a key when the end came from a timer.
    pushKey(keys::None);
}

namespace {

enum class Move { None, Next, Previous, First, Finish, Escape, Goto };

// The field under a mouse click (window coordinates), or -1.
int fieldAt(const GetList& fields, int row, int col) {
    for (size_t i = 0; i < fields.size(); ++i) {
        const Get& field = *fields[i];
        if (field.button) {
            const LButton& b = *field.button;
            if (row >= b.nTop && row <= b.nBottom && col >= b.nLeft && col <= b.nRight)
                return static_cast<int>(i);
            continue;
        }
        if (row == field.row && col >= field.col && col < field.col + field.displayWidth())
            return static_cast<int>(i);
    }
    return -1;
}

struct ReadGuard {
    explicit ReadGuard(detail::ReadContext& context) {
        detail::state().reads.push_back(&context);
        previousShape = cursorShape();
    }
    ~ReadGuard() {
        auto& reads = detail::state().reads;
        if (!reads.empty()) reads.pop_back();
        setCursorShape(previousShape);
    }
    platform::CursorShape previousShape;
};

// Where the cursor goes when it leaves a field.
struct Step {
    Move move = Move::None;
    int target = 0;               // Goto: the field clicked
    bool pressAfterMove = false;  // Goto: the field clicked is a button to press
};

// One form being read: the fields in order, entry conditions skipping
// fields, validations keeping the cursor, until the cursor leaves the form
// or something outside ends it.
class FormRead {
  public:
    FormRead(GetList& fields, const ReadOptions& options, detail::ReadContext& context)
        : fields_(fields),
          options_(options),
          context_(context),
          count_(static_cast<int>(fields.size())) {}

    ReadResult run() {
        showFields();
        pos_ = std::clamp(options_.start, 0, count_ - 1);
        for (;;) {
            if (pos_ < 0) {
                if (options_.exitAtEdges) break;
                pos_ = 0;
                direction_ = 1;
            }
            if (pos_ >= count_) break;
            Get& field = at(pos_);
            if (field.when && !field.when(field)) {
                if (ended() || ++skipped_ > 2 * count_) break;  // nothing can take the cursor
                pos_ += direction_;
                continue;
            }
            skipped_ = 0;
            const Step step = edit(field);
            context_.field = nullptr;
            if (ended()) return endedFromOutside(field);
            field.killFocus();
            if (const std::optional<ReadResult> done = follow(step)) return *done;
        }
        return finish(ReadExit::Finished, std::clamp(pos_, 0, count_ - 1));
    }

  private:
    Get& at(int index) { return *fields_[static_cast<size_t>(index)]; }
    bool ended() const { return context_.end != detail::ReadEnd::Running; }

    ReadResult finish(ReadExit exit, int position) {
        result_.exit = exit;
        result_.position = position;
        return result_;
    }

    void showFields() {
        const std::string defaultColors =
            options_.colorSpec.empty() ? LDialog::csColorGet + "," + LDialog::csColorGetActive
                                       : options_.colorSpec;
        for (auto& field : fields_) {
            if (field->colorSpec.empty()) field->colorSpec = defaultColors;
            field->display();
        }
    }

    void focus(Get& field) {
        context_.field = &field;
        field.setFocus();
        setCursorShape(field.button   ? platform::CursorShape::Hidden
                       : insertMode() ? platform::CursorShape::Block
                                      : platform::CursorShape::Vertical);
    }

    // Edits one field until a key moves the cursor off it, or the form is
    // ended from outside.
    Step edit(Get& field) {
        focus(field);
        Step step;
        while (step.move == Move::None && !ended()) {
            const int key = waitKey();
            if (ended() || key == keys::None) continue;
            result_.lastKey = key;
            if (isBound(key)) {
                SETKEYEVAL(key, false, &field);
                if (!ended() && field.hasFocus()) field.display();
                continue;
            }
            if (pressesButton(field, key)) {
                field.button->action();
                continue;
            }
            step = keyStep(field, key);
            if (ended() || step.move == Move::None || step.move == Move::Escape) continue;
            if (!leave(field)) step.move = Move::None;
        }
        return step;
    }

    // Enter or its letter presses the button a field stands for.
    static bool pressesButton(const Get& field, int key) {
        if (!field.button) return false;
        const bool shortcut = keys::isCharacter(key) && field.button->cShortcut &&
                              upperByte(static_cast<uint8_t>(key)) ==
                                  upperByte(static_cast<uint8_t>(field.button->cShortcut));
        return key == keys::Enter || shortcut;
    }

    // What a key does in a field: a move off it, or an edit inside it.
    Step keyStep(Get& field, int key) {
        Step step;
        int mapped = key;
        if (field.button) {
            if (key == keys::Left) mapped = keys::Up;
            if (key == keys::Right) mapped = keys::Down;
        }
        switch (mapped) {
            case keys::Esc:
                step.move = Move::Escape;
                break;
            case keys::Enter:
            case keys::Tab:
                step.move = Move::Next;
                break;
            case keys::Down:
                step.move = pos_ == count_ - 1 && !options_.exitAtEdges ? Move::None : Move::Next;
                break;
            case keys::Up:
            case keys::ShiftTab:
                step.move = pos_ == 0 && !options_.exitAtEdges ? Move::None : Move::Previous;
                break;
            case keys::PgDn:
            case keys::PgUp:
            case keys::CtrlW:
            case keys::CtrlEnd:
                step.move = Move::Finish;
                break;
            case keys::CtrlHome:
                step.move = Move::First;
                break;
            case keys::LeftClick:
                return clickStep(field);
            case keys::MenuEvent:
                break;
            case keys::Paste:
                if (!field.button) field.paste(pastedText());
                break;
            default:
                if (field.button) break;  // a button takes no typing
                if (field.applyKey(key) && field.typedOut()) {
                    field.clearTypedOut();
                    if (!options_.confirm) step.move = Move::Next;
                }
                break;
        }
        return step;
    }

    // A click on the field being edited places the cursor (or presses its
    // button); a click on another field moves there.
    Step clickStep(Get& field) {
        Step step;
        const int clicked = fieldAt(fields_, mouseRow(), mouseCol());
        if (clicked < 0) return step;
        if (clicked == pos_) {
            if (field.button)
                field.button->action();
            else
                field.clickAt(mouseCol() - field.col);
            return step;
        }
        step.move = Move::Goto;
        step.target = clicked;
        step.pressAfterMove = at(clicked).button != nullptr;
        return step;
    }

    // Leaving a field: its text must read as a value and pass its validation.
    bool leave(Get& field) {
        if (!field.assign()) {
            refuse({"Data inválida: "_cp + base::rtrim(field.buffer()) +
                    ". Confira o dia, o mês e o ano (dd/mm/aaaa)."_cp});
            field.display();
            return false;
        }
        if (field.changed()) result_.updated = true;
        field.clearChanged();
        if (!field.valid || field.valid(field)) return true;
        if (!ended() && field.hasFocus()) field.display();
        return false;
    }

    ReadResult endedFromOutside(Get& field) {
        ReadExit exit = ReadExit::Cancelled;
        if (context_.end == detail::ReadEnd::KeepValues) {
            if (field.changed()) result_.updated = true;
            field.assign();
            exit = ReadExit::Ended;
        }
        field.killFocus();
        return finish(exit, pos_);
    }

    // Moves the cursor as the step says; the result when the read is over.
    std::optional<ReadResult> follow(const Step& step) {
        switch (step.move) {
            case Move::Escape:
                return finish(ReadExit::Escape, pos_);
            case Move::Finish:
                return finish(ReadExit::Finished, pos_);
            case Move::Next:
                direction_ = 1;
                if (pos_ == count_ - 1) return finish(ReadExit::Finished, pos_);
                ++pos_;
                break;
            case Move::Previous:
                direction_ = -1;
                --pos_;
                break;
            case Move::First:
                direction_ = 1;
                pos_ = 0;
                break;
            case Move::Goto:
                direction_ = step.target < pos_ ? -1 : 1;
                pos_ = step.target;
                if (step.pressAfterMove) return pressClickedButton();
                break;
            case Move::None:
                break;
        }
        return std::nullopt;
    }

    // A click on a button of the form moves to it and presses it at once.
    std::optional<ReadResult> pressClickedButton() {
        Get& clicked = at(pos_);
        if (clicked.when && !clicked.when(clicked)) return std::nullopt;
        context_.field = &clicked;
        clicked.setFocus();
        clicked.button->action();
        context_.field = nullptr;
        clicked.killFocus();
        if (!ended()) return std::nullopt;
        return finish(
            context_.end == detail::ReadEnd::KeepValues ? ReadExit::Ended : ReadExit::Cancelled,
            pos_);
    }

    GetList& fields_;
    const ReadOptions& options_;
    detail::ReadContext& context_;
    const int count_;
    ReadResult result_;
    int pos_ = 0;
    int direction_ = 1;
    int skipped_ = 0;  // fields refused by their entry condition in a row
};

}  // namespace

ReadResult readFields(GetList& fields, const ReadOptions& options) {
    if (fields.empty()) return {};
    detail::ReadContext context;
    ReadGuard guard(context);
    return FormRead(fields, options, context).run();
}

void Get::clickAt(int offset) {
    const int at = offset + scrollOffset_;
    if (editable(at)) pos_ = at;
    clearOnType_ = false;
    updateScroll();
    display();
}

}  // namespace kdx2::ui
