// The AAF record writer, driven by an in-memory horoscope table; every file
// is compared byte for byte.
#include "export/aaf_writer.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#endif

#include "core/byte_sink.h"
#include "core/error.h"
#include "core/text.h"
#include "export/text_writer.h"
#include "memory_table.h"
#include "platform/file.h"
#include "temp_folder.h"
#include "test_support.h"

namespace kosmara {
namespace {

using testing::Horoscope;
using testing::HoroscopeTable;
using testing::MemoryTable;
using testing::ReadFileBytes;
using testing::TempFolder;
using testing::Value;

constexpr char kBom[] = "\xEF\xBB\xBF";

// Records the messages and what the file held when each was shown.
class RecordingUi : public UserInterface {
public:
    explicit RecordingUi(std::filesystem::path file = {}) : file_(std::move(file)) {}
    void ShowMessage(std::u16string_view text) override {
        messages.emplace_back(text);
        if (!file_.empty()) {
            std::ifstream in(file_, std::ios::binary);
            fileOpenable = in.is_open();
            fileAtMessage = ReadFileBytes(file_);
        }
    }
    std::vector<std::u16string> messages;
    bool fileOpenable = false;
    std::string fileAtMessage;

private:
    std::filesystem::path file_;
};

std::u16string PathText(const std::filesystem::path& path) { return path.u16string(); }

// The file's expected bytes: byte-order mark, then each line with CR LF.
std::string Lines(std::initializer_list<const char*> lines) {
    std::string out = kBom;
    for (const char* line : lines) out += std::string(line) + "\r\n";
    return out;
}

Value Text(const char16_t* text) { return Value{std::u16string(text)}; }

Horoscope With(void (*change)(Horoscope&)) {
    Horoscope record;
    change(record);
    return record;
}

struct BlockCase {
    const char* what;
    Horoscope record;
    std::initializer_list<const char*> lines;
};

// The default record: Test, 01.01.2000 12:00 local time, Berlin, zone -1 h.
const BlockCase kBlockCases[] = {
    {"plain record", Horoscope{},
     {"#A93:Test,*,*,01.01.2000,12:00:00,Berlin,*", "#B93:2451544.95833,52n30:00,13e24:36,1e00,*", "#ZNAM:MEZ", ""}},
    {"comma in the name", With([](Horoscope& r) { r.name = Text(u"Müller, Hans"); }),
     {"#A93:Müller Hans,*,*,01.01.2000,12:00:00,Berlin,*", "#EXT_A93_N_//:Müller, Hans//;",
      "#B93:2451544.95833,52n30:00,13e24:36,1e00,*", "#ZNAM:MEZ", ""}},
    {"hash in the place", With([](Horoscope& r) { r.place = Text(u"Bad #Tölz"); }),
     {"#A93:Test,*,*,01.01.2000,12:00:00,Bad Tölz,*", "#EXT_A93_O_//:Bad #Tölz//;",
      "#B93:2451544.95833,52n30:00,13e24:36,1e00,*", "#ZNAM:MEZ", ""}},
    {"null name", With([](Horoscope& r) { r.name = Value{}; }),
     {"#A93:,*,*,01.01.2000,12:00:00,Berlin,*", "#B93:2451544.95833,52n30:00,13e24:36,1e00,*", "#ZNAM:MEZ", ""}},
    {"blanks and line breaks stay in fields", With([](Horoscope& r) { r.name = Text(u" A\r\nB "); }),
     {"#A93: A\r\nB ,*,*,01.01.2000,12:00:00,Berlin,*", "#B93:2451544.95833,52n30:00,13e24:36,1e00,*",
      "#ZNAM:MEZ", ""}},
    {"Septar with empty text after name and place lines", With([](Horoscope& r) {
         r.septar = true;
         r.name = Text(u"A,B");
         r.place = Text(u"C#D");
     }),
     {"#A93:AB,*,SO,01.01.2000,12:00:00,CD,*", "#EXT_A93_N_//:A,B//;", "#EXT_A93_O_//:C#D//;",
      "#EXT_A93_T_//:Septar//;", "#EXT_A93_T2_//://;", "#B93:2451544.95833,52n30:00,13e24:36,1e00,*", "#ZNAM:MEZ",
      ""}},
    {"Septar text carried in full", With([](Horoscope& r) {
         r.septar = true;
         r.septarText = Text(u"x,#\r\ny");
     }),
     {"#A93:Test,*,SO,01.01.2000,12:00:00,Berlin,*", "#EXT_A93_T_//:Septar//;", "#EXT_A93_T2_//:x,#",
      "#EXT_A93_T2_//:y//;", "#B93:2451544.95833,52n30:00,13e24:36,1e00,*", "#ZNAM:MEZ", ""}},
    {"Septar text without the flag", With([](Horoscope& r) { r.septarText = Text(u"ignored"); }),
     {"#A93:Test,*,*,01.01.2000,12:00:00,Berlin,*", "#B93:2451544.95833,52n30:00,13e24:36,1e00,*", "#ZNAM:MEZ",
      ""}},
    {"Wahre Ortszeit", With([](Horoscope& r) { r.zoneName = Text(u"Wahre Ortszeit"); }),
     {"#A93:Test,*,*,01.01.2000,12:00:00,Berlin,*", "#B93:2451544.95833,52n30:00,13e24:36,1e00,*", "#ZNAM:WOZ",
      "#EXT_ZNAM_//:WOZ//;", ""}},
    {"wahre ortszeit in other case", With([](Horoscope& r) { r.zoneName = Text(u"wahre ortszeit"); }),
     {"#A93:Test,*,*,01.01.2000,12:00:00,Berlin,*", "#B93:2451544.95833,52n30:00,13e24:36,1e00,*",
      "#ZNAM:wahre ortszeit", ""}},
    {"empty zone name", With([](Horoscope& r) { r.zoneName = Value{}; }),
     {"#A93:Test,*,*,01.01.2000,12:00:00,Berlin,*", "#B93:2451544.95833,52n30:00,13e24:36,1e00,*", "#ZNAM:", ""}},
    {"zone name with comma and hash", With([](Horoscope& r) { r.zoneName = Text(u"MEZ, Sommer#1"); }),
     {"#A93:Test,*,*,01.01.2000,12:00:00,Berlin,*", "#B93:2451544.95833,52n30:00,13e24:36,1e00,*",
      "#ZNAM:MEZ Sommer1", "#EXT_ZNAM_//:MEZ, Sommer#1//;", ""}},
    {"comment that holds the terminator", With([](Horoscope& r) { r.comment = Text(u"#x//;"); }),
     {"#A93:Test,*,*,01.01.2000,12:00:00,Berlin,*", "#B93:2451544.95833,52n30:00,13e24:36,1e00,*", "#ZNAM:MEZ",
      "#COM:x//;", "#EXT_COM_///:#x//;///;", ""}},
    {"comment that holds two terminators", With([](Horoscope& r) { r.comment = Text(u"#a//;b///;c"); }),
     {"#A93:Test,*,*,01.01.2000,12:00:00,Berlin,*", "#B93:2451544.95833,52n30:00,13e24:36,1e00,*", "#ZNAM:MEZ",
      "#COM:a//;b///;c", "#EXT_COM_////:#a//;b///;c////;", ""}},
    {"comment with hash and line break", With([](Horoscope& r) { r.comment = Text(u"a#\r\nb"); }),
     {"#A93:Test,*,*,01.01.2000,12:00:00,Berlin,*", "#B93:2451544.95833,52n30:00,13e24:36,1e00,*", "#ZNAM:MEZ",
      "#COM:a", "b", "#EXT_COM_//:a#", "#EXT_COM_//:b//;", ""}},
    {"comment with line break only", With([](Horoscope& r) { r.comment = Text(u"a\r\nb, c"); }),
     {"#A93:Test,*,*,01.01.2000,12:00:00,Berlin,*", "#B93:2451544.95833,52n30:00,13e24:36,1e00,*", "#ZNAM:MEZ",
      "#COM:a", "b, c", ""}},
    {"comment of a hash alone", With([](Horoscope& r) { r.comment = Text(u"#"); }),
     {"#A93:Test,*,*,01.01.2000,12:00:00,Berlin,*", "#B93:2451544.95833,52n30:00,13e24:36,1e00,*", "#ZNAM:MEZ",
      "#COM:", "#EXT_COM_//:#//;", ""}},
    {"lone CR and LF are not line breaks of the extension line",
     With([](Horoscope& r) { r.comment = Text(u"#a\rb\nc\r\r\nd"); }),
     {"#A93:Test,*,*,01.01.2000,12:00:00,Berlin,*", "#B93:2451544.95833,52n30:00,13e24:36,1e00,*", "#ZNAM:MEZ",
      "#COM:a\rb\nc\r\r\nd", "#EXT_COM_//:#a\rb\nc\r\r\n#EXT_COM_//:d//;", ""}},
    {"null numbers", With([](Horoscope& r) {
         r.julianDay = Value{};
         r.longitude = Value{};
         r.latitude = Value{};
         r.zoneOffset = Value{};
     }),
     {"#A93:Test,*,*,01.01.-4712,12:00:00,Berlin,*", "#B93:0000000.00000,0n00:00,0w00:00,0e00,*", "#ZNAM:MEZ", ""}},
    {"southern and eastern with seconds", With([](Horoscope& r) {
         r.julianDay = 2451545.043101847;
         r.latitude = -33.8688;
         r.longitude = 151.2093;
         r.zoneOffset = -0.15;
     }),
     {"#A93:Test,*,*,01.01.2000,13:02:04,Berlin,*", "#B93:2451545.03685,33s52:07,151w12:33,0e08:59,*", "#ZNAM:MEZ",
      ""}},
    {"hash between the halves of a surrogate pair", With([](Horoscope& r) { r.comment = Text(u"\xD83D#\xDE00"); }),
     {"#A93:Test,*,*,01.01.2000,12:00:00,Berlin,*", "#B93:2451544.95833,52n30:00,13e24:36,1e00,*", "#ZNAM:MEZ",
      "#COM:\xF0\x9F\x98\x80", "#EXT_COM_//:\xEF\xBF\xBD#\xEF\xBF\xBD//;", ""}},
    {"characters beyond the basic plane", With([](Horoscope& r) { r.name = Text(u"\U0001F600 ☉"); }),
     {"#A93:\xF0\x9F\x98\x80 ☉,*,*,01.01.2000,12:00:00,Berlin,*", "#B93:2451544.95833,52n30:00,13e24:36,1e00,*",
      "#ZNAM:MEZ", ""}},
};

TEST(AafWriter, OneBlockPerRecord) {
    TempFolder folder;
    const auto file = folder / "out.aaf";
    for (const BlockCase& c : kBlockCases) {
        SCOPED_TRACE(c.what);
        MemoryTable table = HoroscopeTable({c.record});
        RecordingUi ui;
        EXPECT_EQ(WriteAafFile(PathText(file), table, ui, GermanTimeFormat()), 1);
        EXPECT_EQ(ReadFileBytes(file), Lines(c.lines));
        EXPECT_EQ(ui.messages, std::vector<std::u16string>{u"1 Horoskop gespeichert"});
        EXPECT_TRUE(table.Eof());
    }
}

// The extension line as first written: the terminator grows one "/" at a
// time while the value still holds it followed by ";". Cubic in the slashes
// before a ";", but plainly right: the reference for the one-pass count.
std::u16string ReferenceExtensionLine(std::u16string_view tag, std::u16string_view value) {
    std::u16string terminator = u"//";
    while (value.find(terminator + u';') != std::u16string_view::npos) terminator += u'/';
    const std::u16string prefix = u"#EXT_" + std::u16string(tag) + u'_' + terminator + u':';
    std::u16string line = prefix;
    for (std::size_t i = 0; i < value.size(); ++i) {
        line += value[i];
        if (value[i] == u'\r' && i + 1 < value.size() && value[i + 1] == u'\n') {
            line += u'\n';
            line += prefix;
            ++i;
        }
    }
    return line + terminator + u';';
}

struct ExtensionCase {
    const char16_t* value;
    const char16_t* line;
};

// The terminator is one "/" longer than the longest run of "/" that stands
// right before a ";", and at least "//".
TEST(ExtensionLine, TerminatorOutgrowsEveryRunBeforeASemicolon) {
    const ExtensionCase cases[] = {
        {u"", u"#EXT_T_//://;"},
        {u";", u"#EXT_T_//:;//;"},
        {u"/;", u"#EXT_T_//:/;//;"},
        {u"//;", u"#EXT_T_///://;///;"},
        {u"///;", u"#EXT_T_////:///;////;"},
        {u"//", u"#EXT_T_//:////;"},                // a run without ";" does not count
        {u"//////", u"#EXT_T_//:////////;"},
        {u"//;///", u"#EXT_T_///://;//////;"},      // nor does a longer one after the last ";"
        {u"// ;", u"#EXT_T_//:// ;//;"},            // a blank ends the run
        {u"//\r\n;", u"#EXT_T_//://\r\n#EXT_T_//:;//;"},
        {u"a///;b//;c", u"#EXT_T_////:a///;b//;c////;"},
        {u"//;;", u"#EXT_T_///://;;///;"},
        {u";//;/;", u"#EXT_T_///:;//;/;///;"},
        {u"x////////;", u"#EXT_T_/////////:x////////;/////////;"},
        {u"/\uFF0F;", u"#EXT_T_//:/\uFF0F;//;"},    // a full-width solidus is no "/"
        {u"\u037E//;", u"#EXT_T_///:\u037E//;///;"}, // nor a Greek question mark a ";"
        {u"a\r\n//;\r\nb", u"#EXT_T_///:a\r\n#EXT_T_///://;\r\n#EXT_T_///:b///;"},
        {u"/", u"#EXT_T_//:///;"},                  // the value's "/" before the terminator's
    };
    for (const ExtensionCase& c : cases) {
        SCOPED_TRACE(ToUtf8(c.value));
        EXPECT_EQ(ToUtf8(ExtensionLine(u"T", c.value)), ToUtf8(c.line));
        EXPECT_EQ(ToUtf8(ReferenceExtensionLine(u"T", c.value)), ToUtf8(c.line));
    }
}

// Random values of the characters that matter give the same line as the
// reference, byte for byte.
TEST(ExtensionLine, SameLineAsTheReferenceForRandomValues) {
    std::mt19937 random(20261210);
    static constexpr char16_t kAlphabet[] = u"//////;;a\r\n";
    std::uniform_int_distribution<std::size_t> letter(0, std::size(kAlphabet) - 2);
    std::uniform_int_distribution<int> length(0, 48);
    for (int round = 0; round < 20000; ++round) {
        std::u16string value;
        for (int n = length(random); n > 0; --n) value += kAlphabet[letter(random)];
        const std::u16string line = ExtensionLine(u"COM", value);
        const std::u16string reference = ReferenceExtensionLine(u"COM", value);
        if (line != reference) {
            ADD_FAILURE() << "value \"" << ToUtf8(value) << "\": " << ToUtf8(line) << " instead of " << ToUtf8(reference);
            break;
        }
    }
}

// A comment of 64 K slashes before a ";" (and of runs growing to 360
// slashes, a ";" after each): the export ends, with the right terminator,
// as soon as for a short comment.
TEST(ExtensionLine, LongRunsOfSlashesEndQuickly) {
    const std::u16string slashes(65536, u'/');
    Horoscope record;
    record.comment = Value{u"#" + slashes + u";"};
    MemoryTable table = HoroscopeTable({record});
    RecordingUi ui;
    MemorySink sink;
    EXPECT_EQ(WriteAafFile(sink, table, ui, GermanTimeFormat()), 1);
    const std::string terminator(65537, '/');
    const std::string comment = ToUtf8(slashes) + ";";
    EXPECT_EQ(sink.bytes(), Lines({"#A93:Test,*,*,01.01.2000,12:00:00,Berlin,*",
                                   "#B93:2451544.95833,52n30:00,13e24:36,1e00,*", "#ZNAM:MEZ",
                                   ("#COM:" + comment).c_str(),
                                   ("#EXT_COM_" + terminator + ":#" + comment + terminator + ";").c_str(), ""}));

    std::u16string growing;
    for (std::size_t run = 1; run <= 360; ++run) growing += std::u16string(run, u'/') + u";";
    ASSERT_GT(growing.size(), 65000u);
    const std::u16string prefix = u"#EXT_COM_" + std::u16string(361, u'/') + u":";
    EXPECT_EQ(ExtensionLine(u"COM", growing), prefix + growing + std::u16string(361, u'/') + u";");
}

// Records what each write handed over.
class ChunkSink : public ByteSink {
public:
    void Write(const char* data, std::size_t size) override { chunks.emplace_back(data, size); }
    std::vector<std::string> chunks;
};

// A line given in parts (split anywhere, even between the halves of a
// surrogate pair) is written as the whole line is: the same bytes, handed
// over in the same pieces. Lines reach beyond the 1024-byte buffer.
TEST(TextWriter, LineInPartsEqualsTheWholeLine) {
    std::mt19937 random(4711);
    static constexpr char16_t kAlphabet[] = u"a\u00E4\u20AC\xD83D\xDE00\r\n#";
    std::uniform_int_distribution<std::size_t> letter(0, std::size(kAlphabet) - 2);
    std::uniform_int_distribution<int> length(0, 2000);
    std::uniform_int_distribution<int> cuts(0, 6);
    for (int round = 0; round < 300; ++round) {
        std::u16string line;
        for (int n = length(random); n > 0; --n) line += kAlphabet[letter(random)];
        std::vector<std::size_t> at{0, line.size()};
        for (int n = cuts(random); n > 0; --n) at.push_back(std::uniform_int_distribution<std::size_t>(0, line.size())(random));
        std::sort(at.begin(), at.end());

        ChunkSink whole;
        ChunkSink parts;
        {
            Utf8TextWriter wholeWriter(whole);
            wholeWriter.WriteLine(line);
            wholeWriter.WriteLine(u"\xDE00 next");
            Utf8TextWriter partsWriter(parts);
            for (std::size_t i = 0; i + 1 < at.size(); ++i)
                partsWriter.Put(std::u16string_view(line).substr(at[i], at[i + 1] - at[i]));
            partsWriter.EndLine();
            partsWriter.Put(u"\xDE00");  // a lone half does not join the last line's
            partsWriter.Put(u" next");
            partsWriter.EndLine();
        }
        ASSERT_EQ(parts.chunks, whole.chunks) << "line \"" << ToUtf8(line) << "\"";
    }
}

// Random lines of every kind of character, lone halves of pairs included,
// given whole or in parts: the bytes are those of ToUtf8 with CR LF, handed
// over in pieces of 1024 bytes and a last piece at the end of each line.
TEST(TextWriter, BytesAndWriteCallsMatchTheReferenceEncoding) {
    std::mt19937 random(20240611);
    static constexpr char16_t kUnits[] = {u'a', u'Z', u' ', u'#', u'\r', u'\n', 0x7F, 0x80, 0xE4, 0x7FF, 0x800, 0x20AC,
                                          0xD7FF, 0xD800, 0xDBFF, 0xDC00, 0xDFFF, 0xE000, 0xFFFD, 0xFFFF};
    std::uniform_int_distribution<std::size_t> unit(0, std::size(kUnits) - 1);
    std::uniform_int_distribution<int> kind(0, 3);
    std::uniform_int_distribution<int> length(0, 1500);
    std::uniform_int_distribution<int> cuts(0, 4);
    for (int round = 0; round < 400; ++round) {
        ChunkSink sink;
        std::vector<std::string> expected{kBom};
        {
            Utf8TextWriter writer(sink);
            for (int lineNumber = 0; lineNumber < 3; ++lineNumber) {
                std::u16string line;
                const int lineKind = kind(random);
                for (int n = length(random); n > 0; --n) {
                    if (lineKind == 0) line += static_cast<char16_t>(u'a' + n % 26);  // ASCII only
                    else if (lineKind == 1) line += n % 7 == 0 ? char16_t{0xE4} : char16_t{u'x'};
                    else if (lineKind == 2) line += u"\U0001F600x";  // pairs at every offset
                    else line += kUnits[unit(random)];
                }
                std::vector<std::size_t> at{0, line.size()};
                for (int n = cuts(random); n > 0; --n)
                    at.push_back(std::uniform_int_distribution<std::size_t>(0, line.size())(random));
                std::sort(at.begin(), at.end());
                for (std::size_t i = 0; i + 1 < at.size(); ++i)
                    writer.Put(std::u16string_view(line).substr(at[i], at[i + 1] - at[i]));
                writer.EndLine();

                const std::string bytes = ToUtf8(line) + "\r\n";
                for (std::size_t from = 0; from < bytes.size(); from += Utf8TextWriter::kBufferSize)
                    expected.push_back(bytes.substr(from, Utf8TextWriter::kBufferSize));
            }
        }
        ASSERT_EQ(sink.chunks, expected) << "round " << round;
    }
}

TEST(AafWriter, CountMessages) {
    EXPECT_EQ(CountMessage(0), u"0 Horoskope gespeichert");
    EXPECT_EQ(CountMessage(1), u"1 Horoskop gespeichert");
    EXPECT_EQ(CountMessage(2), u"2 Horoskope gespeichert");
    EXPECT_EQ(CountMessage(12345), u"12345 Horoskope gespeichert");
}

TEST(AafWriter, EmptyTableGivesTheByteOrderMarkAlone) {
    TempFolder folder;
    const auto file = folder / "out.aaf";
    testing::WriteFileBytes(file, "an older, longer file that must be replaced entirely");
    MemoryTable table = HoroscopeTable({});
    RecordingUi ui;
    EXPECT_EQ(WriteAafFile(PathText(file), table, ui, GermanTimeFormat()), 0);
    EXPECT_EQ(ReadFileBytes(file), kBom);
    EXPECT_EQ(ui.messages, std::vector<std::u16string>{u"0 Horoskope gespeichert"});
}

TEST(AafWriter, BlocksFollowTheTableOrder) {
    TempFolder folder;
    const auto file = folder / "out.aaf";
    Horoscope second;
    second.name = Text(u"Zweiter");
    MemoryTable table = HoroscopeTable({Horoscope{}, second});
    RecordingUi ui(file);
    EXPECT_EQ(WriteAafFile(PathText(file), table, ui, GermanTimeFormat()), 2);
    const std::string expected =
        Lines({"#A93:Test,*,*,01.01.2000,12:00:00,Berlin,*", "#B93:2451544.95833,52n30:00,13e24:36,1e00,*",
               "#ZNAM:MEZ", "", "#A93:Zweiter,*,*,01.01.2000,12:00:00,Berlin,*",
               "#B93:2451544.95833,52n30:00,13e24:36,1e00,*", "#ZNAM:MEZ", ""});
    EXPECT_EQ(ReadFileBytes(file), expected);
    EXPECT_EQ(ui.messages, std::vector<std::u16string>{u"2 Horoskope gespeichert"});
    // Every line is in the file, and the file in place, when the message is shown.
    EXPECT_TRUE(ui.fileOpenable);
    EXPECT_EQ(ui.fileAtMessage, expected);
}

TEST(AafWriter, TheTimeOfDayFollowsTheGivenRegionalFormat) {
    TempFolder folder;
    const auto file = folder / "out.aaf";
    Horoscope record;
    record.julianDay = 2451545.25;
    MemoryTable table = HoroscopeTable({record});
    RecordingUi ui;
    TimeFormatSettings twelveHour;
    twelveHour.amDesignator = u"AM";
    twelveHour.pmDesignator = u"PM";
    twelveHour.designatorFirst = true;
    WriteAafFile(PathText(file), table, ui, twelveHour);
    EXPECT_EQ(ReadFileBytes(file), Lines({"#A93:Test,*,*,01.01.2000,PM 6:00:00,Berlin,*",
                                          "#B93:2451545.20833,52n30:00,13e24:36,1e00,*", "#ZNAM:MEZ", ""}));
}

TEST(AafWriter, LinesLongerThanTheBuffer) {
    TempFolder folder;
    const auto file = folder / "out.aaf";
    // Two-byte and four-byte characters straddle the 1024-byte pieces.
    std::u16string comment;
    for (int i = 0; i < 1500; ++i) comment += (i % 3 == 0) ? u"ä" : (i % 3 == 1) ? u"\U0001F600" : u"x";
    Horoscope record;
    record.comment = Value{comment};
    MemoryTable table = HoroscopeTable({record});
    RecordingUi ui;
    WriteAafFile(PathText(file), table, ui, GermanTimeFormat());
    const std::string expected = kBom + std::string("#A93:Test,*,*,01.01.2000,12:00:00,Berlin,*\r\n") +
                                 "#B93:2451544.95833,52n30:00,13e24:36,1e00,*\r\n#ZNAM:MEZ\r\n#COM:" +
                                 ToUtf8(comment) + "\r\n\r\n";
    EXPECT_EQ(ReadFileBytes(file), expected);
}

TEST(AafWriter, MissingFolderFailsBeforeTheTableIsTouched) {
    TempFolder folder;
    const auto file = folder / "missing" / "out.aaf";
    MemoryTable table = HoroscopeTable({Horoscope{}});
    table.Next();  // the writer would move it back to the first record
    RecordingUi ui;
    try {
        WriteAafFile(PathText(file), table, ui, GermanTimeFormat());
        FAIL() << "no error";
    } catch (const Error& error) {
        const std::u16string prefix = u"Datei \"" + PathText(file) + u"\" kann nicht erstellt werden. ";
        EXPECT_EQ(error.message().substr(0, prefix.size()), prefix);
        EXPECT_GT(error.message().size(), prefix.size()) << "the system's error text is missing";
    }
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(table.position(), 1u);
}

TEST(AafWriter, RelativePathsAreNamedInFull) {
    // The message names the full path even when the caller gave a relative one.
    TempFolder folder;
    const auto saved = std::filesystem::current_path();
    std::filesystem::current_path(folder.path());
    MemoryTable table = HoroscopeTable({});
    RecordingUi ui;
    try {
        WriteAafFile(u"missing/out.aaf", table, ui, GermanTimeFormat());
        ADD_FAILURE() << "no error";
    } catch (const Error& error) {
        const std::u16string full = (std::filesystem::current_path() / "missing" / "out.aaf").u16string();
        EXPECT_NE(error.message().find(u"\"" + full + u"\""), std::u16string::npos) << error.what();
    }
    std::filesystem::current_path(saved);
}

TEST(AafWriter, FileHeldByAnotherWriterCannotBeCreated) {
    TempFolder folder;
    const auto file = folder / "out.aaf";
    MemoryTable table = HoroscopeTable({Horoscope{}});
    RecordingUi ui;
    {
        // Another writer holds it: without sharing (Windows), with an
        // exclusive lock (POSIX).
#ifdef _WIN32
        const HANDLE holder = ::CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(holder, INVALID_HANDLE_VALUE);
        const unsigned long refused = ERROR_SHARING_VIOLATION;
#else
        const int holder = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        ASSERT_GE(holder, 0);
        ASSERT_EQ(::flock(holder, LOCK_EX), 0);
        const unsigned long refused = EWOULDBLOCK;
#endif
        EXPECT_ERROR_MESSAGE(WriteAafFile(PathText(file), table, ui, GermanTimeFormat()),
                             u"Datei \"" + PathText(file) + u"\" kann nicht erstellt werden. " + SystemErrorText(refused));
#ifdef _WIN32
        ::CloseHandle(holder);
#else
        ::close(holder);
#endif
    }
    EXPECT_EQ(WriteAafFile(PathText(file), table, ui, GermanTimeFormat()), 1);
}

// The names in a folder, to see that a failed export left no temporary file.
std::vector<std::string> NamesIn(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A failure part-way leaves the destination exactly as it was: a new name
// stays absent, an old file keeps its bytes, and no temporary file remains;
// no count message says anything was saved. Fewer than 13 columns leaves no
// file at all (it used to leave one holding only the byte-order mark).
TEST(AafWriter, AFailurePartWayLeavesTheDestinationAsItWas) {
    Horoscope badZone;
    badZone.zoneOffset = Text(u"keine Zahl");
    Horoscope badLatitude;
    badLatitude.latitude = std::numeric_limits<double>::infinity();
    struct Case {
        const char* name;
        std::vector<Horoscope> records;
        int columns;
        std::u16string message;
    };
    const Case cases[] = {
        {"fewer than 13 columns", {Horoscope{}}, 12, kArgumentOutOfRange},
        {"field error in the second record", {Horoscope{}, badZone}, 13, testing::kFieldConversionError},
        {"invalid number", {Horoscope{}, Horoscope{}, badLatitude}, 13, kInvalidFloatOperation},
    };
    for (const Case& c : cases) {
        for (const bool existed : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (existed ? ", old file" : ", new name"));
            TempFolder folder;
            const auto file = folder / "out.aaf";
            const std::string old = "eine ältere AAF-Datei\r\n";
            if (existed) testing::WriteFileBytes(file, old);
            MemoryTable table = HoroscopeTable(c.records, c.columns);
            RecordingUi ui;
            EXPECT_ERROR_MESSAGE(WriteAafFile(PathText(file), table, ui, GermanTimeFormat()), c.message);
            EXPECT_EQ(std::filesystem::exists(file), existed);
            if (existed) {
                EXPECT_EQ(ReadFileBytes(file), old);
            }
            EXPECT_EQ(NamesIn(folder.path()), existed ? std::vector<std::string>{"out.aaf"} : std::vector<std::string>{});
            EXPECT_TRUE(ui.messages.empty());
        }
    }
    // Without records no field is read, so nothing fails.
    TempFolder folder;
    MemoryTable empty = HoroscopeTable({}, 12);
    RecordingUi ui;
    EXPECT_EQ(WriteAafFile(PathText(folder / "out.aaf"), empty, ui, GermanTimeFormat()), 0);
    EXPECT_EQ(ReadFileBytes(folder / "out.aaf"), kBom);
}

// Devices, pipes and sockets are no output files: writing would hang (a
// FIFO without reader), go nowhere or reach hardware. They are refused once
// opened, whatever their name says, and nothing is written.
TEST(AafWriter, RefusesOutputsThatAreNoRegularFiles) {
    std::vector<std::u16string> devices;
#ifdef _WIN32
    devices = {u"NUL", u"nul.aaf", u"Z:\\dev\\full"};  // Wine shows the Linux root as Z:
#else
    TempFolder folder;
    ASSERT_EQ(::mkfifo((folder / "pipe.aaf").c_str(), 0600), 0);
    devices = {u"/dev/full", u"/dev/null", PathText(folder / "pipe.aaf")};
#endif
    for (const std::u16string& device : devices) {
        SCOPED_TRACE(ToUtf8(device));
        MemoryTable table = HoroscopeTable({Horoscope{}});
        RecordingUi ui;
        try {
            WriteAafFile(device, table, ui, GermanTimeFormat());
            ADD_FAILURE() << "no error";
        } catch (const Error& error) {
            EXPECT_EQ(ToUtf8(error.message()), ToUtf8(FillMessage(kNotARegularFile, {FullPath(device)})));
        }
        EXPECT_TRUE(ui.messages.empty());
        EXPECT_EQ(table.position(), 0u);  // the table was not touched
    }
}

// A write the file system refuses is reported, the old file stays as it
// was, and no count message says the horoscopes were saved. On POSIX a
// file-size limit makes the refusal real (EFBIG), in a child process of its
// own.
#ifndef _WIN32
TEST(AafWriter, RefusedWriteIsReportedNotCountedAsSaved) {
    TempFolder folder;
    const auto file = folder / "out.aaf";
    testing::WriteFileBytes(file, "alt");
    std::fflush(nullptr);
    const pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{1024, 1024};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        std::vector<Horoscope> records(100);
        MemoryTable table = HoroscopeTable(records);
        RecordingUi ui;
        int status = 1;
        try {
            WriteAafFile(PathText(file), table, ui, GermanTimeFormat());
        } catch (const Error& error) {
            const std::u16string expected =
                u"In die Datei \"" + PathText(file) + u"\" kann nicht geschrieben werden. " + SystemErrorText(EFBIG);
            status = error.message() == expected && ui.messages.empty() ? 0 : 2;
        }
        ::_exit(status);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: no error, 2: wrong message or a count message";
    // No cut-off file under the name, and no temporary file beside it.
    EXPECT_EQ(ReadFileBytes(file), "alt");
    EXPECT_EQ(NamesIn(folder.path()), std::vector<std::string>{"out.aaf"});
}
#endif

}  // namespace
}  // namespace kosmara
