#include "engine/engine_error.h"

#include <array>
#include <cstdint>

#include "core/text.h"

namespace kosmara {
namespace {

struct ErrorText {
    EngineErrorCode code;
    const char16_t* text;
};

constexpr std::array kErrorTexts = {
    ErrorText{EngineErrorCode::kFolderNotFound, u"Der Ordner \"%s\" wurde nicht gefunden."},
    ErrorText{EngineErrorCode::kTableNotFound, u"Die Tabelle \"%s\" wurde nicht gefunden."},
    ErrorText{EngineErrorCode::kBlobFileNotFound, u"Die Memo-Datei \"%s\" der Tabelle \"%s\" wurde nicht gefunden."},
    ErrorText{EngineErrorCode::kNoTableName, u"Es ist kein Tabellenname angegeben."},
    ErrorText{EngineErrorCode::kFileLocked, u"Die Datei \"%s\" ist von einem anderen Programm gesperrt."},
    ErrorText{EngineErrorCode::kAccessDenied, u"Kein Zugriff auf die Datei \"%s\". %s"},
    ErrorText{EngineErrorCode::kCannotOpenFile, u"Die Datei \"%s\" kann nicht geöffnet werden. %s"},
    ErrorText{EngineErrorCode::kNotARegularFile,
              u"Die Datei \"%s\" ist keine gewöhnliche Datei, sondern ein Gerät, eine Pipe oder ein Socket."},
    ErrorText{EngineErrorCode::kInsufficientRights,
              u"Unzureichende Rechte für die Tabelle \"%s\": Sie ist kennwortgeschützt, und kein passendes Kennwort "
              u"wurde angegeben."},
    ErrorText{EngineErrorCode::kNotAParadoxTable, u"Die Datei \"%s\" ist keine Paradox-Tabelle."},
    ErrorText{EngineErrorCode::kUnsupportedVersion, u"Die Tabelle \"%s\" hat eine nicht unterstützte Dateiversion (%s)."},
    ErrorText{EngineErrorCode::kHeaderDamaged, u"Der Dateikopf der Tabelle \"%s\" ist beschädigt: %s."},
    ErrorText{EngineErrorCode::kBlockDamaged, u"Die Tabelle \"%s\" ist beschädigt: %s."},
    ErrorText{EngineErrorCode::kBlobDamaged, u"Die Memo-Datei \"%s\" ist beschädigt: %s."},
    ErrorText{EngineErrorCode::kUnsupportedCodePage, u"Die Tabelle \"%s\" verwendet die nicht unterstützte Codepage %s."},
    ErrorText{EngineErrorCode::kNotANumber, u"Der Wert \"%s\" des Feldes \"%s\" ist keine gültige Zahl."},
    ErrorText{EngineErrorCode::kNotABoolean, u"Der Wert \"%s\" des Feldes \"%s\" ist kein gültiger Wahrheitswert."},
    ErrorText{EngineErrorCode::kCannotReadAsNumber, u"Das Feld \"%s\" kann nicht als Zahl gelesen werden."},
    ErrorText{EngineErrorCode::kCannotReadAsBoolean, u"Das Feld \"%s\" kann nicht als Wahrheitswert gelesen werden."},
    ErrorText{EngineErrorCode::kNotConnected, u"Die Datenbank ist nicht verbunden."},
    ErrorText{EngineErrorCode::kTableNotOpen, u"Die Tabelle ist nicht geöffnet."},
    ErrorText{EngineErrorCode::kNoCurrentRecord, u"Kein aktueller Datensatz: Das Ende der Tabelle ist erreicht."},
};

}  // namespace

std::u16string EngineErrorMessage(EngineErrorCode code, std::initializer_list<std::u16string_view> args) {
    for (const ErrorText& entry : kErrorTexts) {
        if (entry.code == code) return FillMessage(entry.text, args);
    }
    std::u16string hex;
    AppendHex(hex, static_cast<std::uint16_t>(code), 4);
    return FillMessage(u"BDE-Fehler $%s", {hex});
}

void ThrowEngineError(EngineErrorCode code, std::initializer_list<std::u16string_view> args) {
    throw EngineError(code, EngineErrorMessage(code, args));
}

}  // namespace kosmara
