// One export's world for the export job's tests: a drive tree, a system
// whose local application-data and temporary folders lie in it, engine
// objects of the test's own, a user interface that answers as the test
// says, and the helpers that look at what an export left on disk.
#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/text.h"
#include "databases/export_job.h"
#include "drive_tree.h"
#include "engine/engine_objects.h"
#include "fake_system.h"
#include "paradox_builder.h"
#include "temp_folder.h"
#include "test_support.h"

namespace kosmara {
namespace {

using testing::DriveTree;
using testing::FakeSystem;
using testing::HoroscopeRecord;
using testing::HoroscopeTableBuilder;
using testing::ReadFileBytes;

// Answers the export's questions as a test says and records what it was
// asked and shown.
class ScriptedUi : public UserInterface {
public:
    std::optional<std::u16string> output;  // nothing: the user cancels
    std::vector<std::optional<std::u16string>> passwords;
    std::vector<std::u16string> proposals;
    std::vector<std::u16string> passwordQuestions;
    std::vector<std::u16string> messages;
    std::vector<std::u16string> waits;  // staging folders waited for
    int stillWaiting = 0;               // calls while waiting for one

    void ShowMessage(std::u16string_view text) override { messages.emplace_back(text); }
    void WaitingForStagingFolder(std::u16string_view folder) override { waits.emplace_back(folder); }
    void StillWaiting() override { ++stillWaiting; }
    std::optional<std::u16string> AskOutputFile(std::u16string_view proposed) override {
        proposals.emplace_back(proposed);
        return output;
    }
    std::optional<std::u16string> AskPassword(std::u16string_view tablePath) override {
        passwordQuestions.emplace_back(tablePath);
        if (passwordQuestions.size() > passwords.size()) return std::nullopt;
        return passwords[passwordQuestions.size() - 1];
    }
};

// Every file below a folder with its bytes: what "unchanged" is compared by.
using Snapshot = std::map<std::string, std::string>;
inline Snapshot SnapshotOf(const std::filesystem::path& folder) {
    Snapshot snapshot;
    if (!std::filesystem::exists(folder)) return snapshot;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        const std::string name = std::filesystem::relative(entry.path(), folder).generic_string();
        snapshot[name] = entry.is_regular_file() ? ReadFileBytes(entry.path()) : std::string("<Ordner>");
    }
    return snapshot;
}

// A horoscope table named base in folder, one record per name; a comment
// long enough for the .MB file gives it one.
inline void WriteHoroscopes(const std::u16string& folder, const std::string& base, const std::vector<std::string>& names,
                     const std::string& password = "", const std::string& extension = ".DB") {
    auto builder = HoroscopeTableBuilder();
    if (!password.empty()) builder.Encrypt(password);
    for (std::size_t i = 0; i < names.size(); ++i) {
        HoroscopeRecord record;
        record.id = std::to_string(i + 1);
        record.name = names[i];
        record.comment = "Kommentar von " + names[i] + std::string(200, '.');
        builder.AddRecord(record.Cells());
    }
    DriveTree::CreateFolder(folder);
    testing::WriteTable(builder.Build(), DriveTree::Native(folder), base, extension);
}

// One export's world: the drive tree, a system whose local application-data
// and temporary folders lie in it, and engine objects of the test's own.
struct ExportWorld {
    DriveTree tree;
    FakeSystem system;
    Session session{u"Test"};
    Database db1{session};
    Table tbl1{db1};
    ScriptedUi ui;
    std::chrono::milliseconds stagingWait = std::chrono::minutes(1);

    ExportWorld() {
        system.localAppData = tree.appData();
        system.temporaryFolder = tree.TemporaryFolder();
    }
    std::u16string Staging() const { return tree.TemporaryFolder() + u"Kosmara 3.5 Export" + kPathSeparator; }
    std::optional<std::int32_t> Export(const std::u16string& table, bool xpMode) {
        ExportContext context{system, session, db1, tbl1, ui, GermanTimeFormat(), stagingWait};
        return ExportDatabase(context, table, xpMode);
    }
    std::optional<std::int32_t> ExportChecked(const std::u16string& table, bool xpMode,
                                              std::vector<RecordFinding>& findings) {
        ExportContext context{system, session, db1, tbl1, ui, GermanTimeFormat()};
        return ExportDatabase(context, table, xpMode, findings);
    }
    // The engine objects are back where an export starts from.
    void ExpectClosed() const {
        EXPECT_FALSE(tbl1.active());
        EXPECT_FALSE(db1.connected());
    }
};

inline std::string AafNames(const std::filesystem::path& file) {
    const std::string aaf = ReadFileBytes(file);
    std::string names;
    for (std::size_t at = aaf.find("#A93:"); at != std::string::npos; at = aaf.find("#A93:", at + 1))
        names += aaf.substr(at + 5, aaf.find(',', at) - at - 5) + ";";
    return names;
}

}  // namespace
}  // namespace kosmara
