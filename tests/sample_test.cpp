// The bundled sample database converts to the AAF file kept beside it, byte
// for byte: the engine, the code page, the memo file and the writer together.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/engine_objects.h"
#include "export/aaf_writer.h"
#include "temp_folder.h"

namespace kosmara {
namespace {

class SilentUi : public UserInterface {
public:
    void ShowMessage(std::u16string_view text) override { message = text; }
    std::u16string message;
};

TEST(SampleDatabase, ConvertsToTheKeptAafFile) {
    const std::filesystem::path samples = std::filesystem::path(KOSMARA_SAMPLES_DIR);
    testing::TempFolder folder;
    Session session(u"Test");
    Database db(session);
    db.SetParam(u"PATH", samples.u16string());
    Table tbl(db);
    tbl.SetTableName(u"Horoskop.DB");
    tbl.Open();
    SilentUi ui;
    const std::filesystem::path output = folder / "Horoskop.aaf";
    EXPECT_EQ(WriteAafFile(output.u16string(), tbl, ui, GermanTimeFormat()), 28);
    tbl.Close();
    EXPECT_EQ(ui.message, u"28 Horoskope gespeichert");
    EXPECT_EQ(testing::ReadFileBytes(output), testing::ReadFileBytes(samples / "Horoskop.aaf"));
}

}  // namespace
}  // namespace kosmara
