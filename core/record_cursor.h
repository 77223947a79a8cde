// The record operations of an open table, as the AAF writer walks it: first
// record, end-of-table test, next record, and the fields of the current
// record by 0-based position, read as text, real or boolean. A null value
// reads as the empty text, 0.0 or false.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kosmara {

class RecordCursor {
public:
    virtual ~RecordCursor() = default;

    virtual void First() = 0;
    virtual bool Eof() const = 0;
    virtual void Next() = 0;
    virtual int FieldCount() const = 0;
    // How many records the table says it holds, for a progress display
    // only (a damaged table may hold fewer or more); nothing when unknown.
    virtual std::optional<std::uint32_t> RecordCountHint() const { return std::nullopt; }

    // A position the table does not have fails with "Argument außerhalb des
    // Bereichs"; a value the table cannot give in the asked form fails with
    // the table's own error.
    std::u16string FieldAsText(int position);
    // The same into text, whose storage is reused: a walk over many records
    // reads its texts without an allocation each.
    void FieldAsText(int position, std::u16string& text);
    double FieldAsReal(int position);
    bool FieldAsBoolean(int position);

protected:
    // Called with a valid position only.
    virtual std::u16string ReadText(int position) = 0;
    virtual void ReadTextInto(int position, std::u16string& text) { text = ReadText(position); }
    virtual double ReadReal(int position) = 0;
    virtual bool ReadBoolean(int position) = 0;

private:
    void CheckPosition(int position) const;
};

}  // namespace kosmara
