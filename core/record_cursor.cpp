#include "core/record_cursor.h"

#include "core/error.h"

namespace kosmara {

void RecordCursor::CheckPosition(int position) const {
    if (position < 0 || position >= FieldCount()) throw Error(kArgumentOutOfRange);
}

std::u16string RecordCursor::FieldAsText(int position) {
    CheckPosition(position);
    return ReadText(position);
}

void RecordCursor::FieldAsText(int position, std::u16string& text) {
    CheckPosition(position);
    ReadTextInto(position, text);
}

double RecordCursor::FieldAsReal(int position) {
    CheckPosition(position);
    return ReadReal(position);
}

bool RecordCursor::FieldAsBoolean(int position) {
    CheckPosition(position);
    return ReadBoolean(position);
}

}  // namespace kosmara
