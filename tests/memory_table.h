// An in-memory horoscope table for driving the AAF writer.
#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "core/error.h"
#include "core/record_cursor.h"

namespace kosmara::testing {

// A field value: null, text, real or boolean.
using Value = std::variant<std::monostate, std::u16string, double, bool>;

// A field stored in one form and read in another fails like an engine's
// field conversion.
inline constexpr char16_t kFieldConversionError[] = u"Feld kann nicht umgewandelt werden";

class MemoryTable : public RecordCursor {
public:
    MemoryTable(int fieldCount, std::vector<std::vector<Value>> rows)
        : fieldCount_(fieldCount), rows_(std::move(rows)) {}

    void First() override { current_ = 0; }
    bool Eof() const override { return current_ >= rows_.size(); }
    void Next() override { ++current_; }
    int FieldCount() const override { return fieldCount_; }

    std::size_t position() const { return current_; }

protected:
    std::u16string ReadText(int position) override { return Read<std::u16string>(position, u""); }
    double ReadReal(int position) override { return Read<double>(position, 0.0); }
    bool ReadBoolean(int position) override { return Read<bool>(position, false); }

private:
    template <typename T>
    T Read(int position, T null) {
        if (Eof()) throw Error(u"Kein Datensatz");
        const auto& row = rows_.at(current_);
        if (static_cast<std::size_t>(position) >= row.size()) return null;
        const Value& value = row[static_cast<std::size_t>(position)];
        if (std::holds_alternative<std::monostate>(value)) return null;
        if (const T* typed = std::get_if<T>(&value)) return *typed;
        throw Error(kFieldConversionError);
    }

    int fieldCount_;
    std::vector<std::vector<Value>> rows_;
    std::size_t current_ = 0;
};

// One horoscope record with every field set; tests change what they need.
struct Horoscope {
    Value name = std::u16string(u"Test");
    Value julianDay = 2451545.0;
    Value place = std::u16string(u"Berlin");
    Value longitude = -13.41;
    Value latitude = 52.5;
    Value zoneOffset = -1.0;
    Value zoneName = std::u16string(u"MEZ");
    Value comment = std::u16string(u"");
    Value septarText = std::u16string(u"");
    Value septar = false;

    std::vector<Value> Row() const {
        return {Value{std::u16string(u"id")}, name, julianDay, place, longitude, latitude, zoneOffset, zoneName,
                comment, septarText, Value{}, Value{}, septar};
    }
};

inline MemoryTable HoroscopeTable(const std::vector<Horoscope>& records, int fieldCount = 13) {
    std::vector<std::vector<Value>> rows;
    for (const Horoscope& record : records) rows.push_back(record.Row());
    return MemoryTable(fieldCount, std::move(rows));
}

}  // namespace kosmara::testing
