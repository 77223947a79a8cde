#include "engine/code_page_check.h"

#include <optional>

#include "core/error.h"
#include "core/text.h"

namespace kosmara {

CodePageJudgement JudgeCodePage(std::span<const std::string> texts, int codePage) {
    const std::optional<CodePage> page = CodePage::Find(codePage);
    if (!page) throw Error(FillMessage(kUnknownCodePage, {FromAscii(std::to_string(codePage))}));
    CodePageJudgement judgement;
    for (const std::string& bytes : texts) {
        for (const char16_t c : page->Decode(bytes)) {
            const bool unassigned = c == u'\uFFFD' || (c >= 0x80 && c <= 0x9F);
            const bool control = (c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') || c == 0x7F;
            if (c < 0x80 && !control) continue;
            ++judgement.characters;
            if (unassigned) ++judgement.unassigned;
            if (control) ++judgement.controls;
        }
    }
    const std::size_t doubtful = judgement.unassigned + judgement.controls;
    judgement.looksWrong = doubtful >= kWrongCodePageMinimum &&
                           static_cast<double>(doubtful) >= kWrongCodePageShare * static_cast<double>(judgement.characters);
    return judgement;
}

std::vector<std::string> SampleTextBytes(ParadoxTable& table, std::size_t maxRecords) {
    std::vector<std::string> texts;
    const std::vector<FieldDescription>& fields = table.fields();
    try {
        std::size_t records = 0;
        for (table.First(); !table.Eof() && records < maxRecords; table.Next(), ++records) {
            for (std::size_t field = 0; field < fields.size(); ++field) {
                const FieldType type = fields[field].type;
                // A formatted memo holds binary layout data besides its text.
                if (type != FieldType::kAlpha && type != FieldType::kMemo) continue;
                try {
                    std::string bytes = table.TextBytes(static_cast<int>(field));
                    if (!bytes.empty()) texts.push_back(std::move(bytes));
                } catch (const Error&) {
                    // An unreadable memo says nothing about the code page.
                }
            }
        }
    } catch (const Error&) {
        // The records read so far are the sample.
    }
    return texts;
}

std::u16string WrongCodePageHint(int codePage) {
    return u"Der Text der Tabelle sieht nicht nach der Codepage " + FromAscii(std::to_string(codePage)) +
           u" aus, die ihr Kopf nennt. Mit der Option --codepage N wird die Tabelle in der Codepage N gelesen "
           u"(zum Beispiel --codepage 1251 für kyrillischen Text).";
}

}  // namespace kosmara
