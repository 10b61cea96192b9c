#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/value.h"
#include "ui/picture.h"

namespace kdx2::ui {

class LButton;

// One field of a form: where it is, how it shows and edits its value, and the
// checks on entry and exit. The value lives with the caller (getter/setter);
// the editor works on a text buffer and assigns when the field is left.
class Get {
  public:
    using Getter = std::function<base::Value()>;
    using Setter = std::function<void(const base::Value&)>;
    using Condition = std::function<bool(Get&)>;

    Get(int row, int col, Getter getter, Setter setter, std::string picture = {},
        std::string name = {});
    // A field over a variable that outlives the form.
    static std::shared_ptr<Get> of(int row, int col, base::Value& variable,
                                   std::string picture = {}, std::string name = {});

    int row = 0;
    int col = 0;
    std::string name;           // name of the edited variable or field (upper case by convention)
    std::string picture;        // see picture.h
    Condition when;             // entry condition: false skips the field
    Condition valid;            // validation: false keeps the cursor in the field
    std::string colorSpec;      // "standard,enhanced"; empty takes the form's colours
    LButton* button = nullptr;  // set when the field stands for a push button
    base::Value cargo;

    base::Value value() const { return getter_ ? getter_() : base::Value(); }
    // Changes the picture (the `picture` member is only read when built).
    void setPicture(std::string text);
    void setValue(const base::Value& value);  // assigns and redisplays

    // Width on the screen (the @S width when scrolling).
    int displayWidth() const;
    // Draws the field: the buffer when it has the focus, else the value.
    void display() const;

    // ---- Editing (while the field has the focus) ----
    void setFocus();
    void killFocus();
    bool hasFocus() const { return focus_; }
    const std::string& buffer() const { return buffer_; }
    int pos() const { return pos_; }
    bool changed() const { return changed_; }
    base::Type type() const { return type_; }
    // The buffer read back as a value of the field's type; false when it does
    // not read (a date that does not exist).
    bool bufferValue(base::Value& out) const;
    // Writes the buffer into the variable when changed; false (nothing
    // assigned) when the buffer does not read.
    bool assign();
    void undo();  // back to the value the field had when it got the focus
    void replaceBuffer(const base::Value& value);  // paste, calculator results
    // Pastes text into the field from the cursor on, cut at the field's end
    // (never running on into the next field); a number replaces the field's
    // value. False (nothing changed, the user told why) when it does not fit
    // or does not read.
    bool paste(const std::string& text);
    // True when the value fits the field's template (a number's integer digits).
    bool fits(const base::Value& value) const;
    // The message that refuses a number too large for the field.
    std::string tooLargeMessage() const;

    // Key handling of the editor. applyKey returns true when the key was an
    // editing key; typing past the end sets typedOut().
    bool applyKey(int key);
    bool typedOut() const { return typedOut_; }
    void clearTypedOut() { typedOut_ = false; }
    // After the value was assigned: later edits count as a new change.
    void clearChanged() { changed_ = false; }
    // A mouse click at a column offset inside the field moves the cursor there.
    void clickAt(int offset);

  private:
    void loadBuffer();
    void replaceBufferText(const base::Value& value);
    void updateScroll();
    std::vector<int> runFrom(int from) const;
    void clearBuffer();
    bool editable(int position) const;
    int firstEditable() const;
    int lastEditable() const;
    int nextEditable(int position) const;
    int previousEditable(int position) const;
    void putChar(int key);
    void deleteAt(int position);
    void moveToDecimals();
    void wordLeft();
    void wordRight();
    void deleteEnd();
    void deleteWordRight();
    bool acceptsChar(int position, uint8_t ch) const;

    Getter getter_;
    Setter setter_;
    Picture pic_;
    base::Type type_ = base::Type::Character;
    std::string mask_;    // template while editing
    std::string buffer_;  // CP850, one byte per template position
    base::Value original_;
    int pos_ = 0;
    int scrollOffset_ = 0;
    bool focus_ = false;
    bool changed_ = false;
    bool clearOnType_ = false;
    bool typedOut_ = false;
    bool autoDecimals_ = false;  // the cursor reached the decimals by filling the integer part
};

using GetList = std::vector<std::shared_ptr<Get>>;

// A date as typed under "99/99/9999": "dd/mm/yyyy", or "dd/mm/yy" with the
// year read in 1950 ... 2049 (00-49 are 20xx), or all blank (the empty
// date); nullopt for anything else and for days that do not exist.
std::optional<base::Date> readTypedDate(std::string_view text);
// The year a two-digit year stands for: 00-49 are 2000-2049, 50-99 1950-1999.
int fullYear(int twoDigitYear);

// The field being edited now, or nullptr outside a form.
Get* activeGet();

// How a form read ended.
enum class ReadExit {
    Escape,     // Esc (the field being edited is not assigned)
    Finished,   // past the last field, PgDn/PgUp, Ctrl+W
    Ended,      // ended from outside, keeping the values (end())
    Cancelled,  // cancelled from outside, discarding the field being edited (cancel())
};

struct ReadOptions {
    int start = 0;             // index of the first field to read
    bool exitAtEdges = false;  // Up on the first / Down on the last field ends the read
    bool confirm = false;      // typing past the end of a field does not leave it
    std::string colorSpec;     // "standard,enhanced" for fields without their own
};

struct ReadResult {
    ReadExit exit = ReadExit::Finished;
    int lastKey = 0;   // the key that ended the read
    int position = 0;  // index of the field the read ended on
    bool updated = false;
};

// Reads the fields in order (the READ of a form): entry conditions skip
// fields, validations keep the cursor, Up/Down/Enter/Tab move between fields,
// Esc leaves. Bound keys (setKey) run their actions with the field.
ReadResult readFields(GetList& fields, const ReadOptions& options = {});

// Ends the form being read from outside (a button, a menu command, a key
// action); keepValues assigns the field being edited first.
void endRead(bool keepValues);
// True while readFields runs.
bool readActive();

}  // namespace kdx2::ui
